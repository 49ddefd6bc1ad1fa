#pragma once

// Private to the local calendar layer: libical types appear here.

#include "core/calendar/ical/IcalZone.h"

#include <QDeadlineTimer>
#include <QList>
#include <QString>

#include <libical/ical.h>

#include <chrono>
#include <optional>

// What one item may cost to expand, across all its rules and dates: a number of steps and a time.
// Calendar items come from anywhere, and a hostile one must not hold up the rest of the calendar.
// Once used up it stays used up, so every loop that shares it stops.
class ExpansionBudget {
public:
    static constexpr qint64 defaultSteps = 200000;
    static constexpr std::chrono::milliseconds defaultTime{2000};

    explicit ExpansionBudget(qint64 steps = defaultSteps, std::chrono::milliseconds time = defaultTime)
        : m_left(steps)
        , m_deadline(time) {}

    // Counts `n` steps; false once the steps or the time are used up.
    bool spend(qint64 n = 1) {
        if (m_spent)
            return false;
        m_left -= n;
        // The clock is read now and then: a step costs far less than reading it.
        if (m_left < 0 || (++m_sinceCheck >= 64 && (m_sinceCheck = 0, m_deadline.hasExpired())))
            m_spent = true;
        return !m_spent;
    }
    bool exhausted() const { return m_spent; }
    // Used up by its steps, which the same item always takes (the time depends on the machine too).
    bool outOfSteps() const { return m_left < 0; }

private:
    qint64 m_left;
    QDeadlineTimer m_deadline;
    int m_sinceCheck = 0;
    bool m_spent = false;
};

// A wall-clock time as seconds since 1970-01-01 00:00 of the same clock, with no zone: recurrence
// rules step over the wall clock of their start's zone, so that a meeting keeps its hour across
// daylight-saving changes.
namespace Wall {
qint64 seconds(QDate date, QTime time);
WallTime time(qint64 seconds);
} // namespace Wall

// One RRULE of an event, checked before any of it reaches libical: libical 3.0 crashes on some rule
// shapes, and spins inside a single call, beyond any limit of ours, on rules that match rarely or
// never. Daily rules, simple weekly ones, weekly ones with BYSETPOS (which libical ignores there),
// yearly ones by week number and every rule that repeats more often than daily are stepped here with
// plain date arithmetic; the others (monthly and yearly ones, weekly ones with more than weekdays)
// go to libical, which handles them safely once checked.
class RecurrenceRule {
public:
    // Absent, with the reason in `reason`, when the rule cannot be expanded safely. `start` is the
    // event's DTSTART. A COUNT rule is walked once here, to find its last start (the budget pays).
    static std::optional<RecurrenceRule> make(const icalrecurrencetype& rule, const ItemTime& start,
                                              ExpansionBudget& budget, QString* reason);
    // The rule with each value of its BY lists named once, in order: the standard reads a list as a
    // set, while libical steps the values in the order given (BYHOUR=17,9 gives 17:00 before 9:00)
    // and a value named twice twice (BYHOUR=9,9 gives every start twice).
    static icalrecurrencetype withoutRepeats(const icalrecurrencetype& rule);

    // The starts the rule gives whose instant lies in [from, to), in order; DTSTART itself only
    // when the rule gives it.
    void startsIn(const ItemTime& start, const QDateTime& from, const QDateTime& to,
                  const QTimeZone& userZone, ExpansionBudget& budget, QList<ItemTime>& out) const;

private:
    enum class Engine { daily, weekly, weekSet, subDaily, weekNo, libical };
    enum class Until { none, date, wallClock, instant };

    icalrecurrencetype m_rule; // UNTIL cleared: compared here, in its own form
    Engine m_engine = Engine::libical;
    Until m_untilKind = Until::none;
    qint64 m_untilWall = 0; // wall seconds, for Until::date and Until::wallClock
    QDateTime m_untilInstant;
    // After this instant the rule gives nothing more (its UNTIL, or its last start under COUNT).
    QDateTime m_last;
    int m_shiftYears = 0; // libical steps from DTSTART this many years later

    // The DTSTART the rule is stepped from, when it is not the event's own.
    std::optional<ItemTime> shiftedStart(const ItemTime& start) const;
};
