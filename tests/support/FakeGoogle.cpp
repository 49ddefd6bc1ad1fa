#include "support/FakeGoogle.h"

#include "core/model/UserCal.h"
#include "core/remote/Rfc3339.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRegularExpression>
#include <QUrlQuery>

#include <algorithm>

const QString FakeGoogle::readOnlyScope = QStringLiteral("https://www.googleapis.com/auth/calendar.readonly");
const QString FakeGoogle::eventsScope = QStringLiteral("https://www.googleapis.com/auth/calendar.events");

namespace {

const QByteArray bearerChallenge = R"(Bearer realm="https://accounts.google.com/", error="invalid_token")";

// The start of an event for ordering and window checks (a day starting in the user's zone, as the
// calendar's own zone would place it); invalid when it has none.
QDateTime instantOf(const QJsonObject& time) {
    if (const auto dateTime = Rfc3339::parse(time.value(u"dateTime").toString()))
        return *dateTime;
    if (const auto day = Rfc3339::parseDay(time.value(u"date").toString(), UserCal::current()))
        return *day;
    return {};
}

// Google's patch: listed fields replace, null removes, nested objects merge.
QJsonObject merged(QJsonObject target, const QJsonObject& patch) {
    for (auto it = patch.begin(); it != patch.end(); ++it) {
        if (it.value().isNull())
            target.remove(it.key());
        else if (it.value().isObject() && target.value(it.key()).isObject())
            target.insert(it.key(), merged(target.value(it.key()).toObject(), it.value().toObject()));
        else
            target.insert(it.key(), it.value());
    }
    return target;
}

// Google keeps extended properties as text: any other value of a "private" or "shared" map is
// refused (a PATCH's null removes the key).
bool textProperties(const QJsonObject& event) {
    const QJsonObject properties = event.value(u"extendedProperties").toObject();
    for (const QJsonValue& map : properties) {
        for (const QJsonValue& value : map.toObject()) {
            if (!value.isString() && !value.isNull())
                return false;
        }
    }
    return true;
}

HttpReply invalidProperties() {
    return FakeGoogle::errorReply(400, QStringLiteral("invalid"),
                                  QStringLiteral("Invalid value for: extendedProperties"));
}

} // namespace

FakeGoogle::FakeGoogle(QObject* parent)
    : QObject(parent)
    , m_grantedScope(readOnlyScope + u' ' + eventsScope) {
    m_server.setHandler([this](const HttpRequest& request) { return handle(request); });
}

RemoteSession::Endpoints FakeGoogle::endpoints() const {
    RemoteSession::Endpoints endpoints = RemoteSession::Endpoints::production();
    endpoints.googleConsent = m_server.url(QStringLiteral("/o/oauth2/v2/auth"));
    endpoints.googleToken = m_server.url(QStringLiteral("/token"));
    endpoints.googleCalendar = m_server.url(QStringLiteral("/calendar/v3/"));
    return endpoints;
}

void FakeGoogle::addAccount(const QString& email) {
    m_accounts.append(email);
    if (m_signInAccount.isEmpty())
        m_signInAccount = email;
    addCalendar(email, {{"id", email},
                        {"summary", email},
                        {"primary", true},
                        {"selected", true},
                        {"accessRole", "owner"},
                        {"backgroundColor", "#9fc6e7"}});
}

void FakeGoogle::addCalendar(const QString& email, const QJsonObject& entry) {
    m_calendarLists[email].append(entry);
    m_events[entry.value(u"id").toString()];
}

QString FakeGoogle::issueAccessToken(const QString& email) {
    const QString token = QStringLiteral("ya29.fake-access-%1").arg(++m_counter);
    m_accessTokens.insert(token, email);
    return token;
}

QString FakeGoogle::issueRefreshToken(const QString& email) {
    const QString token = QStringLiteral("1//fake-refresh-%1").arg(++m_counter);
    m_refreshTokens.insert(token, email);
    return token;
}

void FakeGoogle::expireAccessTokens(const QString& email) {
    m_accessTokens.removeIf(
        [&](const std::pair<const QString&, QString&>& token) { return token.second == email; });
}

void FakeGoogle::revokeRefreshToken(const QString& refreshToken) {
    m_refreshTokens.remove(refreshToken);
}

std::optional<QString> FakeGoogle::accountOf(const QString& accessToken) const {
    const auto found = m_accessTokens.constFind(accessToken);
    return found == m_accessTokens.cend() ? std::nullopt : std::optional<QString>(*found);
}

void FakeGoogle::setSignInAccount(const QString& email) {
    m_signInAccount = email;
}

