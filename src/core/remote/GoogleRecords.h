#pragma once

#include "core/remote/RemoteError.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// What the app knows about Google: the OAuth client identity, the connected accounts with their
// tokens, and each account's calendars. GoogleConfig is the record kept in "google.json".
//
// JSON: keys are the field names; decoding is strict (a missing required key or a wrong type fails
// the whole record); absent optionals are left out when encoding; dates are ISO 8601 text in UTC
// with whole seconds ("2026-03-02T14:05:09Z").

// One calendar of an account.
struct GoogleCalendarInfo {
    QString id;
    QString summary;
    std::optional<QString> colorHex; // "#" and six hexadecimal digits
    bool primary = false;
    std::optional<QString> accessRole; // as Google names it: "owner", "writer", "reader", ...

    // True when the role is absent, "owner" or "writer".
    bool canEdit() const;

    QJsonObject toJson() const;
    static std::optional<GoogleCalendarInfo> fromJson(const QJsonValue& value);

    friend bool operator==(const GoogleCalendarInfo&, const GoogleCalendarInfo&) = default;
};
size_t qHash(const GoogleCalendarInfo& calendar, size_t seed = 0);

// One connected account; its identity is the e-mail address.
struct GoogleAccount {
    QString email;
    QString refreshToken;
    std::optional<QString> accessToken;
    std::optional<QDateTime> expiry; // of the access token
    QList<GoogleCalendarInfo> calendars;
    QSet<QString> hiddenCalendarIDs;
    bool needsReauth = false;          // the refresh token was refused: the user must reconnect
    std::optional<QStringList> scopes; // granted at sign-in; absent for accounts from older versions

    const QString& id() const { return email; }
    // False when no scopes are recorded; otherwise whether a calendar write scope was granted.
    bool canWrite() const;
    // The calendars not hidden, in stored order.
    QList<GoogleCalendarInfo> visibleCalendars() const;

    QJsonObject toJson() const;
    static std::optional<GoogleAccount> fromJson(const QJsonValue& value);

    friend bool operator==(const GoogleAccount&, const GoogleAccount&) = default;
};
size_t qHash(const GoogleAccount& account, size_t seed = 0);

// The client identity (empty fields mean: use the one built into the app) and the accounts, in the
// order they were connected. A default-constructed value is the empty configuration.
struct GoogleConfig {
    QString clientID;
    QString clientSecret;
    QList<GoogleAccount> accounts;

    // The stored text with blanks and tabs trimmed (line breaks are kept), or the built-in value when
    // that is empty. Every use of the client identity goes through these.
    QString effectiveClientID() const;
    QString effectiveClientSecret() const;
    // Both effective values are non-empty. False for a build without a client until one is pasted.
    bool hasClient() const;

    QJsonObject toJson() const;
    static std::optional<GoogleConfig> fromJson(const QJsonValue& value);

    // The identity compiled in from the CMake cache variables VORRINDEL_GOOGLE_CLIENT_ID and
    // VORRINDEL_GOOGLE_CLIENT_SECRET; empty in a default build.
    static QString builtInClientID();
    static QString builtInClientSecret();
    // Tests pretend a build with (or without) a client; never used by the app itself.
    static void overrideBuiltInClientForTesting(const QString& clientID, const QString& clientSecret);

    friend bool operator==(const GoogleConfig&, const GoogleConfig&) = default;
};

// The error of every Google operation, and of refused changes to local and Notion events.
class GoogleError : public RemoteError {
public:
    using RemoteError::RemoteError;
};
