#pragma once

#include "core/model/CalEvent.h"

#include <QDateTime>
#include <QList>

#include <optional>

class Cal;

// A free interval proposed for a new meeting.
struct FreeSlot {
    QDateTime start;
    QDateTime end;

    friend bool operator==(const FreeSlot&, const FreeSlot&) = default;
};

// Finds free time on a day for a new meeting, on the quarter-hour grid.
namespace FreeSlots {

// The instant moved up to the next quarter hour (counted from 1970 in UTC, so on :00, :15, :30, :45
// wherever the zone's offset is whole quarter hours); an instant on the grid stays.
QDateTime upToGrid(const QDateTime& instant);

// The first interval of `minutes` on the day of `day` between the wall times workStart:00 and
// workEnd:00 that overlaps none of `dayEvents` (all-day and declined ones do not block). On the day
// of `now` it starts no earlier than `now` moved up to the grid. A slot may end exactly at workEnd.
std::optional<FreeSlot> onDay(const QList<CalEvent>& dayEvents, const QDateTime& day, const QDateTime& now,
                              int minutes, int workStart, int workEnd, const Cal& cal);

} // namespace FreeSlots
