#include "support/TempHome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

// Runs the real app with "--test-loopback" and answers it with curl, as a developer would.
namespace {

struct SelfTest {
    QProcess app;
    quint16 port = 0;
    QString output;

    // Starts the app and reads the listening line; false when it does not come.
    bool start() {
        app.start(qEnvironmentVariable("VORRINDEL_BINARY"), {QStringLiteral("--test-loopback")});
        static const QRegularExpression listening(
            QStringLiteral("^loopback: listening on 127\\.0\\.0\\.1:(\\d+)\\n"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && app.state() != QProcess::NotRunning) {
            app.waitForReadyRead(100);
            output += QString::fromUtf8(app.readAllStandardOutput());
            if (const QRegularExpressionMatch match = listening.match(output); match.hasMatch()) {
                port = quint16(match.captured(1).toUInt());
                return true;
            }
        }
        return false;
    }

    // True when the app ended with status 0 by itself; `output` then holds all it printed.
    bool finishedCleanly() {
        const bool ended = app.waitForFinished(5000);
        output += QString::fromUtf8(app.readAllStandardOutput());
        return ended && app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
    }

    ~SelfTest() {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(2000);
        }
    }
};

void startCurl(QProcess& curl, quint16 port, const QString& path) {
    curl.start(QStringLiteral("curl"), {"-sS", "--noproxy", "*", "--max-time", "5", "-D", "-",
                                        QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)});
}

// The headers and body curl printed; empty when curl failed, as it does (exit 18) when the body falls
// short of the Content-Length the listener announced.
QByteArray answer(QProcess& curl) {
    curl.waitForFinished(10000);
    const bool ok = curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    return ok ? curl.readAllStandardOutput() : QByteArray();
}

QByteArray fetch(quint16 port, const QString& path) {
    QProcess curl;
    startCurl(curl, port, path);
    return answer(curl);
}

} // namespace

class TestLoopbackSelfTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty())
            QSKIP("curl is not installed (scripts/deps.sh --tests installs it)");
        QVERIFY(QFile::exists(qEnvironmentVariable("VORRINDEL_BINARY")));
        m_home = std::make_unique<TempHome>();
    }

    void printsTheRequestAndEnds_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QByteArray>("heading");

        const QByteArray connected = "Google Calendar connected";
        QTest::newRow("code and state, decoded")
            << u"/callback?code=ab%2Fc&state=xyz"_s << "code=ab/c state=xyz" << connected;
        QTest::newRow("bare path") << u"/"_s << "" << connected;
        QTest::newRow("no value and empty value") << u"/cb?a&b="_s << "a= b=" << connected;
        QTest::newRow("error anywhere") << u"/?state=s&error=access_denied"_s << "state=s error=access_denied"
                                        << QByteArray("Sign-in cancelled");
    }
    void printsTheRequestAndEnds() {
        QFETCH(QString, path);
        QFETCH(QString, items);
        QFETCH(QByteArray, heading);

        SelfTest test;
        QVERIFY2(test.start(), qPrintable(test.output));
        const QByteArray reply = fetch(test.port, path);
        QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"),
                 reply.constData());
        QVERIFY(reply.contains("<h1>" + heading + "</h1>"));
        QVERIFY(test.finishedCleanly());
        QCOMPARE(test.output,
                 QStringLiteral("loopback: listening on 127.0.0.1:%1\nloopback: request %2 → %3\n")
                     .arg(test.port)
                     .arg(path, items));
    }

    void faviconIsSilentAndTwoQuickRequestsAreBothPrinted() {
        SelfTest test;
        QVERIFY2(test.start(), qPrintable(test.output));
        QVERIFY(!fetch(test.port, "/favicon.ico").isEmpty());
        // Both at once: the first request ends the test 0.3 s after it is printed.
        QProcess one;
        QProcess two;
        startCurl(one, test.port, "/one");
        startCurl(two, test.port, "/two");
        QVERIFY(!answer(one).isEmpty() && !answer(two).isEmpty());
        QVERIFY(test.finishedCleanly());
        const QString listening = QStringLiteral("loopback: listening on 127.0.0.1:%1\n").arg(test.port);
        const QString first = QStringLiteral("loopback: request /one → \n");
        const QString second = QStringLiteral("loopback: request /two → \n");
        QVERIFY2(test.output == listening + first + second || test.output == listening + second + first,
                 qPrintable(test.output));
    }

private:
    std::unique_ptr<TempHome> m_home;
};

QTEST_GUILESS_MAIN(TestLoopbackSelfTest)
#include "tst_loopbackselftest.moc"
