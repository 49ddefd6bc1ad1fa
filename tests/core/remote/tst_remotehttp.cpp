#include "core/remote/RemoteHttp.h"
#include "core/remote/RemoteSession.h"
#include "core/remote/TransportError.h"

#include "support/FakeHttpServer.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(HttpReply)

class TestRemoteHttp : public QObject {
    Q_OBJECT
private slots:
    void redirectIsNotFollowed() {
        // A token must never travel on to another address.
        FakeHttpServer server;
        RemoteTestSession session;
        server.scriptNext("GET", "/x", HttpReply::redirect(server.url("/elsewhere")));
        QNetworkRequest request(server.url("/x"));
        request.setRawHeader("Authorization", "Bearer t");
        const auto result = runTask(RemoteHttp::send(request, "GET", {}, 2s));
        QCOMPARE(result.value.value_or(RemoteHttp::Response()).status, 302);
        QCOMPARE(server.requests().size(), 1);
    }

    void noStatusIsATransportError_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("code");
        QTest::newRow("connection refused") << "refused" << int(QNetworkReply::ConnectionRefusedError);
        QTest::newRow("closed without reply") << "close" << int(QNetworkReply::RemoteHostClosedError);
        QTest::newRow("server stalls past the time-out") << "stall" << int(QNetworkReply::TimeoutError);
    }
    void noStatusIsATransportError() {
        QFETCH(QString, failure);
        QFETCH(int, code);

        FakeHttpServer server;
        RemoteTestSession session;
        const QUrl url = server.url("/x");
        if (failure == u"refused")
            server.close();
        server.setHandler([&](const HttpRequest&) {
            return failure == u"close" ? HttpReply::closeWithoutReply() : HttpReply::stall();
        });
        QElapsedTimer clock;
        clock.start();
        // A short time-out only where no reply ever comes: a slow machine must not turn the others into one.
        const auto result =
            runTask(RemoteHttp::send(QNetworkRequest(url), "POST", "{}", failure == u"stall" ? 300ms : 60s));
        const auto* error = result.errorAs<TransportError>();
        QVERIFY2(error, qPrintable(result.errorMessage()));
        QVERIFY(!error->message().isEmpty());
        QCOMPARE(int(error->code()), code);
        QVERIFY(clock.elapsed() < 5000);
    }

    // A reply that came with its status but broke off, or never finished, is no reply: the status
    // and the part of the body that came must not pass for a whole answer.
    void brokenRepliesAreTransportErrors_data() {
        QTest::addColumn<HttpReply>("reply");
        QTest::addColumn<int>("code");
        const HttpReply whole = HttpReply::json(200, {{"items", QJsonArray{QJsonObject{{"id", "e1"}}}}});
        QTest::newRow("cut short") << HttpReply::cutShort(whole, 10)
                                   << int(QNetworkReply::RemoteHostClosedError);
        QTest::newRow("reset") << HttpReply::cutShort(whole, 10, HttpReply::Ending::Reset)
                               << int(QNetworkReply::RemoteHostClosedError);
        // Never idle for long, never done: a limit of its own ends it, however slowly the bytes come.
        QTest::newRow("trickles") << HttpReply::trickle(HttpReply::text(200, QByteArray(100000, ' ')), 20ms)
                                  << int(QNetworkReply::TimeoutError);
    }
    void brokenRepliesAreTransportErrors() {
        QFETCH(HttpReply, reply);
        QFETCH(int, code);

        FakeHttpServer server;
        RemoteTestSession session;
        server.scriptNext("GET", "/x", reply);
        const auto timeout = reply.kind == HttpReply::Kind::Trickle ? 300ms : 60s;
        const auto result = runTask(RemoteHttp::send(QNetworkRequest(server.url("/x")), "GET", {}, timeout));
        const auto* error = result.errorAs<TransportError>();
        QVERIFY2(error, qPrintable(result.finished ? result.errorMessage() : QStringLiteral("never ended")));
        QCOMPARE(int(error->code()), code);
    }

    void percentEncodeKeepsLettersOfAnyScript() {
        QCOMPARE(RemoteHttp::percentEncode(u"Kalender-é-日本 €/#", u"-._~@"),
                 QStringLiteral("Kalender-é-日本%20%E2%82%AC%2F%23"));
    }

    void environmentOverridesOnlyLoopback_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("honoured");
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:5555/token" << true;
        QTest::newRow("another host") << "https://oauth.example.com/token" << false;
        QTest::newRow("loopback as a prefix of a name") << "http://127.0.0.1.example.com/token" << false;
        QTest::newRow("credentials in the address") << "http://user@127.0.0.1:5555/token" << false;
        QTest::newRow("not an address") << "http://[::1" << false;
    }
    void environmentOverridesOnlyLoopback() {
        QFETCH(QString, value);
        QFETCH(bool, honoured);

        qputenv("VORRINDEL_GOOGLE_TOKEN_URL", value.toUtf8());
        const RemoteSession::Endpoints endpoints = RemoteSession::Endpoints::fromEnvironment();
        qunsetenv("VORRINDEL_GOOGLE_TOKEN_URL");
        const RemoteSession::Endpoints production = RemoteSession::Endpoints::production();
        QCOMPARE(endpoints.googleToken, honoured ? QUrl(value) : production.googleToken);
        QCOMPARE(endpoints.googleCalendar, production.googleCalendar);
    }
};

QTEST_GUILESS_MAIN(TestRemoteHttp)
#include "tst_remotehttp.moc"
