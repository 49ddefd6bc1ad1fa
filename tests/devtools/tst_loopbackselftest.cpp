#include "support/TempHome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

// Runs the real app with "--test-loopback" and answers it with curl, as a developer would.
namespace {

struct SelfTest {
    QProcess app;
    quint16 port = 0;
    QString output;

    // Starts the app and reads the listening line; false when it does not come.
    bool start() {
        app.setProgram(qEnvironmentVariable("VORRINDEL_BINARY"));
        app.setArguments({QStringLiteral("--test-loopback")});
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.start();
        if (!app.waitForStarted(5000))
            return false;
        static const QRegularExpression listening(
            QStringLiteral("^loopback: listening on 127\\.0\\.0\\.1:(\\d+)\\n"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            app.waitForReadyRead(100);
            output += QString::fromUtf8(app.readAllStandardOutput());
            const QRegularExpressionMatch match = listening.match(output);
            if (match.hasMatch()) {
                port = quint16(match.captured(1).toUInt());
                return true;
            }
        }
        return false;
    }

    // Everything the app printed until it ended; false when it is still running after the wait.
    bool finish(int waitMs = 5000) {
        const bool ended = app.waitForFinished(waitMs);
        output += QString::fromUtf8(app.readAllStandardOutput());
        return ended;
    }

    ~SelfTest() {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(2000);
        }
    }
};

struct CurlResult {
    int exitCode = -1;
    QByteArray headers;
    QByteArray body;
};

void startCurl(QProcess& process, quint16 port, const QString& path) {
    process.start(QStringLiteral("curl"),
                  {QStringLiteral("-sS"), QStringLiteral("--noproxy"), QStringLiteral("*"),
                   QStringLiteral("--max-time"), QStringLiteral("5"), QStringLiteral("-D"),
                   QStringLiteral("-"), QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)});
}

// curl fails (exit 18) when the body falls short of the Content-Length the listener announced.
CurlResult curlResult(QProcess& process) {
    process.waitForFinished(10000);
    CurlResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QByteArray all = process.readAllStandardOutput();
    const qsizetype split = all.indexOf("\r\n\r\n");
    result.headers = all.left(split);
    result.body = all.mid(split + 4);
    return result;
}

CurlResult curl(quint16 port, const QString& path) {
    QProcess process;
    startCurl(process, port, path);
    return curlResult(process);
}

} // namespace

class TestLoopbackSelfTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void printsTheRequestAndEnds_data();
    void printsTheRequestAndEnds();
    void faviconDoesNotEndTheTest();
    void twoQuickRequestsAreBothPrinted();

private:
    std::unique_ptr<TempHome> m_home;
};

void TestLoopbackSelfTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty())
        QSKIP("curl is not installed (scripts/deps.sh --tests installs it)");
    QVERIFY(QFile::exists(qEnvironmentVariable("VORRINDEL_BINARY")));
    m_home = std::make_unique<TempHome>();
}

void TestLoopbackSelfTest::printsTheRequestAndEnds_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("items");
    QTest::addColumn<QByteArray>("heading");

    QTest::newRow("code and state, decoded")
        << "/callback?code=ab%2Fc&state=xyz"
        << "code=ab/c state=xyz" << QByteArray("Google Calendar connected");
    QTest::newRow("bare path") << "/"
                               << "" << QByteArray("Google Calendar connected");
    QTest::newRow("no value and empty value") << "/cb?a&b="
                                              << "a= b=" << QByteArray("Google Calendar connected");
    QTest::newRow("repeated name, plus kept") << "/?x=1&x=2+3"
                                              << "x=1 x=2+3" << QByteArray("Google Calendar connected");
    QTest::newRow("error anywhere") << "/?state=s&error=access_denied"
                                    << "state=s error=access_denied" << QByteArray("Sign-in cancelled");
}

void TestLoopbackSelfTest::printsTheRequestAndEnds() {
    QFETCH(QString, path);
    QFETCH(QString, items);
    QFETCH(QByteArray, heading);

    SelfTest test;
    QVERIFY2(test.start(), qPrintable(test.output));
    const CurlResult answer = curl(test.port, path);
    QCOMPARE(answer.exitCode, 0);
    QVERIFY2(answer.headers.startsWith("HTTP/1.1 200 OK\r\n"), answer.headers.constData());
    QVERIFY(answer.headers.contains("\r\nContent-Type: text/html; charset=utf-8"));
    QVERIFY(answer.headers.contains("\r\nContent-Length: " + QByteArray::number(answer.body.size())));
    QVERIFY(answer.body.contains("<h1>" + heading + "</h1>"));

    QVERIFY(test.finish());
    QCOMPARE(test.app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(test.app.exitCode(), 0);
    QCOMPARE(test.output, QStringLiteral("loopback: listening on 127.0.0.1:%1\nloopback: request %2 → %3\n")
                              .arg(test.port)
                              .arg(path, items));
}

void TestLoopbackSelfTest::faviconDoesNotEndTheTest() {
    SelfTest test;
    QVERIFY2(test.start(), qPrintable(test.output));
    QCOMPARE(curl(test.port, "/favicon.ico").exitCode, 0);
    QVERIFY(!test.finish(800));
    QCOMPARE(test.output.count(u'\n'), 1);

    QCOMPARE(curl(test.port, "/done").exitCode, 0);
    QVERIFY(test.finish());
    QCOMPARE(test.app.exitCode(), 0);
    QVERIFY(test.output.endsWith(u"loopback: request /done → \n"));
}

void TestLoopbackSelfTest::twoQuickRequestsAreBothPrinted() {
    SelfTest test;
    QVERIFY2(test.start(), qPrintable(test.output));
    // Both at once: the first request ends the test 0.3 s after it is printed.
    QProcess one;
    QProcess two;
    startCurl(one, test.port, "/one");
    startCurl(two, test.port, "/two");
    QCOMPARE(curlResult(one).exitCode, 0);
    QCOMPARE(curlResult(two).exitCode, 0);
    QVERIFY(test.finish());
    QCOMPARE(test.app.exitCode(), 0);
    QVERIFY(test.output.contains(u"loopback: request /one → \n"));
    QVERIFY(test.output.contains(u"loopback: request /two → \n"));
}

QTEST_GUILESS_MAIN(TestLoopbackSelfTest)
#include "tst_loopbackselftest.moc"
