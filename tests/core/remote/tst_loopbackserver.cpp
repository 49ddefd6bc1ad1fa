#include "core/remote/LoopbackPage.h"
#include "core/remote/LoopbackServer.h"
#include "support/Patience.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

using Chunks = QList<QByteArray>;

namespace {

// Sends the chunks 200 ms apart, then reads until the server closes the connection; none when it
// keeps the connection open for Patience::ms.
std::optional<QByteArray> talk(quint16 port, const Chunks& chunks) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return std::nullopt;
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        if (i > 0)
            QTest::qWait(200);
        socket.write(chunks[i]);
        socket.flush();
    }
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() != QAbstractSocket::UnconnectedState) {
        if (clock.elapsed() > Patience::ms)
            return std::nullopt;
        QTest::qWait(10);
        received += socket.readAll();
    }
    return received + socket.readAll();
}

// The length counts UTF-8 bytes: the em dash of the title and the typographic apostrophe count three.
std::optional<QByteArray> reply(bool success) {
    const QByteArray page = LoopbackPage::html(success).toUtf8();
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
}

bool refuses(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return !socket.waitForConnected(2000) && socket.error() == QAbstractSocket::ConnectionRefusedError;
}

} // namespace

class TestLoopbackServer : public QObject {
    Q_OBJECT
private slots:
    void servesAndReports_data() {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<QString>("reported"); // null: nothing reported
        QTest::addColumn<int>("page");         // 1 success, 0 cancelled, -1 closed without a reply

        const QByteArray end = " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        const QByteArray longPath = "/" + QByteArray(LoopbackServer::maxRequestBytes, 'a');
        const QString cutPath = QString::fromLatin1(longPath.left(LoopbackServer::maxRequestBytes - 4));
        QTest::newRow("code and state")
            << Chunks{"GET /cb?code=4/a&state=x" + end} << "/cb?code=4/a&state=x" << 1;
        QTest::newRow("error in a later item")
            << Chunks{"GET /?state=s&error=x" + end} << "/?state=s&error=x" << 0;
        QTest::newRow("favicon answered, not reported") << Chunks{"GET /favicon.ico" + end} << QString() << 1;
        QTest::newRow("request line split across packets")
            << Chunks{"GET /cb?code=4/a", "b&state=x HTTP/1.1\r\n", "Host: x\r\n\r\n"}
            << "/cb?code=4/ab&state=x" << 1;
        QTest::newRow("invalid UTF-8 dropped") << Chunks{"GET /\xff\xfe" + end} << QString() << -1;
        QTest::newRow("oversized line judged by its first 16384 bytes")
            << Chunks{"GET " + longPath + end} << cutPath << 1;
        QTest::newRow("incomplete line judged at the deadline")
            << Chunks{"GET /partial?code=1"} << "/partial?code=1" << 1;
        QTest::newRow("idle connection dropped") << Chunks{} << QString() << -1;
    }
    void servesAndReports() {
        QFETCH(Chunks, chunks);
        QFETCH(QString, reported);
        QFETCH(int, page);

        LoopbackServer server;
        server.setReadTimeout(std::chrono::milliseconds(1000));
        QStringList paths;
        server.onRequest = [&](const QString& path) { paths << path; };
        const quint16 port = server.start();

        QCOMPARE(talk(port, chunks), page < 0 ? std::optional(QByteArray()) : reply(page == 1));
        QTest::qWait(20); // reports are delivered from the event loop
        QCOMPARE_SOON(paths, reported.isNull() ? QStringList() : QStringList{reported});
        QCOMPARE(server.connectionCount(), 0);
    }

    // Both pages show the app icon, inlined whole as a 256-pixel PNG.
    void pagesShowTheAppIcon() {
        for (bool success : {true, false}) {
            const QRegularExpressionMatch src =
                QRegularExpression(u"<img src=\"data:image/png;base64,([A-Za-z0-9+/=]+)\""_s)
                    .match(LoopbackPage::html(success));
            QVERIFY(src.hasMatch());
            const QImage icon = QImage::fromData(
                QByteArray::fromBase64(src.captured(1).toLatin1(), QByteArray::AbortOnBase64DecodingErrors),
                "PNG");
            QCOMPARE(icon.size(), QSize(256, 256));
            QCOMPARE(icon.pixelColor(128, 128).alpha(), 255);
        }
    }

    void ownerMayDeleteTheServerFromItsCallback() {
        auto server = std::make_unique<LoopbackServer>();
        server->onRequest = [&](const QString&) { server.reset(); };
        const quint16 port = server->start();
        QCOMPARE(talk(port, {"GET /?code=1 HTTP/1.1\r\n\r\n"}), reply(true));
        QVERIFY_SOON(!server);
        QVERIFY(refuses(port));
    }
};

QTEST_GUILESS_MAIN(TestLoopbackServer)
#include "tst_loopbackserver.moc"
