#include "app/DefaultAppServices.h"

#include "app/TrayIcon.h"
#include "core/model/DebugLog.h"
#include "core/model/Tasks.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "devtools/CalendarDiagnostics.h"
#include "devtools/ParseDiagnostics.h"
#include "devtools/Snapshot.h"
#include "platform/CanberraAlertSound.h"
#include "platform/LogindWakeNotifier.h"
#include "platform/UrlOpener.h"
#include "platform/x11/X11Platform.h"
#include "ui/notch/NotchController.h"
#include "ui/settings/SettingsOpener.h"

#include <QCoreApplication>
#include <QTimer>

DefaultAppServices::DefaultAppServices(bool hasDisplay)
    : m_hasDisplay(hasDisplay) {
    // Bound before anything can reach the store (the notch panel, the developer modes).
    EventStore::Environment store;
    store.sound = std::make_shared<CanberraAlertSound>();
    store.wake = new LogindWakeNotifier(qApp);
    store.openUrl = desktopUrlOpener();
    EventStore::setSharedEnvironment(std::move(store));
}

DefaultAppServices::~DefaultAppServices() = default;

std::optional<int> DefaultAppServices::runSnapshot(const QStringList& arguments) {
    return Snapshot::runIfRequested(arguments);
}

bool DefaultAppServices::runCalendarDiagnostics(const QStringList& arguments) {
    return CalendarDiagnostics::runIfRequested(arguments);
}

bool DefaultAppServices::runParseDiagnostics(const QStringList& arguments) {
    return ParseDiagnostics::runIfRequested(arguments);
}

bool DefaultAppServices::runLoopbackTest(const QStringList& arguments) {
    return Snapshot::runLoopbackTestIfRequested(arguments);
}

AppServices::Forwarding DefaultAppServices::forwardToRunningInstance(const QStringList& requests) {
    m_instance = std::make_unique<SingleInstance>(SingleInstance::defaultFolder());
    switch (m_instance->claimOrForward(requests)) {
    case SingleInstance::Role::First:
        return Forwarding::NoOtherInstance;
    case SingleInstance::Role::Forwarded:
        return Forwarding::Forwarded;
    case SingleInstance::Role::Unreachable:
        break;
    }
    return Forwarding::Unreachable;
}

void DefaultAppServices::acceptForwardedRequests(std::function<void(const QStringList&)> received) {
    QObject::connect(m_instance.get(), &SingleInstance::requestsReceived, m_instance.get(),
                     std::move(received));
    if (!m_instance->listen())
        DebugLog::log([] { return QStringLiteral("single instance: cannot listen for later launches"); });
    // A quit lets go at once, before anything that may wait: a read stuck on a hung mount can keep
    // the process from ending long after, and a launch meanwhile must not find it still claiming.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, m_instance.get(), &SingleInstance::release);
}

void DefaultAppServices::showMenuBar() {
    // The menu shows the settings; creating them here also runs the one-time migration at start.
    AppSettings& settings = AppSettings::shared();
    MenuBarMenu::Hooks hooks;
    hooks.notch = [this] { return m_notchControl.get(); };
    hooks.openUrl = desktopUrlOpener();
    hooks.openSettings = [] { SettingsOpener::open(); };
    hooks.quit = [] { QCoreApplication::quit(); };
    m_tray = std::make_unique<TrayIcon>(EventStore::shared(), settings, std::move(hooks));
    m_tray->show();
}

namespace {

// What start-up, the URL scheme and the tray ask of the panel.
class ControllerControl final : public NotchControl {
public:
    explicit ControllerControl(NotchController& controller)
        : m_controller(controller) {}
    void expand(bool pinned) override { m_controller.expand(pinned); }
    void openQuickAdd(const QString& prefill) override { m_controller.openQuickAdd(prefill); }

private:
    NotchController& m_controller;
};

} // namespace

NotchControl* DefaultAppServices::createNotch() {
    NotchController::Platform platform;
    if (X11Platform::available()) {
        platform.screens = X11Platform::screenSource();
        platform.clicks = X11Platform::clickMonitor();
        platform.focus = X11Platform::focusBroker();
        platform.compositor = X11Platform::compositorCheck();
        platform.shaper = X11Platform::windowShaper();
        HotKey::setBackend(X11Platform::keyGrab());
    }
    m_notch =
        std::make_unique<NotchController>(EventStore::shared(), AppSettings::shared(), std::move(platform));
    m_notchControl = std::make_unique<ControllerControl>(*m_notch);
    return m_notchControl.get();
}

void DefaultAppServices::startStore() {
    // The delegate already runs this on the event loop after start-up.
    Tasks::startDetached(EventStore::shared().start(), QStringLiteral("Start-up"));
}

void DefaultAppServices::openSettings() {
    SettingsOpener::open();
}

void DefaultAppServices::previewAlert() {
    EventStore::shared().previewAlert();
}

void DefaultAppServices::runLater(std::chrono::milliseconds delay, QObject* context,
                                  std::function<void()> action) {
    QTimer::singleShot(delay, context, std::move(action));
}

void DefaultAppServices::terminate(int status) {
    QCoreApplication::exit(status);
}
