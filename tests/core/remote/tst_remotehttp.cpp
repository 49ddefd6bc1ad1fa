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
    void redirectIsNotFollowed();
    void noStatusIsATransportError_data();
    void noStatusIsATransportError();
    void percentEncode_data();
    void percentEncode();
    void environmentOverridesOnlyLoopback_data();
    void environmentOverridesOnlyLoopback();
};

void TestRemoteHttp::redirectIsNotFollowed() {
    // A token must never travel on to another address.
    FakeHttpServer server;
    RemoteTestSession session;
    server.scriptNext("GET", "/x", HttpReply::redirect(server.url("/elsewhere")));

    QNetworkRequest request(server.url("/x"));
    request.setRawHeader("Authorization", "Bearer t");
    const auto result = runTask(RemoteHttp::send(request, "GET", {}, 2s));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->status, 302);
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

void TestRemoteHttp::percentEncode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keep");
    QTest::addColumn<QString>("encoded");

    const QString path = QStringLiteral("-._~@");
    const QString form = QStringLiteral("-._~");
    QTest::newRow("calendar id") << "en.usa#holiday@group.v.calendar.google.com" << path
                                 << "en.usa%23holiday@group.v.calendar.google.com";
    QTest::newRow("blank and slash") << "a b/c" << path << "a%20b%2Fc";
    QTest::newRow("letters of any script stay") << "Kalender-é-日本" << path << "Kalender-é-日本";
    QTest::newRow("a symbol becomes its UTF-8 bytes") << "€" << path << "%E2%82%AC";
    QTest::newRow("authorization code in a form") << "4/0Ab+c=" << form << "4%2F0Ab%2Bc%3D";
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
