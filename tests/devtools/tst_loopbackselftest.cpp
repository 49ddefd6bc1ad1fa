#include "support/AppProcess.h"
#include "support/TempHome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

// Runs the real app with "--test-loopback" and answers it with curl, as a developer would. What the
// listener accepts and answers is the loopback server's own test.
namespace {

void startCurl(QProcess& curl, quint16 port, const QString& path) {
    curl.start(QStringLiteral("curl"), {"-sS", "--noproxy", "*", "--max-time", "5",
                                        QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)});
}

// What curl printed; empty when it failed, as it does (exit 18) when the body falls short of the
// Content-Length the listener announced.
QByteArray answer(QProcess& curl) {
    curl.waitForFinished(10000);
    const bool ok = curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    return ok ? curl.readAllStandardOutput() : QByteArray();
}

} // namespace

class TestLoopbackSelfTest : public QObject {
    Q_OBJECT
private slots:
    // The favicon is answered and not reported; two requests at once are both answered and printed,
    // their query items decoded, before the mode ends by itself 0.3 s after the first.
    void printsEachRequestAndEnds() {
        if (QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty())
            QSKIP("curl is not installed (scripts/deps.sh --tests installs it)");
        TempHome home;
        AppProcess app({QStringLiteral("--test-loopback")});
        static const QRegularExpression listening(
            QStringLiteral("^loopback: listening on 127\\.0\\.0\\.1:(\\d+)\\n"));
        QString output;
        QRegularExpressionMatch match;
        QElapsedTimer clock;
        clock.start();
        while (!(match = listening.match(output)).hasMatch() && clock.elapsed() < 10000 &&
               app.state() != QProcess::NotRunning) {
            app.waitForReadyRead(100);
            output += QString::fromUtf8(app.readAllStandardOutput());
        }
        QVERIFY2(match.hasMatch(), qPrintable(output));
        const quint16 port = quint16(match.captured(1).toUInt());

        QProcess favicon, one, two;
        startCurl(favicon, port, "/favicon.ico");
        QVERIFY(!answer(favicon).isEmpty());
        startCurl(one, port, "/one?code=ab%2Fc&state=xyz");
        startCurl(two, port, "/two?a&b=");
        QVERIFY(answer(one).contains("<h1>Google Calendar connected</h1>"));
        QVERIFY(!answer(two).isEmpty());
        QVERIFY(app.waitForFinished(5000));
        QCOMPARE(app.exitCode(), 0);
        output += QString::fromUtf8(app.readAllStandardOutput());
        QStringList lines = output.split(u'\n', Qt::SkipEmptyParts);
        std::sort(lines.begin() + 1, lines.end());
        QCOMPARE(
            lines,
            (QStringList{match.captured(0).trimmed(),
                         QStringLiteral("loopback: request /one?code=ab%2Fc&state=xyz → code=ab/c state=xyz"),
                         QStringLiteral("loopback: request /two?a&b= → a= b=")}));
    }
};

QTEST_GUILESS_MAIN(TestLoopbackSelfTest)
#include "tst_loopbackselftest.moc"
