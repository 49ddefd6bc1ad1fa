#pragma once

#include "core/remote/RemoteSession.h"
#include "support/FakeHttpServer.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// Google's OAuth endpoints and Calendar API v3 on a FakeHttpServer, speaking the documented wire
// formats (only the fields the app reads are filled in):
//
//   GET  /o/oauth2/v2/auth              the consent page: answers 302 to the redirect_uri with state and
//                                       code (or with error=... after setConsentError)
//   POST /token                         authorization_code (checks client, redirect_uri and the PKCE
//                                       verifier against the challenge) and refresh_token grants
//   GET  /calendar/v3/users/me/calendarList                     paged (pageToken, maxResults)
//   GET  /calendar/v3/calendars/{id}/events                     paged, filtered by timeMin/timeMax,
//                                                               ordered by start
//   GET|PATCH|DELETE /calendar/v3/calendars/{id}/events/{id}    PATCH merges like Google (null removes,
//                                                               attendeesOmitted merges guests); DELETE
//                                                               leaves the event "cancelled", as Google
//                                                               does: read by id, left out of listings,
//                                                               410 when deleted again
//   POST /calendar/v3/calendars/{id}/events                     insert (Meet link on a createRequest); a
//                                                               client's own "id" is checked (base32hex,
//                                                               5-1024) and one in use answers 409, also
//                                                               one of a deleted event
//
// Events keep the "extendedProperties" ("private" and "shared" maps of text values) an insert or a
// PATCH gives them and return them on every read, as Google does; a value that is not text answers 400.
//
// Calendar requests need "Authorization: Bearer" with a token the fake issued and that has not
// expired; anything else gets Google's 401. Errors are Google's JSON error bodies. Every request stays
// recorded on server(), where tests can also script failures for the next requests (errorReply() builds
// Google's error body) or hold replies back.
//
//     FakeGoogle google;
//     google.addAccount("ada@example.com");
//     const QString token = google.issueAccessToken("ada@example.com");
//     google.addEvent("ada@example.com", FakeGoogle::timedEvent("e1", "Standup", start, end));
//     session.setEndpoints(google.endpoints());
class FakeGoogle : public QObject {
    Q_OBJECT
public:
    static const QString readOnlyScope;
    static const QString eventsScope;

    explicit FakeGoogle(QObject* parent = nullptr);

    FakeHttpServer& server() { return m_server; }
    // The fake's consent page, token endpoint and Calendar base; the Notion base stays the production
    // one (FakeNotion::endpoints() puts its own in, for a test of both).
    RemoteSession::Endpoints endpoints() const;

    // The OAuth client the endpoints accept.
    QString clientID() const { return m_clientID; }
    QString clientSecret() const { return m_clientSecret; }

    // ---- Accounts and tokens

    // An account with its primary calendar (id = the e-mail, selected, owner).
    void addAccount(const QString& email);
    // A calendar-list entry ("id", "summary", "primary", "selected", "accessRole", "backgroundColor", ...)
    // for the account; its events live under its id.
    void addCalendar(const QString& email, const QJsonObject& entry);
    QString issueAccessToken(const QString& email);
    QString issueRefreshToken(const QString& email);
    // Every access token issued to the account so far expires: requests carrying one get Google's 401.
    void expireAccessTokens(const QString& email);
    void revokeRefreshToken(const QString& refreshToken);
    // The account an access token belongs to; none for an unknown or revoked token.
    std::optional<QString> accountOf(const QString& accessToken) const;

    // ---- Sign-in

    // The account that consents on the consent page (the first added account by default).
    void setSignInAccount(const QString& email);
    // The consent page redirects with error=<error> (and the state) instead of a code.
    void setConsentError(const QString& error);
    // Keys left out of the token endpoint's replies ("refresh_token", "expires_in", "scope").
    void setTokenReplyOmits(const QStringList& keys);
    // Why the token endpoint refused requests so far (for failure messages in tests).
    QStringList tokenRefusals() const { return m_tokenRefusals; }

