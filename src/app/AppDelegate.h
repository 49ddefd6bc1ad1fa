#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QSystemTrayIcon;
class QMenu;

// Runs the start-up: offers the launch to the developer modes, then sets up the tray icon.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QStringList arguments, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Called once from inside the event loop.
    void applicationDidFinishLaunching();

private:
    QStringList m_arguments;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
};
