// Writes to existing events: update and decline (delete lives with the request primitives).
#include "core/model/TextRules.h"
#include "core/remote/GoogleAPI.h"

#include "core/remote/Rfc3339.h"
#include "core/remote/StrictJson.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QUuid>

using StrictJson::isTrue;

namespace {

QString lowerEmail(const QJsonObject& attendee) {
    return attendee.value(u"email").toString().toLower();
}

// The existing guests to keep (the user, the organizer and the wanted ones, as whole objects), then
// each wanted address not among them. Empty when the guest list would not change.
std::optional<QJsonArray> mergedAttendees(const QJsonValue& existingValue, const QStringList& invitees) {
    const QList<QJsonObject> existing = StrictJson::objects(existingValue);
    QSet<QString> wanted;
    for (const QString& invitee : invitees)
        wanted.insert(invitee.toLower());

    QJsonArray merged;
    QSet<QString> kept;
    for (const QJsonObject& attendee : existing) {
        if (isTrue(attendee, u"self") || isTrue(attendee, u"organizer") ||
            wanted.contains(lowerEmail(attendee))) {
            merged.append(attendee);
            kept.insert(lowerEmail(attendee));
        }
    }
    bool allKept = true;
    for (const QString& invitee : invitees) {
        if (kept.contains(invitee.toLower()))
            continue;
        allKept = false;
        merged.append(QJsonObject{{QStringLiteral("email"), invitee}});
        kept.insert(invitee.toLower());
    }
    if (merged.size() == existing.size() && allKept)
        return std::nullopt;
    return merged;
}

// The private property that marks an event as the one a client inserted under its own id. Users
// never see or edit it, so it tells the insert's event from another one under that id whatever its
// title and time have become since.
const QString insertMarkKey = QStringLiteral("vorrindelInsertId");

QString insertMark(const QJsonObject& event) {
    return event.value(u"extendedProperties")
        .toObject()
        .value(u"private")
        .toObject()
        .value(insertMarkKey)
        .toString();
}

// The body with the mark added beside any private properties it carries.
QJsonObject marked(QJsonObject body, const QString& eventId) {
    QJsonObject properties = body.value(u"extendedProperties").toObject();
    QJsonObject own = properties.value(u"private").toObject();
    own.insert(insertMarkKey, eventId);
    properties.insert(QStringLiteral("private"), own);
    body.insert(QStringLiteral("extendedProperties"), properties);
    return body;
}

} // namespace

