#include "ui/panel/EventDetailModel.h"

#include "core/model/Cal.h"
#include "core/model/Fmt.h"
#include "core/model/MeetingLink.h"
#include "platform/UrlOpener.h"
#include "ui/controls/Launch.h"
#include "ui/controls/Theme.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace EventDetailModel {

namespace {

const QString dot = QStringLiteral(" \u00B7 ");
const QString dash = QStringLiteral(" \u2013 ");

} // namespace

bool isPreview(const CalEvent& event) {
    return event.id.startsWith(QLatin1String("preview:"));
}

bool hasGuests(const CalEvent& event) {
    return std::any_of(event.attendees.cbegin(), event.attendees.cend(),
                       [](const Attendee& attendee) { return !attendee.isMe; });
}

bool isLive(const CalEvent& event, const QDateTime& now) {
    return event.start <= now && event.end > now;
}

Actions actions(const CalEvent& event) {
    if (event.source == EventSource::notion || isPreview(event) || event.unexpandedRule)
        return {};
    if (event.calendarEditable && event.organizerIsMe)
        return {true, true, false};
    if (event.canDecline())
        return {false, false, true};
    return {};
}

QString editHelp(const CalEvent& event) {
    return event.isRecurring ? QStringLiteral("Edit this occurrence") : QStringLiteral("Edit");
}

QString deleteHelp(const CalEvent& event) {
    if (event.isRecurring)
        return QStringLiteral("Delete this occurrence");
    return hasGuests(event) ? QStringLiteral("Delete for everyone") : QStringLiteral("Delete");
}

QString declineHelp(const CalEvent& event) {
    return event.source == EventSource::google ? QStringLiteral("Decline")
                                               : QStringLiteral("Remove from my calendar");
}

ConfirmText confirmText(Confirm confirm, const CalEvent& event) {
    if (confirm == Confirm::deletion) {
        const QString deleting = QStringLiteral("Deleting\u2026");
        if (event.isRecurring) {
            return {QStringLiteral("Delete this occurrence?") +
                        (hasGuests(event) ? QStringLiteral(" Guests get a cancellation.") : QString()),
                    QStringLiteral("Delete"), deleting};
        }
        if (hasGuests(event))
            return {QStringLiteral("Delete for everyone? Guests get a cancellation."),
                    QStringLiteral("Delete"), deleting};
        return {QStringLiteral("Delete this event?"), QStringLiteral("Delete"), deleting};
    }
    if (event.source == EventSource::google) {
        const QString organizer = event.organizer.value_or(QString()).trimmed();
        return {QStringLiteral("Decline? ") +
                    (organizer.isEmpty() ? QStringLiteral("The organizer") : organizer) +
                    QStringLiteral(" will be notified."),
                QStringLiteral("Decline"), QStringLiteral("Declining\u2026")};
    }
    return {QStringLiteral("Remove from your calendar? The organizer may see this as a decline."),
            QStringLiteral("Remove"), QStringLiteral("Removing\u2026")};
}

QString timeText(const CalEvent& event, const Cal& cal) {
    // The last second the event covers; a zero-length event covers its start.
    const QDateTime last = std::max(event.end.addSecs(-1), event.start);
    const bool sameDay = cal.isSameDay(event.start, last);
    const auto day = [&](const QDateTime& instant) { return Fmt::dayShort(instant, cal); };
    if (event.isAllDay) {
        QString text = QStringLiteral("All day") + dot + day(event.start);
        if (!sameDay)
            text += dash + day(last);
        return text;
    }
    if (sameDay) {
        const qint64 minutes = std::llround(double(event.start.secsTo(event.end)) / 60.0);
        return day(event.start) + dot + Fmt::range(event.start, event.end, cal) + dot + Fmt::minutes(minutes);
    }
    return day(event.start) + QLatin1Char(' ') + Fmt::time(event.start, cal) + dash + day(event.end) +
           QLatin1Char(' ') + Fmt::time(event.end, cal);
}

std::optional<QString> locationText(const CalEvent& event) {
    const QString location = event.location.value_or(QString()).trimmed();
    if (location.isEmpty())
        return std::nullopt;
    if (const std::optional<QUrl> link = event.meetingURL()) {
        // The same link, however the source spelled its host.
        if (location == link->toString() || QUrl(location, QUrl::StrictMode) == *link)
            return std::nullopt;
    }
    return location;
}

std::optional<QString> unexpandedRuleText(const CalEvent& event) {
    if (!event.unexpandedRule)
        return std::nullopt;
    return QStringLiteral(
        "Repeats in a way Vorrindel can’t read in full: only the first occurrence is shown, read-only");
}

std::optional<QString> organizerText(const CalEvent& event) {
    const QString organizer = event.organizer.value_or(QString()).trimmed();
    if (organizer.isEmpty() || !event.attendees.isEmpty())
        return std::nullopt;
    return QStringLiteral("Organized by ") + organizer;
}

