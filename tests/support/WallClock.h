#pragma once

#include "core/model/Cal.h"

#include <QDateTime>
#include <QString>

// Calendars and instants written as wall-clock text, for tests of date logic:
//   const Cal cal = WallClock::cal("Europe/Berlin");
//   const QDateTime now = WallClock::at(cal, "2026-12-05 10:00");
namespace WallClock {

Cal cal(const char* zone = "Europe/Berlin", const char* locale = "en_US");
// "yyyy-MM-dd HH:mm[:ss]" on the calendar's wall clock (the first of two readings when the clock
// repeats); an invalid instant for malformed text.
QDateTime at(const Cal& cal, const QString& wall);
// The instant as "yyyy-MM-dd HH:mm" on the calendar's wall clock, with ":ss" when the seconds are not 0.
QString show(const Cal& cal, const QDateTime& instant);
// "2026-12-05 15:00 → 16:30", the end with as much of its date as differs from the start's.
QString span(const Cal& cal, const QDateTime& start, const QDateTime& end);

} // namespace WallClock
