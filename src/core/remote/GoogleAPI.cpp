// Paths, the request primitives, the delete, and the token endpoint.
#include "core/remote/GoogleAPI.h"

#include "core/remote/JsonListing.h"
#include "core/remote/Pager.h"
#include "core/remote/RemoteSession.h"
#include "core/remote/StrictJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>

namespace {

constexpr Pager::Limits listingLimits{2500};
// The most items a page keeps when the query names no "maxResults": the largest page the calendar
// list gives.
constexpr qsizetype defaultPageSize = 250;

QNetworkRequest calendarRequest(const RemoteSession& session, const QString& path,
                                const GoogleAPI::Query& query, const QString& token) {
    QNetworkRequest request(RemoteHttp::resolve(session.endpoints.googleCalendar, path, query));
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    return request;
}

QString statusText(int status) {
    return QStringLiteral("HTTP %1").arg(status);
}

// Google's own message of a failed request, else the status.
QString errorMessage(int status, const QJsonObject& json) {
    const QJsonValue message = json.value(u"error").toObject().value(u"message");
    return message.isString() ? message.toString() : statusText(status);
}

// The first reason in Google's error body; empty when there is none.
QString errorReason(const QJsonObject& json) {
    const QJsonValue reason =
        json.value(u"error").toObject().value(u"errors").toArray().at(0).toObject().value(u"reason");
    return reason.isString() ? reason.toString() : QString();
}

// Google slows a client down with 429, or with 403 and a rate or quota reason: requests too fast for
// the user or the project, the project's daily quota spent, or the Calendar usage limits Google sets
// each user. All of them pass, and none says anything about the user's access to a calendar.
bool isRateLimit(int status, const QString& reason) {
    return status == 429 ||
           (status == 403 && (reason == u"rateLimitExceeded" || reason == u"userRateLimitExceeded" ||
                              reason == u"dailyLimitExceeded" || reason == u"quotaExceeded"));
}

const QString rateLimitText = QStringLiteral("Google is rate-limiting — try again in a moment");

// The error of a failed read or delete: Google's own message, but the same text as a write's for a
// rate or quota limit.
GoogleError readError(const RemoteHttp::Response& response) {
    const QJsonObject json = RemoteHttp::jsonObject(response.body);
    const bool rateLimited = isRateLimit(response.status, errorReason(json));
    return GoogleError(rateLimited ? rateLimitText : errorMessage(response.status, json), response.status,
                       response.retryAfter, rateLimited);
}

// A GET's reply of status below 300; Google's error otherwise.
QCoro::Task<RemoteHttp::Response> read(QString path, GoogleAPI::Query query, QString token) {
    const RemoteSession session = RemoteSession::current();
    const RemoteHttp::Response response = co_await RemoteHttp::send(
        calendarRequest(session, path, query, token), "GET", {}, session.timeouts.googleRead);
    if (response.status >= 300)
        throw readError(response);
    co_return response;
}

// One page of a listing: the query carries the page's token. Only as many items as a page was asked
// to hold are kept; a reply without its "items" array (a captive portal's page, a body cut short)
// fails, so that it is never taken for an empty listing.
QCoro::Task<Pager::Page> listingPage(QString path, GoogleAPI::Query query, QString token, qsizetype pageSize,
                                     std::optional<QString> cursor) {
    if (cursor)
        query.insert(QStringLiteral("pageToken"), *cursor);
    QCoro::Task<RemoteHttp::Response> call = read(path, query, token);
    const RemoteHttp::Response response = co_await call;
    std::optional<JsonListing::Page> page = JsonListing::read(response.body, u"items", pageSize);
    const QJsonValue next = page ? page->fields.value(u"nextPageToken") : QJsonValue();
    if (!page || !(StrictJson::isAbsent(next) || next.isString()))
        throw GoogleError(QStringLiteral("Google's reply could not be read"));
    co_return Pager::Page{std::move(page->items), StrictJson::text(page->fields, u"nextPageToken")};
}

} // namespace

