#pragma once

#include "core/model/CalEvent.h"
#include "platform/UrlOpener.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class AppSettings;
class EventStore;
class NotchControl;
class QAction;
class QMenu;

// One entry of the tray menu, as its QAction receives it.
struct MenuEntry {
    enum class Kind { text, separator, button };
    enum class Action {
        none,
        join,
        connectGoogle,
        newEvent,
        openPanel,
        refresh,
        enableCalendarAccess,
        grantCalendarAccess,
        settings,
        quit,
    };

    Kind kind = Kind::separator;
    // Every "&" doubled: a QAction takes a single one for a mnemonic, and titles come from events.
    QString text;
    // Shown beside the title only: a tray menu belongs to no focused window.
    QKeySequence shortcut;
    Action action = Action::none;
    // The meeting that Join opens.
    std::optional<CalEvent> event;
};

// The tray menu top to bottom: the next event of today (and Join when it starts within 15 minutes
// or runs), connecting Google while it is on offer, new event, the panel, refresh, calendar access
// while the calendar folder cannot be read, settings and quit.
QList<MenuEntry> menuEntries(const EventStore& store, const AppSettings& settings);

// The tray menu itself: a QMenu kept equal to menuEntries() and the actions behind its entries. It
// follows every publish of the store and the settings, also while it is open, updating its entries
// in place so that the entry under the pointer stays highlighted; a tray host that shows an exported
// copy of the menu without asking first still sees it current.
class MenuBarMenu : public QObject {
    Q_OBJECT
public:
    // What the entries reach beyond the store.
    struct Hooks {
        std::function<NotchControl*()> notch; // null while the app has no panel
        UrlOpener openUrl;                    // shows the calendar folder
        std::function<void()> openSettings;
        std::function<void()> quit;
    };

    MenuBarMenu(EventStore& store, AppSettings& settings, Hooks hooks, QObject* parent = nullptr);
    ~MenuBarMenu() override;

    QMenu* menu() const { return m_menu.get(); }
    // Brings the QMenu in line with the entries of this moment.
    void refresh();

private:
    void perform(MenuEntry::Action action);

    EventStore& m_store;
    AppSettings& m_settings;
    Hooks m_hooks;
    std::unique_ptr<QMenu> m_menu;
    QList<MenuEntry> m_entries;
};