void FakeGoogle::setConsentError(const QString& error) {
    m_consentError = error;
}

void FakeGoogle::setTokenReplyOmits(const QStringList& keys) {
    m_omittedKeys = keys;
}

QString FakeGoogle::addEvent(const QString& calendarID, QJsonObject event) {
    if (!event.value(u"id").isString())
        event.insert(QStringLiteral("id"), QStringLiteral("fakeevent%1").arg(++m_counter));
    m_events[calendarID].append(event);
    return event.value(u"id").toString();
}

std::optional<QJsonObject> FakeGoogle::storedEvent(const QString& calendarID, const QString& eventID) const {
    for (const QJsonObject& event : m_events.value(calendarID)) {
        if (event.value(u"id").toString() == eventID)
            return event;
    }
    return std::nullopt;
}

void FakeGoogle::editEvent(const QString& calendarID, const QString& eventID, const QJsonObject& changes) {
    const auto calendar = m_events.find(calendarID);
    if (calendar == m_events.end())
        return;
    for (QJsonObject& event : *calendar) {
        if (event.value(u"id").toString() == eventID) {
            event = merged(event, changes);
            event.insert("updated", Rfc3339::formatUtc(QDateTime::currentDateTimeUtc()));
        }
    }
}

void FakeGoogle::setPageSize(int size) {
    m_pageSize = size;
}

QJsonObject FakeGoogle::timedEvent(const QString& id, const QString& summary, const QDateTime& start,
                                   const QDateTime& end) {
    return {{"id", id},
            {"status", "confirmed"},
            {"summary", summary},
            {"start", QJsonObject{{"dateTime", Rfc3339::formatUtc(start)}}},
            {"end", QJsonObject{{"dateTime", Rfc3339::formatUtc(end)}}},
            {"htmlLink", "https://www.google.com/calendar/event?eid=" + id}};
}

QJsonObject FakeGoogle::allDayEvent(const QString& id, const QString& summary, const QDate& first,
                                    const QDate& dayAfterLast) {
    return {{"id", id},
            {"status", "confirmed"},
            {"summary", summary},
            {"start", QJsonObject{{"date", first.toString(Qt::ISODate)}}},
            {"end", QJsonObject{{"date", dayAfterLast.toString(Qt::ISODate)}}}};
}

HttpReply FakeGoogle::errorReply(int status, const QString& reason, const QString& message) {
    QJsonObject error{{"code", status}, {"message", message}};
    if (!reason.isEmpty())
        error.insert("errors",
                     QJsonArray{QJsonObject{{"domain", "global"}, {"reason", reason}, {"message", message}}});
    return HttpReply::json(status, {{"error", error}});
}

HttpReply FakeGoogle::handle(const HttpRequest& request) {
    if (request.path == u"/o/oauth2/v2/auth" && request.method == "GET")
        return consent(request);
    if (request.path == u"/token" && request.method == "POST")
        return tokenEndpoint(request);
    if (!request.path.startsWith(u"/calendar/v3/"))
        return HttpReply::text(404, "Not Found");

    const QByteArray authorization = request.header("Authorization");
    const std::optional<QString> email = authorization.startsWith("Bearer ")
                                             ? accountOf(QString::fromUtf8(authorization.mid(7)))
                                             : std::nullopt;
    if (!email) {
        return errorReply(
                   401, QStringLiteral("authError"),
                   QStringLiteral("Request had invalid authentication credentials. Expected OAuth 2 access "
                                  "token, login cookie or other valid authentication credential."))
            .withHeader("WWW-Authenticate", bearerChallenge);
    }
    return calendarApi(request, *email);
}

HttpReply FakeGoogle::consent(const HttpRequest& request) {
    if (request.queryValue(u"client_id") != m_clientID)
        return HttpReply::text(401, "Error 401: invalid_client", "text/html");
    const QUrl redirect(request.queryValue(u"redirect_uri"), QUrl::StrictMode);
    if (!redirect.isValid() || redirect.host() != u"127.0.0.1" ||
        request.queryValue(u"response_type") != u"code" ||
        request.queryValue(u"code_challenge_method") != u"S256" ||
        request.queryValue(u"code_challenge").size() != 43)
        return HttpReply::text(400, "Error 400: invalid_request", "text/html");

    QUrlQuery answer;
    answer.addQueryItem(QStringLiteral("state"), request.queryValue(u"state"));
    if (!m_consentError.isEmpty()) {
        answer.addQueryItem(QStringLiteral("error"), m_consentError);
    } else {
        const QString code = QStringLiteral("4/0Afake%1+code").arg(++m_counter);
        m_codes.insert(code, {request.queryValue(u"code_challenge"), redirect.toString(), m_signInAccount});
        answer.addQueryItem(QStringLiteral("code"), QString::fromLatin1(QUrl::toPercentEncoding(code)));
        answer.addQueryItem(QStringLiteral("scope"),
                            QString::fromLatin1(QUrl::toPercentEncoding(m_grantedScope)));
    }
    QUrl target = redirect;
    target.setQuery(answer.query(QUrl::FullyEncoded), QUrl::StrictMode);
    return HttpReply::redirect(target);
}

