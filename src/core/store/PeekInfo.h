#pragma once

#include "core/model/CalEvent.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The event shown beside the notch, with its countdown in whole minutes (rounded up).
class PeekInfo {
public:
    PeekInfo(CalEvent event, const QDateTime& now);

    // Of today's events (sorted), the one to peek at: not all-day, not ended, starting within the
    // next `peekMinutes` (or already running); the earliest start wins, the earlier in the list on a tie.
    static std::optional<PeekInfo> choose(const QList<CalEvent>& today, const QDateTime& now,
                                          int peekMinutes);

    // "in 1 min", "in 12 min", "1h 5m left", "ending".
    QString trailingText() const;

    CalEvent event;
    int minutesUntilStart = 0; // 0 or less once the event has started
    int minutesLeft = 0;

    // Same event and same counts; the event's other fields are not compared, so an unchanged
    // countdown does not wake observers.
    friend bool operator==(const PeekInfo& a, const PeekInfo& b) {
        return a.event.id == b.event.id && a.minutesUntilStart == b.minutesUntilStart &&
               a.minutesLeft == b.minutesLeft;
    }
};
