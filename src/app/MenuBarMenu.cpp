#include "app/MenuBarMenu.h"

#include "app/AppServices.h"
#include "core/calendar/CalendarStore.h"
#include "core/model/Fmt.h"
#include "core/model/MeetingLink.h"
#include "core/model/Tasks.h"
#include "core/model/TextRules.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QTimer>

namespace {

// A meeting this close to its start (or already running) can be joined from the menu.
constexpr qint64 joinWindowMs = 900 * 1000;

MenuEntry text(const QString& title) {
    return {MenuEntry::Kind::text, title, {}, MenuEntry::Action::none, std::nullopt};
}

MenuEntry separator() {
    return {};
}

MenuEntry button(const QString& title, MenuEntry::Action action, const QKeySequence& shortcut = {}) {
    return {MenuEntry::Kind::button, title, shortcut, action, std::nullopt};
}

// A title as a QAction shows it: a single "&" would mark a mnemonic, and a tab would start the
// shortcut column.
QString menuText(QString title) {
    for (QChar& c : title) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return title.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// What identifies an entry across rebuilds: its action, or for the next-event line its kind. A
// separator belongs to the entry after it, so it goes and comes back with that entry.
QStringList keysOf(const QList<MenuEntry>& entries) {
    QStringList keys(entries.size());
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        const MenuEntry& entry = entries[i];
        switch (entry.kind) {
        case MenuEntry::Kind::text:
            keys[i] = QStringLiteral("text");
            break;
        case MenuEntry::Kind::button:
            keys[i] = QString::number(int(entry.action));
            break;
        case MenuEntry::Kind::separator:
            keys[i] = QStringLiteral("separator before ") + (i + 1 < keys.size() ? keys[i + 1] : QString());
            break;
        }
    }
    return keys;
}

QCoro::Task<> grantCalendarAccess(QPointer<EventStore> store) {
    co_await store->calendar().requestAccess();
    if (!store)
        co_return;
    co_await store->refreshAll();
}

} // namespace

QList<MenuEntry> menuEntries(const EventStore& store, const AppSettings& settings) {
    using Action = MenuEntry::Action;
    QList<MenuEntry> entries;

    const std::optional<CalEvent> next = store.nextEvent(store.cal().startOfDay(store.now()));
    if (next) {
        // The menu sizes itself to its longest entry: only as much of the title as a screen shows.
        entries << text(menuText(QStringLiteral("Next: ") + TextRules::cutToScreen(next->title) +
                                 QStringLiteral(" · ") + Fmt::time(next->start, store.cal())));
        // No lower bound: the entry stays while the meeting runs.
        const std::optional<QUrl> link = next->meetingURL();
        if (link && store.now().msecsTo(next->start) < joinWindowMs) {
            MenuEntry join =
                button(menuText(QStringLiteral("Join ") + MeetingLink::serviceName(*link)), Action::join);
            join.event = next;
            entries << join;
        }
    } else {
        entries << text(QStringLiteral("No more events today"));
    }

    if (settings.canOfferGoogle())
        entries << separator() << button(QStringLiteral("Connect Google Calendar…"), Action::connectGoogle);
    entries << separator();
    entries << button(QStringLiteral("New Event…"), Action::newEvent, QKeySequence(Qt::CTRL | Qt::Key_N));
    entries << button(QStringLiteral("Open Panel"), Action::openPanel);
    entries << button(QStringLiteral("Refresh"), Action::refresh);

    const CalendarStore& calendar = store.calendar();
    if (calendar.status() != CalendarAccess::fullAccess) {
        entries << separator();
        if (calendar.isDenied())
            entries << button(QStringLiteral("Enable Calendar Access…"), Action::enableCalendarAccess);
        else
            entries << button(QStringLiteral("Grant Calendar Access…"), Action::grantCalendarAccess);
    }

    entries << separator();
    entries << button(QStringLiteral("Settings…"), Action::settings, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    entries << separator();
    entries << button(QStringLiteral("Quit Vorrindel"), Action::quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    return entries;
}

MenuBarMenu::MenuBarMenu(EventStore& store, AppSettings& settings, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_settings(settings)
    , m_hooks(std::move(hooks))
    , m_menu(std::make_unique<QMenu>()) {
    m_menu->setAccessibleName(QStringLiteral("Vorrindel"));
    connect(m_menu.get(), &QMenu::aboutToShow, this, &MenuBarMenu::refresh);
    connect(&m_store, &EventStore::changed, this, &MenuBarMenu::refresh);
    connect(&m_settings, &AppSettings::changed, this, &MenuBarMenu::refresh);
    refresh();
}

MenuBarMenu::~MenuBarMenu() = default;

void MenuBarMenu::refresh() {
    m_entries = menuEntries(m_store, m_settings);
    const QStringList keys = keysOf(m_entries);

    for (QAction* action : m_menu->actions()) {
        if (!keys.contains(action->data().toString())) {
            m_menu->removeAction(action);
            delete action;
        }
    }
    // The entries keep their order, so what is left of the old actions is in the new order too; a
    // new entry goes in before the first old action that is not yet in place.
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const MenuEntry& entry = m_entries[i];
        const QList<QAction*> present = m_menu->actions();
        QAction* action = i < present.size() ? present[i] : nullptr;
        if (!action || action->data().toString() != keys[i]) {
            QAction* before = action;
            action = new QAction(m_menu.get());
            action->setData(keys[i]);
            action->setSeparator(entry.kind == MenuEntry::Kind::separator);
            if (entry.kind == MenuEntry::Kind::button) {
                connect(action, &QAction::triggered, this, [this, todo = entry.action] { perform(todo); });
            }
            m_menu->insertAction(before, action);
        }
        action->setText(entry.text);
        action->setEnabled(entry.kind == MenuEntry::Kind::button);
        action->setShortcut(entry.shortcut);
    }
}

void MenuBarMenu::perform(MenuEntry::Action action) {
    using Action = MenuEntry::Action;
    NotchControl* notch = m_hooks.notch ? m_hooks.notch() : nullptr;
    // Long work starts on the event loop, once the menu has closed; nobody waits for it.
    EventStore* store = &m_store;
    switch (action) {
    case Action::join: {
        // A copy: joining publishes, and the menu rebuilds its entries.
        std::optional<CalEvent> meeting;
        for (const MenuEntry& entry : std::as_const(m_entries)) {
            if (entry.action == Action::join)
                meeting = entry.event;
        }
        if (meeting)
            m_store.join(m_store.current(*meeting));
        break;
    }
    case Action::connectGoogle:
        QTimer::singleShot(0, store, [store] {
            Tasks::startDetached(store->connectGoogle(), QStringLiteral("Google sign-in"));
        });
        break;
    case Action::newEvent:
        if (notch)
            notch->openQuickAdd(QString());
        break;
    case Action::openPanel:
        if (notch)
            notch->expand(true);
        break;
    case Action::refresh:
        QTimer::singleShot(
            0, store, [store] { Tasks::startDetached(store->refreshAll(), QStringLiteral("Full refresh")); });
        break;
    case Action::enableCalendarAccess:
        CalendarStore::openPrivacySettings(m_hooks.openUrl);
        break;
    case Action::grantCalendarAccess:
        QTimer::singleShot(0, store, [store] {
            Tasks::startDetached(grantCalendarAccess(store), QStringLiteral("Calendar access"));
        });
        break;
    case Action::settings:
        if (m_hooks.openSettings)
            m_hooks.openSettings();
        break;
    case Action::quit:
        if (m_hooks.quit)
            m_hooks.quit();
        break;
    case Action::none:
        break;
    }
}
