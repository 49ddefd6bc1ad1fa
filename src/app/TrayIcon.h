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
// Whether a picture of the icon's place shows `icon` as drawn there, on a panel of one colour: not
// covered by a window or a menu, nor blank before the tray has drawn it.
bool showsIcon(const QImage& shot, const QIcon& icon);
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
    // Whether the icon is being looked at often, while a tray settles it into its place. Once it has
    // settled, the icon is looked at on the store's tick.
    bool settling() const { return m_looks < maxLooks; }
    // Whether the icon's own timer for those looks runs: it stops once the icon has settled, so that
    // an idle app is not woken for them.
    bool looking() const { return m_looking.isActive(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int maxLooks = 40;

    void settle();
    void look();
    // The panel at the icon's `place` on screen. `checked`: the colour seen counts only where the icon
    // itself shows as drawn; false where it does not.
    bool matchPanel(const QRect& place, bool checked = false);

    std::unique_ptr<MenuBarMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QColor m_panel;
    QTimer m_looking;
    QRect m_lastPlace;
    int m_looks = maxLooks;
    int m_steadyLooks = 0;
};
