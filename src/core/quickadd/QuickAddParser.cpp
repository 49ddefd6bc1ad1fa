#include "core/quickadd/QuickAddParser.h"

#include "core/model/Cal.h"
#include "core/model/SaneDates.h"
#include "core/model/TextRules.h"
#include "core/quickadd/DateDetector.h"

#include <QSet>
#include <QStringView>

#include <algorithm>
#include <cmath>
#include <source_location>

namespace QuickAddParser {
namespace {

// Lengths beyond a century are typing accidents ("for 99999999 hours"); past that the arithmetic on
// instants would stop being exact, so such a length is not read. Dates beyond a century from now
// ("in 999999999 days") are not read either.
constexpr double kLongestLengthSec = double(SaneDates::reachSec);
constexpr qint64 kMinimumLengthSec = 300;
constexpr qint64 kPastGraceSec = 120;

// The patterns were written for a regular-expression engine whose \b, \w, \d and \s know Unicode;
// PCRE needs to be told so. Case-insensitivity stays inside the patterns.
QRegularExpression compile(const QString& pattern,
                           std::source_location where = std::source_location::current()) {
    return TextRules::compiled(pattern, QRegularExpression::UseUnicodePropertiesOption, where);
}

QSet<QString> wordSet(std::initializer_list<const char*> words) {
    QSet<QString> set;
    for (const char* w : words)
        set.insert(QString::fromUtf8(w));
    return set;
}

// A lone surrogate makes every regular-expression search of the line fail, which would hide the
// addresses and dates of an otherwise ordinary line; it becomes a replacement character instead.
QString withoutLoneSurrogates(const QString& text) {
    QString out = text; // shared with `text` until a character is replaced
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

bool inSet(const QSet<QString>& set, QStringView word) {
    return set.contains(word.toString().toLower());
}

bool validRange(QStringView text, qsizetype pos, qsizetype len) {
    if (pos < 0 || len < 0 || pos > text.size() || len > text.size() - pos)
        return false;
    const auto splitsPair = [&](qsizetype i) {
        return i > 0 && i < text.size() && text[i - 1].isHighSurrogate() && text[i].isLowSurrogate();
    };
    return !splitsPair(pos) && !splitsPair(pos + len);
}

bool found(const QRegularExpression& re, QStringView text) {
    return re.match(text).hasMatch();
}

const QSet<QString>& trailingConnectors() {
    static const QSet<QString> set =
        wordSet({"at", "on", "from", "for", "in",  "by",   "until", "till", "to", "-",
                 "–",  "—",  ",",    "@",   "the", "with", "w/",    "and",  "&",  "invite"});
    return set;
}

const QSet<QString>& leadingConnectors() {
    static const QSet<QString> set = wordSet({"at", "on", "-", "–", "—", ",", "@"});
    return set;
}

const QSet<QString>& dateLead() {
    static const QSet<QString> set = wordSet({"at", "on", "the", "in", "from", "next", "this", "noon",
                                              "midnight", "morning", "afternoon", "evening", "tonight"});
    return set;
}

const QRegularExpression& bareHour() {
    // Not when minutes or a period follow, nor when a range to an hour with a period follows:
    // "at 10-11pm" is 22:00 to 23:00, not 10:00 to 23:00. Nor in a date: "at 12/24" is no hour.
    static const QRegularExpression re = compile(QString::fromUtf8(
        R"((?i)\bat\s+(\d{1,2})\b(?![:./]\d|\s*[ap]\.?m|\s*(?:-|–|—|to\b|until\b|till\b)\s*\d{1,2}(?:[:.]\d{2})?\s*[ap]\.?m))"));
    return re;
}

const DateDetector* detector() {
    static const DateDetector instance;
    return &instance;
}

const QRegularExpression& commaRuns() {
    static const QRegularExpression re = compile(QStringLiteral(R"(\s*,\s*,+)"));
    return re;
}
const QRegularExpression& blanksBeforeComma() {
    static const QRegularExpression re = compile(QStringLiteral(R"(\s+,)"));
    return re;
}
const QRegularExpression& andBetweenNames() {
    static const QRegularExpression re = compile(QStringLiteral(R"((?i)\s+and\s+)"));
    return re;
}

QString cleanTitle(QString text) {
    text.replace(commaRuns(), QStringLiteral(","));
    text.replace(blanksBeforeComma(), QStringLiteral(","));
    QList<QStringView> words;
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        if (view[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < view.size() && !view[j].isSpace())
            ++j;
        words.append(view.sliced(i, j - i));
        i = j;
    }
    while (!words.isEmpty() && inSet(trailingConnectors(), words.last()))
        words.removeLast();
    while (!words.isEmpty() && inSet(leadingConnectors(), words.first()))
        words.removeFirst();
    QString title;
    for (QStringView w : words) {
        if (!title.isEmpty())
            title += u' ';
        title += w;
    }
    constexpr QStringView edge = u" ,-–—@:";
    qsizetype from = 0, to = title.size();
    while (from < to && edge.contains(title[from]))
        ++from;
    while (to > from && edge.contains(title[to - 1]))
        --to;
    return title.sliced(from, to - from);
}

// How much of a detected date may leave the title: from its first date-like word to its end, so that
// title words a detector took in front of the date stay.
std::optional<std::pair<qsizetype, qsizetype>> titleSafeRange(qsizetype pos, qsizetype len,
                                                              QStringView text) {
    if (!validRange(text, pos, len))
        return std::nullopt;
    const qsizetype end = pos + len;
    for (qsizetype i = pos; i < end;) {
        if (text[i].isSpace()) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < end && !text[j].isSpace())
            ++j;
        QStringView token = text.sliced(i, j - i);
        while (!token.isEmpty() && token.front().isPunct())
            token = token.sliced(1);
        while (!token.isEmpty() && token.back().isPunct())
            token.chop(1);
        const QString lower = token.toString().toLower();
        if (!lower.isEmpty() && (lower[0].isNumber() || dateLead().contains(lower) ||
                                 found(dayWords(), lower) || found(clock(), lower)))
            return std::pair(i, end - i);
        i = j;
    }
    return std::pair(pos, len);
}

// Where `needle` first stands on its own at or after `from`: not inside a longer word or an e-mail
// address ("ann" is not in "ann@x.io", nor "bo@corp.io" in "jbo@corp.io"); else where it first occurs
// at all; -1 when nowhere.
qsizetype tokenPosition(const QString& haystack, const QString& needle, qsizetype from) {
    if (needle.isEmpty())
        return -1;
    const auto joins = [](QChar c) {
        return c.isLetterOrNumber() || c.isMark() || QStringView(u"@._%+-'’").contains(c);
    };
    for (qsizetype i = haystack.indexOf(needle, from); i >= 0; i = haystack.indexOf(needle, i + 1)) {
        const qsizetype after = i + needle.size();
        if ((i == 0 || !joins(haystack[i - 1])) && (after >= haystack.size() || !joins(haystack[after])))
            return i;
    }
    return haystack.indexOf(needle);
}

// Where the names after "with" start, 0 when no "with" is typed.
qsizetype namesStart(const QString& lowerText) {
    static const QRegularExpression withWord = compile(QStringLiteral(R"(\b(?:with|w/)\s)"));
    return std::max<qsizetype>(0, withWord.match(lowerText).capturedStart());
}

// Guests are listed in the order they were typed: an address by where it stands in the line, a guest
// found by name by where the name typed after "with" stands (the resolved full name is rarely what was
// typed, and the same name may also be a title word).
qsizetype typedPosition(const QString& lowerText, qsizetype names, const Person& person,
                        const QString& typedName) {
    const std::pair<QString, qsizetype> candidates[] = {
        {typedName.isEmpty() ? person.email : typedName, typedName.isEmpty() ? 0 : names}, {person.name, 0}};
    for (const auto& [needle, from] : candidates) {
        if (const qsizetype i = tokenPosition(lowerText, needle.toLower(), from); i >= 0)
            return i;
    }
    return lowerText.size();
}

// The abbreviations normalize() spells out, one group per word, so that a line is searched once.
const QRegularExpression& abbreviation() {
    static const QRegularExpression re = compile(QStringLiteral(
        R"((?i)\b(?:(mon)|(tue|tues)|(wed|weds)|(thu|thur|thurs)|(fri)|(sat)|(sun)|(tmrw|tmr))\b\.?)"));
    return re;
}
constexpr const char* kSpelledOut[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                       "Friday", "Saturday", "Sunday",    "tomorrow"};

QDateTime startOfDayAfter(const Cal& cal, const QDateTime& start, qint64 days) {
    const QDateTime end = cal.addDays(start, days);
    return end.isValid() ? end : start.addSecs(86400);
}

} // namespace

const QRegularExpression& duration() {
    // A number preceded by "in" and one blank is a time ("in 2 hours"), and a length never starts
    // inside a number ("in 2.5 hours" must not lose "5 hours").
    static const QRegularExpression re = compile(QStringLiteral(
        R"((?i)(?<!\bin\s)(?:\bfor\s+)?(?<!\d[.,])\b(\d+(?:[.,]\d+)?)\s*(hours?|hrs?|h|minutes?|mins?|m)\b)"));
    return re;
}

const QRegularExpression& allDay() {
    static const QRegularExpression re = compile(QStringLiteral(R"((?i)\ball[\s-]?day\b)"));
    return re;
}

const QRegularExpression& clock() {
    static const QRegularExpression re = compile(QStringLiteral(
        R"((?i)(\d{1,2}:\d{2}|\d{1,2}\s*(?:am|pm|a\.m\.|p\.m\.)|\bat\s+\d{1,2}\b|\bnoon\b|\bmidnight\b|\bmorning\b|)"
        R"(\bafternoon\b|\bevening\b|\btonight\b|o'clock|\bin\s+\d+\s*(?:h\b|hrs?\b|hours?\b|mins?\b|minutes?\b)))"));
    return re;
}

const QRegularExpression& dayWords() {
    static const QRegularExpression re = compile(QStringLiteral(
        R"((?i)\b(today|tomorrow|tmrw|tonight|yesterday|next|this|mon|monday|tue|tues|tuesday|wed|weds|wednesday|)"
        R"(thu|thur|thurs|thursday|fri|friday|sat|saturday|sun|sunday|jan|january|feb|february|mar|march|apr|april|)"
        R"(may|jun|june|jul|july|aug|august|sep|sept|september|oct|october|nov|november|dec|december)\b|)"
        R"((?<![\d:])\b\d{1,2}[/.-]\d{1,2}\b(?![\d:]|\s*[ap]\.?m\b)|\b\d{1,2}(?:st|nd|rd|th)\b|)"
        R"(\bin\s+\d+\s+(?:days?|weeks?)\b)"));
    return re;
}

const QRegularExpression& mentions() {
    static const QRegularExpression re = compile(QString::fromUtf8(
        R"(\b(?i:with|w/)\s+((?:[A-Z][\w'’.-]*)(?:(?:\s*,\s*|\s+(?i:and|&)\s+|\s+)(?:[A-Z][\w'’.-]*))*))"));
    return re;
}

QString normalize(const QString& text) {
    QString s;
    qsizetype kept = 0;
    for (auto it = abbreviation().globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        s += QStringView(text).sliced(kept, m.capturedStart(0) - kept);
        s += QLatin1String(kSpelledOut[m.lastCapturedIndex() - 1]);
        kept = m.capturedEnd(0);
    }
    if (kept == 0)
        s = text;
    else
        s += QStringView(text).sliced(kept);

    // One pass that copies the text and spells out each hour on the way, so that a pasted wall of
    // "at 9" stays linear; the result is that of replacing the matches one by one.
    QString out;
    qsizetype copied = 0;
    for (auto it = bareHour().globalMatch(s); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        bool ok = false;
        const int hour = m.capturedView(1).toInt(&ok);
        if (!ok || hour < 1 || hour > 12)
            continue;
        out += QStringView(s).sliced(copied, m.capturedStart(1) - copied);
        out += QString::number(hour) + QLatin1String(hour >= 8 && hour <= 11 ? "am" : "pm");
        copied = m.capturedEnd(1);
    }
    if (copied == 0)
        return s;
    out += QStringView(s).sliced(copied);
    return out;
}

QuickAddDraft parse(const QString& text, const QDateTime& now, int defaultMinutes, const Cal& calendar,
                    const Resolver& resolve) {
    return parse(text, now, defaultMinutes, calendar, resolve, detector());
}

QuickAddDraft parse(const QString& text, const QDateTime& now, int defaultMinutes, const Cal& calendar,
                    const Resolver& resolve, const DateDetector* dateDetector) {
    const QString typed = withoutLoneSurrogates(text);
    QString work = typed.trimmed();
    QuickAddDraft draft;
    QStringList typedNames; // beside draft.invitees: the name each guest was found by, if any

    // Addresses first: the weekday abbreviations of normalize() would otherwise rewrite "mon@x.org".
    {
        // The text between the addresses, copied once: removing them one by one moved the rest of a
        // pasted line once per address.
        QString rest;
        qsizetype kept = 0;
        for (auto it = TextRules::emailPattern().globalMatch(work); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString address = m.captured(0);
            std::optional<Person> known = resolve ? resolve(address) : std::nullopt;
            draft.invitees.append(Person(address, known ? known->name : QString()));
            typedNames.append(QString());
            rest += QStringView(work).sliced(kept, m.capturedStart(0) - kept);
            kept = m.capturedEnd(0);
        }
        if (!draft.invitees.isEmpty()) {
            rest += QStringView(work).sliced(kept);
            work = std::move(rest);
        }
    }
    work = normalize(work);

    if (const auto m = allDay().match(work); m.hasMatch()) {
        draft.explicitAllDay = true;
        work.remove(m.capturedStart(0), m.capturedLength(0));
    }

    std::optional<double> phraseSec;
    if (const auto m = duration().match(work); m.hasMatch()) {
        bool ok = false;
        const double amount = m.captured(1).replace(u',', u'.').toDouble(&ok);
        const double seconds = amount * (m.capturedView(2).startsWith(u'h', Qt::CaseInsensitive) ? 3600 : 60);
        if (ok && std::isfinite(seconds) && seconds <= kLongestLengthSec) {
            phraseSec = seconds;
            draft.typedLengthSec = qint64(std::llround(std::max(double(kMinimumLengthSec), seconds)));
            work.remove(m.capturedStart(0), m.capturedLength(0));
        }
    }

    const QList<DateMatch> dates =
        dateDetector ? dateDetector->matches(work, now, calendar) : QList<DateMatch>();
    // The first match that holds a time, else the last one.
    const DateMatch* chosen = nullptr;
    for (const DateMatch& d : dates) {
        if (!validRange(work, d.pos, d.len) || (d.date && !SaneDates::contains(*d.date, now)))
            continue;
        chosen = &d;
        if (found(clock(), QStringView(work).sliced(d.pos, d.len)))
            break;
    }

    if (chosen && chosen->date && chosen->date->isValid()) {
        const QStringView range = QStringView(work).sliced(chosen->pos, chosen->len);
        const double length = std::isfinite(chosen->durationSec)
                                  ? std::clamp(chosen->durationSec, 0.0, kLongestLengthSec)
                                  : 0.0;
        const bool clockInRange = found(clock(), range);
        draft.hasTime = !draft.explicitAllDay && clockInRange;
        draft.hasDay = found(dayWords(), range);
        if (draft.hasTime) {
            draft.start = chosen->date->toUTC();
            // A bare time already past means the same time tomorrow; a day word keeps it where it is.
            if (draft.start < now.addSecs(-kPastGraceSec) && !draft.hasDay) {
                if (const QDateTime next = calendar.addDays(draft.start, 1); next.isValid())
                    draft.start = next;
            }
            const double seconds = length > 0 ? length : phraseSec ? *phraseSec : double(defaultMinutes) * 60;
            draft.end = draft.start.addMSecs(
                qint64(std::llround(std::max(double(kMinimumLengthSec), seconds) * 1000)));
        } else {
            draft.start = calendar.startOfDay(*chosen->date);
            qint64 days = 1;
            if (length > 0)
                days =
                    clockInRange ? qint64(std::ceil(length / 86400)) : qint64(std::round(length / 86400)) + 1;
            draft.end = startOfDayAfter(calendar, draft.start, std::max<qint64>(days, 1));
            draft.isAllDay = true;
        }
        if (const auto cut = titleSafeRange(chosen->pos, chosen->len, work))
            work.remove(cut->first, cut->second);
        draft.hasDate = true;
    } else {
        draft.start = calendar.startOfDay(now);
        draft.end = startOfDayAfter(calendar, draft.start, 1);
        draft.isAllDay = true;
    }

    if (const auto m = mentions().match(work); m.hasMatch()) {
        QString list = m.captured(1);
        list.replace(u'&', u',');
        list.replace(andBetweenNames(), QStringLiteral(","));
        QStringList names;
        for (const QString& piece : list.split(u',', Qt::SkipEmptyParts)) {
            if (QString name = TextRules::trimBlanks(piece); !name.isEmpty())
                names.append(std::move(name));
        }
        QStringList unresolved;
        for (const QString& name : std::as_const(names)) {
            const std::optional<Person> person = resolve ? resolve(name) : std::nullopt;
            if (!person) {
                unresolved.append(name);
                continue;
            }
            const QString id = person->email.toLower();
            const bool known = std::any_of(draft.invitees.cbegin(), draft.invitees.cend(),
                                           [&](const Person& p) { return p.email.toLower() == id; });
            if (!known) {
                draft.invitees.append(*person);
                typedNames.append(name);
            }
        }
        if (unresolved.size() < names.size())
            work.replace(m.capturedStart(0), m.capturedLength(0),
                         unresolved.isEmpty()
                             ? QString()
                             : QStringLiteral(" with ") + unresolved.join(QStringLiteral(" and ")));
    }

    if (draft.invitees.size() > 1) {
        const QString lowerText = typed.toLower();
        // Searched once, not once per guest: every search of the line reads all of it (PCRE checks
        // the text's encoding first), which made a pasted line full of addresses quadratic.
        const qsizetype names = namesStart(lowerText);
        QList<std::pair<qsizetype, qsizetype>> order; // (position, index)
        for (qsizetype i = 0; i < draft.invitees.size(); ++i)
            order.append({typedPosition(lowerText, names, draft.invitees[i], typedNames[i]), i});
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<Person> sorted;
        sorted.reserve(order.size());
        for (const auto& [position, index] : std::as_const(order))
            sorted.append(draft.invitees[index]);
        draft.invitees = std::move(sorted);
    }

    draft.title = cleanTitle(std::move(work));
    if (draft.title.isEmpty())
        draft.title = QStringLiteral("New event");
    return draft;
}

} // namespace QuickAddParser
