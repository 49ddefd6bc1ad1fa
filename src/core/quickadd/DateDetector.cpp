#include "core/quickadd/DateDetector.h"

#include "core/model/Cal.h"

#include <QTime>

#include <algorithm>
#include <array>
#include <string_view>

// A hand-written scanner rather than one large regular expression: the forms combine (a weekday with a
// date, a day with a time or a time range, two days into a range) and each combination needs the values
// of its parts, which a single pattern would only hand back as text to be read a second time.
//
// Grammar, over words separated by any run of blanks:
//   expression := relative-time | [from] point [separator point-or-day-number]
//   point      := atom { joiner atom }   with at most one day, one day part and one time
//   atom       := day | day-part | time
//   time       := [at | from] clock [separator clock]
//   joiner     := blanks, a comma, "@" (each optional); the next atom may bring its own "on"/"at"/"the"

namespace {

// ---- Vocabulary ----------------------------------------------------------------------------------

enum class Kind : quint8 {
    Weekday,
    Month,
    RelativeDay,
    Tonight,
    DayPart,
    Noon,
    Midnight,
    This,
    Next,
    On,
    At,
    The,
    Of,
    From,
    In,
    RangeWord,
    Am,
    Pm,
    HourUnit,
    MinuteUnit,
    DayUnit,
    WeekUnit,
};

struct Entry {
    std::string_view word;
    Kind kind;
    int value = 0;             // weekday 1-7, month 1-12, day offset, hour of a day part, unit count
    bool abbreviation = false; // may carry one full stop, which then belongs to the match
};

constexpr auto kWords = std::to_array<Entry>({
    {"afternoon", Kind::DayPart, 15},
    {"am", Kind::Am},
    {"apr", Kind::Month, 4, true},
    {"april", Kind::Month, 4},
    {"at", Kind::At},
    {"aug", Kind::Month, 8, true},
    {"august", Kind::Month, 8},
    {"day", Kind::DayUnit, 1},
    {"days", Kind::DayUnit, 2},
    {"dec", Kind::Month, 12, true},
    {"december", Kind::Month, 12},
    {"evening", Kind::DayPart, 19},
    {"feb", Kind::Month, 2, true},
    {"february", Kind::Month, 2},
    {"fri", Kind::Weekday, 5, true},
    {"friday", Kind::Weekday, 5},
    {"from", Kind::From},
    {"h", Kind::HourUnit},
    {"hour", Kind::HourUnit},
    {"hours", Kind::HourUnit},
    {"hr", Kind::HourUnit},
    {"hrs", Kind::HourUnit},
    {"in", Kind::In},
    {"jan", Kind::Month, 1, true},
    {"january", Kind::Month, 1},
    {"jul", Kind::Month, 7, true},
    {"july", Kind::Month, 7},
    {"jun", Kind::Month, 6, true},
    {"june", Kind::Month, 6},
    {"mar", Kind::Month, 3, true},
    {"march", Kind::Month, 3},
    {"may", Kind::Month, 5},
    {"midnight", Kind::Midnight},
    {"min", Kind::MinuteUnit},
    {"mins", Kind::MinuteUnit},
    {"minute", Kind::MinuteUnit},
    {"minutes", Kind::MinuteUnit},
    {"mon", Kind::Weekday, 1, true},
    {"monday", Kind::Weekday, 1},
    {"morning", Kind::DayPart, 9},
    {"next", Kind::Next},
    {"noon", Kind::Noon},
    {"nov", Kind::Month, 11, true},
    {"november", Kind::Month, 11},
    {"oct", Kind::Month, 10, true},
    {"october", Kind::Month, 10},
    {"of", Kind::Of},
    {"on", Kind::On},
    {"pm", Kind::Pm},
    {"sat", Kind::Weekday, 6, true},
    {"saturday", Kind::Weekday, 6},
    {"sep", Kind::Month, 9, true},
    {"sept", Kind::Month, 9, true},
    {"september", Kind::Month, 9},
    {"sun", Kind::Weekday, 7, true},
    {"sunday", Kind::Weekday, 7},
    {"the", Kind::The},
    {"this", Kind::This},
    {"thu", Kind::Weekday, 4, true},
    {"thur", Kind::Weekday, 4, true},
    {"thurs", Kind::Weekday, 4, true},
    {"thursday", Kind::Weekday, 4},
    {"till", Kind::RangeWord},
    {"tmrw", Kind::RelativeDay, 1},
    {"to", Kind::RangeWord},
    {"today", Kind::RelativeDay, 0},
    {"tomorrow", Kind::RelativeDay, 1},
    {"tonight", Kind::Tonight, 20},
    {"tue", Kind::Weekday, 2, true},
    {"tues", Kind::Weekday, 2, true},
    {"tuesday", Kind::Weekday, 2},
    {"until", Kind::RangeWord},
    {"wed", Kind::Weekday, 3, true},
    {"wednesday", Kind::Weekday, 3},
    {"weds", Kind::Weekday, 3, true},
    {"week", Kind::WeekUnit, 1},
    {"weeks", Kind::WeekUnit, 2},
    {"yesterday", Kind::RelativeDay, -1},
});
static_assert(std::ranges::is_sorted(kWords, {}, &Entry::word), "the word table is searched by halving");

constexpr int kMorning = 9;
constexpr int kEveningFrom = 15; // afternoon, evening and tonight read morning hours as afternoon ones
constexpr int kDateOnlyHour = 12;
constexpr qsizetype kLongestWord = 9;

const Entry* lookup(QStringView word) {
    if (word.size() > kLongestWord)
        return nullptr;
    char buffer[kLongestWord];
    for (qsizetype i = 0; i < word.size(); ++i) {
        char16_t c = word[i].unicode();
        buffer[i] = char(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c);
    }
    const std::string_view key(buffer, size_t(word.size()));
    auto it = std::ranges::lower_bound(kWords, key, {}, &Entry::word);
    return it != kWords.end() && it->word == key ? &*it : nullptr;
}

bool isAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}
bool isAsciiLetter(QChar c) {
    const char16_t u = c.unicode() | 0x20;
    return u >= u'a' && u <= u'z';
}
bool isDash(QChar c) {
    return c == u'-' || c == u'–' || c == u'—';
}
bool isWordCodePoint(char32_t c) {
    return c == U'_' || QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

// ---- Values read from the text -------------------------------------------------------------------

enum class Period : quint8 { None, Am, Pm };

struct Clock {
    int hour = 0, minute = 0;
    Period period = Period::None;
    bool full = false;     // a time by itself: minutes, a period, o'clock, noon, midnight or "at H"
    bool endOfDay = false; // midnight closes the day it belongs to
    qsizetype end = 0;
};

struct Time {
    Clock start;
    std::optional<Clock> end; // a time range
    qsizetype endPos = 0;
};

enum class DayKind : quint8 { Fixed, Weekday, Yearless };

struct Day {
    QDate date;
    DayKind kind = DayKind::Fixed;
    bool namesDayOfMonth = false; // "Dec 5", so that "Dec 5 - 7" can read the 7 as a day
    qsizetype end = 0;
};

struct DayPart {
    int hour = 0;
    bool tonight = false;
    qsizetype end = 0;
};

struct Point {
    qsizetype pos = 0, end = 0;
    std::optional<Day> day;
    std::optional<DayPart> part;
    std::optional<Time> time;

    bool hasTimeOfDay() const { return time || part; }
};

int to24(int hour, Period period) {
    switch (period) {
    case Period::Am:
        return hour % 12;
    case Period::Pm:
        return hour % 12 + 12;
    case Period::None:
        break;
    }
    return hour;
}

Period other(Period p) {
    return p == Period::Am ? Period::Pm : Period::Am;
}

// The hours a day part moves a clock by: "tonight at 9am" (9 being what "at 9" becomes before
// detection) is 21:00, and "morning at 7pm" is 07:00.
int partShift(const Clock& c, Period effective, const std::optional<DayPart>& part) {
    const int h = to24(c.hour, effective);
    if (part && part->hour >= kEveningFrom && h >= 1 && h <= 11)
        return 12;
    if (part && part->hour == kMorning && c.period == Period::Pm && h >= 13)
        return -12;
    return 0;
}

// ---- The scanner ---------------------------------------------------------------------------------

class Scanner {
public:
    Scanner(QStringView text, const QDateTime& now, const Cal& cal)
        : m_s(text)
        , m_now(now)
        , m_cal(cal)
        , m_today(cal.dateOf(now)) {
        const QString format = cal.locale().dateFormat(QLocale::ShortFormat);
        m_monthFirst = format.indexOf(u'M') < format.indexOf(u'd');
    }

    QList<DateMatch> run() const {
        QList<DateMatch> out;
        const qsizetype n = m_s.size();
        for (qsizetype i = 0; i < n;) {
            const QChar c = m_s[i];
            if ((isAsciiLetter(c) || isAsciiDigit(c)) && !wordCharBefore(i)) {
                if (auto m = expression(i)) {
                    i = m->pos + m->len;
                    out.append(std::move(*m));
                    continue;
                }
            }
            ++i;
        }
        return out;
    }

private:
    // -- characters

    bool charAt(qsizetype i, char16_t c) const { return i < m_s.size() && m_s[i] == c; }
    bool digitAt(qsizetype i) const { return i < m_s.size() && isAsciiDigit(m_s[i]); }

    bool wordCharAt(qsizetype i) const {
        if (i >= m_s.size())
            return false;
        const QChar c = m_s[i];
        if (c.isHighSurrogate() && i + 1 < m_s.size() && m_s[i + 1].isLowSurrogate())
            return isWordCodePoint(QChar::surrogateToUcs4(c, m_s[i + 1]));
        return isWordCodePoint(c.unicode());
    }

    bool wordCharBefore(qsizetype i) const {
        if (i <= 0)
            return false;
        const QChar c = m_s[i - 1];
        if (c.isLowSurrogate() && i >= 2 && m_s[i - 2].isHighSurrogate())
            return isWordCodePoint(QChar::surrogateToUcs4(m_s[i - 2], c));
        return isWordCodePoint(c.unicode());
    }

    qsizetype blanks(qsizetype i) const {
        while (i < m_s.size() && m_s[i].isSpace())
            ++i;
        return i;
    }

    // Blanks that must be there: the position after them, or nothing when there are none.
    std::optional<qsizetype> gap(qsizetype i) const {
        const qsizetype j = blanks(i);
        return j > i ? std::optional(j) : std::nullopt;
    }

    // -- words and numbers

    struct Word {
        const Entry* entry;
        qsizetype end;
        Kind kind() const { return entry->kind; }
        int value() const { return entry->value; }
    };

    // A known word starting at i. Right after a number ("3pm", "2h") the word needs no boundary before.
    std::optional<Word> word(qsizetype i, bool afterNumber = false) const {
        if (i >= m_s.size() || !isAsciiLetter(m_s[i]) || (!afterNumber && wordCharBefore(i)))
            return std::nullopt;
        qsizetype j = i;
        while (j < m_s.size() && isAsciiLetter(m_s[j]))
            ++j;
        if (wordCharAt(j))
            return std::nullopt;
        const Entry* e = lookup(m_s.sliced(i, j - i));
        if (!e)
            return std::nullopt;
        if (e->abbreviation && charAt(j, u'.'))
            ++j;
        return Word{e, j};
    }

    std::optional<Word> word(qsizetype i, Kind kind) const {
        auto w = word(i);
        return w && w->kind() == kind ? w : std::nullopt;
    }

    struct Number {
        int value = 0;
        int digits = 0;
        qsizetype end = 0;
    };

    // ASCII digits at the start of a word; at most nine, so that the value fits.
    std::optional<Number> number(qsizetype i) const {
        if (!digitAt(i) || wordCharBefore(i))
            return std::nullopt;
        Number n;
        qsizetype j = i;
        for (; digitAt(j); ++j) {
            if (++n.digits > 9)
                return std::nullopt;
            n.value = n.value * 10 + (m_s[j].unicode() - u'0');
        }
        n.end = j;
        return n;
    }

    std::optional<qsizetype> oClock(qsizetype i) const {
        constexpr QStringView word = u"o'clock";
        if (i + word.size() > m_s.size() || wordCharBefore(i) ||
            m_s.sliced(i, word.size()).compare(word, Qt::CaseInsensitive) != 0 || wordCharAt(i + word.size()))
            return std::nullopt;
        return i + word.size();
    }

    // "am", "pm", "a.m." or "p.m." at i, directly after a number or after blanks.
    std::optional<std::pair<Period, qsizetype>> period(qsizetype i, bool afterNumber) const {
        if (auto w = word(i, afterNumber)) {
            if (w->kind() == Kind::Am || w->kind() == Kind::Pm)
                return std::pair(w->kind() == Kind::Am ? Period::Am : Period::Pm, w->end);
            return std::nullopt;
        }
        if (i + 4 > m_s.size() || (!afterNumber && wordCharBefore(i)))
            return std::nullopt;
        const char16_t a = m_s[i].unicode() | 0x20;
        const char16_t m = m_s[i + 2].unicode() | 0x20;
        if ((a != u'a' && a != u'p') || m_s[i + 1] != u'.' || m != u'm' || m_s[i + 3] != u'.' ||
            wordCharAt(i + 4))
            return std::nullopt;
        return std::pair(a == u'a' ? Period::Am : Period::Pm, i + 4);
    }

    bool periodFollows(qsizetype i) const { return period(blanks(i), true).has_value(); }

    // A range separator after i: a dash with or without blanks, or "to", "until", "till" between
    // blanks. Returns where the range's second half starts.
    std::optional<qsizetype> separator(qsizetype i) const {
        const qsizetype k = blanks(i);
        if (k < m_s.size() && isDash(m_s[k]))
            return blanks(k + 1);
        if (k > i) {
            if (auto w = word(k, Kind::RangeWord))
                return gap(w->end);
        }
        return std::nullopt;
    }

    // -- times

    std::optional<Clock> clock(qsizetype i, bool afterAt) const {
        if (auto w = word(i)) {
            if (w->kind() == Kind::Noon)
                return Clock{12, 0, Period::Pm, true, false, w->end};
            if (w->kind() == Kind::Midnight)
                return Clock{0, 0, Period::None, true, true, w->end};
            return std::nullopt;
        }
        auto num = number(i);
        if (!num || num->digits > 2)
            return std::nullopt;
        Clock c;
        c.hour = num->value;
        qsizetype j = num->end;
        bool colonMinutes = false, dotMinutes = false;
        if ((charAt(j, u':') || charAt(j, u'.')) && digitAt(j + 1) && digitAt(j + 2) && !digitAt(j + 3)) {
            (charAt(j, u':') ? colonMinutes : dotMinutes) = true;
            c.minute = (m_s[j + 1].unicode() - u'0') * 10 + (m_s[j + 2].unicode() - u'0');
            j += 3;
            if (charAt(j, u':') || (charAt(j, u'.') && digitAt(j + 1)))
                return std::nullopt; // seconds, or a longer dotted number
        }
        if (auto p = period(blanks(j), true)) {
            if (c.hour < 1 || c.hour > 12 || c.minute > 59)
                return std::nullopt; // "13pm" means nothing
            c.period = p->first;
            c.full = true;
            c.end = p->second;
        } else {
            if (dotMinutes || wordCharAt(j))
                return std::nullopt; // "9.30" could be a date or a price; "9h30" is not ours
            if (c.hour > 23 || c.minute > 59)
                return std::nullopt;
            // Hours that "at" cannot mean in the morning or afternoon are 24-hour times; "at 1" to
            // "at 12" arrive here only when a period was not guessed for them, and stay unread.
            c.full = colonMinutes || (afterAt && (c.hour == 0 || c.hour >= 13));
            c.end = j;
        }
        if (auto e = oClock(blanks(c.end))) {
            if (c.period == Period::None && !colonMinutes && c.hour >= 1 && c.hour <= 12)
                c.period = c.hour >= 8 && c.hour <= 11 ? Period::Am : Period::Pm;
            c.full = true;
            c.end = *e;
        }
        return c;
    }

    std::optional<Time> time(qsizetype i) const {
        qsizetype j = i;
        bool from = false, at = false;
        if (auto w = word(i); w && (w->kind() == Kind::From || w->kind() == Kind::At)) {
            auto next = gap(w->end);
            if (!next)
                return std::nullopt;
            (w->kind() == Kind::From ? from : at) = true;
            j = *next;
        }
        auto first = clock(j, at);
        if (!first)
            return std::nullopt;
        if (auto k = separator(first->end)) {
            auto second = clock(*k, false);
            if (second && (first->full || second->full) && (second->full || !dayOfMonthFollows(second->end)))
                return Time{*first, second, second->end};
        }
        if (from || !first->full)
            return std::nullopt;
        return Time{*first, std::nullopt, first->end};
    }

    // -- days

    bool dayOfMonthFollows(qsizetype i) const {
        const qsizetype k = blanks(i);
        return k > i && word(k, Kind::Month).has_value();
    }

    QDate nearestWeekday(int weekday) const {
        return m_today.addDays((weekday - m_today.dayOfWeek() + 7) % 7);
    }
    QDate mondayOfNextWeek() const { return m_today.addDays(8 - m_today.dayOfWeek()); }

    // A month and day without a year: this year when still to come (today included), else the next
    // year that has that day.
    QDate yearless(int month, int day) const {
        for (int year = m_today.year(); year <= m_today.year() + 8; ++year) {
            const QDate d(year, month, day);
            if (d.isValid() && d >= m_today)
                return d;
        }
        return {};
    }

    // "the 3rd": this month when still to come, else the next month that has that day.
    QDate ordinal(int day) const {
        const QDate first(m_today.year(), m_today.month(), 1);
        for (int k = 0; k <= 12; ++k) {
            const QDate month = first.addMonths(k);
            const QDate d(month.year(), month.month(), day);
            if (d.isValid() && d >= m_today)
                return d;
        }
        return {};
    }

    struct DayNumber {
        int value = 0;
        bool ordinal = false;
        qsizetype end = 0;
    };

    // 1 to 31, with or without "st", "nd", "rd", "th", and not the hour of a time.
    std::optional<DayNumber> dayNumber(qsizetype i) const {
        auto num = number(i);
        if (!num || num->digits > 2 || num->value < 1 || num->value > 31)
            return std::nullopt;
        DayNumber d{num->value, false, num->end};
        if (num->end + 2 <= m_s.size()) {
            const QStringView suffix = m_s.sliced(num->end, 2);
            for (QStringView s : {u"st", u"nd", u"rd", u"th"}) {
                if (suffix.compare(s, Qt::CaseInsensitive) == 0 && !wordCharAt(num->end + 2)) {
                    d.ordinal = true;
                    d.end = num->end + 2;
                }
            }
        }
        if (wordCharAt(d.end) || charAt(d.end, u':') || (charAt(d.end, u'.') && digitAt(d.end + 1)) ||
            (!d.ordinal && (periodFollows(d.end) || oClock(blanks(d.end)))))
            return std::nullopt;
        return d;
    }

    // ", 2026" or " 2026" after a day: the year and where it ends.
    std::optional<std::pair<int, qsizetype>> year(qsizetype i) const {
        qsizetype k = blanks(i);
        if (charAt(k, u','))
            k = blanks(k + 1);
        if (k == i)
            return std::nullopt;
        auto num = number(k);
        if (!num || num->digits != 4 || wordCharAt(num->end) || charAt(num->end, u':'))
            return std::nullopt;
        return std::pair(num->value, num->end);
    }

    std::optional<Day> datedDay(int y, int month, int day, bool withYear, qsizetype end) const {
        const QDate date = withYear ? QDate(y, month, day) : yearless(month, day);
        if (!date.isValid())
            return std::nullopt;
        return Day{date, withYear ? DayKind::Fixed : DayKind::Yearless, true, end};
    }

    // "Dec 5", "December 5th, 2026".
    std::optional<Day> monthThenDay(const Word& month) const {
        auto k =
            month.end > 0 && m_s[month.end - 1] == u'.' ? blanks(month.end) : gap(month.end).value_or(-1);
        if (k < 0)
            return std::nullopt;
        auto dn = dayNumber(k);
        if (!dn)
            return std::nullopt;
        auto y = year(dn->end);
        return datedDay(y ? y->first : 0, month.value(), dn->value, y.has_value(), y ? y->second : dn->end);
    }

    // "12/5", "12/5/2026", "5.12.2026", "5-12-2026", "2026-12-05".
    std::optional<Day> numericDay(const Number& first) const {
        const qsizetype i = first.end - first.digits;
        // Not the tail of a longer number: "5/26" is no date inside "12/5/26".
        if (i > 0 &&
            (m_s[i - 1] == u':' || ((m_s[i - 1] == u'/' || m_s[i - 1] == u'.' || m_s[i - 1] == u'-') &&
                                    i > 1 && isAsciiDigit(m_s[i - 2]))))
            return std::nullopt;
        const QChar sep = m_s[first.end];
        auto second = number(first.end + 1);
        if (!second || second->digits > 2)
            return std::nullopt;
        qsizetype end = second->end;
        int y = 0, a = first.value, b = second->value;
        bool withYear = false;
        if (first.digits == 4) {
            auto third = charAt(end, sep.unicode()) ? number(end + 1) : std::nullopt;
            if (!third || third->digits > 2)
                return std::nullopt;
            y = first.value, a = second->value, b = third->value, withYear = true;
            end = third->end;
        } else if (charAt(end, sep.unicode())) {
            auto third = number(end + 1);
            if (!third || third->digits != 4)
                return std::nullopt; // two-digit years are not read
            y = third->value, withYear = true;
            end = third->end;
        } else if (sep != u'/') {
            return std::nullopt; // "9.30" and "9-10" without a year are not dates
        }
        if (wordCharAt(end) || charAt(end, u':') ||
            (end < m_s.size() && (m_s[end] == u'/' || m_s[end] == u'.' || m_s[end] == u'-') &&
             digitAt(end + 1)) ||
            periodFollows(end))
            return std::nullopt;
        int month = a, day = b;
        if (first.digits != 4 && (sep == u'.' || !m_monthFirst))
            std::swap(month, day);
        return datedDay(y, month, day, withYear, end);
    }

    // A date that names its day explicitly: a month and day, a numeric date, "the 3rd".
    // A lone ordinal needs "the" or "on" before it, so that "2nd draft" stays a title.
    std::optional<Day> explicitDay(qsizetype i, bool loneOrdinal) const {
        if (auto the = word(i, Kind::The)) {
            auto k = gap(the->end);
            if (!k)
                return std::nullopt;
            i = *k;
            loneOrdinal = true;
        }
        if (auto month = word(i, Kind::Month))
            return monthThenDay(*month);
        auto num = number(i);
        if (!num)
            return std::nullopt;
        if ((num->digits <= 2 || num->digits == 4) && num->end < m_s.size() &&
            (m_s[num->end] == u'/' || m_s[num->end] == u'.' || m_s[num->end] == u'-') &&
            digitAt(num->end + 1))
            return numericDay(*num);
        auto dn = dayNumber(i);
        if (!dn)
            return std::nullopt;
        if (auto k = gap(dn->end)) {
            if (auto of = word(*k, Kind::Of))
                k = gap(of->end);
            if (k) {
                if (auto month = word(*k, Kind::Month)) {
                    auto y = year(month->end);
                    return datedDay(y ? y->first : 0, month->value(), dn->value, y.has_value(),
                                    y ? y->second : month->end);
                }
            }
        }
        if (dn->ordinal && loneOrdinal) {
            const QDate date = ordinal(dn->value);
            if (date.isValid())
                return Day{date, DayKind::Fixed, false, dn->end};
        }
        return std::nullopt;
    }

    std::optional<Day> day(qsizetype i) const {
        bool on = false;
        if (auto w = word(i, Kind::On)) {
            auto k = gap(w->end);
            if (!k)
                return std::nullopt;
            i = *k;
            on = true;
        }
        auto w = word(i);
        if (!w)
            return explicitDay(i, on);
        switch (w->kind()) {
        case Kind::This:
        case Kind::Next: {
            auto k = gap(w->end);
            auto w2 = k ? word(*k) : std::nullopt;
            if (w2 && w2->kind() == Kind::Weekday) {
                const QDate date = w->kind() == Kind::This ? nearestWeekday(w2->value())
                                                           : mondayOfNextWeek().addDays(w2->value() - 1);
                return Day{date, DayKind::Weekday, false, w2->end};
            }
            if (w2 && w->kind() == Kind::Next && w2->kind() == Kind::WeekUnit && w2->value() == 1)
                return Day{mondayOfNextWeek(), DayKind::Fixed, false, w2->end};
            return std::nullopt;
        }
        case Kind::Weekday: {
            Day d{nearestWeekday(w->value()), DayKind::Weekday, false, w->end};
            // "Sat 5 Dec 2026", "Friday, the 5th": the explicit date decides.
            qsizetype k = blanks(w->end);
            if (charAt(k, u','))
                k = blanks(k + 1);
            if (k > w->end) {
                if (auto e = explicitDay(k, false))
                    return e;
            }
            return d;
        }
        case Kind::RelativeDay:
            return Day{m_today.addDays(w->value()), DayKind::Fixed, false, w->end};
        case Kind::In: {
            auto k = gap(w->end);
            auto num = k ? number(*k) : std::nullopt;
            auto u = num ? gap(num->end) : std::nullopt;
            auto unit = u ? word(*u) : std::nullopt;
            if (!unit || (unit->kind() != Kind::DayUnit && unit->kind() != Kind::WeekUnit))
                return std::nullopt;
            const QDate date = m_today.addDays(qint64(num->value) * (unit->kind() == Kind::WeekUnit ? 7 : 1));
            if (!date.isValid())
                return std::nullopt;
            return Day{date, DayKind::Fixed, false, unit->end};
        }
        default:
            return explicitDay(i, on);
        }
    }

    std::optional<DayPart> dayPart(qsizetype i) const {
        auto w = word(i);
        if (w && w->kind() == Kind::This) {
            auto k = gap(w->end);
            w = k ? word(*k, Kind::DayPart) : std::nullopt;
        }
        if (!w || (w->kind() != Kind::DayPart && w->kind() != Kind::Tonight))
            return std::nullopt;
        return DayPart{w->value(), w->kind() == Kind::Tonight, w->end};
    }

    // -- expressions

    std::optional<Point> point(qsizetype i) const {
        Point p;
        p.pos = i;
        p.end = i;
        for (qsizetype at = i;;) {
            std::optional<Day> d = p.day ? std::nullopt : day(at);
            std::optional<DayPart> dp = p.part ? std::nullopt : dayPart(at);
            if (dp && dp->tonight && p.day)
                dp.reset();
            std::optional<Time> t = p.time ? std::nullopt : time(at);
            const qsizetype dEnd = d ? d->end : -1, dpEnd = dp ? dp->end : -1, tEnd = t ? t->endPos : -1;
            const qsizetype best = std::max({dEnd, dpEnd, tEnd});
            if (best < 0)
                break;
            if (best == tEnd)
                p.time = t;
            else if (best == dEnd)
                p.day = d;
            else {
                p.part = dp;
                if (dp->tonight)
                    p.day = Day{m_today, DayKind::Fixed, false, dp->end};
            }
            p.end = best;
            // Joiner: blanks, a comma, an "@".
            at = blanks(best);
            if (charAt(at, u','))
                at = blanks(at + 1);
            if (charAt(at, u'@'))
                at = blanks(at + 1);
        }
        if (p.end == i)
            return std::nullopt;
        return p;
    }

    std::optional<QDateTime> wall(const QDate& date, int minutes) const {
        if (!date.isValid())
            return std::nullopt;
        QDateTime t = m_cal.atWallTime(date, QTime(minutes / 60, minutes % 60));
        return t.isValid() ? std::optional(t) : std::nullopt;
    }

    // The instant a point names, and its length when it holds a time range.
    std::optional<std::pair<QDateTime, double>> resolve(const Point& p) const {
        const QDate date = p.day ? p.day->date : m_today;
        if (!p.time) {
            auto t = wall(date, (p.part ? p.part->hour : kDateOnlyHour) * 60);
            return t ? std::optional(std::pair(*t, 0.0)) : std::nullopt;
        }
        const Clock& a = p.time->start;
        Period pa = a.period;
        Period pb = Period::None;
        if (p.time->end) {
            const Clock& b = *p.time->end;
            pb = b.period;
            // A bare hour takes the other end's period unless that turns the range around
            // ("11-1pm" is 11:00 to 13:00, "9am-5" is 9:00 to 17:00); with no period on either side
            // both are 24-hour times.
            if (pa == Period::None && pb != Period::None && a.hour >= 1 && a.hour <= 12 && !a.endOfDay) {
                pa = pb;
                if (to24(a.hour, pa) * 60 + a.minute >= to24(b.hour, pb) * 60 + b.minute)
                    pa = other(pb);
            } else if (pb == Period::None && pa != Period::None && b.hour >= 1 && b.hour <= 12 &&
                       !b.endOfDay) {
                pb = pa;
                if (to24(b.hour, pb) * 60 + b.minute <= to24(a.hour, pa) * 60 + a.minute)
                    pb = other(pa);
            }
        }
        const QDate startDate = a.endOfDay ? date.addDays(1) : date;
        const int shift = partShift(a, pa, p.part);
        const int startMinutes = (to24(a.hour, pa) + shift) * 60 + a.minute;
        auto start = wall(startDate, startMinutes);
        if (!start)
            return std::nullopt;
        if (!p.time->end)
            return std::pair(*start, 0.0);
        // The end keeps to the half of the day that the start was moved into, and only then: "tonight
        // at 9am-11" ends at 23:00, but "tonight 10pm-2am" at 02:00, not 14:00.
        const Clock& b = *p.time->end;
        int endHour = to24(b.hour, pb);
        if ((shift > 0 && endHour >= 1 && endHour <= 12) || (shift < 0 && endHour >= 13))
            endHour = (endHour + shift) % 24;
        const int endMinutes = endHour * 60 + b.minute;
        auto end = wall(endMinutes <= startMinutes ? startDate.addDays(1) : startDate, endMinutes);
        if (!end)
            return std::nullopt;
        return std::pair(*start, std::max(0.0, start->msecsTo(*end) / 1000.0));
    }

    DateMatch single(const Point& p, const QDateTime& date, double duration) const {
        return DateMatch{p.pos, p.end - p.pos, date, duration};
    }

    // Two days ("Dec 5 - 7", "Sat 5 Dec 2026 – Mon 7 Dec 2026") or two day-and-time points joined by a
    // separator. A day range's length is measured between the same wall time on both days, so that it
    // divides into whole days across a daylight-saving change.
    std::optional<DateMatch> range(const Point& first) const {
        if (!first.day || (first.time && first.time->end))
            return std::nullopt;
        auto k = separator(first.end);
        if (!k)
            return std::nullopt;
        auto second = point(*k);
        if (!first.hasTimeOfDay()) {
            QDate endDate;
            DayKind kind = DayKind::Fixed;
            qsizetype end = 0;
            if (second) {
                if (!second->day || second->hasTimeOfDay())
                    return std::nullopt;
                endDate = second->day->date;
                kind = second->day->kind;
                end = second->end;
            } else if (first.day->namesDayOfMonth) {
                auto dn = dayNumber(*k);
                if (!dn)
                    return std::nullopt;
                endDate = QDate(first.day->date.year(), first.day->date.month(), dn->value);
                end = dn->end;
            }
            if (endDate.isValid() && endDate < first.day->date) {
                if (kind == DayKind::Weekday)
                    endDate = endDate.addDays(7);
                else if (kind == DayKind::Yearless)
                    endDate = endDate.addYears(1);
            }
            if (!endDate.isValid() || endDate < first.day->date)
                return std::nullopt;
            auto from = wall(first.day->date, kDateOnlyHour * 60);
            auto to = wall(endDate, kDateOnlyHour * 60);
            if (!from || !to)
                return std::nullopt;
            return DateMatch{first.pos, end - first.pos, *from, from->msecsTo(*to) / 1000.0};
        }
        if (!second || !second->day || !second->hasTimeOfDay() || (second->time && second->time->end))
            return std::nullopt;
        auto from = resolve(first);
        auto to = resolve(*second);
        if (!from || !to || to->first <= from->first)
            return std::nullopt;
        return DateMatch{first.pos, second->end - first.pos, from->first,
                         from->first.msecsTo(to->first) / 1000.0};
    }

    // "in 2 hours", "in 45 minutes": an instant counted from now.
    std::optional<DateMatch> relativeTime(qsizetype i) const {
        auto in = word(i, Kind::In);
        auto k = in ? gap(in->end) : std::nullopt;
        auto num = k ? number(*k) : std::nullopt;
        if (!num)
            return std::nullopt;
        const qsizetype u = blanks(num->end);
        auto unit = word(u, u == num->end);
        if (!unit || (unit->kind() != Kind::HourUnit && unit->kind() != Kind::MinuteUnit))
            return std::nullopt;
        const QDateTime date =
            m_now.addSecs(qint64(num->value) * (unit->kind() == Kind::HourUnit ? 3600 : 60));
        if (!date.isValid())
            return std::nullopt;
        return DateMatch{i, unit->end - i, date, 0};
    }

    std::optional<DateMatch> expression(qsizetype i) const {
        if (auto r = relativeTime(i))
            return r;
        if (auto p = point(i)) {
            if (auto r = range(*p))
                return r;
            if (auto t = resolve(*p))
                return single(*p, t->first, t->second);
            return std::nullopt;
        }
        // "from Dec 5 to Dec 7": "from" belongs to the match only when a range follows.
        if (auto from = word(i, Kind::From)) {
            auto k = gap(from->end);
            auto p = k ? point(*k) : std::nullopt;
            if (p) {
                if (auto r = range(*p)) {
                    r->len += r->pos - i;
                    r->pos = i;
                    return r;
                }
            }
        }
        return std::nullopt;
    }

    QStringView m_s;
    QDateTime m_now;
    const Cal& m_cal;
    QDate m_today;
    bool m_monthFirst = false;
};

} // namespace

QList<DateMatch> DateDetector::matches(QStringView text, const QDateTime& now, const Cal& cal) const {
    return Scanner(text, now, cal).run();
}
