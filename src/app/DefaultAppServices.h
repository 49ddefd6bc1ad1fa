#pragma once

#include "app/AppServices.h"
#include "app/SingleInstance.h"

#include <memory>

class TrayIcon;

// The app's own parts behind AppServices. Parts that do not exist yet do nothing: no notch panel.
class DefaultAppServices : public AppServices {
public:
    explicit DefaultAppServices(bool hasDisplay);
    ~DefaultAppServices() override;

    bool runSnapshot(const QStringList& arguments) override;
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
    NotchControl* m_notch = nullptr; // the panel, once there is one; the tray menu reaches it here
};
