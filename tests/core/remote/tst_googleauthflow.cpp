#include "core/model/DebugLog.h"
#include "core/remote/GoogleAuthFlow.h"
#include "core/remote/PKCE.h"

#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace std::chrono_literals;

namespace {

const QString ada = QStringLiteral("ada@example.com");
const QDateTime now(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC);

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

QString queryValue(const QUrl& url, const QString& name) {
    return QUrlQuery(url).queryItemValue(name, QUrl::FullyDecoded);
}

} // namespace

class TestGoogleAuthFlow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void pkceMatchesTheRfcVector();
    void randomStringsHaveTheirLengthAndAlphabet();
    void fullSignIn();
    void faviconBeforeTheRedirectIsIgnored();
    void redirectsThatFail_data();
    void redirectsThatFail();
    void deniedOnTheConsentPage();
    void exchangeAndCalendarFailures_data();
    void exchangeAndCalendarFailures();
    void replyWithoutLifetimeOrScopes();
    void cancelWhileWaiting();
    void cancelDuringTheExchangeDoesNothing();
    void timesOut();
    void deletedWhileWaiting();
    void secondAttemptReplacesTheFirst();

private:
    GoogleConfig config() const { return {m_google->clientID(), m_google->clientSecret(), {}}; }
    // Starts a sign-in whose browser only records the consent address; returns the listener's port.
    quint16 startWaiting(GoogleAuthFlow& flow, QCoro::Task<GoogleAccount>& task);

    std::unique_ptr<FakeGoogle> m_google;
    std::unique_ptr<RemoteTestSession> m_session;
    std::unique_ptr<FakeBrowser> m_browser;
};

void TestGoogleAuthFlow::init() {
    m_google = std::make_unique<FakeGoogle>();
    m_google->addAccount(ada);
    m_google->addCalendar(
        ada, {{"id", "team@group.calendar.google.com"}, {"summary", "Team"}, {"selected", true}});
    m_google->addCalendar(ada, {{"id", "holidays"}, {"summary", "Holidays"}, {"accessRole", "reader"}});
    m_session = std::make_unique<RemoteTestSession>();
    m_session->setEndpoints(m_google->endpoints());
    m_session->setNow(now);
    m_browser = std::make_unique<FakeBrowser>();
    m_session->setBrowser(m_browser->opener());
}

void TestGoogleAuthFlow::cleanup() {
    m_session.reset();
    m_browser.reset();
    m_google.reset();
}

quint16 TestGoogleAuthFlow::startWaiting(GoogleAuthFlow& flow, QCoro::Task<GoogleAccount>& task) {
    m_browser->setLoads(false);
    task = flow.run(config());
    if (!flow.isWaiting() || m_browser->opened().size() != 1)
        return 0;
    return quint16(QUrl(queryValue(m_browser->opened().first(), "redirect_uri")).port());
}

void TestGoogleAuthFlow::pkceMatchesTheRfcVector() {
    // RFC 7636, appendix B.
    QCOMPARE(PKCE::challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
             QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
}

void TestGoogleAuthFlow::randomStringsHaveTheirLengthAndAlphabet() {
    static const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9_-]+$"));
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString verifier = PKCE::randomString(48);
        const QString state = PKCE::randomString(24);
        QCOMPARE(verifier.size(), 64);
        QCOMPARE(state.size(), 32);
        QVERIFY(alphabet.match(verifier).hasMatch() && alphabet.match(state).hasMatch());
        QCOMPARE(PKCE::challenge(verifier).size(), 43);
        seen << verifier << state;
    }
    QCOMPARE(seen.size(), 2000);
}

