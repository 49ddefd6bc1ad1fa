#include "core/remote/GoogleAPI.h"
#include "core/remote/TransportError.h"

#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString ada = QStringLiteral("ada@example.com");
const QDateTime now(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC);

} // namespace

class TestGoogleTokens : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void tokenFormOnTheWire();
    void storedTokenIsUsedUntil90SecondsBeforeExpiry_data();
    void storedTokenIsUsedUntil90SecondsBeforeExpiry();
    void refreshUpdatesTheAccount_data();
    void refreshUpdatesTheAccount();
    void refusedRefreshTokenMarksForReconnect();
    void otherFailuresLeaveTheAccountAlone_data();
    void otherFailuresLeaveTheAccountAlone();

private:
    GoogleConfig config() const;
    GoogleAccount account(std::optional<QDateTime> expiry) const;

    std::unique_ptr<FakeGoogle> m_google;
    std::unique_ptr<RemoteTestSession> m_session;
};

void TestGoogleTokens::init() {
    m_google = std::make_unique<FakeGoogle>();
    m_google->addAccount(ada);
    m_session = std::make_unique<RemoteTestSession>();
    m_session->setEndpoints(m_google->endpoints());
    m_session->setNow(now);
}

void TestGoogleTokens::cleanup() {
    m_session.reset();
    m_google.reset();
}

GoogleConfig TestGoogleTokens::config() const {
    // Pasted with blanks around it, as users do: the effective identity is trimmed.
    return {QStringLiteral("  ") + m_google->clientID() + QStringLiteral("\t"), m_google->clientSecret(), {}};
}

GoogleAccount TestGoogleTokens::account(std::optional<QDateTime> expiry) const {
    GoogleAccount result;
    result.email = ada;
    result.refreshToken = m_google->issueRefreshToken(ada);
    result.accessToken = QStringLiteral("ya29.stored");
    result.expiry = expiry;
    return result;
}

void TestGoogleTokens::tokenFormOnTheWire() {
    const GoogleAPI::Form form{{"code", "4/0Ab+c="},
                               {"client_id", "id.apps"},
                               {"client_secret", "GOCSPX-x"},
                               {"redirect_uri", "http://127.0.0.1:5"},
                               {"grant_type", "authorization_code"},
                               {"code_verifier", "v_1-2.3~"}};
    const auto result = runTask(GoogleAPI::token(form));
    QCOMPARE(result.errorMessage(), QStringLiteral("invalid_client: The OAuth client was not found."));

    const HttpRequest request = m_google->server().requests().constLast();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QStringLiteral("/token"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    QVERIFY(!request.hasHeader("Authorization"));
    QCOMPARE(request.body,
             QByteArray("client_id=id.apps&client_secret=GOCSPX-x&code=4%2F0Ab%2Bc%3D&code_verifier=v_1-2.3~"
                        "&grant_type=authorization_code&redirect_uri=http%3A%2F%2F127.0.0.1%3A5"));
}

void TestGoogleTokens::storedTokenIsUsedUntil90SecondsBeforeExpiry_data() {
    QTest::addColumn<int>("secondsLeft"); // -1: no expiry stored
    QTest::addColumn<bool>("refreshes");

    QTest::newRow("91 s left") << 91 << false;
    QTest::newRow("an hour left") << 3600 << false;
    QTest::newRow("exactly 90 s left") << 90 << true;
    QTest::newRow("expired") << -30 << true;
    QTest::newRow("no expiry") << -1 << true;
}

void TestGoogleTokens::storedTokenIsUsedUntil90SecondsBeforeExpiry() {
    QFETCH(int, secondsLeft);
    QFETCH(bool, refreshes);

    GoogleAccount working =
        account(secondsLeft == -1 ? std::nullopt : std::optional(now.addSecs(secondsLeft)));
    const auto result = runTask(GoogleAPI::validToken(working, config()));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage() + m_google->tokenRefusals().join(u'\n')));
    QCOMPARE(m_google->server().requests().size(), refreshes ? 1 : 0);
    QCOMPARE(*result.value == QStringLiteral("ya29.stored"), !refreshes);
    QCOMPARE(working.accessToken, std::optional(*result.value));
}

