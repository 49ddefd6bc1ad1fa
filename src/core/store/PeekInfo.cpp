#include "core/store/PeekInfo.h"

#include "core/model/Fmt.h"

#include <cmath>

namespace {

int minutesUpTo(const QDateTime& now, const QDateTime& instant) {
    return int(std::ceil(double(now.msecsTo(instant)) / 60000.0));
}

} // namespace

PeekInfo::PeekInfo(CalEvent event_, const QDateTime& now)
    : event(std::move(event_))
    , minutesUntilStart(minutesUpTo(now, event.start))
    , minutesLeft(minutesUpTo(now, event.end)) {}

std::optional<PeekInfo> PeekInfo::choose(const QList<CalEvent>& today, const QDateTime& now,
                                         int peekMinutes) {
    const qint64 windowMs = qint64(peekMinutes) * 60000;
    const CalEvent* best = nullptr;
    for (const CalEvent& event : today) {
        if (event.isAllDay || event.end <= now || now.msecsTo(event.start) > windowMs)
            continue;
        if (!best || event.start < best->start)
            best = &event;
    }
    if (!best)
        return std::nullopt;
    return PeekInfo(*best, now);
}

QString PeekInfo::trailingText() const {
    if (minutesUntilStart == 1)
        return QStringLiteral("in 1 min");
    if (minutesUntilStart >= 2)
        return QStringLiteral("in ") + Fmt::minutesShort(minutesUntilStart);
    if (minutesLeft < 2)
        return QStringLiteral("ending");
    return Fmt::minutesShort(minutesLeft) + QStringLiteral(" left");
}
