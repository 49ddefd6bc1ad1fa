#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

class Cal;
class CalEvent;

// Every time, range, day, duration and countdown text of the app, so that all views speak alike.
// Times follow the locale's 12- or 24-hour clock and always write the day period as "am"/"pm".
//
// The overloads without a Cal use the user's calendar as it is now (UserCal), so every text follows
// a change of zone or locale at once. Tests and callers with a calendar of their own pass it.
namespace Fmt {

// Whether the locale's own short time format uses a day period (a 12-hour clock).
bool uses12h(const QLocale& locale);
// The same for the user's locale.
bool uses12h();

// "9:05 am" on a 12-hour clock, "09:05" on a 24-hour one.
QString time(const QDateTime& instant);
QString time(const QDateTime& instant, const Cal& cal);

// "9:00 – 10:30 am" when both ends share the day period on a 12-hour clock, else two full times
// ("11:30 am – 1:00 pm", "09:00 – 10:30").
QString range(const QDateTime& start, const QDateTime& end);
QString range(const QDateTime& start, const QDateTime& end, const Cal& cal);

// The locale's date with the full weekday, abbreviated month and day ("Tuesday, Mar 3").
QString dayHeader(const QDateTime& instant);
QString dayHeader(const QDateTime& instant, const Cal& cal);
// As dayHeader with the weekday abbreviated ("Tue, Mar 3").
QString dayShort(const QDateTime& instant);
QString dayShort(const QDateTime& instant, const Cal& cal);

// Compact duration: "45 min", "2h", "1h 5m". Negative counts read as 0.
QString minutesShort(qint64 minutes);
// Spaced duration for sentences: "45 min", "2 h", "1 h 5 min".
QString minutes(qint64 minutes);

// The short status of an event relative to now: "in 15 min", "starting now", "25 min left",
// "ending now", "ended"; nothing for all-day events or starts more than 23 h 59 min away.
std::optional<QString> countdown(const CalEvent& event, const QDateTime& now);

// How long ago (or how far ahead) `instant` is from `now`, in the largest calendar unit that is not
// zero and the short units of the calendar's locale: "2 hr. ago", "in 3 days", "5 min. ago",
// "1 mo. ago" (en_US). Whole units only, never rounded up.
QString relative(const QDateTime& instant, const QDateTime& now, const Cal& cal);

} // namespace Fmt
