#include "support/TestEvents.h"

#include "support/WallClock.h"

namespace TestEvents {

QDateTime at(const QString& wallTime, const QTimeZone& zone) {
    const QDateTime instant = WallClock::at(Cal(zone, QLocale::c()), wallTime);
    Q_ASSERT(instant.isValid());
    return instant;
}

CalEvent timed(const QString& id, const QString& title, const QDateTime& start, const QDateTime& end,
               EventSource source) {
    CalEvent event;
    event.id = id;
    event.title = title;
    event.start = start.toUTC();
    event.end = end.toUTC();
    event.color = CalEvent::systemBlue();
    event.calendarName = QStringLiteral("Work");
    event.source = source;
    event.organizerIsMe = true;
    event.calendarEditable = true;
    return event;
}

CalEvent allDay(const QString& id, const QString& title, const QDateTime& firstDayStart,
                const QDateTime& endDayStart, EventSource source) {
    CalEvent event = timed(id, title, firstDayStart, endDayStart, source);
    event.isAllDay = true;
    return event;
}

Attendee guest(const QString& name, const QString& email, Attendee::Status status, bool isMe) {
    Attendee attendee;
    attendee.name = name;
    attendee.status = status;
    attendee.isMe = isMe;
    if (!email.isEmpty())
        attendee.email = email;
    return attendee;
}

} // namespace TestEvents
