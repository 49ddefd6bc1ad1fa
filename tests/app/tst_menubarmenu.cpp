#include "app/AppServices.h"
#include "app/MenuBarMenu.h"
#include "core/calendar/LocalCalendars.h"
#include "core/store/StoreHarness.h"
#include "support/TestEvents.h"

#include <QAction>
#include <QMenu>
#include <QTest>

Q_DECLARE_METATYPE(CalendarAccess)

namespace {

const QString meet = QStringLiteral("https://meet.google.com/abc-defg-hij");

// One line per entry: "--" for a separator, "~" before a disabled text, the shortcut in brackets.
QStringList describe(const QList<MenuEntry>& entries) {
    QStringList lines;
    for (const MenuEntry& entry : entries) {
        if (entry.kind == MenuEntry::Kind::separator) {
            lines << QStringLiteral("--");
            continue;
        }
        QString line = (entry.kind == MenuEntry::Kind::text ? QStringLiteral("~") : QString()) + entry.text;
        if (!entry.shortcut.isEmpty())
            line +=
                QStringLiteral(" [") + entry.shortcut.toString(QKeySequence::PortableText) + QLatin1Char(']');
        lines << line;
    }
    return lines;
}

// "title|HH:mm:ss|minutes|meeting link" for a meeting today, "title|all-day" for an all-day item.
QList<CalEvent> eventsOf(const StoreHarness& h, const QStringList& specs) {
    QList<CalEvent> events;
    for (const QString& spec : specs) {
        const QStringList f = spec.split(QLatin1Char('|'));
        if (f[1] == u"all-day") {
            events << TestEvents::allDay(f[0], f[0], h.at("2026-03-04 00:00"), h.at("2026-03-05 00:00"),
                                         EventSource::google);
            continue;
        }
        const QDateTime start = h.at("2026-03-04 " + f[1]);
        CalEvent event =
            TestEvents::timed(f[0], f[0], start, start.addSecs(f[2].toInt() * 60), EventSource::google);
        if (!f[3].isEmpty())
            event.location = f[3];
        events << event;
    }
    return events;
}

class RecordingNotch final : public NotchControl {
public:
    explicit RecordingNotch(QStringList& calls)
        : m_calls(calls) {}
    void expand(bool pinned) override { m_calls << (pinned ? "expand pinned" : "expand"); }
    void openQuickAdd(const QString& prefill) override { m_calls << "quick add \"" + prefill + '"'; }

private:
    QStringList& m_calls;
};

// The menu's store at Wednesday 4 March 2026, 10:00 in Berlin, on a 12-hour clock.
struct World {
    StoreHarness h{QStringLiteral("2026-03-04 10:00"), StoreHarness::berlin("en_US")};
    QStringList calls;
    RecordingNotch notch{calls};
    bool hasNotch = true;
    std::unique_ptr<MenuBarMenu> menu;

    TestableStore& start() {
        TestableStore& store = h.start();
        MenuBarMenu::Hooks hooks;
        hooks.notch = [this]() -> NotchControl* { return hasNotch ? &notch : nullptr; };
        hooks.openUrl = [this](const QUrl& url) {
            calls << "open " + url.toString();
            return true;
        };
        hooks.openSettings = [this] { calls << "settings"; };
        hooks.quit = [this] { calls << "quit"; };
        menu = std::make_unique<MenuBarMenu>(store, *h.settings, std::move(hooks));
        return store;
    }

    QAction* action(const QString& text) const {
        for (QAction* action : menu->menu()->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }
};

} // namespace

class TestMenuBarMenu : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nextEventAndJoin_data() {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("top");
        QTest::newRow("starts in 899 s: Join")
            << QStringList{"Standup|10:14:59|30|" + meet}
            << QStringList{"~Next: Standup · 10:14 am", "Join Google Meet"};
        QTest::newRow("starts in 900 s: not yet")
            << QStringList{"Standup|10:15:00|30|" + meet} << QStringList{"~Next: Standup · 10:15 am"};
        QTest::newRow("running for ten minutes: still Join")
            << QStringList{"Standup|09:50:00|30|" + meet}
            << QStringList{"~Next: Standup · 9:50 am", "Join Google Meet"};
        QTest::newRow("an ended meeting gives way to the next")
            << QStringList{"Standup|09:00:00|30|" + meet, "Review|10:05:00|60|"}
            << QStringList{"~Next: Review · 10:05 am"};
        QTest::newRow("only all-day events left")
            << QStringList{"Standup|09:00:00|30|", "Launch week|all-day"}
            << QStringList{"~No more events today"};
        QTest::newRow("an ampersand is no mnemonic, a tab no shortcut column")
            << QStringList{"Q&A\tprep|10:05:00|30|https://zoom.us/j/123"}
            << QStringList{"~Next: Q&&A prep · 10:05 am", "Join Zoom"};
    }
    void nextEventAndJoin() {
        QFETCH(QStringList, events);
        QFETCH(QStringList, top);
        World w;
        TestableStore& store = w.start();
        store.showGoogle(eventsOf(w.h, events));
        const QStringList lines = describe(menuEntries(store, *w.h.settings));
        QCOMPARE(lines.mid(0, lines.indexOf("--")), top);
    }

