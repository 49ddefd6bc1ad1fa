// The panel on a real X server whose desktop changes under it. Xvfb is started here with two
// monitors side by side: the left one, the main one, at scale 2 (640 × 400 in Qt's pixels) and the
// right one at scale 1. Compositors (xcompmgr) start and stop while the panel shows, input comes
// from xdotool, and the window's shapes are read back from the server.
//
// The panel runs in this process on the X11 platform parts the app uses; only which monitor is the
// main one is the test's to say (to Qt the left one stays the primary one), and the panel's
// animations run on a clock the test moves, so that "while it opens" is a moment it holds.
#include "PanelWorld.h"

#include "platform/x11/X11Platform.h"
#include "support/AnimationClock.h"
#include "support/Patience.h"
#include "support/Shots.h"
#include "support/TempHome.h"
#include "support/X11Tools.h"
#include "support/XvfbServer.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"
#include "ui/panel/WeekStrip.h"
#include "ui/settings/SettingsOpener.h"
#include "ui/settings/SettingsView.h"

#include <QApplication>
#include <QPainterPath>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTransform>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

using X11Tools::xdotool;

// The notch of the main monitor, in the server's pixels: 180 × 24 at the top centre of 640 × 400.
const QStringList onNotch{"640", "20"};

xcb_connection_t* connection() {
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// One of the window's shapes as the server holds it, in the window's pixels (all of the window when
// it has none of its own).
QRegion shapeOf(QWidget* window, xcb_shape_kind_t kind) {
    xcb_shape_get_rectangles_reply_t* reply = xcb_shape_get_rectangles_reply(
        connection(), xcb_shape_get_rectangles(connection(), xcb_window_t(window->winId()), kind), nullptr);
    QRegion region;
    if (reply) {
        const xcb_rectangle_t* r = xcb_shape_get_rectangles_rectangles(reply);
        for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(reply); ++i)
            region += QRect(r[i].x, r[i].y, r[i].width, r[i].height);
    }
    std::free(reply);
    return region;
}

// The window's rectangle on the server's screen.
QRect deviceFrame(QWidget* window) {
    const auto id = xcb_window_t(window->winId());
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection(), xcb_get_geometry(connection(), id), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        connection(), xcb_translate_coordinates(connection(), id, root, 0, 0), nullptr);
    const QRect frame =
        geometry && at ? QRect(at->dst_x, at->dst_y, geometry->width, geometry->height) : QRect();
    std::free(geometry);
    std::free(at);
    return frame;
}

// The silhouette's rectangle in the window's pixels at `scale`.
QRect deviceSilhouette(const PanelWorld& world, qreal scale) {
    const QRectF r = world.controller->rootView()->silhouetteRect();
    return QRectF(r.topLeft() * scale, r.size() * scale).toAlignedRect();
}

// The pixels the silhouette's outline covers at `scale`: its flared top corners leave out a few at
// each end of the top row.
QRect deviceOutline(const PanelWorld& world, qreal scale) {
    const QPainterPath outline = world.controller->rootView()->silhouettePath();
    return QRegion(QTransform::fromScale(scale, scale).map(outline).toFillPolygon().toPolygon())
        .boundingRect();
}

