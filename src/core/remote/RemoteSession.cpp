#include "core/remote/RemoteSession.h"

#include "core/model/DebugLog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>

#include <optional>

namespace {

std::optional<RemoteSession>& installed() {
    static std::optional<RemoteSession> session;
    return session;
}

QUrl overridden(const char* variable, const QUrl& fallback) {
    const QString text = qEnvironmentVariable(variable);
    if (text.isEmpty())
        return fallback;
    const QUrl url(text, QUrl::StrictMode);
    if (url.isValid() && RemoteSession::Endpoints::isLoopback(url))
        return url;
    DebugLog::log(
        [&] { return QStringLiteral("remote: ignoring %1, which is not a loopback address").arg(variable); });
    return fallback;
}

} // namespace

RemoteSession::Endpoints RemoteSession::Endpoints::production() {
    return {QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth")),
            QUrl(QStringLiteral("https://oauth2.googleapis.com/token")),
            QUrl(QStringLiteral("https://www.googleapis.com/calendar/v3/")),
            QUrl(QStringLiteral("https://api.notion.com/v1/"))};
}

RemoteSession::Endpoints RemoteSession::Endpoints::fromEnvironment() {
    const Endpoints base = production();
    return {overridden("VORRINDEL_GOOGLE_AUTH_URL", base.googleConsent),
            overridden("VORRINDEL_GOOGLE_TOKEN_URL", base.googleToken),
            overridden("VORRINDEL_GOOGLE_API_URL", base.googleCalendar),
            overridden("VORRINDEL_NOTION_API_URL", base.notion)};
}

bool RemoteSession::Endpoints::isLoopback(const QUrl& url) {
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    if (!url.userInfo().isEmpty())
        return false;
    const QString host = url.host();
    return host == QLatin1String("127.0.0.1") ||
           host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

RemoteSession RemoteSession::current() {
    RemoteSession session = installed() ? *installed() : RemoteSession();
    if (!session.network)
        session.network = sharedNetwork();
    return session;
}

void RemoteSession::install(RemoteSession session) {
    installed() = std::move(session);
}

BrowserOpener RemoteSession::desktopBrowser() {
    return [](const QUrl& url) {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return false;
        return QDesktopServices::openUrl(url);
    };
}

QNetworkAccessManager* RemoteSession::sharedNetwork() {
    static QPointer<QNetworkAccessManager> shared;
    if (!shared)
        shared = new QNetworkAccessManager(QCoreApplication::instance());
    return shared;
}
