#include "core/remote/GoogleRecords.h"

#include "core/model/TextRules.h"
#include "core/remote/Rfc3339.h"
#include "core/remote/StrictJson.h"

#include <QHashFunctions>
#include <QJsonArray>

#include <optional>

namespace {

QString& builtInID() {
    static QString id = QStringLiteral(VORRINDEL_GOOGLE_CLIENT_ID);
    return id;
}

QString& builtInSecret() {
    static QString secret = QStringLiteral(VORRINDEL_GOOGLE_CLIENT_SECRET);
    return secret;
}

// Internet date-time with whole seconds and a "Z" or "+hh:mm" offset; nothing more lenient, so that
// a date without an offset is never taken as local time.
std::optional<QDateTime> parseIso(const QString& text) {
    return text.contains(u'.') ? std::nullopt : Rfc3339::parse(text);
}

} // namespace

using namespace StrictJson;

// ---- GoogleCalendarInfo

bool GoogleCalendarInfo::canEdit() const {
    return !accessRole || *accessRole == u"owner" || *accessRole == u"writer";
}

QJsonObject GoogleCalendarInfo::toJson() const {
    QJsonObject o{{QStringLiteral("id"), id},
                  {QStringLiteral("summary"), summary},
                  {QStringLiteral("primary"), primary}};
    if (colorHex)
        o.insert(QStringLiteral("colorHex"), *colorHex);
    if (accessRole)
        o.insert(QStringLiteral("accessRole"), *accessRole);
    return o;
}

std::optional<GoogleCalendarInfo> GoogleCalendarInfo::fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto id = requiredString(o, QStringLiteral("id"));
    const auto summary = requiredString(o, QStringLiteral("summary"));
    const auto primary = requiredBool(o, QStringLiteral("primary"));
    std::optional<QString> colorHex;
    std::optional<QString> accessRole;
    if (!id || !summary || !primary || !optionalString(o, QStringLiteral("colorHex"), colorHex) ||
        !optionalString(o, QStringLiteral("accessRole"), accessRole))
        return std::nullopt;
    return GoogleCalendarInfo{*id, *summary, colorHex, *primary, accessRole};
}

size_t qHash(const GoogleCalendarInfo& c, size_t seed) {
    return qHashMulti(seed, c.id, c.summary, c.colorHex.value_or(QString()), c.colorHex.has_value(),
                      c.primary, c.accessRole.value_or(QString()), c.accessRole.has_value());
}

// ---- GoogleAccount

bool GoogleAccount::canWrite() const {
    if (!scopes)
        return false;
    for (const QString& scope : *scopes) {
        if (scope.endsWith(u"/auth/calendar.events") || scope.endsWith(u"/auth/calendar"))
            return true;
    }
    return false;
}

QList<GoogleCalendarInfo> GoogleAccount::visibleCalendars() const {
    QList<GoogleCalendarInfo> visible;
    for (const GoogleCalendarInfo& calendar : calendars) {
        if (!hiddenCalendarIDs.contains(calendar.id))
            visible.append(calendar);
    }
    return visible;
}

QJsonObject GoogleAccount::toJson() const {
    QJsonArray calendarArray;
    for (const GoogleCalendarInfo& calendar : calendars)
        calendarArray.append(calendar.toJson());
    // Sorted so that the file does not change when nothing did.
    QStringList hidden(hiddenCalendarIDs.cbegin(), hiddenCalendarIDs.cend());
    hidden.sort();
    QJsonObject o{{QStringLiteral("email"), email},
                  {QStringLiteral("refreshToken"), refreshToken},
                  {QStringLiteral("calendars"), calendarArray},
                  {QStringLiteral("hiddenCalendarIDs"), QJsonArray::fromStringList(hidden)},
                  {QStringLiteral("needsReauth"), needsReauth}};
    if (accessToken)
        o.insert(QStringLiteral("accessToken"), *accessToken);
    if (expiry)
        o.insert(QStringLiteral("expiry"), Rfc3339::formatUtc(*expiry));
    if (scopes)
        o.insert(QStringLiteral("scopes"), QJsonArray::fromStringList(*scopes));
    return o;
}