    // ---- Calendar data

    // Stores an event under the calendar (an "id" is assigned when missing) and returns its id.
    QString addEvent(const QString& calendarID, QJsonObject event);
    std::optional<QJsonObject> storedEvent(const QString& calendarID, const QString& eventID) const;
    // The user changes a stored event on the web meanwhile: `changes` merge in as a PATCH's do.
    void editEvent(const QString& calendarID, const QString& eventID, const QJsonObject& changes);
    QList<QJsonObject> storedEvents(const QString& calendarID) const { return m_events.value(calendarID); }
    // While on, an insert that stores an event keeps its answer back until server().release(): the
    // event is on Google, its answer still on the way (or, should the app end, lost). An insert that
    // stores nothing (409, 400) answers at once.
    void setHoldNewEvents(bool on) { m_holdNewEvents = on; }
    // Items per page of every listing, unless the request's maxResults asks for fewer (default 250).
    void setPageSize(int size);
    // Empty pages that come first in every listing, each naming the next, as Google may send.
    void setEmptyPagesFirst(int count) { m_emptyPagesFirst = count; }
    // How listings page, for tests of servers that misbehave.
    enum class Paging {
        Normal,    // as above
        Oversized, // one page holds every item, whatever the request asked for
        Cycling,   // empty pages whose tokens go round: "cycleA", "cycleB", "cycleA", ...
        Endless,   // empty pages, each naming a token never seen before
    };
    void setPaging(Paging paging) { m_paging = paging; }

    // Event objects in Google's shape.
    static QJsonObject timedEvent(const QString& id, const QString& summary, const QDateTime& start,
                                  const QDateTime& end);
    static QJsonObject allDayEvent(const QString& id, const QString& summary, const QDate& first,
                                   const QDate& dayAfterLast);
    // Google's error body: {"error": {"code", "message", "errors": [{"domain", "reason", "message"}]}};
    // no "errors" array when the reason is empty.
    static HttpReply errorReply(int status, const QString& reason, const QString& message);

private:
    struct Grant {
        QString challenge;
        QString redirectUri;
        QString email;
    };

    HttpReply handle(const HttpRequest& request);
    HttpReply consent(const HttpRequest& request);
    HttpReply tokenEndpoint(const HttpRequest& request);
    HttpReply calendarApi(const HttpRequest& request, const QString& email);
    HttpReply page(const HttpRequest& request, const QList<QJsonObject>& items, const QString& kind);
    HttpReply tokenRefusal(int status, const QString& error, const QString& description);
    HttpReply insertReply(const QString& calendarID, const HttpRequest& request, const QString& email);
    QJsonObject insert(const QString& calendarID, QJsonObject event, const HttpRequest& request,
                       const QString& email);
    QJsonObject patch(QJsonObject event, const QJsonObject& body, const HttpRequest& request);
    QJsonObject tokenReply(const QString& accessToken, const std::optional<QString>& refreshToken) const;

    FakeHttpServer m_server;
    QString m_clientID = QStringLiteral("123456789012-fakeclient.apps.googleusercontent.com");
    QString m_clientSecret = QStringLiteral("GOCSPX-fake-secret");
    QStringList m_accounts;
    QHash<QString, QList<QJsonObject>> m_calendarLists; // e-mail → calendar-list entries
    QHash<QString, QString> m_accessTokens;             // token → e-mail
    QHash<QString, QString> m_refreshTokens;            // token → e-mail
    QHash<QString, Grant> m_codes;                      // unused authorization codes
    QHash<QString, QList<QJsonObject>> m_events;        // calendar id → events
    QString m_signInAccount;
    QString m_consentError;
    QString m_grantedScope;
    QStringList m_omittedKeys;
    QStringList m_tokenRefusals;
    int m_expiresIn = 3599;
    int m_pageSize = 250;
    int m_emptyPagesFirst = 0;
    Paging m_paging = Paging::Normal;
    bool m_holdNewEvents = false;
    int m_counter = 0;
};
