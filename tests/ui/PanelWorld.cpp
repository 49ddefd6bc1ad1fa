#include "PanelWorld.h"

#include "core/settings/SettingsLocations.h"
#include "support/Patience.h"
#include "support/TestEvents.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"

#include <QTest>

namespace {

// The offscreen platform cannot raise or shape windows, and says so on every call.
QtMessageHandler previousHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtWarningMsg || !message.contains(QLatin1String("This plugin does not support")))
        previousHandler(type, context, message);
}

// Puts a new fake into the platform's slot, unless it holds a part already, and answers it.
template <typename Fake, typename Slot> Fake* install(Slot& slot) {
    if (slot)
        return nullptr;
    auto made = std::make_unique<Fake>();
    Fake* fake = made.get();
    slot = std::move(made);
    return fake;
}

} // namespace

PanelWorld::PanelWorld(NotchController::Platform platform)
    : clock(TestEvents::at(QStringLiteral("2026-03-04 10:00"))) {
    if (!previousHandler)
        previousHandler = qInstallMessageHandler(quietHandler);
    settings = std::make_unique<AppSettings>(SettingsLocations::standard());
    EventStore::Environment environment;
    environment.settings = settings.get();
    environment.clock = clock.clock();
    environment.timers = clock.timers();
    store = std::make_unique<EventStore>(std::move(environment));

    std::unique_ptr<KeyGrab> grab;
    keys = install<FakeKeyGrab>(grab);
    HotKey::setBackend(std::move(grab));

    screens = install<FakeScreens>(platform.screens);
    clicks = install<FakeClicks>(platform.clicks);
    focus = install<FakeFocus>(platform.focus);
    install<FakeCompositor>(platform.compositor);
    if (!platform.ownWindowAt)
        platform.ownWindowAt = [this](QPoint at) { return ownWindows.contains(at); };
    controller = std::make_unique<NotchController>(*store, *settings, std::move(platform));
    // The offscreen platform moves the pointer into exposed windows only.
    if (!QTest::qWaitForWindowExposed(controller->panel(), Patience::ms))
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
    return NotchLayout::windowFrame({QRectF(0, 0, 1512, 982), QSizeF(180, 24), false}, mode).toRect();
}

void PanelWorld::setPeek(bool present) {
    const QDateTime now = clock.now();
    store->installSampleEvents(
        present ? QList{TestEvents::timed("s", "Standup", now.addSecs(300), now.addSecs(1200))}
                : QList<CalEvent>());
}

void PanelWorld::showAlert() {
    const QDateTime now = clock.now();
    store->showAlert({TestEvents::timed("r", "Design review", now.addSecs(120), now.addSecs(1800)),
                      MeetingAlert::Kind::imminent, now});
}
