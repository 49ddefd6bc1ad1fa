#include "core/remote/LoopbackPage.h"
#include "core/remote/LoopbackServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

struct Exchange {
    QByteArray received;
    bool closedByServer = false;
};

// Sends the chunks with a pause between them, then reads until the server closes the connection.
Exchange talk(quint16 port, const QList<QByteArray>& chunks, int pauseMs = 0, int waitMs = 3000) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        if (i > 0 && pauseMs > 0)
            QTest::qWait(pauseMs);
        socket.write(chunks[i]);
        socket.flush();
    }
    Exchange result;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < waitMs) {
        if (socket.state() == QAbstractSocket::UnconnectedState) {
            result.closedByServer = true;
            break;
        }
        QTest::qWait(10);
        result.received += socket.readAll();
    }
    result.received += socket.readAll();
    return result;
}

// The length counts UTF-8 bytes: the em dash of the title and the typographic apostrophe count three.
QByteArray expectedReply(bool success) {
    const QByteArray page = LoopbackPage::html(success).toUtf8();
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
}

} // namespace

class TestLoopbackServer : public QObject {
    Q_OBJECT
private slots:
    void servesAndReports_data();
    void servesAndReports();
    void idleConnectionIsDropped();
    void incompleteLineIsJudgedAtTheDeadline();
    void ownerJudgesThePage();
    void ownerMayDeleteTheServerFromItsCallback();
    void stopRefusesNewConnections();
    void queryItems_data();
    void queryItems();
};

void TestLoopbackServer::servesAndReports_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<QString>("reported"); // null: nothing reported
    QTest::addColumn<int>("page");         // 1 success, 0 cancelled, -1 no reply at all

    const QByteArray headers = "Host: 127.0.0.1\r\nUser-Agent: test\r\n\r\n";
    QTest::newRow("redirect with code and state")
        << QList<QByteArray>{"GET /cb?code=4/abc&state=xyz HTTP/1.1\r\n" + headers} << 0
        << "/cb?code=4/abc&state=xyz" << 1;
    QTest::newRow("error in a later item")
        << QList<QByteArray>{"GET /?state=s&x=1&error=access_denied HTTP/1.1\r\n" + headers} << 0
        << "/?state=s&x=1&error=access_denied" << 0;
    QTest::newRow("favicon answered, not reported")
        << QList<QByteArray>{"GET /favicon.ico HTTP/1.1\r\n" + headers} << 0 << QString() << 1;
    QTest::newRow("one token only") << QList<QByteArray>{"GET\r\n\r\n"} << 0 << "/" << 1;
    QTest::newRow("runs of blanks") << QList<QByteArray>{"GET    /spaced   HTTP/1.1\r\n\r\n"} << 0
                                    << "/spaced" << 1;
    QTest::newRow("any method") << QList<QByteArray>{"POST /p?code=1 HTTP/1.1\r\nContent-Length: 0\r\n\r\n"}
                                << 0 << "/p?code=1" << 1;
    QTest::newRow("request line split across packets")
        << QList<QByteArray>{"GET /cb?code=4/ab", "c&state=xyz HTTP/1.1\r\n", headers} << 200
        << "/cb?code=4/abc&state=xyz" << 1;
    QTest::newRow("invalid UTF-8 dropped")
        << QList<QByteArray>{"GET /\xff\xfe HTTP/1.1\r\n\r\n"} << 0 << QString() << -1;
    const QByteArray longPath = "/" + QByteArray(LoopbackServer::maxRequestBytes, 'a');
    QTest::newRow("oversized line judged by its first 16384 bytes")
        << QList<QByteArray>{"GET " + longPath + " HTTP/1.1\r\n\r\n"} << 0
        << QString::fromLatin1(longPath.left(LoopbackServer::maxRequestBytes - 4)) << 1;
}

void TestLoopbackServer::servesAndReports() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(int, pauseMs);
    QFETCH(QString, reported);
    QFETCH(int, page);

    LoopbackServer server;
    QStringList paths;
    server.onRequest = [&](const QString& path) { paths << path; };
    const quint16 port = server.start();
    QVERIFY(port > 0);

    const Exchange exchange = talk(port, chunks, pauseMs);
    QVERIFY(exchange.closedByServer);
    if (page < 0)
        QCOMPARE(exchange.received, QByteArray());
    else
        QCOMPARE(exchange.received, expectedReply(page == 1));

    QTest::qWait(20); // reports are delivered from the event loop
    if (reported.isNull())
        QCOMPARE(paths, QStringList());
    else
        QCOMPARE(paths, QStringList{reported});
}

