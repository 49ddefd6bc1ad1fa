#pragma once

#include <QObject>

#include <memory>

class QMenu;
class QSystemTrayIcon;

// The app's icon in the system tray with its menu; either mouse button opens the menu, as a menu-bar
// icon does.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    void show();

private:
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
};
