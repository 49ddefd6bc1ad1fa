#include "core/remote/GoogleAuthFlow.h"

#include "core/model/DebugLog.h"
#include "core/remote/GoogleAPI.h"
#include "core/remote/LoopbackServer.h"
#include "core/remote/PKCE.h"
#include "core/remote/RemoteSession.h"

#include <QCoreApplication>
#include <QPointer>

#include <coroutine>

namespace {

const QString scopes = QStringLiteral(
    "https://www.googleapis.com/auth/calendar.readonly https://www.googleapis.com/auth/calendar.events");

// The value of the first item of that name; an item without a value counts as absent.
std::optional<QString> firstValue(const QList<LoopbackServer::QueryItem>& items, QStringView name) {
    for (const auto& item : items) {
        if (item.name == name)
            return item.value;
    }
    return std::nullopt;
}

QList<LoopbackServer::QueryItem> itemsOf(const QString& path) {
    return LoopbackServer::queryItems(path).value_or(QList<LoopbackServer::QueryItem>());
}

QUrl consentUrl(const QUrl& endpoint, const QList<std::pair<QString, QString>>& items) {
    QByteArray query;
    for (const auto& [name, value] : items) {
        if (!query.isEmpty())
            query += '&';
        query += name.toLatin1() + '=' + QUrl::toPercentEncoding(value);
    }
    QUrl url = endpoint;
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

} // namespace

// The pending wait for the browser, shared between the flow and the suspended run() so that the
// outcome survives the flow being deleted.
struct GoogleAuthFlow::Wait {
    std::coroutine_handle<> handle;
    bool done = false;
    Ending ending = Ending::cancelled;
    QString path;

    // Kept trivial and named at the co_await: GCC 12 mishandles temporaries with destructors there.
    struct Awaiter {
        Wait* wait;
        bool await_ready() const noexcept { return wait->done; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { wait->handle = handle; }
        void await_resume() const noexcept {}
    };
};

GoogleAuthFlow::GoogleAuthFlow(QObject* parent)
    : QObject(parent) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finishWait(Ending::timedOut); });
}

GoogleAuthFlow::~GoogleAuthFlow() {
    finishWait(Ending::cancelled);
}

void GoogleAuthFlow::cancel() {
    finishWait(Ending::cancelled);
}

void GoogleAuthFlow::finishWait(Ending ending, const QString& path) {
    if (!m_wait)
        return;
    const std::shared_ptr<Wait> wait = std::exchange(m_wait, {});
    m_timeout.stop();
    wait->done = true;
    wait->ending = ending;
    wait->path = path;
    // Resumed from the event loop, never from inside cancel(), a timer or a socket handler: the
    // resumed sign-in stops the listener and its owner may delete this flow.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [wait] {
            if (wait->handle)
                wait->handle.resume();
        },
        Qt::QueuedConnection);
}

void GoogleAuthFlow::stopServer(quint64 attempt) {
    if (!m_server || m_serverAttempt != attempt)
        return; // a later attempt's listener
    m_server->stop();
    m_server.reset();
}

