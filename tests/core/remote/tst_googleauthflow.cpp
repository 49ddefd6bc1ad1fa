#include "core/model/DebugLog.h"
#include "core/remote/GoogleAuthFlow.h"
#include "core/remote/PKCE.h"

#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/Patience.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

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
    void init() {
        m_google = std::make_unique<FakeGoogle>();
        m_google->addAccount(ada);
        m_google->addCalendar(
            ada, {{"id", "team@group.calendar.google.com"}, {"summary", "Team"}, {"selected", true}});
        m_google->addCalendar(ada, {{"id", "holidays"}, {"summary", "Holidays"}});
        m_session = std::make_unique<RemoteTestSession>();
        m_session->setEndpoints(m_google->endpoints());
        m_session->setNow(now);
        m_browser = std::make_unique<FakeBrowser>();
        m_session->setBrowser(m_browser->opener());
    }
    void cleanup() {
        m_session.reset();
        m_browser.reset();
        m_google.reset();
    }

    void pkce() {
        // RFC 7636, appendix B.
        QCOMPARE(PKCE::challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
                 QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
        const QString verifier = PKCE::randomString(48);
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{64}$")).match(verifier).hasMatch());
        QVERIFY(PKCE::randomString(48) != verifier);
    }

    void fullSignIn() {
        QTemporaryDir logDir;
        DebugLog::overrideForTesting(true, logDir.filePath("debug.log"));
        m_browser->setFaviconFirst(true);
        GoogleAuthFlow flow;
        const auto result = runTask(flow.run(config()));
        DebugLog::overrideForTesting(false, QString());
        QVERIFY2(result.ok(),
                 qPrintable(result.errorMessage() + u' ' + m_google->tokenRefusals().join(u'|')));

        // The consent page got exactly the nine items, in order; the fake checked the verifier against
        // the challenge and the redirect address at the exchange.
        QCOMPARE(m_browser->opened().size(), 1);
        const QUrl consent = m_browser->opened().first();
        QCOMPARE(consent.adjusted(QUrl::RemoveQuery), m_google->endpoints().googleConsent);
        const QUrl redirect(queryValue(consent, "redirect_uri"));
        const QString state = queryValue(consent, "state");
        const QMap<QString, QString> form =
            m_google->server().requests("POST", u"/token").constFirst().form();
        QCOMPARE(QUrlQuery(consent).queryItems(QUrl::FullyDecoded),
                 (QList<std::pair<QString, QString>>{
                     {"client_id", m_google->clientID()},
                     {"redirect_uri", QStringLiteral("http://127.0.0.1:%1").arg(redirect.port())},
                     {"response_type", "code"},
                     {"scope", FakeGoogle::readOnlyScope + u' ' + FakeGoogle::eventsScope},
                     {"access_type", "offline"},
                     {"prompt", "consent select_account"},
                     {"code_challenge", PKCE::challenge(form.value("code_verifier"))},
                     {"code_challenge_method", "S256"},
                     {"state", state}}));

        // The browser asked for the favicon first, which did not end the wait, then got the success
        // page; the listener is gone.
        QVERIFY(m_browser->waitForPage());
        QCOMPARE(m_browser->visited().size(), 3);
        QCOMPARE(m_browser->visited()[1].path(), QStringLiteral("/favicon.ico"));
        QVERIFY(m_browser->page().contains("Google Calendar connected"));
        QVERIFY(!accepts(quint16(redirect.port())));

        const GoogleAccount& account = *result.value;
        QCOMPARE(account.email, ada);
        QCOMPARE(m_google->accountOf(*account.accessToken), std::optional(ada));
        QVERIFY(account.refreshToken.startsWith(u"1//fake-refresh-"));
        QCOMPARE(account.expiry, std::optional(now.addSecs(3599)));
        QCOMPARE(account.scopes,
                 std::optional(QStringList{FakeGoogle::readOnlyScope, FakeGoogle::eventsScope}));
        QCOMPARE(account.calendars.size(), 3);
        QCOMPARE(account.calendars.first().id, ada);
        QCOMPARE(account.hiddenCalendarIDs, QSet<QString>{"holidays"});

        // Nothing secret reached the debug log.
        QFile log(logDir.filePath("debug.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(log.readAll());
        QVERIFY(written.contains(u"sign-in"));
        for (const QString& secret : {form.value("code"), form.value("code_verifier"), state,
                                      *account.accessToken, account.refreshToken, m_google->clientSecret()})
            QVERIFY2(!written.contains(secret), qPrintable(secret));
    }

    void redirectsThatFail_data() {
        QTest::addColumn<QString>("path"); // {state} stands for the flow's own state
        QTest::addColumn<QString>("message");

        const QString unexpected = QStringLiteral("Unexpected response from Google");
        QTest::newRow("a code with another state") << "/?state=forged&code=4/x" << unexpected;
        QTest::newRow("our state, no code") << "/?state={state}&scope=x" << unexpected;
        QTest::newRow("access denied") << u"/?error=access_denied&state={state}"_s << "Sign-in was cancelled";
        QTest::newRow("another error shows its code")
            << u"/?error=server_error&state={state}"_s << "server_error";
        // Anyone on this machine can reach the listener: an error without our state must not end the
        // sign-in with a text of its choosing.
        QTest::newRow("an error with another state")
            << "/?error=Your+account+is+locked&state=forged" << unexpected;
        QTest::newRow("the first state item counts") << "/?state=forged&state={state}&code=4/x" << unexpected;
    }
    void redirectsThatFail() {
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

    void exchangeOutcomes_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message"); // empty: success

        QTest::newRow("no refresh token") << "refresh_token"
                                          << "Google did not return a refresh token. Remove Vorrindel at "
                                             "myaccount.google.com/permissions and connect again.";
        QTest::newRow("no lifetime, no scopes, no primary calendar") << u"sparse"_s << "";
    }
    void exchangeOutcomes() {
        QFETCH(QString, failure);
        QFETCH(QString, message);

        if (failure == u"refresh_token")
            m_google->setTokenReplyOmits({failure});
        else {
            m_google->setTokenReplyOmits({"expires_in", "scope"});
            m_google->setSignInAccount("nobody");
            m_google->addCalendar("nobody",
                                  {{"id", "shared@group.calendar.google.com"}, {"summary", "Shared"}});
        }

        GoogleAuthFlow flow;
        const auto result = runTask(flow.run(config()));
        QVERIFY(!accepts(quint16(QUrl(queryValue(m_browser->opened().first(), "redirect_uri")).port())));
        if (!message.isEmpty()) {
            QVERIFY(result.errorAs<GoogleError>());
            QCOMPARE(result.errorMessage(), message);
            return;
        }
        QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
        QCOMPARE(result.value->expiry, std::optional(now.addSecs(3600)));
        QVERIFY(!result.value->scopes);
        QCOMPARE(result.value->email, QStringLiteral("Google account"));
    }

    void waitEndings_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("message"); // empty: cancelled
        QTest::newRow("cancelled (twice)") << u"cancel"_s << "";
        QTest::newRow("flow deleted") << u"delete"_s << "";
        QTest::newRow("timed out") << u"timeout"_s << "Timed out waiting for the Google sign-in";
    }
    void waitEndings() {
        QFETCH(QString, ending);
        QFETCH(QString, message);

        m_session->setAllTimeouts(ending == u"timeout" ? 200ms : 60s);
        auto flow = std::make_unique<GoogleAuthFlow>();
        flow->cancel(); // nothing to cancel yet
        QCoro::Task<GoogleAccount> task;
        const quint16 port = startWaiting(*flow, task);
        QVERIFY(port && accepts(port));
        if (ending == u"cancel") {
            flow->cancel();
            flow->cancel();
        } else if (ending == u"delete") {
            flow.reset();
        }
        const auto result = runTask(std::move(task));
        if (message.isEmpty())
            QVERIFY2(result.errorAs<CancelledError>(), qPrintable(result.errorMessage()));
        else
            QCOMPARE(result.errorMessage(), message);
        QVERIFY(!flow || !flow->isWaiting());
        QVERIFY(!accepts(port));
    }

    void cancelDuringTheExchangeDoesNothing() {
        m_google->server().hold("POST", "/token");
        GoogleAuthFlow flow;
        auto task = flow.run(config());
        QVERIFY_SOON(!m_google->server().requests("POST", u"/token").isEmpty());
        flow.cancel();
        m_google->server().release();
        const auto result = runTask(std::move(task));
        QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    }

    // Deleted while a reply is out (the store that kept it went): the attempt ends as cancelled when
    // the reply comes, touching nothing of the flow's and asking Google for nothing more.
    void flowDeletedDuringTheExchange_data() {
        QTest::addColumn<QString>("held");
        QTest::newRow("code exchange") << "/token";
        QTest::newRow("calendar list") << "/calendar/v3/users/me/calendarList";
    }
    void flowDeletedDuringTheExchange() {
        QFETCH(QString, held);
        m_google->server().hold(held == u"/token" ? "POST" : "GET", held);
        auto flow = std::make_unique<GoogleAuthFlow>();
        auto task = flow->run(config());
        QVERIFY_SOON(m_google->server().heldCount() == 1);
        const qsizetype asked = m_google->server().requests().size();
        flow.reset();
        m_google->server().release();
        const auto result = runTask(std::move(task));
        QVERIFY2(result.errorAs<CancelledError>(), qPrintable(result.errorMessage()));
        QCOMPARE(m_google->server().requests().size(), asked);
    }

    // Nobody could ever answer: the attempt ends before it waits, and says why.
    void noBrowserEndsAtOnce() {
        QUrl consent;
        m_session->setBrowser([&consent](const QUrl& url) {
            consent = url;
            return false;
        });
        GoogleAuthFlow flow;
        auto task = flow.run(config());
        QVERIFY(task.isReady());
        QVERIFY(!flow.isWaiting());
        const auto result = runTask(std::move(task));
        QVERIFY(result.errorAs<GoogleError>());
        QCOMPARE(result.errorMessage(), QStringLiteral("No browser could be opened to sign in to Google"));
        QVERIFY(m_google->server().requests().isEmpty());
        QVERIFY(!accepts(quint16(QUrl(queryValue(consent, "redirect_uri")).port())));
    }

    void secondAttemptReplacesTheFirst() {
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

private:
    GoogleConfig config() const { return {m_google->clientID(), m_google->clientSecret(), {}}; }

    // Starts a sign-in whose browser only records the consent address; returns the listener's port.
    quint16 startWaiting(GoogleAuthFlow& flow, QCoro::Task<GoogleAccount>& task) {
        m_browser->setLoads(false);
        task = flow.run(config());
        if (!flow.isWaiting() || m_browser->opened().size() != 1)
            return 0;
        return quint16(QUrl(queryValue(m_browser->opened().constLast(), "redirect_uri")).port());
    }

    std::unique_ptr<FakeGoogle> m_google;
    std::unique_ptr<RemoteTestSession> m_session;
    std::unique_ptr<FakeBrowser> m_browser;
};

QTEST_GUILESS_MAIN(TestGoogleAuthFlow)
#include "tst_googleauthflow.moc"
