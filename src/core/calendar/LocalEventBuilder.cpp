#include "core/calendar/LocalEventBuilder.h"

namespace {

Attendee::Status statusOf(LocalParticipant::Status status) {
    switch (status) {
    case LocalParticipant::Status::pending:
        return Attendee::Status::pending;
    case LocalParticipant::Status::accepted:
        return Attendee::Status::accepted;
    case LocalParticipant::Status::declined:
        return Attendee::Status::declined;
    case LocalParticipant::Status::tentative:
        return Attendee::Status::tentative;
    case LocalParticipant::Status::unknown:
    case LocalParticipant::Status::delegated:
    case LocalParticipant::Status::completed:
    case LocalParticipant::Status::inProcess:
        break;
    }
    return Attendee::Status::unknown;
}

std::optional<QString> trimmedOrNothing(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

bool looksLikeAddress(const QString& text) {
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    return at > 0 && at < text.size() - 1 && !text.contains(QLatin1Char(' '));
}

} // namespace

namespace LocalEventBuilder {

std::optional<QString> emailOf(const QString& calendarAddress) {
    if (!calendarAddress.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        return std::nullopt;
    return calendarAddress.mid(7);
}

CalEvent build(const LocalOccurrence& occurrence, const LocalCalendar& calendar,
               const QStringList& ownAddresses) {
    QStringList own;
    for (const QString& address : ownAddresses)
        own.append(address.trimmed().toLower());
    if (looksLikeAddress(calendar.title))
        own.append(calendar.title.trimmed().toLower());
    auto isMe = [&](const LocalParticipant& p) {
        const std::optional<QString> email = emailOf(p.url);
        return email && own.contains(email->trimmed().toLower());
    };

    CalEvent e;
    e.id = CalEvent::localId(occurrence.eventIdentifier, occurrence.occurrenceDate);
    e.title = occurrence.title ? occurrence.title->trimmed() : QStringLiteral("Untitled");
    e.start = occurrence.start;
    e.end = occurrence.end;
    e.isAllDay = occurrence.isAllDay;
    e.color = calendar.color.isValid() ? calendar.color : CalEvent::systemBlue();
    e.calendarName = calendar.title;
    e.location = trimmedOrNothing(occurrence.location);
    e.notes = trimmedOrNothing(occurrence.notes);
    if (!occurrence.url.isEmpty())
        e.url = occurrence.url;
    for (const LocalParticipant& p : occurrence.attendees) {
        Attendee a;
        a.email = emailOf(p.url);
        a.name = !p.name.isEmpty() ? p.name : a.email.value_or(p.url);
        a.status = statusOf(p.status);
        a.isOrganizer = p.isChair;
        a.isMe = isMe(p);
        e.attendees.append(a);
    }
    if (occurrence.organizer && !occurrence.organizer->name.isEmpty())
        e.organizer = occurrence.organizer->name;
    e.source = EventSource::calendar;
    e.ekIdentifier = occurrence.eventIdentifier;
    // An event without an organizer is one the user made without guests.
    e.organizerIsMe = !occurrence.organizer || isMe(*occurrence.organizer);
    // No action may then be offered that would write the series.
    e.calendarEditable = calendar.allowsModifications && !occurrence.unexpandedRule;
    e.isRecurring = occurrence.isRecurring();
    e.unexpandedRule = occurrence.unexpandedRule;
    return e;
}

} // namespace LocalEventBuilder