QCoro::Task<GoogleAccount> GoogleAuthFlow::run(GoogleConfig config) {
    QPointer<GoogleAuthFlow> self(this);
    const RemoteSession session = RemoteSession::current();
    const QString verifier = PKCE::randomString(48);
    const QString state = PKCE::randomString(24);

    // One attempt at a time: an earlier one still waiting ends as cancelled.
    finishWait(Ending::cancelled);
    stopServer(m_serverAttempt);
    const quint64 attempt = ++m_attempts;
    m_server = std::make_unique<LoopbackServer>();
    m_serverAttempt = attempt;
    quint16 port = 0;
    try {
        port = m_server->start();
    } catch (...) {
        m_server.reset();
        throw;
    }
    const QString redirectUri = QStringLiteral("http://127.0.0.1:%1").arg(port);

    try {
        const QUrl consent =
            consentUrl(session.endpoints.googleConsent, {{"client_id", config.effectiveClientID()},
                                                         {"redirect_uri", redirectUri},
                                                         {"response_type", "code"},
                                                         {"scope", scopes},
                                                         {"access_type", "offline"},
                                                         {"prompt", "consent select_account"},
                                                         {"code_challenge", PKCE::challenge(verifier)},
                                                         {"code_challenge_method", "S256"},
                                                         {"state", state}});
        if (!consent.isValid())
            throw GoogleError(QStringLiteral("Could not build the sign-in URL"));

        // The browser is told "connected" only for a redirect that carries a code and our state.
        m_server->judge = [state](const QString& path) {
            const auto items = itemsOf(path);
            return firstValue(items, u"state") == state && firstValue(items, u"code") &&
                   !firstValue(items, u"error");
        };
        m_server->onRequest = [this](const QString& path) { finishWait(Ending::redirect, path); };
        // Without a browser nobody can ever answer: waiting the whole time-out would only leave the
        // user looking at "Finish signing in…".
        if (!session.openBrowser(consent))
            throw GoogleError(QStringLiteral("No browser could be opened to sign in to Google"));

        const std::shared_ptr<Wait> outcome = std::make_shared<Wait>();
        m_wait = outcome;
        m_timeout.start(session.timeouts.signIn);
        DebugLog::log(
            [&] { return QStringLiteral("sign-in: waiting for the browser on port %1").arg(port); });
        Wait::Awaiter awaiter{outcome.get()};
        co_await awaiter;
        if (!self || outcome->ending == Ending::cancelled)
            throw CancelledError();
        if (outcome->ending == Ending::timedOut)
            throw GoogleError(QStringLiteral("Timed out waiting for the Google sign-in"));

        // The state first: a redirect without our state may come from any local process and must not
        // end the sign-in with a text of its choosing.
        const auto items = itemsOf(outcome->path);
        if (firstValue(items, u"state") != state)
            throw GoogleError(QStringLiteral("Unexpected response from Google"));
        if (const auto error = firstValue(items, u"error")) {
            if (*error == u"access_denied")
                throw GoogleError(QStringLiteral("Sign-in was cancelled"));
            throw GoogleError(*error);
        }
        const std::optional<QString> code = firstValue(items, u"code");
        if (!code)
            throw GoogleError(QStringLiteral("Unexpected response from Google"));

        const GoogleAPI::Form form{{QStringLiteral("code"), *code},
                                   {QStringLiteral("client_id"), config.effectiveClientID()},
                                   {QStringLiteral("client_secret"), config.effectiveClientSecret()},
                                   {QStringLiteral("redirect_uri"), redirectUri},
                                   {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                   {QStringLiteral("code_verifier"), verifier}};
        const QJsonObject reply = co_await GoogleAPI::token(form);
        if (!self)
            throw CancelledError();
        const QJsonValue refreshToken = reply.value(u"refresh_token");
        const QJsonValue accessToken = reply.value(u"access_token");
        if (!refreshToken.isString() || !accessToken.isString())
            throw GoogleError(QStringLiteral("Google did not return a refresh token. Remove Vorrindel at "
                                             "myaccount.google.com/permissions and connect again."));

        GoogleAccount account;
        account.refreshToken = refreshToken.toString();
        account.accessToken = accessToken.toString();
        account.expiry = GoogleAPI::tokenExpiry(reply, session.clock());
        if (const QJsonValue scope = reply.value(u"scope"); scope.isString())
            account.scopes = scope.toString().split(u' ', Qt::SkipEmptyParts);

        const GoogleAPI::CalendarList calendars = co_await GoogleAPI::calendarList(*account.accessToken);
        if (!self)
            throw CancelledError();
        account.email = QStringLiteral("Google account");
        for (const GoogleCalendarInfo& calendar : calendars.list) {
            if (calendar.primary) {
                account.email = calendar.id;
                break;
            }
        }
        account.calendars = calendars.list;
        account.hiddenCalendarIDs = calendars.unselected;
        stopServer(attempt);
        DebugLog::log([&] { return QStringLiteral("sign-in: connected %1").arg(account.email); });
        co_return account;
    } catch (...) {
        if (self)
            stopServer(attempt);
        throw;
    }
}