// The two monitors as Qt sees them, with Qt's news of their changes; the test says which is the main one.
class Monitors final : public ScreenSource {
public:
    Monitors() { connect(&qt, &ScreenSource::changed, this, &ScreenSource::changed); }
    QList<ScreenInfo> screens() const override {
        QList<ScreenInfo> list;
        for (const QString& name : {QStringLiteral("left"), QStringLiteral("right")}) {
            const QList<QScreen*> all = QGuiApplication::screens();
            for (const QScreen* screen : all) {
                if (screen->name() == name)
                    list.append({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
            }
        }
        return list;
    }
    int primaryIndex() const override { return main; }
    int main = 0;
    QtScreenSource qt;
};

// A panel on the X11 parts the app uses (Qt's window mask, the fallback, for the X11 shapes when
// `qtMask`). `monitors`, when given, is set to the panel's monitors.
std::unique_ptr<PanelWorld> desktopWorld(Monitors** monitors = nullptr, bool qtMask = false) {
    NotchController::Platform platform;
    auto screens = std::make_unique<Monitors>();
    if (monitors)
        *monitors = screens.get();
    platform.screens = std::move(screens);
    platform.compositor = X11Platform::compositorCheck();
    platform.shaper = qtMask ? qtWindowShaper() : X11Platform::windowShaper();
    return std::make_unique<PanelWorld>(std::move(platform));
}

// A compositing manager for as long as it lives.
class Compositor {
public:
    Compositor() {
        m_process.start(QStringLiteral("xcompmgr"), QStringList());
        m_process.waitForStarted();
    }
    ~Compositor() { stop(); }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

// The main monitor as the server shows it, for looking at with VORRINDEL_SHOTS: once the panel has
// painted and a compositor has caught up with it (the held animations stay where they are).
void shoot(const QString& name) {
    if (qEnvironmentVariableIsEmpty("VORRINDEL_SHOTS"))
        return;
    QTest::qWait(300);
    Shots::save(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), name);
}

// Adds a monitor to the server's screen: "left", the main one, on its left half, "right" on the other.
bool setMonitor(const QString& name) {
    const bool left = name == u"left";
    return QProcess::execute(QStringLiteral("xrandr"),
                             {"--setmonitor", left ? QStringLiteral("*left") : name,
                              left ? "1280/338x800/211+0+0" : "1280/338x800/211+1280+0", "none"}) == 0;
}

} // namespace

class TestPanelDesktop : public QObject {
    Q_OBJECT
    TempHome m_home; // for the app's own settings and store, which the settings window shows

private Q_SLOTS:
    void initTestCase() {
        if (QGuiApplication::platformName() != u"xcb")
            QSKIP("SKIP: no Xvfb with RandR monitors (scripts/deps.sh --tests)");
        for (const char* tool : {"xdotool", "xcompmgr", "xprop"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("SKIP: %1 is not installed").arg(QLatin1String(tool))));
        }
        QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
        Motion::setEnabled(false);
    }

    void init() { xdotool({"mousemove", "1000", "700"}); }

    // Moving onto the notch and clicking at once, while the agenda still slides in unseen beneath the
    // pointer: the click pins the panel, as a click on the notch does, and opens nothing under it;
    // nothing under the pointer lights up either.
    void aClickWhileItOpensIsAClickOnTheNotch_data() {
        QTest::addColumn<bool>("composited");
        QTest::newRow("no compositor") << false;
        QTest::newRow("xcompmgr") << true;
    }

    void aClickWhileItOpensIsAClickOnTheNotch() {
        QFETCH(bool, composited);
        std::optional<Compositor> compositor;
        if (composited)
            compositor.emplace();
        AnimationClock clock;
        Motion::setEnabled(true);
        const auto still = qScopeGuard([] { Motion::setEnabled(false); });
        const std::unique_ptr<PanelWorld> world = desktopWorld();
        const QDateTime today = world->store->selectedDate();

        xdotool(QStringList{"mousemove"} + onNotch);
        QVERIFY_SOON(world->state().expanded());
        QVERIFY(clock.takeUpStarted());
        clock.advanceBy(150);
        const QSizeF size = world->controller->rootView()->silhouette().size;
        QVERIFY2(size.height() > 100 && size.height() < 400, qPrintable(QString::number(size.height())));
        // A day of the week strip lies under the notch at this moment, there to take a click.
        QWidget* content = world->controller->rootView()->modeContent(NotchMode::expanded);
        QWidget* under = content->childAt(content->mapFromGlobal(QCursor::pos()));
        while (under && !qobject_cast<DayCell*>(under))
            under = under->parentWidget();
        QVERIFY(under);
        shoot(QStringLiteral("opening-%1").arg(composited));

        xdotool({"mousemove", onNotch[0], QString::number(onNotch[1].toInt() + 2), "click", "1"});
        QVERIFY_SOON(world->state().pinned());
        QVERIFY(!world->state().selectedEvent());
        QCOMPARE(world->store->selectedDate(), today);
        QVERIFY(!under->underMouse());

        // Shown, it takes clicks (the main monitor's pixels are twice Qt's).
        clock.advanceBy(1000);
        QVERIFY(!world->controller->rootView()->isMorphing());
        shoot(QStringLiteral("expanded-%1").arg(composited));
        const QPoint day = under->mapToGlobal(under->rect().center()) * 2;
        xdotool({"mousemove", QString::number(day.x()), QString::number(day.y()), "click", "1"});
        QVERIFY_SOON(world->store->selectedDate() != today);
        world->controller->collapse();
        QVERIFY(clock.takeUpStarted());
        clock.advanceBy(200);
        shoot(QStringLiteral("collapsing-%1").arg(composited));
    }