HttpReply FakeGoogle::tokenRefusal(int status, const QString& error, const QString& description) {
    m_tokenRefusals.append(error + QStringLiteral(": ") + description);
    return HttpReply::json(status, {{"error", error}, {"error_description", description}});
}

QJsonObject FakeGoogle::tokenReply(const QString& accessToken,
                                   const std::optional<QString>& refreshToken) const {
    QJsonObject reply{{"access_token", accessToken},
                      {"expires_in", m_expiresIn},
                      {"scope", m_grantedScope},
                      {"token_type", "Bearer"}};
    if (refreshToken)
        reply.insert("refresh_token", *refreshToken);
    for (const QString& key : m_omittedKeys)
        reply.remove(key);
    return reply;
}

HttpReply FakeGoogle::tokenEndpoint(const HttpRequest& request) {
    if (!request.header("Content-Type").startsWith("application/x-www-form-urlencoded"))
        return tokenRefusal(400, QStringLiteral("invalid_request"), QStringLiteral("Bad content type"));
    const QMap<QString, QString> form = request.form();
    if (form.value(QStringLiteral("client_id")) != m_clientID ||
        form.value(QStringLiteral("client_secret")) != m_clientSecret)
        return tokenRefusal(401, QStringLiteral("invalid_client"),
                            QStringLiteral("The OAuth client was not found."));

    const QString grantType = form.value(QStringLiteral("grant_type"));
    if (grantType == u"authorization_code") {
        const auto found = m_codes.constFind(form.value(QStringLiteral("code")));
        if (found == m_codes.cend())
            return tokenRefusal(400, QStringLiteral("invalid_grant"), QStringLiteral("Malformed auth code."));
        const Grant grant = *found;
        m_codes.erase(found); // codes are single-use
        if (form.value(QStringLiteral("redirect_uri")) != grant.redirectUri)
            return tokenRefusal(400, QStringLiteral("redirect_uri_mismatch"), QStringLiteral("Bad Request"));
        const QByteArray verifier = form.value(QStringLiteral("code_verifier")).toUtf8();
        const QByteArray challenge =
            QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        if (verifier.isEmpty() || QString::fromLatin1(challenge) != grant.challenge)
            return tokenRefusal(400, QStringLiteral("invalid_grant"),
                                QStringLiteral("Invalid code verifier."));
        return HttpReply::json(200,
                               tokenReply(issueAccessToken(grant.email), issueRefreshToken(grant.email)));
    }
    if (grantType == u"refresh_token") {
        const auto found = m_refreshTokens.constFind(form.value(QStringLiteral("refresh_token")));
        if (found == m_refreshTokens.cend())
            return tokenRefusal(400, QStringLiteral("invalid_grant"),
                                QStringLiteral("Token has been expired or revoked."));
        return HttpReply::json(200, tokenReply(issueAccessToken(*found), std::nullopt));
    }
    return tokenRefusal(400, QStringLiteral("unsupported_grant_type"),
                        QStringLiteral("Invalid grant_type: ") + grantType);
}

