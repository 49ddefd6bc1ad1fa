#include "core/calendar/ical/Recurrence.h"

#include <algorithm>
#include <bitset>
#include <memory>
#include <numeric>

namespace {

constexpr qint64 secondsPerDay = 86400;
constexpr qint64 secondsPerWeek = 7 * secondsPerDay;
const qint64 julianDay1970 = QDate(1970, 1, 1).toJulianDay();
// libical gives no instance after this year; the rules stepped here stop there as well, so that a
// rule means the same whoever steps it.
constexpr int lastYear = 2582;
const qint64 firstJulianDayAfter = QDate(lastYear + 1, 1, 1).toJulianDay();
const qint64 firstWallAfter = (firstJulianDayAfter - julianDay1970) * secondsPerDay;
// What checking one rule costs in steps (its date check alone looks at every day of two years).
constexpr qint64 checkingCost = 10;
// The first whole year of the Gregorian calendar.
constexpr int firstGregorianYear = 1583;

qint64 floorDiv(qint64 a, qint64 b) {
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

qint64 ceilDiv(qint64 a, qint64 b) {
    return -floorDiv(-a, b);
}

// The values of one BY list, as libical stores them: up to the end marker or the array's end.
QList<int> values(const short* array, int size) {
    QList<int> out;
    for (int i = 0; i < size && array[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        out.append(array[i]);
    return out;
}

// libical numbers the weekdays from Sunday (1) to Saturday (7); Qt from Monday (1) to Sunday (7).
int qtWeekday(icalrecurrencetype_weekday day) {
    return day == ICAL_SUNDAY_WEEKDAY ? 7 : int(day) - 1;
}

int weekdayOfJulianDay(qint64 jd) {
    return int(jd % 7) + 1; // the Julian day 0 was a Monday
}

// The day weeks begin on (WKST, Monday when absent), in Qt numbering.
int weekStartOf(const icalrecurrencetype& r) {
    return r.week_start == ICAL_NO_WEEKDAY ? 1 : qtWeekday(r.week_start);
}

// The Julian day on which the week that holds the day begins, weeks beginning on `weekStart`.
qint64 weekBeginning(qint64 jd, int weekStart) {
    return jd - (weekdayOfJulianDay(jd) - weekStart + 7) % 7;
}

// The BY lists of a rule, read once.
struct ByLists {
    QList<int> second, minute, hour, monthDay, yearDay, weekNo, month, setPos;
    struct Day {
        int weekday; // Qt numbering
        int position;
        bool operator==(const Day&) const = default;
    };
    QList<Day> day;

    explicit ByLists(const icalrecurrencetype& r)
        : second(values(r.by_second, ICAL_BY_SECOND_SIZE))
        , minute(values(r.by_minute, ICAL_BY_MINUTE_SIZE))
        , hour(values(r.by_hour, ICAL_BY_HOUR_SIZE))
        , monthDay(values(r.by_month_day, ICAL_BY_MONTHDAY_SIZE))
        , yearDay(values(r.by_year_day, ICAL_BY_YEARDAY_SIZE))
        , weekNo(values(r.by_week_no, ICAL_BY_WEEKNO_SIZE))
        , month(values(r.by_month, ICAL_BY_MONTH_SIZE))
        , setPos(values(r.by_set_pos, ICAL_BY_SETPOS_SIZE)) {
        for (int v : values(r.by_day, ICAL_BY_DAY_SIZE)) {
            const icalrecurrencetype_weekday w = icalrecurrencetype_day_day_of_week(short(v));
            day.append({w == ICAL_NO_WEEKDAY ? 0 : qtWeekday(w), icalrecurrencetype_day_position(short(v))});
        }
    }

    int weekdayMask() const {
        int mask = 0;
        for (const Day& d : day)
            mask |= 1 << d.weekday;
        return mask;
    }
    bool hasOrdinals() const {
        return std::any_of(day.begin(), day.end(), [](const Day& d) { return d.position != 0; });
    }
};

// The BY lists as sets, for rules tested at every step.
struct ByMasks {
    quint64 second = 0, minute = 0;
    quint32 hour = 0, monthDay = 0, monthDayFromEnd = 0;
    quint16 month = 0;
    quint8 weekday = 0;
    std::bitset<367> yearDay, yearDayFromEnd;
    bool anyDate = false;

    explicit ByMasks(const ByLists& by) {
        for (int v : by.second)
            second |= quint64(1) << v;
        for (int v : by.minute)
            minute |= quint64(1) << v;
        for (int v : by.hour)
            hour |= 1u << v;
        for (int v : by.monthDay)
            (v > 0 ? monthDay : monthDayFromEnd) |= 1u << std::abs(v);
        for (int v : by.month)
            month |= quint16(1u << v);
        for (int v : by.yearDay)
            (v > 0 ? yearDay : yearDayFromEnd).set(size_t(std::abs(v)));
        weekday = quint8(by.weekdayMask());
        anyDate = month || monthDay || monthDayFromEnd || weekday || yearDay.any() || yearDayFromEnd.any();
    }
};

bool within(const QList<int>& list, int low, int high, bool signedValues) {
    return std::all_of(list.begin(), list.end(), [&](int v) {
        const int magnitude = signedValues ? std::abs(v) : v;
        return magnitude >= low && magnitude <= high;
    });
}

// Whether some date can pass the rule's date parts (months, days of the month and of the year, and
// the weekday windows an ordinal BYDAY opens), in a common or a leap year. Any weekday falls on any
// date in some year, so the weekdays themselves never make a rule unmatchable here. libical looks
// for the days of a yearly rule without months, year days or weeks in DTSTART's month only.
bool someDateMatches(const icalrecurrencetype& r, const ByLists& by, int startMonth) {
    const QList<int> months = r.freq == ICAL_YEARLY_RECURRENCE && by.month.isEmpty() &&
                                      by.yearDay.isEmpty() && by.weekNo.isEmpty() && !by.monthDay.isEmpty()
                                  ? QList<int>{startMonth}
                                  : by.month;
    const bool monthScoped =
        r.freq == ICAL_MONTHLY_RECURRENCE || (r.freq == ICAL_YEARLY_RECURRENCE && !by.month.isEmpty());
    const bool yearScoped = r.freq == ICAL_YEARLY_RECURRENCE && by.month.isEmpty();
    auto inWindow = [](int position, int index, int length) {
        // The n-th weekday of a span lies in its n-th run of seven days (from the end when n < 0).
        const int fromStart = position > 0 ? index : length - index + 1;
        const int n = std::abs(position);
        return fromStart > 7 * (n - 1) && fromStart <= 7 * n;
    };
    for (const bool leap : {false, true}) {
        const int yearLength = leap ? 366 : 365;
        int yearDay = 0;
        for (int month = 1; month <= 12; ++month) {
            const int length = QDate(leap ? 2024 : 2023, month, 1).daysInMonth();
            for (int day = 1; day <= length; ++day) {
                ++yearDay;
                if (!months.isEmpty() && !months.contains(month))
                    continue;
                if (!by.monthDay.isEmpty() && !by.monthDay.contains(day) &&
                    !by.monthDay.contains(day - length - 1))
                    continue;
                if (!by.yearDay.isEmpty() && !by.yearDay.contains(yearDay) &&
                    !by.yearDay.contains(yearDay - yearLength - 1))
                    continue;
                if (!by.day.isEmpty() && (monthScoped || yearScoped) &&
                    std::none_of(by.day.begin(), by.day.end(), [&](const ByLists::Day& d) {
                        return d.position == 0 || (monthScoped ? inWindow(d.position, day, length)
                                                               : inWindow(d.position, yearDay, yearLength));
                    }))
                    continue;
                return true;
            }
        }
    }
    return false;
}

// The most days one month (a monthly rule) or one year (a yearly rule) gives, over every kind of
// year: common or leap, beginning on any weekday. As libical reads the rule: a rule that names no day
// has DTSTART's day of the month, and a yearly one that names days of the month but no months has
// DTSTART's month.
qint64 mostDays(const icalrecurrencetype& r, const ByLists& by, QDate start) {
    const bool monthly = r.freq == ICAL_MONTHLY_RECURRENCE;
    QList<int> monthDays = by.monthDay;
    if (monthDays.isEmpty() && by.yearDay.isEmpty() && by.day.isEmpty())
        monthDays = {start.day()};
    quint16 months = 0;
    for (int m : !monthly && by.month.isEmpty() && by.yearDay.isEmpty() && !monthDays.isEmpty()
                     ? QList<int>{start.month()}
                     : by.month)
        months |= quint16(1u << m);
    quint64 fromStart = 0, fromEnd = 0; // days of the month, as bits
    for (int d : monthDays)
        (d > 0 ? fromStart : fromEnd) |= quint64(1) << std::abs(d);
    std::bitset<367> yearDays, yearDaysFromEnd;
    for (int d : by.yearDay)
        (d > 0 ? yearDays : yearDaysFromEnd).set(size_t(std::abs(d)));
    // By weekday: any of them, or the n-th from the start or the end of the month or year.
    bool every[8] = {};
    std::bitset<54> nth[8], nthFromEnd[8];
    for (const ByLists::Day& d : by.day) {
        if (d.position == 0)
            every[d.weekday] = true;
        else
            (d.position > 0 ? nth : nthFromEnd)[d.weekday].set(size_t(std::abs(d.position)));
    }
    const bool inMonths = monthly || !by.month.isEmpty(); // where an n-th weekday counts
    qint64 most = 0;
    for (const bool leap : {false, true}) {
        const int yearLength = leap ? 366 : 365;
        for (int firstWeekday = 1; firstWeekday <= (by.day.isEmpty() ? 1 : 7); ++firstWeekday) {
            qint64 inYear = 0;
            int yearDay = 0;
            for (int month = 1; month <= 12; ++month) {
                const int length = QDate(leap ? 2024 : 2023, month, 1).daysInMonth();
                qint64 inMonth = 0;
                for (int day = 1; day <= length; ++day) {
                    ++yearDay;
                    if (months && !(months & (1u << month)))
                        continue;
                    if ((fromStart || fromEnd) && !(fromStart & (quint64(1) << day)) &&
                        !(fromEnd & (quint64(1) << (length - day + 1))))
                        continue;
                    if ((yearDays.any() || yearDaysFromEnd.any()) && !yearDays.test(size_t(yearDay)) &&
                        !yearDaysFromEnd.test(size_t(yearLength - yearDay + 1)))
                        continue;
                    if (!by.day.isEmpty()) {
                        const int weekday = (firstWeekday - 1 + yearDay - 1) % 7 + 1;
                        const int index = inMonths ? day : yearDay;
                        const int span = inMonths ? length : yearLength;
                        if (!every[weekday] && !nth[weekday].test(size_t((index - 1) / 7 + 1)) &&
                            !nthFromEnd[weekday].test(size_t((span - index) / 7 + 1)))
                            continue;
                    }
                    ++inMonth;
                    ++inYear;
                }
                if (monthly)
                    most = std::max(most, inMonth);
            }
            if (!monthly)
                most = std::max(most, inYear);
        }
    }
    return most;
}

// The most starts one period of the rule can hold, for BYSETPOS. libical picks the positions of a
// monthly or yearly rule among its days alone, whatever the times, and looks for a position past
// them until the year 20000, inside one call. A week holds its weekdays (DTSTART's alone when none
// are listed), each at every listed time unless the event lasts all day.
qint64 periodSize(const icalrecurrencetype& r, const ByLists& by, const ItemTime& start) {
    const auto f = r.freq;
    if (f == ICAL_MONTHLY_RECURRENCE || (f == ICAL_YEARLY_RECURRENCE && by.weekNo.isEmpty()))
        return mostDays(r, by, start.date);
    const qint64 days = by.day.isEmpty() ? 1 : by.day.size();
    if (f == ICAL_WEEKLY_RECURRENCE && start.isDate)
        return days;
    qint64 size = 1;
    if (f >= ICAL_DAILY_RECURRENCE && !by.hour.isEmpty())
        size *= by.hour.size();
    if (f >= ICAL_HOURLY_RECURRENCE && !by.minute.isEmpty())
        size *= by.minute.size();
    if (f >= ICAL_MINUTELY_RECURRENCE && !by.second.isEmpty())
        size *= by.second.size();
    if (f == ICAL_WEEKLY_RECURRENCE)
        size *= days;
    else if (f == ICAL_YEARLY_RECURRENCE) // by week number: a week may lie at each end of the year
        size *= 2 * by.weekNo.size() * 7;
    return size;
}

// Whether the wall clock a rule reaches, stepping `step` seconds from `start`, ever passes its limits
// on the weekday, hour, minute and second: a daily rule every seven days never leaves its weekday, an
// hourly one every 24 hours never leaves its hour.
bool someTimeMatches(const icalrecurrencetype& r, const ByLists& by, qint64 start, qint64 step,
                     ExpansionBudget& budget) {
    const auto f = r.freq;
    const bool limitDay = !by.day.isEmpty();
    const bool limitHour = f <= ICAL_HOURLY_RECURRENCE && !by.hour.isEmpty();
    const bool limitMinute = f <= ICAL_MINUTELY_RECURRENCE && !by.minute.isEmpty();
    const bool limitSecond = f == ICAL_SECONDLY_RECURRENCE && !by.second.isEmpty();
    if (!limitDay && !limitHour && !limitMinute && !limitSecond)
        return true;
    const int weekdays = by.weekdayMask();
    // Seconds since a Monday midnight (1970-01-01 was a Thursday). The steps reach the start's second
    // of the week plus every multiple of gcd(step, one week).
    const qint64 gap = std::gcd(step, secondsPerWeek);
    const qint64 first = ((start + 3 * secondsPerDay) % secondsPerWeek + secondsPerWeek) % secondsPerWeek;
    for (qint64 ofWeek = first % gap, n = 0; ofWeek < secondsPerWeek; ofWeek += gap, ++n) {
        // Up to a week of seconds to look through: the item pays for it.
        if (n % 4096 == 4095 && !budget.spend())
            return false;
        const qint64 ofDay = ofWeek % secondsPerDay;
        if (limitDay && !(weekdays & (1 << (ofWeek / secondsPerDay + 1))))
            continue;
        if (limitHour && !by.hour.contains(int(ofDay / 3600)))
            continue;
        if (limitMinute && !by.minute.contains(int(ofDay / 60 % 60)))
            continue;
        if (limitSecond && !by.second.contains(int(ofDay % 60)))
            continue;
        return true;
    }
    return false;
}

// Why libical must not see the rule, if it must not.
std::optional<QString> problem(const icalrecurrencetype& r, const ItemTime& start, ExpansionBudget& budget) {
    const auto f = r.freq;
    if (f < ICAL_SECONDLY_RECURRENCE || f > ICAL_YEARLY_RECURRENCE)
        return QStringLiteral("no frequency");
    if (r.interval < 1)
        return QStringLiteral("INTERVAL below 1");
    if (r.count < 0)
        return QStringLiteral("COUNT below 0");
    const ByLists by(r);

    // Values within their ranges, each named once.
    struct Range {
        const char* name;
        const QList<int>& list;
        int low;
        int high;
        bool signedValues;
    };
    const Range ranges[] = {
        {"BYSECOND", by.second, 0, 59, false},   {"BYMINUTE", by.minute, 0, 59, false},
        {"BYHOUR", by.hour, 0, 23, false},       {"BYMONTHDAY", by.monthDay, 1, 31, true},
        {"BYYEARDAY", by.yearDay, 1, 366, true}, {"BYWEEKNO", by.weekNo, 1, 53, true},
        {"BYMONTH", by.month, 1, 12, false},     {"BYSETPOS", by.setPos, 1, 366, true},
    };
    for (const Range& range : ranges) {
        if (!within(range.list, range.low, range.high, range.signedValues))
            return QStringLiteral("%1 out of range").arg(QLatin1String(range.name));
    }
    const int maxPosition = f == ICAL_MONTHLY_RECURRENCE ? 5 : f == ICAL_YEARLY_RECURRENCE ? 53 : 0;
    for (const ByLists::Day& d : by.day) {
        if (d.weekday < 1 || d.weekday > 7 || std::abs(d.position) > maxPosition)
            return QStringLiteral("BYDAY out of range");
    }

    // Parts the standard does not allow with the frequency.
    if (!by.weekNo.isEmpty() && f != ICAL_YEARLY_RECURRENCE)
        return QStringLiteral("BYWEEKNO without FREQ=YEARLY");
    if (!by.yearDay.isEmpty() &&
        (f == ICAL_DAILY_RECURRENCE || f == ICAL_WEEKLY_RECURRENCE || f == ICAL_MONTHLY_RECURRENCE))
        return QStringLiteral("BYYEARDAY with a daily, weekly or monthly rule");
    if (!by.monthDay.isEmpty() && f == ICAL_WEEKLY_RECURRENCE)
        return QStringLiteral("BYMONTHDAY with a weekly rule");
    if (!by.weekNo.isEmpty() && by.hasOrdinals())
        return QStringLiteral("BYDAY with an ordinal and BYWEEKNO");
    // Weeks stepped here select days by weekday and month only.
    if (!by.weekNo.isEmpty() && (!by.monthDay.isEmpty() || !by.yearDay.isEmpty()))
        return QStringLiteral("BYWEEKNO with BYMONTHDAY or BYYEARDAY");
    if (start.isDate && f < ICAL_DAILY_RECURRENCE)
        return QStringLiteral("a day-long event repeating more often than daily");

    // Rules that can never match: libical would look for a match for centuries inside one call.
    if (!someDateMatches(r, by, start.date.month()))
        return QStringLiteral("never matches a date");
    if (!by.setPos.isEmpty()) {
        const qint64 size = periodSize(r, by, start);
        if (std::all_of(by.setPos.begin(), by.setPos.end(), [&](int p) { return std::abs(p) > size; }))
            return QStringLiteral("BYSETPOS beyond every period");
    }
    qint64 step = r.interval;
    switch (f) {
    case ICAL_SECONDLY_RECURRENCE:
        break;
    case ICAL_MINUTELY_RECURRENCE:
        step *= 60;
        break;
    case ICAL_HOURLY_RECURRENCE:
        step *= 3600;
        break;
    case ICAL_DAILY_RECURRENCE:
        step *= secondsPerDay;
        break;
    default:
        step = 0; // weekly and longer rules expand their weekdays and times
        break;
    }
    if (step > 0 && !someTimeMatches(r, by, Wall::seconds(start.date, start.time), step, budget))
        return QStringLiteral("never matches a time");
    return std::nullopt;
}

// ---- Stepping ----

// Queues the starts of one period of a rule that fall on or after `start`: the period's whole set,
// ascending, or the positions BYSETPOS picks from it.
void queueSet(const QList<qint64>& set, const QList<int>& setPos, qint64 start, QList<qint64>& pending) {
    QList<qint64> chosen;
    if (setPos.isEmpty()) {
        chosen = set;
    } else {
        for (int p : setPos) {
            const qsizetype i = p > 0 ? p - 1 : set.size() + p;
            if (i >= 0 && i < set.size())
                chosen.append(set[i]);
        }
        std::sort(chosen.begin(), chosen.end());
        chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    }
    for (qint64 t : chosen) {
        if (t >= start)
            pending.append(t);
    }
}

// The times of day, in seconds and ascending, that each day of a weekly or yearly rule expands into:
// the listed hours, minutes and seconds, DTSTART's where none are listed; midnight alone for an
// event that lasts all day.
QList<int> timesOfDay(const ByLists& by, const ItemTime& start) {
    if (start.isDate)
        return {0};
    auto orStart = [](const QList<int>& list, int own) { return list.isEmpty() ? QList<int>{own} : list; };
    QList<int> times;
    for (int h : orStart(by.hour, start.time.hour())) {
        for (int m : orStart(by.minute, start.time.minute())) {
            for (int sec : orStart(by.second, start.time.second()))
                times.append(h * 3600 + m * 60 + sec);
        }
    }
    std::sort(times.begin(), times.end());
    return times;
}

class Cursor {
public:
    virtual ~Cursor() = default;
    // The next start, as wall seconds; absent at the end of the rule or of the budget.
    virtual std::optional<qint64> next(ExpansionBudget& budget) = 0;
    // Moves ahead to about `wall` (never past a start at or after it). Only before the first next().
    virtual void seek(qint64 wall) = 0;
    // Moves ahead past the first `n` starts, if that can be done without stepping through them. Only
    // before the first next().
    virtual bool skipStarts(qint64 n) {
        Q_UNUSED(n);
        return false;
    }
};

// FREQ=DAILY with at most a weekday list: every INTERVAL days from DTSTART, on those weekdays.
class DailyCursor final : public Cursor {
public:
    DailyCursor(const icalrecurrencetype& r, const ByLists& by, QDate startDate, qint64 timeOfDay)
        : m_first(startDate.toJulianDay())
        , m_interval(r.interval)
        , m_time(timeOfDay)
        , m_weekdays(by.day.isEmpty() ? 0xfe : by.weekdayMask())
        , m_left(r.count > 0 ? r.count : -1) {
        // The weekdays repeat every seven candidates.
        for (int k = 0; k < 7; ++k)
            m_perWeek += passes(k) ? 1 : 0;
    }

    std::optional<qint64> next(ExpansionBudget& budget) override {
        for (;;) {
            if (m_left == 0 || !budget.spend())
                return std::nullopt;
            const qint64 day = m_first + m_index * m_interval;
            if (day >= firstJulianDayAfter)
                return std::nullopt;
            if (passes(m_index++)) {
                if (m_left > 0)
                    --m_left;
                return (day - julianDay1970) * secondsPerDay + m_time;
            }
        }
    }

    void seek(qint64 wall) override {
        const qint64 index = floorDiv(floorDiv(wall, secondsPerDay) + julianDay1970 - m_first, m_interval);
        if (index <= m_index)
            return;
        if (m_left > 0) {
            qint64 before = index / 7 * m_perWeek;
            for (qint64 k = index - index % 7; k < index; ++k)
                before += passes(k) ? 1 : 0;
            m_left = std::max<qint64>(0, m_left - before);
        }
        m_index = index;
    }

    bool skipStarts(qint64 n) override {
        if (m_perWeek == 0)
            return false;
        m_index = n / m_perWeek * 7;
        for (qint64 skipped = n / m_perWeek * m_perWeek; skipped < n; ++m_index)
            skipped += passes(m_index) ? 1 : 0;
        if (m_left > 0)
            m_left = std::max<qint64>(0, m_left - n);
        return true;
    }

private:
    bool passes(qint64 index) const {
        return m_weekdays & (1 << weekdayOfJulianDay(m_first + index * m_interval));
    }

    qint64 m_first;
    qint64 m_interval;
    qint64 m_time;
    int m_weekdays;
    qint64 m_left; // -1: no COUNT
    qint64 m_index = 0;
    qint64 m_perWeek = 0;
};

// FREQ=WEEKLY with at most a weekday list: those weekdays (or DTSTART's) of every INTERVAL-th week,
// weeks beginning on WKST.
class WeeklyCursor final : public Cursor {
public:
    WeeklyCursor(const icalrecurrencetype& r, const ByLists& by, QDate startDate, qint64 timeOfDay)
        : m_first(startDate.toJulianDay())
        , m_interval(r.interval)
        , m_time(timeOfDay)
        , m_left(r.count > 0 ? r.count : -1) {
        const int weekStart = weekStartOf(r);
        m_firstWeek = weekBeginning(m_first, weekStart);
        const int startOffset = int(m_first - m_firstWeek);
        for (const ByLists::Day& d : by.day)
            m_offsets.append((d.weekday - weekStart + 7) % 7);
        if (m_offsets.isEmpty())
            m_offsets.append(startOffset);
        std::sort(m_offsets.begin(), m_offsets.end());
        m_inFirstWeek =
            std::count_if(m_offsets.begin(), m_offsets.end(), [&](int o) { return o >= startOffset; });
    }

    std::optional<qint64> next(ExpansionBudget& budget) override {
        for (;;) {
            if (m_left == 0 || !budget.spend())
                return std::nullopt;
            const qint64 day = m_firstWeek + 7 * m_interval * m_week + m_offsets[m_slot];
            if (++m_slot == m_offsets.size()) {
                m_slot = 0;
                ++m_week;
            }
            if (day < m_first)
                continue;
            if (day >= firstJulianDayAfter)
                return std::nullopt;
            if (m_left > 0)
                --m_left;
            return (day - julianDay1970) * secondsPerDay + m_time;
        }
    }

    void seek(qint64 wall) override {
        const qint64 week =
            floorDiv(floorDiv(wall, secondsPerDay) + julianDay1970 - m_firstWeek, 7 * m_interval);
        if (week <= m_week)
            return;
        if (m_left > 0)
            m_left = std::max<qint64>(0, m_left - (m_inFirstWeek + (week - 1) * m_offsets.size()));
        m_week = week;
        m_slot = 0;
    }

    bool skipStarts(qint64 n) override {
        if (n < m_inFirstWeek) {
            // Week 0 begins before DTSTART: its starts before DTSTART are stepped over anyway.
            m_slot = m_offsets.size() - m_inFirstWeek + n;
        } else {
            const qint64 later = n - m_inFirstWeek;
            m_week = 1 + later / m_offsets.size();
            m_slot = later % m_offsets.size();
        }
        if (m_left > 0)
            m_left = std::max<qint64>(0, m_left - n);
        return true;
    }

private:
    qint64 m_first;
    qint64 m_interval;
    qint64 m_time;
    qint64 m_left;
    qint64 m_firstWeek = 0;
    QList<int> m_offsets; // days after the week's start, ascending
    qint64 m_inFirstWeek = 0;
    qint64 m_week = 0;
    qsizetype m_slot = 0;
};

// A rule stepped one period (a week, a year) at a time: each period's set, its days in the listed
// months (any when none) at the times of timesOfDay(), is queued with BYSETPOS applied, and COUNT
// counts what comes out.
class PeriodCursor : public Cursor {
public:
    std::optional<qint64> next(ExpansionBudget& budget) override {
        if (m_left == 0)
            return std::nullopt;
        while (m_pending.isEmpty()) {
            if (!queueNextPeriod(budget))
                return std::nullopt;
        }
        if (m_left > 0)
            --m_left;
        return m_pending.takeFirst();
    }

protected:
    PeriodCursor(const icalrecurrencetype& r, const ByLists& by, const ItemTime& start)
        : m_start(Wall::seconds(start.date, start.time))
        , m_setPos(by.setPos)
        , m_left(r.count > 0 ? r.count : -1)
        , m_times(timesOfDay(by, start)) {
        for (int month : by.month)
            m_months |= 1 << month;
    }

    // Queues the starts of the next period (perhaps none); false at the end of the rule or the budget.
    virtual bool queueNextPeriod(ExpansionBudget& budget) = 0;
    bool inMonths(qint64 julianDay) const {
        return !m_months || (m_months & (1 << QDate::fromJulianDay(julianDay).month()));
    }
    // Queues the period of those days (Julian days, ascending); false when the budget is used up. Each
    // start of the period costs a step, whichever BYSETPOS picks: a week may hold hundreds of
    // thousands of them (every second), and picking one of them takes building them all.
    bool queueDays(const QList<qint64>& days, ExpansionBudget& budget) {
        if (!budget.spend(days.size() * m_times.size()))
            return false;
        QList<qint64> set;
        set.reserve(days.size() * m_times.size());
        for (qint64 day : days) {
            for (int time : m_times)
                set.append((day - julianDay1970) * secondsPerDay + time);
        }
        queueSet(set, m_setPos, m_start, m_pending);
        return true;
    }
    // Counting needs every period before: a rule with COUNT cannot jump ahead.
    bool counts() const { return m_left >= 0; }

private:
    qint64 m_start;
    QList<int> m_setPos;
    qint64 m_left;      // -1: no COUNT
    QList<int> m_times; // seconds of the day, ascending
    int m_months = 0;   // bits by month
    QList<qint64> m_pending;
};

// FREQ=YEARLY with BYWEEKNO. libical 3.0 places the days of such a rule by arithmetic on DTSTART
// that runs outside its table of the year (without BYDAY it writes past it: a crash) and returns
// the days of weeks that straddle a new year out of order; so these are stepped here. A year holds
// the days of the listed weeks that fall in it (weeks begin on WKST, week 1 is the one that holds
// 4 January, a negative number counts from the last week of its own week year), on the listed
// weekdays (DTSTART's when none).
class WeekNoCursor final : public PeriodCursor {
public:
    WeekNoCursor(const icalrecurrencetype& r, const ByLists& by, const ItemTime& start)
        : PeriodCursor(r, by, start)
        , m_by(by)
        , m_year(start.date.year())
        , m_firstYear(start.date.year())
        , m_interval(r.interval)
        , m_weekStart(weekStartOf(r))
        , m_weekdays(by.day.isEmpty() ? 1 << start.date.dayOfWeek() : by.weekdayMask()) {}

    void seek(qint64 wall) override {
        if (counts())
            return;
        const int year = Wall::time(wall).date.year();
        if (year > m_year)
            m_year = m_firstYear + (year - m_firstYear) / m_interval * m_interval;
    }

private:
    bool queueNextPeriod(ExpansionBudget& budget) override {
        if (m_year > lastYear || !budget.spend(8))
            return false;
        const int year = m_year;
        m_year += m_interval;
        return expand(year, budget);
    }

    // The Julian day on which week 1 of that week year begins.
    qint64 firstWeek(int year) const { return weekBeginning(QDate(year, 1, 4).toJulianDay(), m_weekStart); }

    bool expand(int year, ExpansionBudget& budget) {
        const qint64 first = QDate(year, 1, 1).toJulianDay();
        const qint64 last = QDate(year, 12, 31).toJulianDay();
        QList<qint64> days;
        // The weeks of this calendar year belong to it, or to the week years before and after it.
        for (int weekYear = std::max(year - 1, 1); weekYear <= year + 1; ++weekYear) {
            const qint64 weekOne = firstWeek(weekYear);
            const qint64 weeks = (firstWeek(weekYear + 1) - weekOne) / 7;
            for (int n : m_by.weekNo) {
                const qint64 week = n > 0 ? n : weeks + n + 1;
                if (week < 1 || week > weeks)
                    continue;
                for (qint64 day = weekOne + 7 * (week - 1), end = day + 7; day < end; ++day) {
                    if (day >= first && day <= last && (m_weekdays & (1 << weekdayOfJulianDay(day))) &&
                        inMonths(day))
                        days.append(day);
                }
            }
        }
        std::sort(days.begin(), days.end());
        days.erase(std::unique(days.begin(), days.end()), days.end());
        return queueDays(days, budget);
    }

    ByLists m_by;
    int m_year;
    int m_firstYear;
    int m_interval;
    int m_weekStart; // Qt numbering
    int m_weekdays;  // bits by Qt weekday
};

// FREQ=WEEKLY with BYSETPOS, which libical ignores in a weekly rule (it gives every day of the set).
// Every INTERVAL-th week from WKST holds its days on the listed weekdays (DTSTART's when none);
// BYSETPOS picks among them, and COUNT counts what it picks.
class WeekSetCursor final : public PeriodCursor {
public:
    WeekSetCursor(const icalrecurrencetype& r, const ByLists& by, const ItemTime& start)
        : PeriodCursor(r, by, start)
        , m_interval(r.interval)
        , m_firstWeek(weekBeginning(start.date.toJulianDay(), weekStartOf(r))) {
        const int weekdays = by.day.isEmpty() ? 1 << start.date.dayOfWeek() : by.weekdayMask();
        for (int offset = 0; offset < 7; ++offset) {
            if (weekdays & (1 << weekdayOfJulianDay(m_firstWeek + offset)))
                m_days.append(offset);
        }
    }

    void seek(qint64 wall) override {
        if (counts())
            return;
        m_week = std::max(
            m_week, floorDiv(floorDiv(wall, secondsPerDay) + julianDay1970 - m_firstWeek, 7 * m_interval));
    }

private:
    bool queueNextPeriod(ExpansionBudget& budget) override {
        const qint64 week = m_firstWeek + 7 * m_interval * m_week++;
        if (week >= firstJulianDayAfter || !budget.spend())
            return false;
        QList<qint64> days;
        for (int offset : m_days) {
            const qint64 day = week + offset;
            if (day < firstJulianDayAfter && inMonths(day))
                days.append(day);
        }
        return queueDays(days, budget);
    }

    qint64 m_interval;
    qint64 m_firstWeek; // the Julian day on which DTSTART's week begins
    QList<int> m_days;  // days after the week's start, ascending
    qint64 m_week = 0;
};

// FREQ=DAILY (with more than a weekday list), HOURLY, MINUTELY or SECONDLY. Every part of the date
// and the coarser parts of the time only limit such a rule, so whole days, hours and minutes that
// fail them are skipped at once instead of stepping through them second by second. (libical cannot
// limit by a day of the month counted from its end: it looks for one, day by day, until 2582.)
class SubDailyCursor final : public Cursor {
public:
    SubDailyCursor(const icalrecurrencetype& r, const ByLists& by, qint64 start, bool isDate)
        : m_freq(r.freq)
        , m_by(by)
        , m_masks(by)
        , m_start(start)
        , m_left(r.count > 0 ? r.count : -1) {
        const qint64 unit = m_freq == ICAL_DAILY_RECURRENCE      ? secondsPerDay
                            : m_freq == ICAL_HOURLY_RECURRENCE   ? 3600
                            : m_freq == ICAL_MINUTELY_RECURRENCE ? 60
                                                                 : 1;
        m_step = unit * r.interval;
        m_firstPeriod = floorDiv(start, unit) * unit;
        const qint64 ofDay = start - floorDiv(start, secondsPerDay) * secondsPerDay;
        // What a period expands into: the listed hours, minutes and seconds finer than it, else
        // DTSTART's; a day-long event has its day.
        const bool daily = m_freq == ICAL_DAILY_RECURRENCE;
        QList<int> hours = daily && !by.hour.isEmpty() ? by.hour : QList<int>{int(ofDay / 3600)};
        QList<int> minutes = m_freq >= ICAL_HOURLY_RECURRENCE && !by.minute.isEmpty()
                                 ? by.minute
                                 : QList<int>{int(ofDay / 60 % 60)};
        QList<int> seconds = m_freq != ICAL_SECONDLY_RECURRENCE && !by.second.isEmpty()
                                 ? by.second
                                 : QList<int>{int(ofDay % 60)};
        std::sort(hours.begin(), hours.end());
        std::sort(minutes.begin(), minutes.end());
        std::sort(seconds.begin(), seconds.end());
        for (int h : hours) {
            for (int m : minutes) {
                for (int s : seconds) {
                    if (daily)
                        m_offsets.append(h * 3600 + m * 60 + s);
                    else if (m_freq == ICAL_HOURLY_RECURRENCE)
                        m_offsets.append(m * 60 + s);
                    else if (m_freq == ICAL_MINUTELY_RECURRENCE)
                        m_offsets.append(s);
                }
            }
        }
        if (m_freq == ICAL_SECONDLY_RECURRENCE || (daily && isDate))
            m_offsets = {0};
        m_offsets.erase(std::unique(m_offsets.begin(), m_offsets.end()), m_offsets.end());
    }

    std::optional<qint64> next(ExpansionBudget& budget) override {
        if (m_left == 0)
            return std::nullopt;
        while (m_pending.isEmpty()) {
            if (!budget.spend())
                return std::nullopt;
            const qint64 period = m_firstPeriod + m_period * m_step;
            if (period >= firstWallAfter)
                return std::nullopt;
            const qint64 day = floorDiv(period, secondsPerDay);
            const qint64 ofDay = period - day * secondsPerDay;
            if (!dateMatches(day)) {
                skipTo((day + 1) * secondsPerDay);
                continue;
            }
            const int hour = int(ofDay / 3600);
            if (m_freq <= ICAL_HOURLY_RECURRENCE && m_masks.hour && !(m_masks.hour & (1u << hour))) {
                skipTo(day * secondsPerDay + (hour + 1) * 3600);
                continue;
            }
            const int minute = int(ofDay / 60 % 60);
            if (m_freq < ICAL_HOURLY_RECURRENCE && m_masks.minute &&
                !(m_masks.minute & (quint64(1) << minute))) {
                skipTo(day * secondsPerDay + hour * 3600 + (minute + 1) * 60);
                continue;
            }
            ++m_period;
            if (m_freq == ICAL_SECONDLY_RECURRENCE && m_masks.second &&
                !(m_masks.second & (quint64(1) << (ofDay % 60))))
                continue;
            QList<qint64> set;
            for (int offset : m_offsets)
                set.append(period + offset);
            queueSet(set, m_by.setPos, m_start, m_pending);
        }
        // Each start costs a step of its own: an hour can expand into 3,600 of them.
        if (!budget.spend())
            return std::nullopt;
        if (m_left > 0)
            --m_left;
        return m_pending.takeFirst();
    }

    void seek(qint64 wall) override {
        // Only without COUNT: counting would need every period before.
        if (m_left >= 0)
            return;
        m_period = std::max(m_period, floorDiv(wall - m_firstPeriod, m_step));
    }

private:
    void skipTo(qint64 wall) { m_period = std::max(m_period + 1, ceilDiv(wall - m_firstPeriod, m_step)); }

    bool dateMatches(qint64 day) const {
        const ByMasks& m = m_masks;
        if (!m.anyDate)
            return true;
        if (m.weekday && !(m.weekday & (1u << weekdayOfJulianDay(day + julianDay1970))))
            return false;
        const QDate date = QDate::fromJulianDay(day + julianDay1970);
        if (m.month && !(m.month & (1u << date.month())))
            return false;
        if ((m.monthDay || m.monthDayFromEnd) && !(m.monthDay & (1u << date.day())) &&
            !(m.monthDayFromEnd & (1u << (date.daysInMonth() - date.day() + 1))))
            return false;
        if ((m.yearDay.any() || m.yearDayFromEnd.any()) && !m.yearDay.test(size_t(date.dayOfYear())) &&
            !m.yearDayFromEnd.test(size_t(date.daysInYear() - date.dayOfYear() + 1)))
            return false;
        return true;
    }

    icalrecurrencetype_frequency m_freq;
    ByLists m_by;
    ByMasks m_masks;
    qint64 m_start;
    qint64 m_left;
    qint64 m_step = 1;
    qint64 m_firstPeriod = 0;
    qint64 m_period = 0;
    QList<int> m_offsets; // seconds after a period's start that it expands into
    QList<qint64> m_pending;
};

// Every other rule, stepped by libical once checked.
class LibicalCursor final : public Cursor {
public:
    LibicalCursor(const icalrecurrencetype& r, const ItemTime& start)
        : m_count(r.count)
        , m_isDate(start.isDate)
        , m_start(Wall::seconds(start.date, start.time))
        , m_it(icalrecur_iterator_new(r, icalWallTime(start.date, start.time, start.isDate))) {}
    ~LibicalCursor() override {
        if (m_it)
            icalrecur_iterator_free(m_it);
    }

    std::optional<qint64> next(ExpansionBudget& budget) override {
        if (!m_it || !budget.spend())
            return std::nullopt;
        const icaltimetype t = icalrecur_iterator_next(m_it);
        if (icaltime_is_null_time(t))
            return std::nullopt;
        const QDate date(t.year, t.month, t.day);
        const QTime time = m_isDate ? QTime(0, 0) : QTime(t.hour, t.minute, t.second);
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        return Wall::seconds(date, time);
    }

    void seek(qint64 wall) override {
        // libical can jump only when it need not count.
        if (!m_it || m_count != 0 || wall <= m_start)
            return;
        const WallTime w = Wall::time(wall);
        icalrecur_iterator_set_start(m_it, icalWallTime(w.date, w.time, m_isDate));
    }

private:
    int m_count;
    bool m_isDate;
    qint64 m_start;
    icalrecur_iterator* m_it;
};

} // namespace

namespace Wall {

qint64 seconds(QDate date, QTime time) {
    return (date.toJulianDay() - julianDay1970) * secondsPerDay + time.msecsSinceStartOfDay() / 1000;
}

WallTime time(qint64 seconds) {
    const qint64 day = floorDiv(seconds, secondsPerDay);
    return {QDate::fromJulianDay(day + julianDay1970),
            QTime::fromMSecsSinceStartOfDay(int(seconds - day * secondsPerDay) * 1000)};
}

} // namespace Wall

namespace {

std::unique_ptr<Cursor> cursorFor(const icalrecurrencetype& r, const ItemTime& start, bool daily,
                                  bool weekly) {
    const ByLists by(r);
    const qint64 wall = Wall::seconds(start.date, start.time);
    const qint64 timeOfDay = wall - floorDiv(wall, secondsPerDay) * secondsPerDay;
    if (daily)
        return std::make_unique<DailyCursor>(r, by, start.date, timeOfDay);
    if (weekly)
        return std::make_unique<WeeklyCursor>(r, by, start.date, timeOfDay);
    if (r.freq <= ICAL_DAILY_RECURRENCE)
        return std::make_unique<SubDailyCursor>(r, by, wall, start.isDate);
    if (r.freq == ICAL_YEARLY_RECURRENCE && !by.weekNo.isEmpty())
        return std::make_unique<WeekNoCursor>(r, by, start);
    if (r.freq == ICAL_WEEKLY_RECURRENCE && !by.setPos.isEmpty())
        return std::make_unique<WeekSetCursor>(r, by, start);
    return std::make_unique<LibicalCursor>(r, start);
}

} // namespace

icalrecurrencetype RecurrenceRule::withoutRepeats(const icalrecurrencetype& rule) {
    icalrecurrencetype out = rule;
    const std::pair<short*, int> lists[] = {
        {out.by_second, ICAL_BY_SECOND_SIZE},      {out.by_minute, ICAL_BY_MINUTE_SIZE},
        {out.by_hour, ICAL_BY_HOUR_SIZE},          {out.by_day, ICAL_BY_DAY_SIZE},
        {out.by_month_day, ICAL_BY_MONTHDAY_SIZE}, {out.by_year_day, ICAL_BY_YEARDAY_SIZE},
        {out.by_week_no, ICAL_BY_WEEKNO_SIZE},     {out.by_month, ICAL_BY_MONTH_SIZE},
        {out.by_set_pos, ICAL_BY_SETPOS_SIZE},
    };
    // Weekdays from the week's first day, as libical's weekly stepping expects them.
    const int weekStart = rule.week_start == ICAL_NO_WEEKDAY ? ICAL_MONDAY_WEEKDAY : rule.week_start;
    for (const auto& [array, size] : lists) {
        int kept = 0;
        for (int i = 0; i < size && array[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
            if (std::find(array, array + kept, array[i]) == array + kept)
                array[kept++] = array[i];
        }
        if (kept < size)
            array[kept] = ICAL_RECURRENCE_ARRAY_MAX;
        if (array == out.by_day) {
            std::stable_sort(array, array + kept, [&](short a, short b) {
                auto fromStart = [&](short d) {
                    return (int(icalrecurrencetype_day_day_of_week(d)) - weekStart + 7) % 7;
                };
                return fromStart(a) < fromStart(b);
            });
        } else {
            std::sort(array, array + kept);
        }
    }
    return out;
}

std::optional<RecurrenceRule> RecurrenceRule::make(const icalrecurrencetype& rule, const ItemTime& start,
                                                   ExpansionBudget& budget, QString* reason) {
    // Checking a rule costs as much as a few steps: an item of thousands of rules pays for them.
    if (!budget.spend(checkingCost)) {
        if (reason)
            *reason = QStringLiteral("too many rules to check");
        return std::nullopt;
    }
    const icalrecurrencetype normal = withoutRepeats(rule);
    if (const std::optional<QString> why = problem(normal, start, budget)) {
        if (reason)
            *reason = *why;
        return std::nullopt;
    }
    RecurrenceRule r;
    r.m_rule = normal;
    r.m_rule.rscale = nullptr; // owned by the property; other calendar scales read as Gregorian

    const ByLists by(normal);
    const bool onlyWeekdays = by.second.isEmpty() && by.minute.isEmpty() && by.hour.isEmpty() &&
                              by.monthDay.isEmpty() && by.yearDay.isEmpty() && by.weekNo.isEmpty() &&
                              by.month.isEmpty() && by.setPos.isEmpty() && !by.hasOrdinals();
    if (onlyWeekdays && rule.freq == ICAL_DAILY_RECURRENCE)
        r.m_engine = Engine::daily;
    else if (onlyWeekdays && rule.freq == ICAL_WEEKLY_RECURRENCE)
        r.m_engine = Engine::weekly;
    else if (rule.freq <= ICAL_DAILY_RECURRENCE)
        r.m_engine = Engine::subDaily;
    else if (rule.freq == ICAL_YEARLY_RECURRENCE && !by.weekNo.isEmpty())
        r.m_engine = Engine::weekNo;
    else if (rule.freq == ICAL_WEEKLY_RECURRENCE && !by.setPos.isEmpty())
        r.m_engine = Engine::weekSet;

    // libical counts the days before the Gregorian reform as the Julian calendar did (its ICU
    // calendar does), so from a DTSTART there it gives other weekdays, and may look for the rule's
    // days until 2582 inside one call. It starts at the same point of the 400-year Gregorian cycle
    // in 1583 or later instead, which gives the same starts from there on; counting would need the
    // ones before.
    if (r.m_engine == Engine::libical && start.date.year() < firstGregorianYear) {
        const int cycle = 400 * rule.interval;
        r.m_shiftYears = (firstGregorianYear - start.date.year() + cycle - 1) / cycle * cycle;
        if (rule.count > 0 || start.date.year() + r.m_shiftYears > lastYear) {
            if (reason)
                *reason = QStringLiteral("a DTSTART before 1583 that libical reads as Julian");
            return std::nullopt;
        }
    }

    // UNTIL is compared in its own form: libical would compare a UTC UNTIL with the zone-less wall
    // clock that the stepping runs on.
    if (!icaltime_is_null_time(rule.until)) {
        const QDate d(rule.until.year, rule.until.month, rule.until.day);
        const QTime t(rule.until.hour, rule.until.minute, rule.until.second);
        if (!d.isValid() || !t.isValid()) {
            if (reason)
                *reason = QStringLiteral("UNTIL is no date");
            return std::nullopt;
        }
        if (rule.until.is_date) {
            r.m_untilKind = Until::date;
            r.m_untilWall = Wall::seconds(d, QTime(23, 59, 59));
        } else if (icaltime_is_utc(rule.until)) {
            r.m_untilKind = Until::instant;
            r.m_untilInstant = QDateTime(d, t, Qt::UTC);
        } else {
            r.m_untilKind = Until::wallClock;
            r.m_untilWall = Wall::seconds(d, t);
        }
        r.m_rule.until = icaltime_null_time();
        // Wall clocks stand within a day of their instant.
        r.m_last = r.m_untilKind == Until::instant ? r.m_untilInstant : QDateTime(d, t, Qt::UTC).addDays(1);
    }
    if (rule.count > 0) {
        // Found once, so that later queries past the last start need not walk at all. (A rule
        // stepped from a later start has no COUNT.)
        std::unique_ptr<Cursor> cursor =
            cursorFor(r.m_rule, start, r.m_engine == Engine::daily, r.m_engine == Engine::weekly);
        auto lastFrom = [&](qint64 wall) {
            const WallTime w = Wall::time(wall);
            const QDateTime bound = QDateTime(w.date, w.time, Qt::UTC).addDays(1);
            r.m_last = r.m_last.isValid() ? std::min(r.m_last, bound) : bound;
        };
        if (cursor->skipStarts(rule.count - 1)) {
            // Without a last start the count runs past libical's last year: the rule stays open.
            if (const std::optional<qint64> last = cursor->next(budget))
                lastFrom(*last);
        } else {
            std::optional<qint64> last;
            while (const std::optional<qint64> next = cursor->next(budget))
                last = next;
            if (budget.exhausted()) {
                if (reason)
                    *reason = QStringLiteral("too long to count");
                return std::nullopt;
            }
            if (last)
                lastFrom(*last);
            else
                r.m_last = QDateTime(start.date, QTime(0, 0), Qt::UTC).addDays(-1);
        }
    }
    return r;
}

std::optional<ItemTime> RecurrenceRule::shiftedStart(const ItemTime& start) const {
    if (m_shiftYears == 0)
        return std::nullopt;
    ItemTime shifted = start;
    shifted.date = start.date.addYears(m_shiftYears); // the cycle keeps the leap years
    return shifted;
}

void RecurrenceRule::startsIn(const ItemTime& start, const QDateTime& from, const QDateTime& to,
                              const QTimeZone& userZone, ExpansionBudget& budget,
                              QList<ItemTime>& out) const {
    if (m_last.isValid() && m_last < from)
        return;
    const std::optional<ItemTime> later = shiftedStart(start);
    std::unique_ptr<Cursor> cursor =
        cursorFor(m_rule, later ? *later : start, m_engine == Engine::daily, m_engine == Engine::weekly);
    // Jump close to the range instead of walking from DTSTART (years of daily instances). Two days of
    // slack cover any zone offset.
    const QDateTime jump = from.toUTC().addDays(-2);
    cursor->seek(Wall::seconds(jump.date(), jump.time()));
    while (const std::optional<qint64> wall = cursor->next(budget)) {
        if ((m_untilKind == Until::date || m_untilKind == Until::wallClock) && *wall > m_untilWall)
            break;
        const WallTime w = Wall::time(*wall);
        const ItemTime instance = ItemTime::make(w.date, w.time, start.isDate, start.zone, userZone);
        if (m_untilKind == Until::instant && instance.instant > m_untilInstant)
            break;
        if (instance.instant >= to)
            break;
        if (instance.instant >= from)
            out.append(instance);
    }
}
