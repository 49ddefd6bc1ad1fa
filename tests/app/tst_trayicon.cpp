#include "MenuWorld.h"
#include "app/TrayIcon.h"
#include "support/Patience.h"
#include "support/Shots.h"
#include "support/XvfbServer.h"
#include "ui/controls/AppIcon.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QScreen>
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

// Keeps the showing, moving and resizing of Qt's window for the icon from the app, as a tray that
// changes its colour in place, without taking the icon in again, would.
class InPlace final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        return watched->inherits("QSystemTrayIconSys") &&
               (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize);
    }
};

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

    // A tray along the top right, 32 pixels high, in its own colours or in `tint` ("0xrrggbb"), its
    // strip `margin` pixels from the right edge.
    void startTrayer(const QString& tint = QString(), int margin = 0) {
        if (m_trayer.state() != QProcess::NotRunning)
            stopTrayer();
        QStringList arguments{"--edge",   "top", "--align",  "right",
                              "--height", "32",  "--margin", QString::number(margin)};
        // A tinted strip is painted in full only at a width of its own.
        arguments += tint.isEmpty()
                         ? QStringList{"--widthtype", "request", "--transparent", "false"}
                         : QStringList{"--widthtype", "pixel",   "--width", "120",    "--transparent",
                                       "true",        "--alpha", "0",       "--tint", tint};
        m_trayer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_trayer.setStandardOutputFile(QProcess::nullDevice());
        m_trayer.start(QStringLiteral("trayer"), arguments);
        QVERIFY2(m_trayer.waitForStarted(5000), "trayer is not installed (scripts/deps.sh --tests)");
        QVERIFY_SOON(QSystemTrayIcon::isSystemTrayAvailable());
    }

    void stopTrayer() {
        m_trayer.terminate();
        m_trayer.waitForFinished(5000);
    }

