#pragma once

#include "core/model/Cal.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Internet date-times (RFC 3339) and plain days as Google and Notion write them. Reading is strict:
// a full date, "T", a time with seconds, an optional fraction and a "Z" or "+hh:mm" offset; anything
// else reads as nothing, so that callers can fall back (to the "date" of a Google event, say).
namespace Rfc3339 {

// An instant from "2024-05-06T09:30:00Z", "2024-05-06T09:30:00.125+02:00" and the like, in UTC.
std::optional<QDateTime> parse(QStringView text);
// "2024-05-06T07:30:00Z": the instant in UTC, whole seconds.
QString formatUtc(const QDateTime& instant);
// "2024-05-06T09:30:00+02:00": the instant in the calendar's zone with its offset, "Z" at zero offset.
QString formatLocal(const QDateTime& instant, const Cal& cal);
// "2024-05-06": the day of the instant in the calendar's zone.
QString formatDay(const QDateTime& instant, const Cal& cal);
// The start of the day "yyyy-MM-dd" in the calendar's zone (midnight, or the first moment of the day
// where midnight does not exist), in UTC.
std::optional<QDateTime> parseDay(QStringView text, const Cal& cal);

} // namespace Rfc3339
