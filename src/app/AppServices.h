#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

// What start-up and the URL scheme ask of the notch panel.
class NotchControl {
public:
    virtual ~NotchControl() = default;
    virtual void expand(bool pinned) = 0;
    virtual void openQuickAdd(const QString& prefill) = 0;
};

// Everything the app delegate reaches beyond itself: the developer modes, the other running
// instance, the display, and the app's parts (menu, notch panel, event store, settings window, alert
// preview). Tests drive start-up and URL handling through a fake; the app binds the real parts in
// DefaultAppServices, where the subsystems that arrive later plug in.
class AppServices {
public:
    enum class Forwarding {
        NoOtherInstance, // this process is the running instance from now on
        Forwarded,       // the running instance took the requests
        Unreachable,     // another instance runs but could not be reached
    };

    virtual ~AppServices() = default;

    // The developer modes, offered the launch in this order; each answers whether it ran. The
    // snapshot mode answers with the process's exit status when it ran (not 0 when a picture could
    // not be made).
    virtual std::optional<int> runSnapshot(const QStringList& arguments) = 0;
    virtual bool runCalendarDiagnostics(const QStringList& arguments) = 0;
    virtual bool runParseDiagnostics(const QStringList& arguments) = 0;
    // Ends the process by itself when it ran.
    virtual bool runLoopbackTest(const QStringList& arguments) = 0;

    // Hands "reopen" or "vorrindel:" URLs to an instance that is already running.
    virtual Forwarding forwardToRunningInstance(const QStringList& requests) = 0;
    // Requests of later launches arrive through `received`, on the event loop.
    virtual void acceptForwardedRequests(std::function<void(const QStringList&)> received) = 0;

    // Whether there is a display to show the app on; developer modes run without one.
    virtual bool hasDisplay() = 0;
    // The tray icon and its menu.
    virtual void showMenuBar() = 0;
    // The one notch controller, owned by the services and kept for the life of the process; null
    // while the app has no panel.
    virtual NotchControl* createNotch() = 0;
    virtual void startStore() = 0;
    virtual void openSettings() = 0;
    virtual void previewAlert() = 0;

    // Runs `action` on the event loop after `delay`, unless `context` has gone by then.
    virtual void runLater(std::chrono::milliseconds delay, QObject* context,
                          std::function<void()> action) = 0;
    // Ends the event loop with this status.
    virtual void terminate(int status) = 0;
};