namespace GoogleAPI {

QString encodePathId(const QString& id) {
    return RemoteHttp::percentEncode(id, u"-._~@");
}

QString eventsPath(const QString& calendarID) {
    return QStringLiteral("calendars/") + encodePathId(calendarID) + QStringLiteral("/events");
}

QString eventPath(const QString& calendarID, const QString& eventID) {
    return eventsPath(calendarID) + u'/' + encodePathId(eventID);
}

QCoro::Task<QJsonObject> get(QString path, Query query, QString token) {
    QCoro::Task<RemoteHttp::Response> call = read(path, query, token);
    const RemoteHttp::Response response = co_await call;
    co_return RemoteHttp::jsonObject(response.body);
}

QCoro::Task<QList<QJsonObject>> paginate(QString path, Query query, QString token) {
    bool asked = false;
    const qsizetype pageSize = query.value(QStringLiteral("maxResults")).toInt(&asked);
    return Pager::collect(
        [path, query, token,
         pageSize = asked && pageSize > 0 ? pageSize : defaultPageSize](std::optional<QString> cursor) {
            return listingPage(path, query, token, pageSize, std::move(cursor));
        },
        listingLimits, QStringLiteral("Google"));
}

QCoro::Task<QJsonObject> send(QString method, QString path, Query query, QJsonObject body, QString token) {
    const RemoteSession session = RemoteSession::current();
    QNetworkRequest request = calendarRequest(session, path, query, token);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const RemoteHttp::Response response = co_await RemoteHttp::send(
        request, method.toUtf8(), QJsonDocument(body).toJson(QJsonDocument::Compact),
        session.timeouts.googleWrite);
    const QJsonObject json = RemoteHttp::jsonObject(response.body);
    if (response.status >= 300)
        throw friendlyError(response.status, json, response.retryAfter);
    co_return json;
}

GoogleError friendlyError(int status, const QJsonObject& json, std::optional<std::chrono::seconds> wait) {
    const QString reason = errorReason(json);
    const auto error = [&](const QString& message) {
        return GoogleError(message, status, wait, isRateLimit(status, reason));
    };
    switch (status) {
    case 401:
        return error(QStringLiteral("Google sign-in expired — reconnect in Settings"));
    case 403:
        if (reason == u"forbiddenForNonOrganizer")
            return error(QStringLiteral("Only the organizer can change this event"));
        if (isRateLimit(status, reason))
            return error(rateLimitText);
        return error(QStringLiteral("Google didn't allow that — check the calendar's sharing settings"));
    case 404:
    case 410:
        return error(QStringLiteral("Google couldn't find that calendar or event any more"));
    case 412:
        return error(QStringLiteral("The event changed elsewhere — refresh and try again"));
    case 429:
        return error(rateLimitText);
    default:
        return error(errorMessage(status, json));
    }
}

QCoro::Task<> deleteEvent(QString calendarID, QString eventID, bool notify, QString token) {
    const RemoteSession session = RemoteSession::current();
    Query query;
    if (notify)
        query.insert(QStringLiteral("sendUpdates"), QStringLiteral("all"));
    const RemoteHttp::Response response =
        co_await RemoteHttp::send(calendarRequest(session, eventPath(calendarID, eventID), query, token),
                                  "DELETE", {}, session.timeouts.googleWrite);
    if (response.status < 300 || response.status == 404 || response.status == 410)
        co_return;
    throw readError(response);
}

QCoro::Task<QJsonObject> token(Form form) {
    const RemoteSession session = RemoteSession::current();
    QString body;
    for (auto it = form.cbegin(); it != form.cend(); ++it) {
        if (!body.isEmpty())
            body += u'&';
        body += it.key() + u'=' + RemoteHttp::percentEncode(it.value(), u"-._~");
    }
    QNetworkRequest request(session.endpoints.googleToken);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    const RemoteHttp::Response response =
        co_await RemoteHttp::send(request, "POST", body.toUtf8(), session.timeouts.googleToken);
    const QJsonObject json = RemoteHttp::jsonObject(response.body);
    if (response.status >= 300) {
        const QJsonValue error = json.value(u"error");
        QString message = error.isString() ? error.toString() : statusText(response.status);
        const QJsonValue description = json.value(u"error_description");
        if (description.isString())
            message += QStringLiteral(": ") + description.toString();
        throw GoogleError(message, response.status, response.retryAfter);
    }
    co_return json;
}

QDateTime tokenExpiry(const QJsonObject& reply, const QDateTime& now) {
    const double lifetime = reply.value(u"expires_in").toDouble(-1);
    return now.addSecs(lifetime >= 0 && lifetime <= 86400 ? qint64(lifetime) : 3600);
}

ReconnectNeeded::ReconnectNeeded(const QString& email)
    : GoogleError(email + QStringLiteral(" needs to be reconnected (token expired or revoked)")) {}

QCoro::Task<ValidToken> validToken(GoogleAccount account, GoogleConfig config) {
    const RemoteSession session = RemoteSession::current();
    if (account.accessToken && account.expiry && *account.expiry > session.clock().addSecs(90)) {
        const QString stored = *account.accessToken;
        co_return ValidToken{stored, std::move(account)};
    }

    const Form form{{QStringLiteral("client_id"), config.effectiveClientID()},
                    {QStringLiteral("client_secret"), config.effectiveClientSecret()},
                    {QStringLiteral("refresh_token"), account.refreshToken},
                    {QStringLiteral("grant_type"), QStringLiteral("refresh_token")}};
    QJsonObject reply;
    try {
        reply = co_await token(form);
    } catch (const GoogleError& error) {
        if (!error.message().startsWith(QLatin1String("invalid_grant")))
            throw;
        throw ReconnectNeeded(account.email);
    }
    const QJsonValue accessToken = reply.value(u"access_token");
    if (!accessToken.isString())
        throw GoogleError(QStringLiteral("No access token in refresh response"));

    account.accessToken = accessToken.toString();
    account.expiry = tokenExpiry(reply, session.clock());
    account.needsReauth = false;
    co_return ValidToken{accessToken.toString(), std::move(account)};
}

} // namespace GoogleAPI
