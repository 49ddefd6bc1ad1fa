// Reading: calendar lists, event listings and the mapping of Google events into CalEvent.
#include "core/model/TextRules.h"
#include "core/remote/GoogleAPI.h"

#include "core/remote/HexColor.h"
#include "core/remote/Rfc3339.h"
#include "core/remote/StrictJson.h"

#include <QCollator>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>

using StrictJson::isTrue;
using StrictJson::link;
using StrictJson::objects;
using StrictJson::text;

namespace {

std::optional<Attendee> attendee(const QJsonObject& json) {
    const std::optional<QString> email = text(json, u"email");
    if (!email)
        return std::nullopt;
    Attendee result;
    const QString response = json.value(u"responseStatus").toString();
    if (response == u"accepted")
        result.status = Attendee::Status::accepted;
    else if (response == u"declined")
        result.status = Attendee::Status::declined;
    else if (response == u"tentative")
        result.status = Attendee::Status::tentative;
    else if (response == u"needsAction")
        result.status = Attendee::Status::pending;
    result.name = text(json, u"displayName").value_or(*email);
    result.isOrganizer = isTrue(json, u"organizer");
    result.isMe = isTrue(json, u"self");
    result.email = email;
    return result;
}

// The meeting link: "hangoutLink", else the first video entry point of the conference data.
std::optional<QUrl> meetingLink(const QJsonObject& json) {
    if (const auto hangout = link(text(json, u"hangoutLink")))
        return hangout;
    for (const QJsonObject& entry : objects(json.value(u"conferenceData").toObject().value(u"entryPoints"))) {
        if (entry.value(u"entryPointType") == QJsonValue(QStringLiteral("video")))
            return link(text(entry, u"uri"));
    }
    return std::nullopt;
}

} // namespace

