#include "core/quickadd/EditPhrase.h"

#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/model/Fmt.h"
#include "core/model/TextRules.h"
#include "core/quickadd/QuickAddParser.h"

#include <algorithm>
#include <limits>

namespace EditPhrase {
namespace {

constexpr int kMinimumParseMinutes = 5;

QString dayText(const QDateTime& instant, const Cal& cal) {
    return QLocale::c().toString(cal.dateOf(instant), u"ddd d MMM yyyy");
}

// The locale's clock style, but Latin digits and English periods, which the parser reads in any locale.
QString timeText(const QDateTime& instant, const Cal& cal) {
    const QLocale latin =
        Fmt::uses12h(cal.locale()) ? QLocale(QLocale::English, QLocale::UnitedStates) : QLocale::c();
    return Fmt::time(instant, Cal(cal.zone(), latin));
}

// The hour and minute of `from`'s wall clock on `day` (a skipped time moves to the next existing one,
// a repeated one takes the first); `fallback` when the zone has no such time at all.
QDateTime sameClockOn(const QDate& day, const QDateTime& from, const QDateTime& fallback, const Cal& cal) {
    const QTime clock = cal.wallTimeOf(from);
    const QDateTime t = cal.atWallTime(day, QTime(clock.hour(), clock.minute()));
    return t.isValid() ? t : fallback;
}

Merge unchanged(const CalEvent& event, bool ok) {
    return Merge{event.start, event.end, event.isAllDay, ok, false};
}

} // namespace

QString canonical(const CalEvent& event, const QDateTime& now, const Cal& cal) {
    Q_UNUSED(now);
    static const QString dash = QStringLiteral(" \u2013 ");
    if (!event.isAllDay)
        return dayText(event.start, cal) + u' ' + timeText(event.start, cal) + dash +
               timeText(event.end, cal);
    const QDateTime lastDay = event.end.addSecs(-1);
    if (cal.isSameDay(event.start, lastDay) || lastDay < event.start)
        return dayText(event.start, cal);
    return dayText(event.start, cal) + dash + dayText(lastDay, cal);
}

Merge merge(const QString& phrase, const CalEvent& event, const QDateTime& now, int defaultMinutes,
            const Cal& cal) {
    const QString text = TextRules::trimBlanks(phrase);
    if (text.isEmpty() || text == canonical(event, now, cal))
        return unchanged(event, true);

    const qint64 eventSec = event.start.secsTo(event.end);
    const int parseMinutes =
        event.isAllDay
            ? defaultMinutes
            : int(std::clamp<qint64>(eventSec / 60, kMinimumParseMinutes, std::numeric_limits<int>::max()));
    const QuickAddDraft d = QuickAddParser::parse(text, now, parseMinutes, cal);

    if (!d.hasDate && d.explicitAllDay) {
        const QDateTime start = cal.startOfDay(event.start);
        const QDateTime end = cal.addDays(start, 1);
        return Merge{start, end.isValid() ? end : start.addSecs(86400), true, true, true};
    }
    if (!d.hasDate)
        return unchanged(event, false);
    if (d.hasTime && !d.hasDay) {
        const QDateTime start = sameClockOn(cal.dateOf(event.start), d.start, d.start, cal);
        // The parser already gave the draft at least its shortest length.
        return Merge{start, start.addSecs(d.start.secsTo(d.end)), false, true, true};
    }
    if (d.hasTime || event.isAllDay || d.explicitAllDay)
        return Merge{d.start, d.end, d.isAllDay, true, false};
    // A timed event given only a day keeps its clock time and length.
    const QDateTime start = sameClockOn(cal.dateOf(d.start), event.start, d.start, cal);
    return Merge{start, start.addSecs(eventSec), false, true, false};
}

} // namespace EditPhrase
