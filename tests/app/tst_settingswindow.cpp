#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

// The real program on the test's own X server, as the desktop starts it for a "vorrindel:" link.
struct App {
    QProcess process;

    void start(const QStringList& arguments, const QProcessEnvironment& environment) {
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("VORRINDEL_BINARY"), arguments);
    }
    ~App() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};

// What an X client tool prints on the test's display; empty when it failed.
QString run(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(5000) || tool.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

// The viewable top-level windows titled "Vorrindel Settings".
QStringList settingsWindows() {
    return run("xdotool", {"search", "--onlyvisible", "--name", "^Vorrindel Settings$"})
        .split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // "vorrindel://settings" shows the 560 × 520 settings window; asking again, from a second
    // launch, brings back the same window rather than a second one.
    void settingsLinkShowsOneWindow() {
        XvfbServer x;
        QVERIFY(x.start());
        TempHome home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");

        App app;
        app.start({"vorrindel://settings"}, environment);
        QStringList windows;
        QVERIFY2(QTest::qWaitFor([&] { return !(windows = settingsWindows()).isEmpty(); }, 30000),
                 app.process.readAllStandardError().constData());
        QCOMPARE(windows.size(), 1);
        const QString info = run("xwininfo", {"-id", windows[0]});
        QVERIFY2(info.contains(QRegularExpression("Width: 560\\n")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Height: 520\\n")), qPrintable(info));
        QVERIFY(info.contains("Map State: IsViewable"));

        App again;
        again.start({"vorrindel://settings"}, environment);
        QVERIFY(again.process.waitForFinished(15000));
        QCOMPARE(again.process.exitCode(), 0);
        // The running instance takes the request on its event loop: watch it for a while.
        for (int i = 0; i < 10; ++i) {
            QTest::qWait(50);
            QCOMPARE(settingsWindows(), windows);
        }
        QCOMPARE(app.process.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
