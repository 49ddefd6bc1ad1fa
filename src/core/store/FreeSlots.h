#pragma once

#include "core/model/CalEvent.h"

#include <QDateTime>
#include <QList>

#include <functional>
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

// A day's events, or none when nobody has read them (a day outside what the sources loaded).
using DayEvents = std::function<std::optional<QList<CalEvent>>(const QDateTime& day)>;

// What a search found: a slot; or the first day whose events it needed and could not see, where it
// stopped (a later slot proposed over that day's unknown meetings would be wrong); or neither, when
// nothing fits.
struct Search {
    std::optional<FreeSlot> slot;
    std::optional<QDateTime> unknownDay; // a start of day
};

// onDay() over the events of that day; nothing for a day before today's.
Search searchDay(const DayEvents& events, const QDateTime& day, const QDateTime& now, int minutes,
                 int workStart, int workEnd, const Cal& cal);
// The first slot from 9 to 18 on the 14 days from the day of `from`, days of the weekend skipped.
Search searchDays(const DayEvents& events, const QDateTime& from, const QDateTime& now, int minutes,
                  const Cal& cal);

} // namespace FreeSlots
