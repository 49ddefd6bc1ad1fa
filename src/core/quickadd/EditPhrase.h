#pragma once

#include <QDateTime>
#include <QString>

class Cal;
class CalEvent;

// An existing event's time as one editable line, the when-line ("Sat 5 Dec 2026 3:00 pm – 4:00 pm"),
// and the merge of an edited when-line back into the event. The merge keeps whatever the phrase does
// not mention: "3pm" keeps the day, "tomorrow" keeps the clock time and length, "all day" keeps the day.
namespace EditPhrase {

struct Merge {
    QDateTime start;
    QDateTime end; // exclusive
    bool isAllDay = false;
    bool ok = false;      // the phrase was read, or left as it was; when false the times are the event's
    bool keptDay = false; // the event's day stayed and only the time of day or the all-day flag changed

    friend bool operator==(const Merge&, const Merge&) = default;
};

// Reads only the event's start, end and all-day flag. The day is written in English whatever the
// locale, so that the parser can read the line back; the time follows the locale's 12- or 24-hour clock.
// `now` is not used; it is there so that both functions are called alike.
QString canonical(const CalEvent& event, const QDateTime& now, const Cal& cal);

// `defaultMinutes` is the length given to an all-day event that the phrase gives a time.
Merge merge(const QString& phrase, const CalEvent& event, const QDateTime& now, int defaultMinutes,
            const Cal& cal);

} // namespace EditPhrase
