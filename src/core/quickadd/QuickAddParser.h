#pragma once

#include "core/model/Person.h"
#include "core/quickadd/QuickAddDraft.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QString>

#include <functional>
#include <optional>

class Cal;
class DateDetector;

// Reads one typed line ("Design sync with Ondrea fri 3-4pm") into a draft event. It takes out, in a
// fixed order, e-mail addresses, "all day", a duration, the date and time, and names after "with";
// what is left is the title. It never fails: any text, the empty one included, gives a draft.
//
// The quick-add field calls it on every keystroke, so its vocabulary is compiled once per process and
// shared read-only by every call and thread.
namespace QuickAddParser {

// Maps a typed address or name to a known person. Must answer the same for the same text.
using Resolver = std::function<std::optional<Person>(const QString&)>;

// `calendar` is used for start-of-day and day arithmetic; every time reference comes from `now`.
// `defaultMinutes` is the length of a timed event whose text names none.
QuickAddDraft parse(const QString& text, const QDateTime& now, int defaultMinutes, const Cal& calendar,
                    const Resolver& resolve = {});
// The same with another date detector, or none at all (then no date is ever read).
QuickAddDraft parse(const QString& text, const QDateTime& now, int defaultMinutes, const Cal& calendar,
                    const Resolver& resolve, const DateDetector* detector);

// Spells out weekday abbreviations and "tmrw", and gives "at H" (1 to 12) the period a meeting at
// that hour most likely has: 8 to 11 in the morning, 12 to 7 in the afternoon or evening.
QString normalize(const QString& text);

// ---- The vocabulary, built on first use ----

const QRegularExpression& duration(); // a length such as "for 1,5 h" or "30 min"
const QRegularExpression& allDay();   // "all day", "all-day", "allday"
const QRegularExpression& clock();    // anything that makes a date a time of day
const QRegularExpression& dayWords(); // anything that makes a date name a day
const QRegularExpression& mentions(); // "with Ondrea and Oskel"

} // namespace QuickAddParser