void TestGoogleAuthFlow::fullSignIn() {
    QTemporaryDir logDir;
    const QString logPath = logDir.filePath("debug.log");
    DebugLog::overrideForTesting(true, logPath);

    GoogleAuthFlow flow;
    const auto result = runTask(flow.run(config()));
    DebugLog::overrideForTesting(false, QString());
    QVERIFY2(result.ok(), qPrintable(result.errorMessage() + u' ' + m_google->tokenRefusals().join(u'|')));

    // The consent page got exactly the nine items, in order.
    QCOMPARE(m_browser->opened().size(), 1);
    const QUrl consent = m_browser->opened().first();
    QCOMPARE(consent.adjusted(QUrl::RemoveQuery), m_google->endpoints().googleConsent);
    QStringList names;
    for (const auto& item : QUrlQuery(consent).queryItems())
        names << item.first;
    QCOMPARE(names, (QStringList{"client_id", "redirect_uri", "response_type", "scope", "access_type",
                                 "prompt", "code_challenge", "code_challenge_method", "state"}));
    const QUrl redirect(queryValue(consent, "redirect_uri"));
    QCOMPARE(redirect.toString(), QStringLiteral("http://127.0.0.1:%1").arg(redirect.port()));
    QCOMPARE(queryValue(consent, "client_id"), m_google->clientID());
    QCOMPARE(queryValue(consent, "response_type"), QStringLiteral("code"));
    QCOMPARE(queryValue(consent, "scope"), FakeGoogle::readOnlyScope + u' ' + FakeGoogle::eventsScope);
    QCOMPARE(queryValue(consent, "access_type"), QStringLiteral("offline"));
    QCOMPARE(queryValue(consent, "prompt"), QStringLiteral("consent select_account"));
    QCOMPARE(queryValue(consent, "code_challenge_method"), QStringLiteral("S256"));
    QCOMPARE(queryValue(consent, "code_challenge").size(), 43);
    QCOMPARE(queryValue(consent, "state").size(), 32);

    // The browser ended on the listener's success page, and the listener is gone.
    QVERIFY(m_browser->waitForPage());
    QCOMPARE(m_browser->visited().constLast().port(), redirect.port());
    QVERIFY(m_browser->page().contains("Google Calendar connected"));
    QVERIFY(!accepts(quint16(redirect.port())));

    // The fake checked the verifier against the challenge and the redirect address; the account is
    // built from its replies.
    const GoogleAccount& account = *result.value;
    QCOMPARE(account.email, ada);
    QCOMPARE(m_google->accountOf(*account.accessToken), std::optional(ada));
    QVERIFY(account.refreshToken.startsWith(u"1//fake-refresh-"));
    QCOMPARE(account.expiry, std::optional(now.addSecs(3599)));
    QCOMPARE(account.scopes, std::optional(QStringList{FakeGoogle::readOnlyScope, FakeGoogle::eventsScope}));
    QVERIFY(account.canWrite());
    QVERIFY(!account.needsReauth);
    QCOMPARE(account.calendars.size(), 3);
    QCOMPARE(account.calendars.first().id, ada);
    QCOMPARE(account.hiddenCalendarIDs, QSet<QString>{"holidays"});

    const HttpRequest exchange = m_google->server().requests("POST", u"/token").constFirst();
    const QMap<QString, QString> form = exchange.form();
    QCOMPARE(form.value("grant_type"), QStringLiteral("authorization_code"));
    QCOMPARE(form.value("redirect_uri"), redirect.toString());
    QCOMPARE(form.value("client_secret"), m_google->clientSecret());
    QCOMPARE(form.value("code_verifier").size(), 64);

    // Nothing secret reached the debug log.
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(log.readAll());
    QVERIFY(written.contains(u"sign-in"));
    for (const QString& secret :
         {form.value("code"), form.value("code_verifier"), queryValue(consent, "state"), *account.accessToken,
          account.refreshToken, m_google->clientSecret()})
        QVERIFY2(!written.contains(secret), qPrintable(secret));
}

void TestGoogleAuthFlow::faviconBeforeTheRedirectIsIgnored() {
    m_browser->setFaviconFirst(true);
    GoogleAuthFlow flow;
    const auto result = runTask(flow.run(config()));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QVERIFY(m_browser->visited().size() == 3 && m_browser->visited()[1].path() == u"/favicon.ico");
}

void TestGoogleAuthFlow::redirectsThatFail_data() {
    QTest::addColumn<QString>("path"); // {state} stands for the flow's own state
    QTest::addColumn<QString>("message");

    QTest::newRow("bare path") << "/"
                               << "Unexpected response from Google";
    QTest::newRow("a code with another state") << "/?state=forged&code=4/x"
                                               << "Unexpected response from Google";
    QTest::newRow("our state, no code") << "/?state={state}&scope=x"
                                        << "Unexpected response from Google";
    QTest::newRow("access denied") << "/?error=access_denied&state={state}"
                                   << "Sign-in was cancelled";
    QTest::newRow("another error shows its code") << "/?error=temporarily_unavailable&state={state}"
                                                  << "temporarily_unavailable";
    // Anyone on this machine can reach the listener: an error without our state must not end the
    // sign-in with a text of its choosing.
    QTest::newRow("an error with another state") << "/?error=Your+account+is+locked&state=forged"
                                                 << "Unexpected response from Google";
    QTest::newRow("the first state item counts") << "/?state=forged&state={state}&code=4/x"
                                                 << "Unexpected response from Google";
}

void TestGoogleAuthFlow::redirectsThatFail() {
    QFETCH(QString, path);
    QFETCH(QString, message);

    GoogleAuthFlow flow;
    QCoro::Task<GoogleAccount> task;
    const quint16 port = startWaiting(flow, task);
    QVERIFY(port);
    const QString state = queryValue(m_browser->opened().first(), "state");
    runTask(m_browser->load(
        QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port) + path.replace("{state}", state))));

    // The page never claims success for a redirect the sign-in rejects.
    QCOMPARE(m_browser->status(), 200);
    QVERIFY(m_browser->page().contains("Sign-in cancelled"));
    const auto result = runTask(std::move(task));
    QVERIFY(result.errorAs<GoogleError>());
    QCOMPARE(result.errorMessage(), message);
    QVERIFY(m_google->server().requests("POST", u"/token").isEmpty());
    QVERIFY(!accepts(port));
}