HttpReply FakeGoogle::page(const HttpRequest& request, const QList<QJsonObject>& items, const QString& kind) {
    const QString token = request.queryValue(u"pageToken");
    switch (m_paging) {
    case Paging::Normal:
        break;
    case Paging::Oversized: {
        QJsonArray all;
        for (const QJsonObject& item : items)
            all.append(item);
        return HttpReply::json(200, {{"kind", kind}, {"items", all}});
    }
    case Paging::Cycling:
        return HttpReply::json(200, {{"kind", kind},
                                     {"items", QJsonArray()},
                                     {"nextPageToken", token == u"cycleA" ? "cycleB" : "cycleA"}});
    case Paging::Endless:
        return HttpReply::json(200, {{"kind", kind},
                                     {"items", QJsonArray()},
                                     {"nextPageToken", QStringLiteral("endless%1").arg(++m_counter)}});
    }
    // Empty pages run "empty1", "empty2", ... before the items' pages "page0", "page<n>", ...
    const int empty = token.startsWith(u"empty") ? token.mid(5).toInt() : 0;
    if (!token.startsWith(u"page") && empty < m_emptyPagesFirst)
        return HttpReply::json(
            200, {{"kind", kind},
                  {"items", QJsonArray()},
                  {"nextPageToken", empty + 1 < m_emptyPagesFirst ? QStringLiteral("empty%1").arg(empty + 1)
                                                                  : QStringLiteral("page0")}});
    int size = m_pageSize;
    if (request.hasQueryItem(u"maxResults"))
        size = std::min(size, request.queryValue(u"maxResults").toInt());
    size = std::max(size, 1);
    const int from = request.hasQueryItem(u"pageToken") ? request.queryValue(u"pageToken").mid(4).toInt() : 0;
    QJsonArray pageItems;
    for (int i = from; i < std::min<int>(from + size, int(items.size())); ++i)
        pageItems.append(items[i]);
    QJsonObject reply{{"kind", kind}, {"items", pageItems}};
    if (from + size < items.size())
        reply.insert("nextPageToken", QStringLiteral("page%1").arg(from + size));
    return HttpReply::json(200, reply);
}

HttpReply FakeGoogle::calendarApi(const HttpRequest& request, const QString& email) {
    if (request.path == u"/calendar/v3/users/me/calendarList" && request.method == "GET") {
        QList<QJsonObject> entries;
        for (const QJsonObject& entry : m_calendarLists.value(email)) {
            if (request.queryValue(u"showHidden") == u"true" || !entry.value(u"hidden").toBool())
                entries.append(entry);
        }
        return page(request, entries, QStringLiteral("calendar#calendarList"));
    }

    // /calendar/v3/calendars/{calendar}/events[/{event}], split before decoding so that "%2F" stays in its id
    const QList<QByteArray> parts = request.rawPath.mid(int(qstrlen("/calendar/v3/"))).split('/');
    if (parts.size() < 3 || parts.size() > 4 || parts[0] != "calendars" || parts[2] != "events")
        return errorReply(404, QStringLiteral("notFound"), QStringLiteral("Not Found"));
    const QString calendarID = QUrl::fromPercentEncoding(parts[1]);
    if (!m_events.contains(calendarID))
        return errorReply(404, QStringLiteral("notFound"), QStringLiteral("Not Found"));
    QList<QJsonObject>& events = m_events[calendarID];

    if (parts.size() == 3) {
        if (request.method == "POST")
            return insertReply(calendarID, request, email);
        if (request.method != "GET")
            return errorReply(405, QString(), QStringLiteral("Method Not Allowed"));
        const QDateTime windowStart = Rfc3339::parse(request.queryValue(u"timeMin")).value_or(QDateTime());
        const QDateTime windowEnd = Rfc3339::parse(request.queryValue(u"timeMax")).value_or(QDateTime());
        QList<QJsonObject> listed;
        for (const QJsonObject& event : events) {
            if (event.value(u"status") == QJsonValue("cancelled") &&
                request.queryValue(u"showDeleted") != u"true")
                continue;
            const QDateTime start = instantOf(event.value(u"start").toObject());
            const QDateTime end = instantOf(event.value(u"end").toObject());
            if (windowStart.isValid() && end.isValid() && end <= windowStart)
                continue;
            if (windowEnd.isValid() && start.isValid() && start >= windowEnd)
                continue;
            listed.append(event);
        }
        if (request.queryValue(u"orderBy") == u"startTime") {
            std::stable_sort(listed.begin(), listed.end(), [](const QJsonObject& a, const QJsonObject& b) {
                return instantOf(a.value(u"start").toObject()) < instantOf(b.value(u"start").toObject());
            });
        }
        return page(request, listed, QStringLiteral("calendar#events"));
    }

    const QString eventID = QUrl::fromPercentEncoding(parts[3]);
    const auto found = std::find_if(events.begin(), events.end(), [&](const QJsonObject& event) {
        return event.value(u"id").toString() == eventID;
    });
    const bool cancelled = found != events.end() && found->value(u"status") == QJsonValue("cancelled");
    if (found == events.end() || (cancelled && request.method == "DELETE")) {
        if (request.method == "DELETE")
            return errorReply(410, QStringLiteral("deleted"), QStringLiteral("Resource has been deleted"));
        return errorReply(404, QStringLiteral("notFound"), QStringLiteral("Not Found"));
    }
    if (request.method == "GET")
        return HttpReply::json(200, *found);
    if (request.method == "PATCH") {
        if (!textProperties(request.json()))
            return invalidProperties();
        *found = patch(*found, request.json(), request);
        return HttpReply::json(200, *found);
    }
    if (request.method == "DELETE") {
        found->insert("status", "cancelled");
        return HttpReply::empty(204);
    }
    return errorReply(405, QString(), QStringLiteral("Method Not Allowed"));
}