    // A click that comes with the pointer reaches the window after it grew for the hover, placed in the
    // collapsed window's pixels: it is still a click on the notch.
    void aClickThatComesWithThePointer() {
        AnimationClock clock; // held: the agenda stays fading in
        Motion::setEnabled(true);
        const auto still = qScopeGuard([] { Motion::setEnabled(false); });
        const std::unique_ptr<PanelWorld> world = desktopWorld();
        const QDateTime today = world->store->selectedDate();
        xdotool(QStringList{"mousemove"} + onNotch + QStringList{"click", "1"});
        QVERIFY_SOON(world->state().pinned());
        QVERIFY(!world->state().selectedEvent());
        QCOMPARE(world->store->selectedDate(), today);
    }

    // A compositor that starts while the panel shows takes over its transparent margins at once; one
    // that stops leaves no black box: the window shows only the silhouette again. Either way only the
    // silhouette takes the pointer, and compositors are asked for no shadow of their own.
    void followsTheCompositor_data() {
        QTest::addColumn<bool>("expanded");
        QTest::newRow("expanded") << true;
        QTest::newRow("peek") << false;
    }

    void followsTheCompositor() {
        QFETCH(bool, expanded);
        const std::unique_ptr<PanelWorld> world = desktopWorld();
        if (expanded)
            world->controller->expand(true);
        else
            world->setPeek(true);
        QWidget* panel = world->controller->panel();
        const auto whole = [&] { return QRegion(QRect(QPoint(), deviceFrame(panel).size())); };
        const auto cutToTheSilhouette = [&] {
            const QRegion shown = shapeOf(panel, XCB_SHAPE_SK_BOUNDING);
            return shown != whole() && shown.boundingRect() == deviceOutline(*world, 2);
        };
        QVERIFY_SOON(cutToTheSilhouette());

        Compositor compositor;
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING), whole());
        QCOMPARE(shapeOf(panel, XCB_SHAPE_SK_INPUT), QRegion(deviceSilhouette(*world, 2)));
        QCOMPARE(X11Tools::run(QStringLiteral("xprop"),
                               {"-id", QString::number(panel->winId()), "_COMPTON_SHADOW"}),
                 "_COMPTON_SHADOW(CARDINAL) = 0");
        compositor.stop();
        QVERIFY_SOON(cutToTheSilhouette());
    }

    // A compositor that came while the check was being asked, its news read along with the answer
    // before the event loop turned, is still reported.
    void aCompositorThatCameWithAnAnswerIsReported() {
        const std::unique_ptr<CompositorCheck> check = X11Platform::compositorCheck();
        QSignalSpy changes(check.get(), &CompositorCheck::changed);
        // The test takes the selection itself, as a compositor starting does; once the server has
        // answered it, the check's news of it are on their way, ahead of any answer it asks for.
        const xcb_window_t owner = xcb_generate_id(connection());
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
        xcb_create_window(connection(), XCB_COPY_FROM_PARENT, owner, root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const auto gone = qScopeGuard([owner] {
            xcb_destroy_window(connection(), owner);
            xcb_flush(connection());
        });
        xcb_intern_atom_reply_t* selection = xcb_intern_atom_reply(
            connection(), xcb_intern_atom(connection(), 0, 13, "_NET_WM_CM_S0"), nullptr);
        QVERIFY(selection);
        xcb_set_selection_owner(connection(), owner, selection->atom, XCB_CURRENT_TIME);
        std::free(selection);
        std::free(xcb_get_input_focus_reply(connection(), xcb_get_input_focus(connection()), nullptr));
        QVERIFY(check->compositing());
        QVERIFY_SOON(changes.count() > 0);
    }

    // The main monitor changes from the one at scale 2 to the one at scale 1 while the panel is open
    // (no compositor): the cut follows the window into the new screen's pixels, also where Qt's window
    // mask makes it (which Qt turns into pixels once, when it is set).
    void aNewScaleCutsAgain_data() {
        QTest::addColumn<bool>("qtMask");
        QTest::newRow("X11 shapes") << false;
        QTest::newRow("Qt's window mask") << true;
    }

    void aNewScaleCutsAgain() {
        QFETCH(bool, qtMask);
        Monitors* monitors = nullptr;
        const std::unique_ptr<PanelWorld> world = desktopWorld(&monitors, qtMask);
        world->controller->expand(true);
        QWidget* panel = world->controller->panel();
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING).boundingRect(), deviceOutline(*world, 2));

        monitors->main = 1;
        emit monitors->changed();
        QCOMPARE_SOON(deviceFrame(panel).left(), 1280 + (1280 - 672) / 2);
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING).boundingRect(), deviceOutline(*world, 1));
        if (!qtMask)
            QCOMPARE(shapeOf(panel, XCB_SHAPE_SK_INPUT), QRegion(deviceSilhouette(*world, 1)));
    }

    // The main monitor is switched off while the panel shows: on the other one, of another scale, the
    // window takes its whole frame in that monitor's pixels, centred and cut to the silhouette.
    void theMainMonitorGoesAway_data() {
        QTest::addColumn<QString>("gone");
        QTest::addColumn<NotchMode>("mode");
        QTest::newRow("x2 gone, peek") << "left" << NotchMode::peek;
        QTest::newRow("x2 gone, expanded") << "left" << NotchMode::expanded;
        QTest::newRow("x1 gone, alert") << "right" << NotchMode::alert;
        QTest::newRow("x1 gone, expanded") << "right" << NotchMode::expanded;
    }

    void theMainMonitorGoesAway() {
        QFETCH(QString, gone);
        QFETCH(NotchMode, mode);
        const bool leftGoes = gone == u"left";
        const qreal scale = leftGoes ? 1 : 2; // of the monitor that stays
        Monitors* monitors = nullptr;
        const std::unique_ptr<PanelWorld> world = desktopWorld(&monitors);
        monitors->main = leftGoes ? 0 : 1;
        emit monitors->changed();
        if (mode == NotchMode::expanded)
            world->controller->expand(true);
        else if (mode == NotchMode::peek)
            world->setPeek(true);
        else
            world->showAlert();
        QWidget* panel = world->controller->panel();
        const qreal before = leftGoes ? 2 : 1;
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING).boundingRect(), deviceOutline(*world, before));

        const qsizetype screens = QGuiApplication::screens().size();
        const auto back = qScopeGuard([&] {
            QVERIFY(setMonitor(gone));
            QCOMPARE_SOON(QGuiApplication::screens().size(), screens);
        });
        // Switched off while the app runs, so that its news and the window's move come in Qt's order.
        QProcess off;
        off.start(QStringLiteral("xrandr"), {"--delmonitor", gone});
        QVERIFY_SOON(off.state() == QProcess::NotRunning);
        QCOMPARE_SOON(QGuiApplication::screens().size(), screens - 1);
        const QSizeF size = NotchLayout::windowFrame(world->state().geometry(), mode).size();
        QCOMPARE_SOON(deviceFrame(panel).size(), (size * scale).toSize());
        QVERIFY(std::abs(deviceFrame(panel).center().x() - (leftGoes ? 1280 + 640 : 640)) <= 1);
        QCOMPARE(deviceFrame(panel).top(), 0);
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING).boundingRect(), deviceOutline(*world, scale));
        QCOMPARE(shapeOf(panel, XCB_SHAPE_SK_INPUT), QRegion(deviceSilhouette(*world, scale)));
        shoot(QStringLiteral("gone-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
    }

    // The settings window is 520 high; the main monitor's 400 hold it only shortened, and its title
    // bar and bottom stay on the monitor.
    void theSettingsWindowStaysOnASmallScaledScreen() {
        SettingsOpener::open();
        QWidget* window = SettingsOpener::window();
        QVERIFY(QTest::qWaitForWindowExposed(window, Patience::ms));
        QVERIFY(window->height() < SettingsView::windowSize.height());
        QVERIFY2(QRect(0, 0, 1280, 800).contains(deviceFrame(window)),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(deviceFrame(window).x())
                                .arg(deviceFrame(window).y())
                                .arg(deviceFrame(window).width())
                                .arg(deviceFrame(window).height())));
        shoot(QStringLiteral("settings"));
        window->close();
    }
};

namespace {

// Two monitors on one screen of the server: the left one the main one. The desktop gets a colour
// for the black panel to show against.
bool addMonitors() {
    if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty())
        return false;
    QProcess::execute(QStringLiteral("xsetroot"), {"-solid", "#4a6d8c"});
    return setMonitor(QStringLiteral("left")) && setMonitor(QStringLiteral("right"));
}

} // namespace

int main(int argc, char** argv) {
    // The display exists before the application connects to it.
    XvfbServer xvfb;
    if (xvfb.start({2560, 800}) && addMonitors())
        qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_SCREEN_SCALE_FACTORS", "left=2;right=1");
    QApplication app(argc, argv);
    TestPanelDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_paneldesktop.moc"
