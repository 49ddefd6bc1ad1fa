// The panel on a real X server whose desktop changes under it, with two monitors side by side. On
// Xvfb they are RandR monitors of its one screen: the left one, the main one, at scale 2 (640 × 400 in
// Qt's pixels) and the right one at scale 1. Compositors (xcompmgr) start and stop while the panel
// shows, input comes from xdotool, and the window's shapes are read back from the server.
//
// With VORRINDEL_X_SERVER=xorg the monitors are real outputs of Xorg's dummy driver instead, DUMMY0
// 1920 × 1080 at scale 1 and DUMMY1 2560 × 1440 at scale 2 to its right, switched off as a real
// monitor is: the server then moves the one that stays, which Qt reports only in part. Only the test
// of a monitor going away runs there, one row to a server (tests/ui/CMakeLists.txt).
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
#include "support/XorgServer.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"
#include "ui/panel/WeekStrip.h"
#include "ui/settings/SettingsOpener.h"
#include "ui/settings/SettingsView.h"

#include <QApplication>
#include <QPainterPath>
#include <QRegularExpression>
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

// A monitor of the desktop: its name on the server (and to Qt) and its scale.
struct Monitor {
    QString name;
    qreal scale;
};

// The server the test runs on and its two monitors, left and right, as at the start.
struct Desktop {
    bool xorg = false;
    Monitor left{QStringLiteral("left"), 2}, right{QStringLiteral("right"), 1};

    const Monitor& ofScale(qreal scale) const { return left.scale == scale ? left : right; }
    const Monitor& other(const Monitor& monitor) const { return &monitor == &left ? right : left; }
    // The xrandr arguments that switch `monitor` off.
    QStringList off(const Monitor& monitor) const {
        return xorg ? QStringList{"--output", monitor.name, "--off"}
                    : QStringList{"--delmonitor", monitor.name};
    }
};

Desktop desktop;

// The two monitors as the app sees them (not Xvfb's whole screen, which Qt counts as a third), with
// its news of their changes; the test says which is the main one.
class Monitors final : public ScreenSource {
public:
    Monitors() { connect(app.get(), &ScreenSource::changed, this, &ScreenSource::changed); }
    QList<ScreenInfo> screens() const override {
        const QList<ScreenInfo> all = app->screens(); // in Qt's order
        QList<ScreenInfo> list;
        for (const qsizetype i : ours())
            list.append(all.value(i));
        return list;
    }
    int primaryIndex() const override {
        const QList<QScreen*> all = QGuiApplication::screens();
        const QList<qsizetype> listed = ours();
        for (qsizetype i = 0; i < listed.size(); ++i) {
            if (all[listed[i]]->name() == main)
                return int(i);
        }
        return -1;
    }
    QString main = desktop.left.name;
    std::unique_ptr<ScreenSource> app = X11Platform::screenSource();

private:
    // The places of the two monitors among Qt's screens.
    static QList<qsizetype> ours() {
        const QList<QScreen*> all = QGuiApplication::screens();
        QList<qsizetype> places;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (all[i]->name() == desktop.left.name || all[i]->name() == desktop.right.name)
                places.append(i);
        }
        return places;
    }
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

// Adds a monitor to Xvfb's screen: "left", the main one, on its left half, "right" on the other.
bool setMonitor(const QString& name) {
    const bool left = name == u"left";
    return QProcess::execute(QStringLiteral("xrandr"),
                             {"--setmonitor", left ? QStringLiteral("*left") : name,
                              left ? "1280/338x800/211+0+0" : "1280/338x800/211+1280+0", "none"}) == 0;
}

bool xrandr(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xrandr"), arguments) == 0;
}

// Xorg's two outputs as at the start, whichever of them is off.
bool setOutputs() {
    return xrandr({"--output", "DUMMY0", "--mode", "1920x1080", "--pos", "0x0", "--primary", "--output",
                   "DUMMY1", "--mode", "2560x1440", "--pos", "1920x0"});
}

// Puts `monitor` back as at the start.
bool putBack(const Monitor& monitor) {
    return desktop.xorg ? setOutputs() : setMonitor(monitor.name);
}

// The monitor's rectangle on the server's screen, as xrandr lists it; empty while it is off.
QRect serverMonitor(const QString& name) {
    const QRegularExpressionMatch found =
        QRegularExpression(QStringLiteral(R"(^ *\d+: [+*]*%1 (\d+)/\d+x(\d+)/\d+\+(\d+)\+(\d+))").arg(name),
                           QRegularExpression::MultilineOption)
            .match(X11Tools::run(QStringLiteral("xrandr"), {"--listmonitors"}));
    return found.hasMatch() ? QRect(found.captured(3).toInt(), found.captured(4).toInt(),
                                    found.captured(1).toInt(), found.captured(2).toInt())
                            : QRect();
}

void show(PanelWorld& world, NotchMode mode) {
    if (mode == NotchMode::expanded)
        world.controller->expand(true);
    else if (mode == NotchMode::peek)
        world.setPeek(true);
    else
        world.showAlert();
}

} // namespace