std::optional<QString> notionEditedText(const CalEvent& event, const QDateTime& now, const Cal& cal) {
    if (event.source != EventSource::notion || !event.lastEdited || !event.lastEdited->isValid())
        return std::nullopt;
    return QStringLiteral("Edited in Notion ") + Fmt::relative(*event.lastEdited, now, cal);
}

std::optional<QString> cleanNotes(const std::optional<QString>& notes) {
    if (!notes)
        return std::nullopt;
    QString text = *notes;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    while (text.contains(QLatin1String("\n\n\n")))
        text.replace(QLatin1String("\n\n\n"), QLatin1String("\n\n"));
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

QString attendeeSummary(const CalEvent& event) {
    const auto accepted =
        std::count_if(event.attendees.cbegin(), event.attendees.cend(),
                      [](const Attendee& a) { return a.status == Attendee::Status::accepted; });
    return QString::number(event.attendees.size()) + QStringLiteral(" attendees") + dot +
           QString::number(accepted) + QStringLiteral(" accepted");
}

QString shortName(const QString& name) {
    if (!name.contains(QLatin1Char('@')))
        return name;
    const QStringList pieces = name.split(QLatin1Char('@'), Qt::SkipEmptyParts);
    return pieces.isEmpty() ? name : pieces.first();
}

QList<Chip> chips(const CalEvent& event) {
    QList<Chip> out;
    const qsizetype shown = std::min<qsizetype>(event.attendees.size(), chipLimit);
    out.reserve(shown);
    for (qsizetype i = 0; i < shown; ++i) {
        const Attendee& attendee = event.attendees[i];
        // A guest without a display name still shows who it is.
        const QString name =
            attendee.name.trimmed().isEmpty() ? attendee.email.value_or(QString()) : attendee.name;
        out.append(
            {attendee.isMe ? QStringLiteral("You") : shortName(name), attendee.status, attendee.isOrganizer});
    }
    return out;
}

std::optional<QString> moreText(const CalEvent& event) {
    if (event.attendees.size() <= chipLimit)
        return std::nullopt;
    return QStringLiteral("+") + QString::number(event.attendees.size() - chipLimit) +
           QStringLiteral(" more");
}

QString statusSymbol(Attendee::Status status) {
    switch (status) {
    case Attendee::Status::accepted:
        return QStringLiteral("checkmark.circle.fill");
    case Attendee::Status::declined:
        return QStringLiteral("xmark.circle.fill");
    case Attendee::Status::tentative:
        return QStringLiteral("questionmark.circle.fill");
    case Attendee::Status::pending:
    case Attendee::Status::unknown:
        break;
    }
    return QStringLiteral("circle");
}

QColor statusColor(Attendee::Status status) {
    switch (status) {
    case Attendee::Status::accepted:
        return Theme::green();
    case Attendee::Status::declined:
        return Theme::red();
    case Attendee::Status::tentative:
        return Theme::orange();
    case Attendee::Status::pending:
    case Attendee::Status::unknown:
        break;
    }
    return Theme::white(0.4);
}

std::optional<QString> joinText(const CalEvent& event) {
    const std::optional<QUrl> link = event.meetingURL();
    if (!link)
        return std::nullopt;
    return QStringLiteral("Join ") + MeetingLink::serviceName(*link);
}

QList<Link> links(const CalEvent& event) {
    switch (event.source) {
    case EventSource::calendar:
        if (event.ekIdentifier && !event.ekIdentifier->isEmpty())
            return {Link::notionCalendar, Link::calendarApp};
        return {Link::notionCalendar};
    case EventSource::google:
        if (event.webLink && isSafeRemoteLink(*event.webLink))
            return {Link::notionCalendar, Link::googleCalendar};
        return {Link::notionCalendar};
    case EventSource::notion:
        if (event.notionURL && Launch::notionPage(event.notionURL, event.webLink))
            return {Link::notionPage};
        return {};
    }
    return {};
}

QString linkTitle(Link link) {
    switch (link) {
    case Link::notionCalendar:
        return QStringLiteral("Notion Calendar");
    case Link::calendarApp:
        return QStringLiteral("Calendar");
    case Link::googleCalendar:
        return QStringLiteral("Google Calendar");
    case Link::notionPage:
        return QStringLiteral("Open in Notion");
    }
    return {};
}

std::optional<Badge> badge(const CalEvent& event, const std::optional<QString>& toast, const QDateTime& now) {
    if (toast)
        return Badge{*toast, true, false};
    if (const std::optional<QString> countdown = Fmt::countdown(event, now))
        return Badge{*countdown, false, isLive(event, now)};
    return std::nullopt;
}

} // namespace EventDetailModel
