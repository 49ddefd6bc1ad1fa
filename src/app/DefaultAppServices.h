#pragma once

#include "app/AppServices.h"
#include "app/SingleInstance.h"

#include <memory>

class NotchController;
class TrayIcon;

// The app's own parts behind AppServices.
class DefaultAppServices : public AppServices {
public:
    explicit DefaultAppServices(bool hasDisplay);
    ~DefaultAppServices() override;

    std::optional<int> runSnapshot(const QStringList& arguments) override;
    bool runCalendarDiagnostics(const QStringList& arguments) override;
    bool runParseDiagnostics(const QStringList& arguments) override;
    bool runLoopbackTest(const QStringList& arguments) override;

    Forwarding forwardToRunningInstance(const QStringList& requests) override;
    void acceptForwardedRequests(std::function<void(const QStringList&)> received) override;

    bool hasDisplay() override { return m_hasDisplay; }
    void showMenuBar() override;
    NotchControl* createNotch() override;
    void startStore() override;
    void openSettings() override;
    void previewAlert() override;

    void runLater(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override;
    void terminate(int status) override;

private:
    bool m_hasDisplay;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<NotchController> m_notch;
    std::unique_ptr<NotchControl> m_notchControl; // the panel as the tray and start-up reach it
};
