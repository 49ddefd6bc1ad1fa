#include "PanelWorld.h"

#include "core/settings/SettingsLocations.h"
#include "support/TestEvents.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"

#include <QTest>

namespace {

// The offscreen platform cannot raise or shape windows, and says so on every call.
QtMessageHandler previous = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && (message.contains(QLatin1String("does not support raise()")) ||
                                 message.contains(QLatin1String("does not support setting window masks"))))
        return;
    previous(type, context, message);
}

const NotchGeometry screenGeometry{QRectF(0, 0, 1512, 982), QSizeF(180, 24), false};

} // namespace

PanelWorld::PanelWorld(bool compositing)
    : clock(TestEvents::at(QStringLiteral("2026-03-04 10:00"))) {
    static const bool quiet = [] {
        previous = qInstallMessageHandler(quietHandler);
        return true;
    }();
    Q_UNUSED(quiet);
    settings = std::make_unique<AppSettings>(SettingsLocations::standard());
    EventStore::Environment environment;
    environment.settings = settings.get();
    environment.clock = clock.clock();
    environment.timers = clock.timers();
    store = std::make_unique<EventStore>(std::move(environment));

    auto grab = std::make_unique<FakeKeyGrab>();
    keys = grab.get();
    HotKey::setBackend(std::move(grab));

    NotchController::Platform platform;
    platform.screens = std::make_unique<FakeScreens>();
    screens = static_cast<FakeScreens*>(platform.screens.get());
    platform.clicks = std::make_unique<FakeClicks>();
    clicks = static_cast<FakeClicks*>(platform.clicks.get());
    platform.focus = std::make_unique<FakeFocus>();
    focus = static_cast<FakeFocus*>(platform.focus.get());
    platform.compositor = std::make_unique<FakeCompositor>();
    compositor = static_cast<FakeCompositor*>(platform.compositor.get());
    compositor->on = compositing;
    platform.ownWindowAt = [this](QPoint at) { return ownWindows.contains(at); };
    controller = std::make_unique<NotchController>(*store, *settings, std::move(platform));
    // The offscreen platform moves the pointer into exposed windows only.
    if (!QTest::qWaitForWindowExposed(controller->panel()))
        qFatal("the panel never showed");
}

PanelWorld::~PanelWorld() {
    controller.reset();
    HotKey::setBackend(nullptr);
}

QRect PanelWorld::frame() const {
    return controller->panel()->geometry();
}

QRect PanelWorld::frameOf(NotchMode mode) {
    return NotchLayout::windowFrame(screenGeometry, mode).toRect();
}

void PanelWorld::setPeek(bool present) {
    QList<CalEvent> events;
    if (present)
        events.append(
            TestEvents::timed("standup", "Standup", clock.now().addSecs(300), clock.now().addSecs(1200)));
    store->installSampleEvents(events);
}

void PanelWorld::showAlert() {
    const CalEvent event =
        TestEvents::timed("review", "Design review", clock.now().addSecs(120), clock.now().addSecs(1800));
    store->showAlert({event, MeetingAlert::Kind::imminent, clock.now()});
}
