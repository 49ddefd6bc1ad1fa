#pragma once

#include "core/model/CalEvent.h"

#include <QDateTime>
#include <QList>
#include <QString>

// A meeting banner: a meeting about to start (`imminent`, the lead time before it) or starting now.
class MeetingAlert {
public:
    enum class Kind { imminent, starting };

    // "imminent", "starting".
    static QString rawValue(Kind kind);

    // The alerts due at `now` among today's events (in list order) for a lead of `leadMinutes`:
    // imminent from the lead time down to 45 s before the start, starting from 45 s before to 90 s
    // after it. A lead of 0 gives only the starting alert, a negative lead none. All-day events and
    // meetings the user declined never alert.
    static QList<MeetingAlert> due(const QList<CalEvent>& today, const QDateTime& now, int leadMinutes);

    // The key under which an alert is remembered as fired: the event's id, kind and start, so a
    // meeting moved to another time alerts again while all keys of one event share the id prefix.
    static QString firedKey(const CalEvent& event, Kind kind);

    CalEvent event;
    Kind kind = Kind::imminent;
    QDateTime firedAt;

    // Same event and kind; when it fired is not compared.
    friend bool operator==(const MeetingAlert& a, const MeetingAlert& b) {
        return a.event.id == b.event.id && a.kind == b.kind;
    }
};