void TestGoogleTokens::refreshUpdatesTheAccount_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qint64>("lifetime");

    QTest::newRow("with a lifetime") << QByteArray(R"({"access_token":"ya29.new","expires_in":1200})")
                                     << qint64(1200);
    QTest::newRow("without a lifetime: an hour")
        << QByteArray(R"({"access_token":"ya29.new"})") << qint64(3600);
    QTest::newRow("lifetime as text: an hour")
        << QByteArray(R"({"access_token":"ya29.new","expires_in":"1200"})") << qint64(3600);
    QTest::newRow("a new refresh token is ignored")
        << QByteArray(R"({"access_token":"ya29.new","expires_in":60,"refresh_token":"1//other"})")
        << qint64(60);
}

void TestGoogleTokens::refreshUpdatesTheAccount() {
    QFETCH(QByteArray, reply);
    QFETCH(qint64, lifetime);

    GoogleAccount working = account(std::nullopt);
    working.needsReauth = true;
    const QString refreshToken = working.refreshToken;
    m_google->server().hold();
    m_google->server().scriptNext("POST", "/token", HttpReply::text(200, reply, "application/json"));

    auto task = GoogleAPI::validToken(working, config());
    QVERIFY(m_google->server().waitForRequests(1));
    // The expiry counts from when the reply arrived, not from when the request left.
    m_session->advance(5s);
    m_google->server().release();
    const auto result = runTask(std::move(task));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));

    QCOMPARE(*result.value, QStringLiteral("ya29.new"));
    QCOMPARE(working.accessToken, std::optional<QString>("ya29.new"));
    QCOMPARE(working.expiry, std::optional(now.addSecs(5 + lifetime)));
    QVERIFY(!working.needsReauth);
    QCOMPARE(working.refreshToken, refreshToken);

    const QMap<QString, QString> form = m_google->server().requests().constLast().form();
    QCOMPARE(form, (QMap<QString, QString>{{"client_id", m_google->clientID()},
                                           {"client_secret", m_google->clientSecret()},
                                           {"refresh_token", refreshToken},
                                           {"grant_type", "refresh_token"}}));
}

void TestGoogleTokens::refusedRefreshTokenMarksForReconnect() {
    GoogleAccount working = account(now.addSecs(10));
    m_google->revokeRefreshToken(working.refreshToken);

    const auto result = runTask(GoogleAPI::validToken(working, config()));
    QVERIFY(result.errorAs<GoogleError>());
    QCOMPARE(result.errorMessage(),
             QStringLiteral("ada@example.com needs to be reconnected (token expired or revoked)"));
    QVERIFY(working.needsReauth);
    QCOMPARE(working.accessToken, std::optional<QString>("ya29.stored"));
    QCOMPARE(working.expiry, std::optional(now.addSecs(10)));
}

void TestGoogleTokens::otherFailuresLeaveTheAccountAlone_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message"); // empty: a transport error

    QTest::newRow("refusal that is not JSON") << "text"
                                              << "HTTP 400";
    QTest::newRow("another refusal") << "client"
                                     << "invalid_client: The OAuth client was not found.";
    QTest::newRow("reply without a token") << "empty"
                                           << "No access token in refresh response";
    QTest::newRow("time-out") << "stall"
                              << "";
}

void TestGoogleTokens::otherFailuresLeaveTheAccountAlone() {
    QFETCH(QString, failure);
    QFETCH(QString, message);

    m_session->setAllTimeouts(200ms);
    FakeHttpServer& server = m_google->server();
    if (failure == u"text")
        server.scriptNext("POST", "/token", HttpReply::text(400, "invalid_grant"));
    else if (failure == u"described")
        server.scriptNext("POST", "/token", HttpReply::json(500, {{"error_description", "Oops"}}));
    else if (failure == u"empty")
        server.scriptNext("POST", "/token", HttpReply::json(200, {{"token_type", "Bearer"}}));
    else if (failure == u"stall")
        server.scriptNext("POST", "/token", HttpReply::stall());

    GoogleAccount working = account(std::nullopt);
    working.needsReauth = true;
    const GoogleAccount before = working;
    GoogleConfig wrongClient = config();
    if (failure == u"client")
        wrongClient.clientSecret = QStringLiteral("GOCSPX-other");
    const auto result = runTask(GoogleAPI::validToken(working, wrongClient));
    if (message.isEmpty())
        QVERIFY2(result.errorAs<TransportError>(), qPrintable(result.errorMessage()));
    else
        QCOMPARE(result.errorMessage(), message);
    QCOMPARE(working, before);
}

QTEST_GUILESS_MAIN(TestGoogleTokens)
#include "tst_googletokens.moc"
