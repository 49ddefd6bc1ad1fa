#pragma once

#include "core/model/CalEvent.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// Short ways to make the events and guests that tests put into agendas.
namespace TestEvents {

// The instant the wall clock of `zone` shows at "yyyy-MM-dd HH:mm[:ss]" (the first of two readings
// where the clock repeats).
QDateTime at(const QString& wallTime, const QTimeZone& zone = QTimeZone::utc());

// A timed event. Its calendar is editable and the user organises it.
CalEvent timed(const QString& id, const QString& title, const QDateTime& start, const QDateTime& end,
               EventSource source = EventSource::calendar);

// An all-day event from the start of its first day to the start of the day after its last.
CalEvent allDay(const QString& id, const QString& title, const QDateTime& firstDayStart,
                const QDateTime& endDayStart, EventSource source = EventSource::calendar);

Attendee guest(const QString& name, const QString& email,
               Attendee::Status status = Attendee::Status::accepted, bool isMe = false);

} // namespace TestEvents