class TestPanelDesktop : public QObject {
    Q_OBJECT
    TempHome m_home; // for the app's own settings and store, which the settings window shows

private Q_SLOTS:
    void initTestCase() {
        if (QGuiApplication::platformName() != u"xcb")
            QSKIP("SKIP: no X server with two monitors (scripts/deps.sh --tests)");
        for (const char* tool : {"xdotool", "xcompmgr", "xprop"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("SKIP: %1 is not installed").arg(QLatin1String(tool))));
        }
        for (const Monitor& monitor : {desktop.left, desktop.right}) {
            const QList<QScreen*> all = QGuiApplication::screens();
            const auto found =
                std::find_if(all.begin(), all.end(), [&](QScreen* s) { return s->name() == monitor.name; });
            QVERIFY(found != all.end());
            QCOMPARE((*found)->devicePixelRatio(), monitor.scale);
        }
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

        monitors->main = desktop.right.name;
        emit monitors->changed();
        QCOMPARE_SOON(deviceFrame(panel).left(), 1280 + (1280 - 672) / 2);
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING).boundingRect(), deviceOutline(*world, 1));
        if (!qtMask)
            QCOMPARE(shapeOf(panel, XCB_SHAPE_SK_INPUT), QRegion(deviceSilhouette(*world, 1)));
    }

    // The main monitor is switched off while the panel shows: on the other one, of another scale, the
    // window takes its whole frame in that monitor's pixels at once, hanging centred from its top edge
    // (where the server moved it, on Xorg) and cut to the silhouette, as a panel started there is.
    void theMainMonitorGoesAway_data() {
        QTest::addColumn<qreal>("goneScale");
        QTest::addColumn<NotchMode>("mode");
        for (const qreal scale : {1, 2}) {
            for (const NotchMode mode : {NotchMode::peek, NotchMode::alert, NotchMode::expanded})
                QTest::addRow("x%g gone, %s", scale, modeName(mode)) << scale << mode;
        }
    }

    void theMainMonitorGoesAway() {
        QFETCH(qreal, goneScale);
        QFETCH(NotchMode, mode);
        const Monitor& gone = desktop.ofScale(goneScale);
        const Monitor& stays = desktop.other(gone);
        Monitors* monitors = nullptr;
        std::unique_ptr<PanelWorld> world = desktopWorld(&monitors);
        monitors->main = gone.name;
        emit monitors->changed();
        show(*world, mode);
        QWidget* panel = world->controller->panel();
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING).boundingRect(),
                      deviceOutline(*world, gone.scale));

        const qsizetype screens = QGuiApplication::screens().size();
        const auto back = qScopeGuard([&] {
            QVERIFY(putBack(gone));
            QCOMPARE_SOON(QGuiApplication::screens().size(), screens);
        });
        // Switched off while the app runs, so that its news and the window's move come in Qt's order.
        QProcess off;
        off.start(QStringLiteral("xrandr"), desktop.off(gone));
        QVERIFY_SOON(off.state() == QProcess::NotRunning);
        QCOMPARE_SOON(QGuiApplication::screens().size(), screens - 1);
        const QRect monitor = serverMonitor(stays.name);
        const QSizeF size = NotchLayout::windowFrame(world->state().geometry(), mode).size() * stays.scale;
        QCOMPARE_SOON(deviceFrame(panel).size(), size.toSize());
        const QRect frame = deviceFrame(panel);
        QVERIFY2(std::abs(frame.center().x() - monitor.center().x()) <= 1 && frame.top() == monitor.top(),
                 qPrintable(QDebug::toString(frame) + QDebug::toString(monitor)));
        QCOMPARE_SOON(shapeOf(panel, XCB_SHAPE_SK_BOUNDING).boundingRect(),
                      deviceOutline(*world, stays.scale));
        QCOMPARE(shapeOf(panel, XCB_SHAPE_SK_INPUT), QRegion(deviceSilhouette(*world, stays.scale)));
        shoot(QStringLiteral("gone-%1").arg(QTest::currentDataTag()).replace(' ', '-'));

        world.reset();
        const std::unique_ptr<PanelWorld> fresh = desktopWorld();
        show(*fresh, mode);
        QCOMPARE_SOON(deviceFrame(fresh->controller->panel()), frame);
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

// The desktop of the test: on Xvfb two monitors on one screen, on Xorg two outputs, the 2560 × 1440
// mode added to the second one. The desktop gets a colour for the black panel to show against.
bool setUpDesktop() {
    if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty())
        return false;
    QProcess::execute(QStringLiteral("xsetroot"), {"-solid", "#4a6d8c"});
    if (!desktop.xorg)
        return setMonitor(desktop.left.name) && setMonitor(desktop.right.name);
    return xrandr({"--newmode", "2560x1440", "312.25", "2560", "2752", "3024", "3488", "1440", "1443", "1448",
                   "1493", "-hsync", "+vsync"}) &&
           xrandr({"--addmode", "DUMMY1", "2560x1440"}) && setOutputs();
}

} // namespace

int main(int argc, char** argv) {
    // The display exists before the application connects to it.
    desktop.xorg = qEnvironmentVariable("VORRINDEL_X_SERVER") == u"xorg";
    if (desktop.xorg) {
        desktop.left = {QStringLiteral("DUMMY0"), 1};
        desktop.right = {QStringLiteral("DUMMY1"), 2};
    }
    XvfbServer xvfb;
    XorgServer xorg;
    if ((desktop.xorg ? xorg.start() : xvfb.start({2560, 800})) && setUpDesktop())
        qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_SCREEN_SCALE_FACTORS", QStringLiteral("%1=%2;%3=%4")
                                           .arg(desktop.left.name)
                                           .arg(desktop.left.scale)
                                           .arg(desktop.right.name)
                                           .arg(desktop.right.scale)
                                           .toUtf8());
    QApplication app(argc, argv);
    TestPanelDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_paneldesktop.moc"
