#pragma once

#include "app/MenuBarMenu.h"

#include <QObject>

#include <memory>

class QSystemTrayIcon;

// The app's icon in the system tray with its menu; either mouse button opens the menu, as a menu-bar
// icon does.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(EventStore& store, AppSettings& settings, MenuBarMenu::Hooks hooks, QObject* parent = nullptr);
    ~TrayIcon() override;

    void show();

    MenuBarMenu& menu() const { return *m_menu; }
    QSystemTrayIcon& icon() const { return *m_tray; }

private:
    std::unique_ptr<MenuBarMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
};
