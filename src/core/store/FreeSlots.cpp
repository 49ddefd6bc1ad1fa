#include "core/store/FreeSlots.h"

#include "core/model/Cal.h"
#include "core/store/DayMap.h"

#include <algorithm>

namespace {

constexpr qint64 gridMs = 15 * 60 * 1000;

struct Busy {
    QDateTime start;
    QDateTime end;
};

} // namespace

namespace FreeSlots {

QDateTime upToGrid(const QDateTime& instant) {
    const qint64 ms = instant.toMSecsSinceEpoch();
    qint64 quarters = ms / gridMs;
    if (quarters * gridMs < ms)
        ++quarters;
    return QDateTime::fromMSecsSinceEpoch(quarters * gridMs, Qt::UTC);
}

std::optional<FreeSlot> onDay(const QList<CalEvent>& dayEvents, const QDateTime& day, const QDateTime& now,
                              int minutes, int workStart, int workEnd, const Cal& cal) {
    const QDate date = cal.dateOf(day);
    const QDateTime workFrom = cal.atWallTime(date, QTime(workStart, 0));
    const QDateTime workTo = cal.atWallTime(date, QTime(workEnd, 0));
    if (!workFrom.isValid() || !workTo.isValid())
        return std::nullopt;

    QDateTime cursor = workFrom;
    if (cal.isSameDay(day, now))
        cursor = std::max(workFrom, upToGrid(now));
    const qint64 lengthMs = qint64(minutes) * 60000;

    QList<Busy> busy;
    for (const CalEvent& event : dayEvents) {
        if (!event.isAllDay && !DayMap::declinedByMe(event))
            busy.append({event.start, event.end});
    }
    std::stable_sort(busy.begin(), busy.end(),
                     [](const Busy& a, const Busy& b) { return a.start < b.start; });

    while (cursor.addMSecs(lengthMs) <= workTo) {
        const QDateTime candidateEnd = cursor.addMSecs(lengthMs);
        const auto clash = std::find_if(busy.cbegin(), busy.cend(), [&](const Busy& b) {
            return b.start < candidateEnd && b.end > cursor;
        });
        if (clash == busy.cend())
            return FreeSlot{cursor, candidateEnd};
        cursor = upToGrid(clash->end);
    }
    return std::nullopt;
}

Search searchDay(const DayEvents& events, const QDateTime& day, const QDateTime& now, int minutes,
                 int workStart, int workEnd, const Cal& cal) {
    const QDateTime dayStart = cal.startOfDay(day);
    if (dayStart < cal.startOfDay(now))
        return {};
    const std::optional<QList<CalEvent>> dayEvents = events(dayStart);
    if (!dayEvents)
        return {std::nullopt, dayStart};
    return {onDay(*dayEvents, dayStart, now, minutes, workStart, workEnd, cal), std::nullopt};
}

Search searchDays(const DayEvents& events, const QDateTime& from, const QDateTime& now, int minutes,
                  const Cal& cal) {
    for (int i = 0; i < 14; ++i) {
        const QDateTime day = cal.addDays(from, i);
        if (!day.isValid())
            return {};
        if (cal.isWeekend(day))
            continue;
        Search found = searchDay(events, day, now, minutes, 9, 18, cal);
        if (found.slot || found.unknownDay)
            return found;
    }
    return {};
}

} // namespace FreeSlots