private Q_SLOTS:
    void initTestCase() { startTrayer(); }
    void cleanupTestCase() { stopTrayer(); }

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
        QVERIFY_SOON((icon = tray.icon().geometry()).top() >= 0 && icon.bottom() < 32 && icon.left() > 640 &&
                     !icon.isEmpty());

        // The tray may still be settling the icon into its strip when its geometry is first known, and
        // a click that lands before that is lost: the user clicks an icon that has come to rest.
        QVERIFY_SOON(!tray.settling());
        QVERIFY(!tray.looking());
        QMenu& menu = *tray.menu().menu();
        click(tray.icon().geometry().center(), button);
        QVERIFY_SOON(menu.isVisible());
        QCOMPARE(shownTexts(menu),
                 (QStringList{"Next: Q&A · 10:05 am", "Join Zoom", "--", "New Event…", "Open Panel",
                              "Refresh", "--", "Settings…", "--", "Quit Vorrindel"}));

        QAction* openPanel = menu.actions().at(4);
        click(menu.mapToGlobal(menu.actionGeometry(openPanel).center()), 1);
        QVERIFY_SOON(!menu.isVisible());
        QCOMPARE(w.calls, QStringList{"expand pinned"});
    }

    // Until the icon has a place on screen, the desktop's palette is the guess, followed as it changes.
    void followsThePaletteUntilPlaced() {
        MenuWorld w;
        TrayIcon tray(w.h.start(), *w.h.settings, w.hooks());
        const QPalette before = QApplication::palette();
        QCOMPARE(AppIcon::inkFor(tray.panel()), AppIcon::inkFor(before.color(QPalette::Window)));
        QPalette dark = before;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x22));
        QApplication::setPalette(dark);
        const QColor followed = tray.panel();
        QApplication::setPalette(before);
        QVERIFY(AppIcon::inkFor(before.color(QPalette::Window)) !=
                AppIcon::inkFor(dark.color(QPalette::Window)));
        QCOMPARE(AppIcon::inkFor(followed), AppIcon::inkFor(dark.color(QPalette::Window)));
    }

    // Only the icon itself, drawn on its panel, vouches for the panel's colour: not a menu or a window
    // over part of it, nor a blank place the tray has not drawn yet.
    void tellsTheIconFromWhatCoversIt() {
        const QColor panel(0xf2, 0xf2, 0xf2);
        const QIcon icon = TrayIconArt::icon(panel);
        QImage shot(24, 24, QImage::Format_RGB32);
        shot.fill(panel);
        QVERIFY(!TrayIconArt::showsIcon(shot, icon));
        {
            QPainter painter(&shot);
            icon.paint(&painter, shot.rect());
        }
        QVERIFY(TrayIconArt::showsIcon(shot, icon));
        QVERIFY(!TrayIconArt::showsIcon(shot, TrayIconArt::icon(Qt::black)));
        QPainter(&shot).fillRect(12, 12, 12, 12, QColor(0x30, 0x30, 0x30));
        QVERIFY(!TrayIconArt::showsIcon(shot, icon));
    }

    // On a light and on a dark panel the icon is drawn in the ink that reads there, also when the tray
    // host is restarted in the other colour (a theme switch does this on many desktops) and takes the
    // icon in again: in the tray's strip, a good part of the icon's place stands well apart from the
    // panel's colour. A tray that changes its colour in place, also with the strip moved and the icon
    // not told, is followed on the store's tick.
    void iconSuitsThePanel_data() {
        QTest::addColumn<QColor>("panel");
        QTest::addColumn<QColor>("then");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<int>("margin");
        const QColor light(0xf2, 0xf2, 0xf2), dark(0x20, 0x20, 0x22);
        QTest::newRow("light then dark") << light << dark << false << 0;
        QTest::newRow("dark then light") << dark << light << false << 0;
        QTest::newRow("dark then light in place") << dark << light << true << 0;
        QTest::newRow("dark then light in place, strip moved") << dark << light << true << 8;
    }
    void iconSuitsThePanel() {
        QFETCH(QColor, panel);
        QFETCH(QColor, then);
        QFETCH(bool, inPlace);
        QFETCH(int, margin);
        startTrayer(tint(panel));
        MenuWorld w;
        TrayIcon tray(w.h.start(), *w.h.settings, w.hooks());
        tray.show();
        // Once the icon has its place, the tray's own colour decides its ink, not the desktop's
        // palette (light here, whatever the panel).
        QVERIFY_SOON(readsOn(tray, panel, "first"));

        // Restarted once the icon has settled in, when nothing else has it looked at again: the store's
        // clock stands still, unless the tray changes in place.
        QVERIFY_SOON(!tray.settling());
        InPlace quiet;
        if (inPlace)
            qApp->installEventFilter(&quiet);
        startTrayer(tint(then), margin);
        const auto tick = [&] {
            if (inPlace)
                w.h.advance(EventStore::tickInterval.count());
            return true;
        };
        QVERIFY_SOON(tick() && readsOn(tray, then, "restarted"));
        // Settled again, it is no longer looked at on a timer of its own.
        QVERIFY_SOON(!tray.settling());
        QVERIFY(!tray.looking());
    }

private:
    static QString tint(const QColor& color) { return QStringLiteral("0x") + color.name().mid(1); }

    // Whether the icon sits in the tray's strip drawn for `panel`, and reads there: the panel shows
    // at its corners on screen, and the picture stands well apart from it.
    static bool readsOn(const TrayIcon& tray, const QColor& panel, const char* shot) {
        const QRect place = tray.icon().geometry();
        if (place.isEmpty() || place.bottom() >= 32 || place.left() <= 640 ||
            AppIcon::inkFor(tray.panel()) != AppIcon::inkFor(panel))
            return false;
        QScreen* screen = QGuiApplication::primaryScreen();
        const QImage icon =
            screen->grabWindow(0, place.x(), place.y(), place.width(), place.height()).toImage();
        const QColor corners = TrayIconArt::panelColor(icon);
        if (std::abs(corners.lightnessF() - panel.lightnessF()) > 0.05)
            return false;
        int apart = 0;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                apart += std::abs(icon.pixelColor(x, y).lightnessF() - panel.lightnessF()) > 0.6;
        if (apart < icon.width() * icon.height() / 6)
            return false;
        const QImage strip = screen->grabWindow(0, place.x() - 48, 0, place.width() + 48, 32).toImage();
        Shots::save(strip.scaled(strip.size() * 4),
                    QStringLiteral("tray-%1-%2").arg(QTest::currentDataTag(), shot).replace(' ', '-'));
        return true;
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