    void variants_data() {
        QTest::addColumn<bool>("offerGoogle");
        QTest::addColumn<CalendarAccess>("access");
        QTest::addColumn<QStringList>("entries");
        const QStringList head{"~No more events today"};
        const QStringList connect{"--", "Connect Google Calendar…"};
        const QStringList middle{"--", "New Event… [Ctrl+N]", "Open Panel", "Refresh"};
        const QStringList tail{"--", "Settings… [Ctrl+,]", "--", "Quit Vorrindel [Ctrl+Q]"};
        QTest::newRow("Google on offer, calendars readable")
            << true << CalendarAccess::fullAccess << head + connect + middle + tail;
        QTest::newRow("Google connected, access never asked for")
            << false << CalendarAccess::notDetermined
            << head + middle + QStringList{"--", "Grant Calendar Access…"} + tail;
        QTest::newRow("calendar folder unreadable")
            << false << CalendarAccess::denied
            << head + middle + QStringList{"--", "Enable Calendar Access…"} + tail;
        QTest::newRow("calendar folder write-only")
            << false << CalendarAccess::writeOnly
            << head + middle + QStringList{"--", "Enable Calendar Access…"} + tail;
    }
    void variants() {
        QFETCH(bool, offerGoogle);
        QFETCH(CalendarAccess, access);
        QFETCH(QStringList, entries);
        World w;
        w.h.access = access;
        TestableStore& store = w.start();
        GoogleConfig google{QStringLiteral("client"), QStringLiteral("secret"), {}};
        if (!offerGoogle)
            google.accounts << GoogleAccount{};
        w.h.settings->setGoogle(google);
        QCOMPARE(describe(menuEntries(store, *w.h.settings)), entries);
    }

    // The open menu follows the store in place: the highlighted entry stays highlighted.
    void openMenuFollowsTheStore() {
        World w;
        TestableStore& store = w.start();
        QMenu* menu = w.menu->menu();
        menu->popup(QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QAction* refresh = w.action("Refresh");
        menu->setActiveAction(refresh);

        store.showGoogle(eventsOf(w.h, {"Q&A|10:15:05|30|" + meet}));
        QCOMPARE(menu->actions().first()->iconText(), QStringLiteral("Next: Q&A · 10:15 am"));
        QVERIFY(!w.action("Join Google Meet"));
        w.h.advance(10); // the tick: 895 s to go
        QCOMPARE(menu->actions().at(1), w.action("Join Google Meet"));
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->activeAction(), refresh);
        QCOMPARE(describe(menuEntries(store, *w.h.settings)).size(), menu->actions().size());
    }

    void entriesAct_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("hasNotch");
        QTest::addColumn<CalendarAccess>("access");
        QTest::addColumn<QStringList>("calls");
        const auto full = CalendarAccess::fullAccess;
        QTest::newRow("new event") << "New Event…" << true << full << QStringList{"quick add \"\""};
        QTest::newRow("new event, no panel") << "New Event…" << false << full << QStringList{};
        QTest::newRow("open panel") << "Open Panel" << true << full << QStringList{"expand pinned"};
        QTest::newRow("open panel, no panel") << "Open Panel" << false << full << QStringList{};
        QTest::newRow("refresh") << "Refresh" << true << full << QStringList{"reloaded"};
        QTest::newRow("grant") << "Grant Calendar Access…" << true << CalendarAccess::notDetermined
                               << QStringList{"reloaded"};
        QTest::newRow("enable") << "Enable Calendar Access…" << true << CalendarAccess::denied
                                << QStringList{"open <calendar folder>"};
        QTest::newRow("settings") << "Settings…" << true << full << QStringList{"settings"};
        QTest::newRow("quit") << "Quit Vorrindel" << true << full << QStringList{"quit"};
    }
    void entriesAct() {
        QFETCH(QString, entry);
        QFETCH(bool, hasNotch);
        QFETCH(CalendarAccess, access);
        QFETCH(QStringList, calls);
        World w;
        w.h.access = access;
        w.hasNotch = hasNotch;
        w.start();
        const int reloads = w.h.reloads();
        QAction* action = w.action(entry);
        QVERIFY(action);
        action->trigger();
        w.h.settle();
        if (w.h.reloads() > reloads)
            w.calls << "reloaded";
        calls.replaceInStrings("<calendar folder>",
                               QUrl::fromLocalFile(LocalCalendars::defaultRoot()).toString());
        QCOMPARE(w.calls, calls);
    }

    // Joining one meeting leaves another meeting's alert up, and takes down its own.
    void joinTakesDownOnlyItsOwnAlert() {
        World w;
        TestableStore& store = w.start();
        const QList<CalEvent> events =
            eventsOf(w.h, {"Standup|10:05:00|30|" + meet, "Interview|10:10:00|60|https://zoom.us/j/9"});
        store.showGoogle(events);
        store.showAlert({events[1], MeetingAlert::Kind::imminent, store.now()});

        w.action("Join Google Meet")->trigger();
        QCOMPARE(w.h.opened, QList<QUrl>{QUrl(meet)});
        QCOMPARE(store.alert()->event.id, QStringLiteral("Interview"));

        store.showAlert({events[0], MeetingAlert::Kind::imminent, store.now()});
        w.action("Join Google Meet")->trigger();
        QVERIFY(!store.alert());
    }
};

QTEST_MAIN(TestMenuBarMenu)
#include "tst_menubarmenu.moc"
