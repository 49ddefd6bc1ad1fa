#include "MenuWorld.h"
#include "app/TrayIcon.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

// A real pointer click through the X server, as a user's.
void click(const QPoint& at, int button) {
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                                QStringLiteral("click"), QString::number(button)}),
             0);
}

QStringList shownTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("--") : action->iconText());
    return texts;
}

} // namespace

// The tray icon in a real XEmbed tray (trayer) on a private X server.
class TestTrayIcon : public QObject {
    Q_OBJECT

    QProcess m_trayer;

private Q_SLOTS:
    void initTestCase() {
        m_trayer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_trayer.setStandardOutputFile(QProcess::nullDevice());
        m_trayer.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype",
                                                  "request", "--height", "32", "--transparent", "false"});
        QVERIFY2(m_trayer.waitForStarted(5000), "trayer is not installed (scripts/deps.sh --tests)");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }

    void cleanupTestCase() {
        m_trayer.terminate();
        m_trayer.waitForFinished(5000);
    }

    void iconShowsTheMenu_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("left button") << 1;
        QTest::newRow("right button") << 3;
    }
    void iconShowsTheMenu() {
        QFETCH(int, button);
        MenuWorld w;
        TestableStore& store = w.h.start();
        store.showGoogle(w.events({"Q&A|10:05:00|30|https://zoom.us/j/123"}));
        TrayIcon tray(store, *w.h.settings, w.hooks());
        tray.show();

        // Embedded, the icon sits in the tray's strip along the top right of the screen.
        QRect icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = tray.icon().geometry()).top() >= 0 && icon.bottom() < 32 &&
                                     icon.left() > 640 && !icon.isEmpty(),
                                 10000);

        // The tray may still be settling the icon into its strip when its geometry is first known: a
        // click that lands before that is lost, so a user would simply click again.
        QMenu& menu = *tray.menu().menu();
        for (int attempt = 0; attempt < 5 && !menu.isVisible(); ++attempt) {
            click(tray.icon().geometry().center(), button);
            if (QTest::qWaitFor([&] { return menu.isVisible(); }, 2000))
                break;
        }
        QVERIFY(menu.isVisible());
        QCOMPARE(shownTexts(menu),
                 (QStringList{"Next: Q&A · 10:05 am", "Join Zoom", "--", "New Event…", "Open Panel",
                              "Refresh", "--", "Settings…", "--", "Quit Vorrindel"}));

        QAction* openPanel = menu.actions().at(4);
        click(menu.mapToGlobal(menu.actionGeometry(openPanel).center()), 1);
        QTRY_VERIFY(!menu.isVisible());
        QCOMPARE(w.calls, QStringList{"expand pinned"});
    }
};

int main(int argc, char** argv) {
    XvfbServer display;
    if (!display.start())
        return 1;
    qputenv("QT_QPA_PLATFORM", "xcb");
    // No session bus, so no StatusNotifier host: the icon goes into the XEmbed tray.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    QApplication app(argc, argv);
    TestTrayIcon test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trayicon.moc"
