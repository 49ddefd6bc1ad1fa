#include "core/remote/RemoteHttp.h"
#include "core/remote/RemoteSession.h"
#include "core/remote/TransportError.h"

#include "support/FakeHttpServer.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QElapsedTimer>
#include <QTest>

using namespace std::chrono_literals;

class TestRemoteHttp : public QObject {
    Q_OBJECT
private slots:
    void anyStatusComesBackWithItsBody_data();
    void anyStatusComesBackWithItsBody();
    void noStatusIsATransportError_data();
    void noStatusIsATransportError();
    void pathAndQueryArriveIntact();
    void percentEncode_data();
    void percentEncode();
    void environmentOverridesOnlyLoopback_data();
    void environmentOverridesOnlyLoopback();
};

void TestRemoteHttp::anyStatusComesBackWithItsBody_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("200") << 200 << QByteArray() << QByteArray(R"({"a":1})");
    QTest::newRow("204 without body") << 204 << QByteArray() << QByteArray();
    // Qt reports these as errors of its own (content not found, authentication required); the body
    // must still be read, or Google's message is lost.
    QTest::newRow("404") << 404 << QByteArray() << QByteArray(R"({"error":{"message":"Not Found"}})");
    QTest::newRow("401 with a bearer challenge")
        << 401 << QByteArray("Bearer realm=\"https://accounts.google.com/\"")
        << QByteArray(R"({"error":{"code":401,"message":"Invalid Credentials"}})");
    QTest::newRow("500 not JSON") << 500 << QByteArray() << QByteArray("<html>oops</html>");
    // Redirects are not followed: a token never travels on to another address.
    QTest::newRow("302") << 302 << QByteArray() << QByteArray();
}

void TestRemoteHttp::anyStatusComesBackWithItsBody() {
    QFETCH(int, status);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, body);

    FakeHttpServer server;
    RemoteTestSession session;
    HttpReply reply = HttpReply::text(status, body, "application/json");
    if (!header.isEmpty())
        reply.withHeader("WWW-Authenticate", header);
    if (status == 302)
        reply.withHeader("Location", "http://127.0.0.1:9/elsewhere");
    server.scriptNext("GET", "/x", reply);

    QNetworkRequest request(server.url("/x"));
    request.setRawHeader("Authorization", "Bearer t");
    const auto result = runTask(RemoteHttp::send(request, "GET", {}, 2s));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->status, status);
    QCOMPARE(result.value->body, body);
    QCOMPARE(server.requests().size(), 1);
}

void TestRemoteHttp::noStatusIsATransportError_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("code");
    QTest::newRow("connection refused") << "refused" << int(QNetworkReply::ConnectionRefusedError);
    QTest::newRow("closed without reply") << "close" << int(QNetworkReply::RemoteHostClosedError);
    QTest::newRow("server stalls past the time-out") << "stall" << int(QNetworkReply::TimeoutError);
}

void TestRemoteHttp::noStatusIsATransportError() {
    QFETCH(QString, failure);
    QFETCH(int, code);

    FakeHttpServer server;
    RemoteTestSession session;
    const QUrl url = server.url("/x");
    if (failure == u"refused")
        server.close();
    else
        server.setHandler([&](const HttpRequest&) {
            return failure == u"close" ? HttpReply::closeWithoutReply() : HttpReply::stall();
        });

    QElapsedTimer clock;
    clock.start();
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    const auto result = runTask(RemoteHttp::send(request, "POST", "{}", 300ms));
    QVERIFY(result.finished);
    const auto* error = result.errorAs<TransportError>();
    QVERIFY2(error, qPrintable(result.errorMessage()));
    QVERIFY(!error->message().isEmpty());
    QCOMPARE(int(error->code()), code);
    QVERIFY(clock.elapsed() < 5000);
}

void TestRemoteHttp::pathAndQueryArriveIntact() {
    FakeHttpServer server;
    RemoteTestSession session;
    server.setHandler([](const HttpRequest&) { return HttpReply::empty(204); });

    const QString path = RemoteHttp::percentEncode(u"en.usa#holiday@group.v.calendar.google.com", u"-._~@") +
                         QStringLiteral("/events/") + RemoteHttp::percentEncode(u"a b/c", u"-._~@");
    const QUrl url =
        RemoteHttp::resolve(server.url("/calendar/v3/"), path, {{"pageToken", "a+b/c=&d"}, {"q", "x y"}});
    QVERIFY(runTask(RemoteHttp::send(QNetworkRequest(url), "GET", {}, 2s)).ok());

    QCOMPARE(server.requests().size(), 1);
    const HttpRequest& request = server.requests().first();
    QCOMPARE(request.rawPath,
             QByteArray("/calendar/v3/en.usa%23holiday@group.v.calendar.google.com/events/a%20b%2Fc"));
    QCOMPARE(request.queryValue(u"pageToken"), QStringLiteral("a+b/c=&d"));
    QCOMPARE(request.queryValue(u"q"), QStringLiteral("x y"));
}

void TestRemoteHttp::percentEncode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keep");
    QTest::addColumn<QString>("encoded");

    const QString path = QStringLiteral("-._~@");
    const QString form = QStringLiteral("-._~");
    QTest::newRow("calendar id") << "en.usa#holiday@group.v.calendar.google.com" << path
                                 << "en.usa%23holiday@group.v.calendar.google.com";
    QTest::newRow("blank and slash") << "a b/c" << path << "a%20b%2Fc";
    QTest::newRow("percent") << "100%" << path << "100%25";
    QTest::newRow("letters of any script stay") << "Kalender-é-日本" << path << "Kalender-é-日本";
    QTest::newRow("a symbol becomes its UTF-8 bytes") << "€" << path << "%E2%82%AC";
    QTest::newRow("authorization code in a form") << "4/0Ab+c=" << form << "4%2F0Ab%2Bc%3D";
    QTest::newRow("at sign in a form") << "a@b" << form << "a%40b";
}

void TestRemoteHttp::percentEncode() {
    QFETCH(QString, text);
    QFETCH(QString, keep);
    QFETCH(QString, encoded);
    QCOMPARE(RemoteHttp::percentEncode(text, keep), encoded);
}

void TestRemoteHttp::environmentOverridesOnlyLoopback_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("honoured");

    QTest::newRow("127.0.0.1") << "http://127.0.0.1:5555/token" << true;
    QTest::newRow("localhost") << "http://LOCALHOST:5555/token" << true;
    QTest::newRow("another host") << "https://oauth.example.com/token" << false;
    QTest::newRow("loopback as a prefix of a name") << "http://127.0.0.1.example.com/token" << false;
    QTest::newRow("credentials in the address") << "http://user@127.0.0.1:5555/token" << false;
    QTest::newRow("not http") << "file:///tmp/token" << false;
    QTest::newRow("not an address") << "http://[::1" << false;
}

void TestRemoteHttp::environmentOverridesOnlyLoopback() {
    QFETCH(QString, value);
    QFETCH(bool, honoured);

    qputenv("VORRINDEL_GOOGLE_TOKEN_URL", value.toUtf8());
    const RemoteSession::Endpoints endpoints = RemoteSession::Endpoints::fromEnvironment();
    qunsetenv("VORRINDEL_GOOGLE_TOKEN_URL");

    const RemoteSession::Endpoints production = RemoteSession::Endpoints::production();
    QCOMPARE(endpoints.googleToken, honoured ? QUrl(value) : production.googleToken);
    QCOMPARE(endpoints.googleCalendar, production.googleCalendar);
}

QTEST_GUILESS_MAIN(TestRemoteHttp)
#include "tst_remotehttp.moc"
