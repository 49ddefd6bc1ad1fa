#pragma once

#include <QDateTime>
#include <QList>
#include <QStringView>

#include <optional>

class Cal;

// One date expression found in a text.
struct DateMatch {
    qsizetype pos = 0, len = 0;    // UTF-16 range in the text it was given
    std::optional<QDateTime> date; // the instant the expression names (UTC)
    double durationSec = 0;        // > 0 for a time range or a date range

    friend bool operator==(const DateMatch&, const DateMatch&) = default;
};

// Finds English date and time expressions in one line of quick-add text: clock times, day parts, day
// words, weekdays, month-day and numeric dates, "in N hours/days", ranges of times or days, and a day
// and a time next to each other as one expression.
//
// It reads relative words against the `now` and calendar it is given, never the wall clock, and never
// moves a time that has passed: deciding that a bare time means tomorrow is the parser's job. It knows
// nothing about all-day events either; the parser classifies what a match holds by its own patterns,
// so every form read here as a time carries a clock word or digits that the parser recognises, and every
// form read as a day carries a day word, a month or a numeric date.
//
// Virtual so that the parser can be tested against a scripted detector.
class DateDetector {
public:
    virtual ~DateDetector() = default;

    // Non-overlapping matches in text order, each with a date.
    virtual QList<DateMatch> matches(QStringView text, const QDateTime& now, const Cal& cal) const;
};