void TestLoopbackServer::idleConnectionIsDropped() {
    LoopbackServer server;
    server.setReadTimeout(std::chrono::milliseconds(150));
    const quint16 port = server.start();

    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(idle.waitForConnected(2000));
    QTRY_COMPARE(server.connectionCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(idle.state(), QAbstractSocket::UnconnectedState, 3000);
    QCOMPARE(idle.readAll(), QByteArray());
    QCOMPARE(server.connectionCount(), 0);
}

void TestLoopbackServer::incompleteLineIsJudgedAtTheDeadline() {
    LoopbackServer server;
    server.setReadTimeout(std::chrono::milliseconds(150));
    QStringList paths;
    server.onRequest = [&](const QString& path) { paths << path; };
    const quint16 port = server.start();

    const Exchange exchange = talk(port, {"GET /partial?code=1"});
    QVERIFY(exchange.closedByServer);
    QCOMPARE(exchange.received, expectedReply(true));
    QTRY_COMPARE(paths, QStringList{"/partial?code=1"});
}

void TestLoopbackServer::ownerJudgesThePage() {
    LoopbackServer server;
    QStringList judged;
    server.judge = [&](const QString& path) {
        judged << path;
        return path.contains(QLatin1String("state=good"));
    };
    const quint16 port = server.start();

    QCOMPARE(talk(port, {"GET /?code=1&state=bad HTTP/1.1\r\n\r\n"}).received, expectedReply(false));
    QCOMPARE(talk(port, {"GET /?code=1&state=good HTTP/1.1\r\n\r\n"}).received, expectedReply(true));
    QCOMPARE(judged, (QStringList{"/?code=1&state=bad", "/?code=1&state=good"}));
}

void TestLoopbackServer::ownerMayDeleteTheServerFromItsCallback() {
    auto server = std::make_unique<LoopbackServer>();
    bool called = false;
    server->onRequest = [&](const QString&) {
        called = true;
        server.reset();
    };
    const quint16 port = server->start();
    QCOMPARE(talk(port, {"GET /?code=1 HTTP/1.1\r\n\r\n"}).received, expectedReply(true));
    QTRY_VERIFY(called);
    QVERIFY(!server);
}

void TestLoopbackServer::stopRefusesNewConnections() {
    LoopbackServer server;
    QStringList paths;
    server.onRequest = [&](const QString& path) { paths << path; };
    const quint16 port = server.start();

    QTcpSocket open;
    open.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(open.waitForConnected(2000));
    QTRY_COMPARE(server.connectionCount(), 1);

    server.stop();
    server.stop();
    QCOMPARE(server.connectionCount(), 0);
    QVERIFY(!server.isListening());
    QTRY_COMPARE(open.state(), QAbstractSocket::UnconnectedState);

    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(2000));
    QCOMPARE(late.error(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(paths, QStringList());
}

void TestLoopbackServer::queryItems_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<QStringList>("items"); // "name=value", or "name" for an item without "="

    QTest::newRow("decoded, plus kept")
        << "/callback?code=ab%2Fc&state=x+y" << true << QStringList{"code=ab/c", "state=x+y"};
    QTest::newRow("no value and empty value") << "/cb?a&b=" << true << QStringList{"a", "b="};
    QTest::newRow("repeated names in order") << "/?x=1&x=2" << true << QStringList{"x=1", "x=2"};
    QTest::newRow("no query") << "/" << true << QStringList{};
    QTest::newRow("not a URL") << "/a b?c=d" << false << QStringList{};
}

void TestLoopbackServer::queryItems() {
    QFETCH(QString, path);
    QFETCH(bool, parses);
    QFETCH(QStringList, items);

    const auto parsed = LoopbackServer::queryItems(path);
    QCOMPARE(parsed.has_value(), parses);
    if (!parsed)
        return;
    QStringList texts;
    for (const auto& item : *parsed)
        texts << (item.value ? item.name + u'=' + *item.value : item.name);
    QCOMPARE(texts, items);
}

QTEST_GUILESS_MAIN(TestLoopbackServer)
#include "tst_loopbackserver.moc"
