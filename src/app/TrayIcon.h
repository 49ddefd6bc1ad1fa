#pragma once

#include "app/MenuBarMenu.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QRect>
#include <QTimer>

#include <memory>

class QSystemTrayIcon;

// How the tray icon suits the panel it sits on.
namespace TrayIconArt {

// The panel's colour in a picture of the icon's place on screen: the icon leaves its corners bare, so
// they show the panel. Invalid for an empty picture.
QColor panelColor(const QImage& shot);
// The app's picture at the tray's sizes, drawn to read on a panel of that colour.
QIcon icon(const QColor& panel);

} // namespace TrayIconArt

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
    // The colour the icon is drawn for.
    QColor panel() const { return m_panel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void matchPanel();

    std::unique_ptr<MenuBarMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QColor m_panel;
    QTimer m_settling;
    QRect m_lastPlace;
    int m_looks = 0;
    int m_steadyLooks = 0;
};