HttpReply FakeGoogle::insertReply(const QString& calendarID, const HttpRequest& request,
                                  const QString& email) {
    // A client may name the new event itself, in Google's base32hex alphabet; an id in use is refused.
    const QJsonObject event = request.json();
    if (!textProperties(event))
        return invalidProperties();
    if (event.contains(u"id")) {
        static const QRegularExpression base32hex(QStringLiteral("^[a-v0-9]{5,1024}$"));
        const QString id = event.value(u"id").toString();
        if (!base32hex.match(id).hasMatch())
            return errorReply(400, QStringLiteral("invalid"), QStringLiteral("Invalid resource id value."));
        if (storedEvent(calendarID, id))
            return errorReply(409, QStringLiteral("duplicate"),
                              QStringLiteral("The requested identifier already exists."));
    }
    HttpReply reply = HttpReply::json(200, insert(calendarID, event, request, email));
    reply.heldBack = m_holdNewEvents;
    return reply;
}

QJsonObject FakeGoogle::insert(const QString& calendarID, QJsonObject event, const HttpRequest& request,
                               const QString& email) {
    const QString id = event.value(u"id").isString() ? event.value(u"id").toString()
                                                     : QStringLiteral("fakeevent%1").arg(++m_counter);
    event.insert("id", id);
    event.insert("status", "confirmed");
    event.insert("htmlLink", "https://www.google.com/calendar/event?eid=" + id);
    event.insert("organizer", QJsonObject{{"email", email}, {"self", true}});
    event.insert("creator", QJsonObject{{"email", email}, {"self", true}});
    event.insert("updated", Rfc3339::formatUtc(QDateTime::currentDateTimeUtc()));
    QJsonArray attendees = event.value(u"attendees").toArray();
    for (qsizetype i = 0; i < attendees.size(); ++i) {
        QJsonObject attendee = attendees[i].toObject();
        if (attendee.value(u"email").toString().compare(email, Qt::CaseInsensitive) == 0)
            attendee.insert("self", true);
        attendees[i] = attendee;
    }
    if (!attendees.isEmpty())
        event.insert("attendees", attendees);
    event = patch(QJsonObject{{"id", id}}, event, request);
    m_events[calendarID].append(event);
    return event;
}

QJsonObject FakeGoogle::patch(QJsonObject event, const QJsonObject& body, const HttpRequest& request) {
    QJsonObject changes = body;
    // With attendeesOmitted the list names only the guests to change; the others stay.
    if (changes.value(u"attendeesOmitted").toBool()) {
        QJsonArray attendees = event.value(u"attendees").toArray();
        for (const QJsonValue& change : changes.value(u"attendees").toArray()) {
            const QString email = change.toObject().value(u"email").toString().toLower();
            for (qsizetype i = 0; i < attendees.size(); ++i) {
                if (attendees[i].toObject().value(u"email").toString().toLower() == email)
                    attendees[i] = merged(attendees[i].toObject(), change.toObject());
            }
        }
        changes.insert("attendees", attendees);
        changes.remove("attendeesOmitted");
    }
    // Conference changes count only with conferenceDataVersion=1, as with Google.
    const bool conferences = request.queryValue(u"conferenceDataVersion") == u"1";
    const QJsonValue conference = changes.take(QStringLiteral("conferenceData"));
    event = merged(event, changes);
    if (conferences && conference.isNull()) {
        event.remove("conferenceData");
        event.remove("hangoutLink");
    } else if (conferences && conference.toObject().contains(u"createRequest")) {
        const QString link = QStringLiteral("https://meet.google.com/fak-%1-xyz").arg(++m_counter);
        event.insert("hangoutLink", link);
        event.insert(
            "conferenceData",
            QJsonObject{{"entryPoints", QJsonArray{QJsonObject{{"entryPointType", "video"}, {"uri", link}}}},
                        {"conferenceSolution", QJsonObject{{"key", QJsonObject{{"type", "hangoutsMeet"}}}}}});
    }
    event.insert("updated", Rfc3339::formatUtc(QDateTime::currentDateTimeUtc()));
    return event;
}