std::optional<GoogleAccount> GoogleAccount::fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    GoogleAccount account;
    const auto email = requiredString(o, QStringLiteral("email"));
    const auto refreshToken = requiredString(o, QStringLiteral("refreshToken"));
    const auto needsReauth = requiredBool(o, QStringLiteral("needsReauth"));
    const auto hidden = stringList(o.value(QStringLiteral("hiddenCalendarIDs")));
    const QJsonValue calendars = o.value(QStringLiteral("calendars"));
    if (!email || !refreshToken || !needsReauth || !hidden || !calendars.isArray())
        return std::nullopt;
    account.email = *email;
    account.refreshToken = *refreshToken;
    account.needsReauth = *needsReauth;
    account.hiddenCalendarIDs = QSet<QString>(hidden->cbegin(), hidden->cend());
    for (const QJsonValue& item : calendars.toArray()) {
        const auto calendar = GoogleCalendarInfo::fromJson(item);
        if (!calendar)
            return std::nullopt;
        account.calendars.append(*calendar);
    }

    std::optional<QString> expiryText;
    bool ok = optionalString(o, QStringLiteral("accessToken"), account.accessToken) &&
              optionalString(o, QStringLiteral("expiry"), expiryText);
    if (expiryText) {
        account.expiry = parseIso(*expiryText);
        ok = ok && account.expiry.has_value();
    }
    const QJsonValue scopes = o.value(QStringLiteral("scopes"));
    if (!isAbsent(scopes)) {
        account.scopes = stringList(scopes);
        ok = ok && account.scopes.has_value();
    }
    if (!ok)
        return std::nullopt;
    return account;
}

size_t qHash(const GoogleAccount& a, size_t seed) {
    seed = qHashMulti(seed, a.email, a.refreshToken, a.accessToken.value_or(QString()),
                      a.accessToken.has_value(), a.expiry.value_or(QDateTime()), a.expiry.has_value());
    seed = qHashRange(a.calendars.cbegin(), a.calendars.cend(), seed);
    return qHashMulti(seed, a.hiddenCalendarIDs, a.needsReauth, a.scopes.value_or(QStringList()),
                      a.scopes.has_value());
}

// ---- GoogleConfig

QString GoogleConfig::effectiveClientID() const {
    const QString trimmed = TextRules::trimBlanks(clientID);
    return trimmed.isEmpty() ? builtInClientID() : trimmed;
}

QString GoogleConfig::effectiveClientSecret() const {
    const QString trimmed = TextRules::trimBlanks(clientSecret);
    return trimmed.isEmpty() ? builtInClientSecret() : trimmed;
}

bool GoogleConfig::hasClient() const {
    return !effectiveClientID().isEmpty() && !effectiveClientSecret().isEmpty();
}

QJsonObject GoogleConfig::toJson() const {
    QJsonArray accountArray;
    for (const GoogleAccount& account : accounts)
        accountArray.append(account.toJson());
    return QJsonObject{{QStringLiteral("clientID"), clientID},
                       {QStringLiteral("clientSecret"), clientSecret},
                       {QStringLiteral("accounts"), accountArray}};
}

std::optional<GoogleConfig> GoogleConfig::fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto clientID = requiredString(o, QStringLiteral("clientID"));
    const auto clientSecret = requiredString(o, QStringLiteral("clientSecret"));
    const QJsonValue accounts = o.value(QStringLiteral("accounts"));
    if (!clientID || !clientSecret || !accounts.isArray())
        return std::nullopt;
    GoogleConfig config{*clientID, *clientSecret, {}};
    for (const QJsonValue& item : accounts.toArray()) {
        const auto account = GoogleAccount::fromJson(item);
        if (!account)
            return std::nullopt;
        config.accounts.append(*account);
    }
    return config;
}

QString GoogleConfig::builtInClientID() {
    return builtInID();
}

QString GoogleConfig::builtInClientSecret() {
    return builtInSecret();
}

void GoogleConfig::overrideBuiltInClientForTesting(const QString& clientID, const QString& clientSecret) {
    builtInID() = clientID;
    builtInSecret() = clientSecret;
}