namespace GoogleAPI {

std::optional<QString> timeZoneId(const QTimeZone& zone) {
    static const QRegularExpression ianaName =
        TextRules::compiled(QStringLiteral(R"(^(UTC|[A-Za-z]+(/[A-Za-z0-9_+\-]+)+)$)"));
    const QString id = QString::fromUtf8(zone.id());
    if (!zone.isValid() || !ianaName.match(id).hasMatch() || !QTimeZone(id.toUtf8()).isValid())
        return std::nullopt;
    return id;
}

QJsonObject slotTime(const QDateTime& instant, bool allDay, const Cal& cal) {
    if (allDay)
        return {{QStringLiteral("date"), Rfc3339::formatDay(instant, cal)},
                {QStringLiteral("dateTime"), QJsonValue::Null},
                {QStringLiteral("timeZone"), QJsonValue::Null}};
    const std::optional<QString> zone = timeZoneId(cal.zone());
    return {{QStringLiteral("dateTime"), Rfc3339::formatLocal(instant, cal)},
            {QStringLiteral("timeZone"), zone ? QJsonValue(*zone) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("date"), QJsonValue::Null}};
}

QJsonObject newMeetConference() {
    return newMeetConference(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

QJsonObject newMeetConference(const QString& requestId) {
    return {{QStringLiteral("createRequest"),
             QJsonObject{{QStringLiteral("requestId"), requestId},
                         {QStringLiteral("conferenceSolutionKey"),
                          QJsonObject{{QStringLiteral("type"), QStringLiteral("hangoutsMeet")}}}}}};
}

InsertIds InsertIds::fresh() {
    // Base32hex, five bits a character, from the 128 bits of a random UUID.
    static constexpr char alphabet[] = "0123456789abcdefghijklmnopqrstuv";
    const QByteArray bytes = QUuid::createUuid().toRfc4122();
    QString id;
    quint32 buffer = 0;
    int bits = 0;
    for (const char byte : bytes) {
        buffer = (buffer << 8) | quint8(byte);
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            id += QLatin1Char(alphabet[(buffer >> bits) & 0x1f]);
        }
    }
    if (bits > 0)
        id += QLatin1Char(alphabet[(buffer << (5 - bits)) & 0x1f]);
    return {id, QUuid::createUuid().toString(QUuid::WithoutBraces)};
}

IdInUse::IdInUse()
    : GoogleError(QStringLiteral("Google holds another event under this event's id"), 409) {}

QCoro::Task<QJsonObject> insertEvent(QString calendarID, Query query, QJsonObject body, QString token) {
    const QString method = QStringLiteral("POST");
    const QString eventId = body.value(u"id").toString();
    const QString path = eventsPath(calendarID);
    if (!eventId.isEmpty())
        body = marked(std::move(body), eventId);
    try {
        co_return co_await send(method, path, query, body, token);
    } catch (const GoogleError& error) {
        if (error.status() != 409 || eventId.isEmpty())
            throw;
    }
    const QString storedPath = eventPath(calendarID, eventId);
    const Query none;
    QJsonObject stored;
    bool gone = false;
    try {
        stored = co_await get(storedPath, none, token);
    } catch (const GoogleError& error) {
        // Deleted for good since: the id stays taken all the same.
        if (error.status() != 404 && error.status() != 410)
            throw;
        gone = true;
    }
    if (gone || stored.value(u"status").toString() == u"cancelled" || insertMark(stored) != eventId)
        throw IdInUse();
    co_return stored;
}

QCoro::Task<CalEvent> updateEvent(GoogleCalendarInfo calendar, QString account, QString eventID,
                                  std::optional<QString> title, std::optional<Slot> slot,
                                  QStringList invitees, bool meet, bool hadMeet, bool notify, QString token,
                                  Cal cal) {
    QJsonObject body;
    if (title)
        body.insert(QStringLiteral("summary"), *title);
    if (slot) {
        body.insert(QStringLiteral("start"), slotTime(slot->start, slot->allDay, cal));
        body.insert(QStringLiteral("end"), slotTime(slot->end, slot->allDay, cal));
    }

    const QString path = eventPath(calendar.id, eventID);
    const QJsonObject current = co_await get(path, {}, token);
    if (const auto attendees = mergedAttendees(current.value(u"attendees"), invitees))
        body.insert(QStringLiteral("attendees"), *attendees);

    if (meet && !hadMeet) {
        body.insert(QStringLiteral("conferenceData"), newMeetConference());
    } else if (!meet && hadMeet) {
        body.insert(QStringLiteral("conferenceData"), QJsonValue::Null);
    }

    Query query{{QStringLiteral("conferenceDataVersion"), QStringLiteral("1")}};
    if (notify)
        query.insert(QStringLiteral("sendUpdates"), QStringLiteral("all"));

    if (body.isEmpty()) {
        if (auto unchanged = event(current, calendar, account, cal))
            co_return *unchanged;
    }
    const QString method = QStringLiteral("PATCH");
    const QJsonObject reply = co_await send(method, path, query, body, token);
    if (auto updated = event(reply, calendar, account, cal))
        co_return *updated;
    throw GoogleError(QStringLiteral("Google updated the event but returned something unexpected"));
}

QCoro::Task<std::optional<CalEvent>> declineEvent(GoogleCalendarInfo calendar, QString account,
                                                  QString eventID, QString token, Cal cal) {
    const QString path = eventPath(calendar.id, eventID);
    const QJsonObject current = co_await get(path, {}, token);
    QJsonArray mine;
    for (const QJsonValue& value : current.value(u"attendees").toArray()) {
        QJsonObject attendee = value.toObject();
        if (!isTrue(attendee, u"self"))
            continue;
        attendee.insert(QStringLiteral("responseStatus"), QStringLiteral("declined"));
        mine.append(attendee);
    }
    if (mine.isEmpty())
        throw GoogleError(QStringLiteral("You are not on this event's guest list"));

    const QJsonObject body{{QStringLiteral("attendees"), mine}, {QStringLiteral("attendeesOmitted"), true}};
    const QString method = QStringLiteral("PATCH");
    const Query query{{QStringLiteral("sendUpdates"), QStringLiteral("all")}};
    const QJsonObject reply = co_await send(method, path, query, body, token);
    co_return event(reply, calendar, account, cal);
}

} // namespace GoogleAPI