void TestGoogleAuthFlow::deniedOnTheConsentPage() {
    m_google->setConsentError("access_denied");
    GoogleAuthFlow flow;
    const auto result = runTask(flow.run(config()));
    QCOMPARE(result.errorMessage(), QStringLiteral("Sign-in was cancelled"));
    QVERIFY(m_browser->waitForPage());
    QVERIFY(m_browser->page().contains("Sign-in cancelled"));
}

void TestGoogleAuthFlow::exchangeAndCalendarFailures_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");

    QTest::newRow("code refused") << "refused"
                                  << "invalid_grant: Bad Request";
    QTest::newRow("no refresh token")
        << "refresh_token"
        << "Google did not return a refresh token. Remove Vorrindel at myaccount.google.com/permissions and "
           "connect again.";
    QTest::newRow("calendar list fails") << "calendars"
                                         << "Backend Error";
}

void TestGoogleAuthFlow::exchangeAndCalendarFailures() {
    QFETCH(QString, failure);
    QFETCH(QString, message);

    if (failure == u"refused")
        m_google->server().scriptNext(
            "POST", "/token",
            HttpReply::json(400, {{"error", "invalid_grant"}, {"error_description", "Bad Request"}}));
    else if (failure == u"calendars")
        m_google->server().scriptNext("GET", "/calendar/v3/",
                                      FakeGoogle::errorReply(503, "backendError", "Backend Error"));
    else
        m_google->setTokenReplyOmits({failure});

    GoogleAuthFlow flow;
    const auto result = runTask(flow.run(config()));
    QVERIFY(result.errorAs<GoogleError>());
    QCOMPARE(result.errorMessage(), message);
    const quint16 port = quint16(QUrl(queryValue(m_browser->opened().first(), "redirect_uri")).port());
    QVERIFY(!accepts(port));
}

void TestGoogleAuthFlow::replyWithoutLifetimeOrScopes() {
    m_google->setTokenReplyOmits({"expires_in", "scope"});
    m_google->setSignInAccount("nobody");
    m_google->addCalendar("nobody", {{"id", "shared@group.calendar.google.com"}, {"summary", "Shared"}});

    GoogleAuthFlow flow;
    const auto result = runTask(flow.run(config()));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->expiry, std::optional(now.addSecs(3600)));
    QVERIFY(!result.value->scopes);
    QVERIFY(!result.value->canWrite());
    QCOMPARE(result.value->email, QStringLiteral("Google account")); // no primary calendar
}

void TestGoogleAuthFlow::cancelWhileWaiting() {
    GoogleAuthFlow flow;
    flow.cancel(); // nothing to cancel yet
    QCoro::Task<GoogleAccount> task;
    const quint16 port = startWaiting(flow, task);
    QVERIFY(port && accepts(port));

    flow.cancel();
    flow.cancel();
    const auto result = runTask(std::move(task));
    QVERIFY2(result.errorAs<CancelledError>(), qPrintable(result.errorMessage()));
    QVERIFY(!flow.isWaiting());
    QVERIFY(!accepts(port));
}

void TestGoogleAuthFlow::cancelDuringTheExchangeDoesNothing() {
    m_google->server().hold("POST", "/token");
    GoogleAuthFlow flow;
    auto task = flow.run(config());
    QTRY_VERIFY(!m_google->server().requests("POST", u"/token").isEmpty());
    flow.cancel();
    m_google->server().release();
    const auto result = runTask(std::move(task));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
}

void TestGoogleAuthFlow::timesOut() {
    m_session->setAllTimeouts(200ms);
    GoogleAuthFlow flow;
    QCoro::Task<GoogleAccount> task;
    const quint16 port = startWaiting(flow, task);
    const auto result = runTask(std::move(task));
    QCOMPARE(result.errorMessage(), QStringLiteral("Timed out waiting for the Google sign-in"));
    QVERIFY(!accepts(port));
}

void TestGoogleAuthFlow::deletedWhileWaiting() {
    auto flow = std::make_unique<GoogleAuthFlow>();
    QCoro::Task<GoogleAccount> task;
    const quint16 port = startWaiting(*flow, task);
    QVERIFY(port);
    flow.reset();
    const auto result = runTask(std::move(task));
    QVERIFY2(result.errorAs<CancelledError>(), qPrintable(result.errorMessage()));
    QVERIFY(!accepts(port));
}

void TestGoogleAuthFlow::secondAttemptReplacesTheFirst() {
    GoogleAuthFlow flow;
    QCoro::Task<GoogleAccount> first;
    const quint16 firstPort = startWaiting(flow, first);
    m_browser->setLoads(true);
    auto second = flow.run(config());

    QVERIFY(runTask(std::move(first)).errorAs<CancelledError>());
    QVERIFY(!accepts(firstPort));
    // The first attempt's ending leaves the second one's listener alone.
    const auto result = runTask(std::move(second));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
}

QTEST_GUILESS_MAIN(TestGoogleAuthFlow)
#include "tst_googleauthflow.moc"
