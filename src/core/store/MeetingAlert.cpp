#include "core/store/MeetingAlert.h"

#include "core/store/DayMap.h"

QString MeetingAlert::rawValue(Kind kind) {
    return kind == Kind::imminent ? QStringLiteral("imminent") : QStringLiteral("starting");
}

QList<MeetingAlert> MeetingAlert::due(const QList<CalEvent>& today, const QDateTime& now, int leadMinutes) {
    QList<MeetingAlert> result;
    if (leadMinutes < 0)
        return result;
    const qint64 leadMs = qint64(leadMinutes) * 60000;
    for (const CalEvent& event : today) {
        if (event.isAllDay || DayMap::declinedByMe(event))
            continue;
        const qint64 untilStart = now.msecsTo(event.start);
        if (leadMinutes != 0 && untilStart > 45000 && untilStart <= leadMs)
            result.append({event, Kind::imminent, now});
        else if (untilStart > -90000 && untilStart <= 45000)
            result.append({event, Kind::starting, now});
    }
    return result;
}

QString MeetingAlert::firedKey(const CalEvent& event, Kind kind) {
    return event.id + QLatin1Char('|') + rawValue(kind) + QLatin1Char('|') +
           QString::number(event.start.toMSecsSinceEpoch() / 1000);
}