namespace GoogleAPI {

QCoro::Task<CalendarList> calendarList(QString token) {
    // Literals stay out of the co_await expression: GCC 12 cannot keep them in the coroutine frame.
    const QString path = QStringLiteral("users/me/calendarList");
    const Query query{{QStringLiteral("minAccessRole"), QStringLiteral("reader")},
                      {QStringLiteral("showHidden"), QStringLiteral("false")}};
    const QList<QJsonObject> items = co_await paginate(path, query, token);
    CalendarList result;
    for (const QJsonObject& item : items) {
        const std::optional<QString> id = text(item, u"id");
        if (!id)
            continue;
        GoogleCalendarInfo calendar;
        calendar.id = *id;
        calendar.summary = text(item, u"summaryOverride").value_or(text(item, u"summary").value_or(*id));
        calendar.colorHex = text(item, u"backgroundColor");
        calendar.primary = isTrue(item, u"primary");
        calendar.accessRole = text(item, u"accessRole");
        result.list.append(calendar);
        if (!isTrue(item, u"selected"))
            result.unselected.insert(*id);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(result.list.begin(), result.list.end(),
                     [&](const GoogleCalendarInfo& a, const GoogleCalendarInfo& b) {
                         if (a.primary != b.primary)
                             return a.primary;
                         return collator.compare(a.summary, b.summary) < 0;
                     });
    co_return result;
}

QCoro::Task<QList<CalEvent>> events(GoogleCalendarInfo calendar, QString account, QDateTime from,
                                    QDateTime to, QString token, Cal cal) {
    const Query query{{QStringLiteral("timeMin"), Rfc3339::formatUtc(from)},
                      {QStringLiteral("timeMax"), Rfc3339::formatUtc(to)},
                      {QStringLiteral("singleEvents"), QStringLiteral("true")},
                      {QStringLiteral("orderBy"), QStringLiteral("startTime")},
                      {QStringLiteral("maxResults"), QStringLiteral("250")},
                      {QStringLiteral("showDeleted"), QStringLiteral("false")}};
    const QList<QJsonObject> items = co_await paginate(eventsPath(calendar.id), query, token);
    QList<CalEvent> mapped;
    for (const QJsonObject& item : items) {
        if (auto one = event(item, calendar, account, cal))
            mapped.append(std::move(*one));
    }
    co_return mapped;
}

std::optional<std::pair<QDateTime, bool>> date(const QJsonObject& json, const Cal& cal) {
    if (const auto dateTime = text(json, u"dateTime")) {
        if (const auto instant = Rfc3339::parse(*dateTime))
            return std::pair{*instant, false};
    }
    if (const auto day = text(json, u"date")) {
        if (const auto start = Rfc3339::parseDay(*day, cal))
            return std::pair{*start, true};
    }
    return std::nullopt;
}

std::optional<CalEvent> event(const QJsonObject& json, const GoogleCalendarInfo& calendar,
                              const QString& account, const Cal& cal) {
    const std::optional<QString> eventID = text(json, u"id");
    if (!eventID || json.value(u"status") == QJsonValue(QStringLiteral("cancelled")))
        return std::nullopt;
    const QJsonValue startValue = json.value(u"start");
    const QJsonValue endValue = json.value(u"end");
    if (!startValue.isObject() || !endValue.isObject())
        return std::nullopt;
    const auto start = date(startValue.toObject(), cal);
    const auto end = date(endValue.toObject(), cal);
    if (!start || !end)
        return std::nullopt;

    QList<Attendee> attendees;
    for (const QJsonObject& entry : objects(json.value(u"attendees"))) {
        if (auto one = attendee(entry))
            attendees.append(*one);
    }
    const bool declinedByMe = std::any_of(attendees.cbegin(), attendees.cend(), [](const Attendee& a) {
        return a.isMe && a.status == Attendee::Status::declined;
    });
    if (declinedByMe)
        return std::nullopt;

    CalEvent result;
    result.id = CalEvent::googleId(account, calendar.id, *eventID);
    const QString title = json.value(u"summary").toString().trimmed();
    result.title = title.isEmpty() ? QStringLiteral("(No title)") : title;
    result.start = start->first;
    result.end = std::max(end->first, start->first);
    result.isAllDay = start->second;
    result.color = calendar.colorHex ? HexColor::color(*calendar.colorHex).value_or(CalEvent::systemBlue())
                                     : CalEvent::systemBlue();
    result.calendarName = calendar.primary ? account : calendar.summary;
    if (const auto location = text(json, u"location"); location && !location->isEmpty())
        result.location = location;
    if (const auto description = text(json, u"description")) {
        const QString notes = stripHTML(*description);
        if (!notes.isEmpty())
            result.notes = notes;
    }
    result.url = meetingLink(json);
    result.attendees = attendees;
    const QJsonValue organizerValue = json.value(u"organizer");
    const QJsonObject organizer = organizerValue.toObject();
    if (const auto name = text(organizer, u"displayName"))
        result.organizer = name;
    else
        result.organizer = text(organizer, u"email");
    result.source = EventSource::google;
    if (const auto updated = text(json, u"updated"))
        result.lastEdited = Rfc3339::parse(*updated);
    result.webLink = link(text(json, u"htmlLink"));
    result.googleAccount = account;
    result.googleCalendarID = calendar.id;
    result.googleEventID = eventID;
    result.organizerIsMe = !organizerValue.isObject() || isTrue(organizer, u"self") ||
                           organizer.value(u"email").toString().toLower() == account.toLower();
    result.calendarEditable = calendar.canEdit();
    result.isRecurring = json.contains(u"recurringEventId");
    return result;
}

QString stripHTML(const QString& html) {
    static const QRegularExpression lineBreak = TextRules::compiled(QStringLiteral("(?i)<br\\s*/?>"));
    static const QRegularExpression blockEnd = TextRules::compiled(QStringLiteral("(?i)</p>|</div>|</li>"));
    static const QRegularExpression tag = TextRules::compiled(QStringLiteral("<[^>]+>"));
    QString out = html;
    out.replace(lineBreak, QStringLiteral("\n"));
    out.replace(blockEnd, QStringLiteral("\n"));
    out.remove(tag);
    // "&amp;" last, so that an escaped entity ("&amp;lt;") stays an entity and is not decoded twice.
    out.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    out.replace(QLatin1String("&lt;"), QLatin1String("<"));
    out.replace(QLatin1String("&gt;"), QLatin1String(">"));
    out.replace(QLatin1String("&quot;"), QLatin1String("\""));
    out.replace(QLatin1String("&#39;"), QLatin1String("'"));
    out.replace(QLatin1String("&apos;"), QLatin1String("'"));
    out.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return out.trimmed();
}

} // namespace GoogleAPI
