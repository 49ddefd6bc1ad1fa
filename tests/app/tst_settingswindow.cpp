#include "support/AppProcess.h"
#include "support/Patience.h"
#include "support/TempHome.h"
#include "support/X11Tools.h"
#include "support/XvfbServer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

// The viewable top-level windows titled "Vorrindel Settings".
QStringList settingsWindows() {
    return X11Tools::xdotool({"search", "--onlyvisible", "--name", "^Vorrindel Settings$"})
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

        AppProcess app({"vorrindel://settings"}, environment);
        QStringList windows;
        QVERIFY2(Patience::until([&] { return !(windows = settingsWindows()).isEmpty(); }),
                 app.readAllStandardError().constData());
        QCOMPARE(windows.size(), 1);
        const QString info = X11Tools::run("xwininfo", {"-id", windows[0]});
        QVERIFY2(info.contains(QRegularExpression("Width: 560\\n")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Height: 520\\n")), qPrintable(info));
        QVERIFY(info.contains("Map State: IsViewable"));

        AppProcess again({"vorrindel://settings"}, environment);
        QVERIFY(again.waitForFinished(Patience::ms));
        QCOMPARE(again.exitCode(), 0);
        // The running instance takes the request on its event loop: watch it for a while.
        for (int i = 0; i < 10; ++i) {
            QTest::qWait(50);
            QCOMPARE(settingsWindows(), windows);
        }
        QCOMPARE(app.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
