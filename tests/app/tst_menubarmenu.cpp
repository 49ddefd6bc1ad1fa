#include "MenuWorld.h"
#include "core/calendar/LocalCalendars.h"
#include "core/model/TextRules.h"
#include "support/Patience.h"

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
        QString line = entry.kind == MenuEntry::Kind::separator ? QStringLiteral("--")
                       : entry.kind == MenuEntry::Kind::text    ? QLatin1Char('~') + entry.text
                                                                : entry.text;
        if (!entry.shortcut.isEmpty())
            line +=
                QStringLiteral(" [") + entry.shortcut.toString(QKeySequence::PortableText) + QLatin1Char(']');
        lines << line;
    }
    return lines;
}

QAction* actionNamed(const MenuBarMenu& menu, const QString& text) {
    for (QAction* action : menu.menu()->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

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
        // As much as a screen shows, cut between whole characters (this one is four UTF-16 units).
        const QString thumb = QStringLiteral("👍🏽");
        QTest::newRow("a title of 20 MB")
            << QStringList{thumb.repeated(5'000'000) + "|10:05:00|30|"}
            << QStringList{"~Next: " + thumb.repeated((TextRules::screenLineLength - 1) / thumb.size()) +
                           "… · 10:05 am"};
    }
    void nextEventAndJoin() {
        QFETCH(QStringList, events);
        QFETCH(QStringList, top);
        MenuWorld w;
        TestableStore& store = w.h.start();
        store.showGoogle(w.events(events));
        const QStringList lines = describe(menuEntries(store, *w.h.settings));
        QCOMPARE(lines.mid(0, lines.indexOf("--")), top);
    }

    void variants_data() {
        QTest::addColumn<bool>("offerGoogle");
        QTest::addColumn<CalendarAccess>("access");
        QTest::addColumn<QStringList>("entries");
        const QStringList head{"~No more events today"};
        const QStringList middle{"--", "New Event… [Ctrl+N]", "Open Panel", "Refresh"};
        const QStringList tail{"--", "Settings… [Ctrl+,]", "--", "Quit Vorrindel [Ctrl+Q]"};
        QTest::newRow("Google on offer, calendars readable")
            << true << CalendarAccess::fullAccess
            << head + QStringList{"--", "Connect Google Calendar…"} + middle + tail;
        QTest::newRow("Google connected, access never asked for")
            << false << CalendarAccess::notDetermined
            << head + middle + QStringList{"--", "Grant Calendar Access…"} + tail;
        QTest::newRow("calendar folder unreadable")
            << false << CalendarAccess::denied
            << head + middle + QStringList{"--", "Enable Calendar Access…"} + tail;
    }
    void variants() {
        QFETCH(bool, offerGoogle);
        QFETCH(CalendarAccess, access);
        QFETCH(QStringList, entries);
        MenuWorld w;
        w.h.access = access;
        TestableStore& store = w.h.start();
        GoogleConfig google{QStringLiteral("client"), QStringLiteral("secret"), {}};
        if (!offerGoogle)
            google.accounts << GoogleAccount{};
        w.h.settings->setGoogle(google);
        QCOMPARE(describe(menuEntries(store, *w.h.settings)), entries);
    }

    // The open menu follows the store in place: the highlighted entry stays highlighted.
    void openMenuFollowsTheStore() {
        MenuWorld w;
        TestableStore& store = w.h.start();
        MenuBarMenu menu(store, *w.h.settings, w.hooks());
        menu.menu()->popup(QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(menu.menu(), Patience::ms));
        QAction* refresh = actionNamed(menu, "Refresh");
        menu.menu()->setActiveAction(refresh);

        const QList<CalEvent> events = w.events({"Q&A|10:15:05|30|" + meet});
        store.showGoogle(events);
        QCOMPARE(menu.menu()->actions().first()->iconText(), QStringLiteral("Next: Q&A · 10:15 am"));
        QVERIFY(!actionNamed(menu, "Join Google Meet"));
        w.h.advance(10); // the tick: 895 s to go
        QCOMPARE(menu.menu()->actions().at(1), actionNamed(menu, "Join Google Meet"));
        QVERIFY(menu.menu()->isVisible());
        QCOMPARE(menu.menu()->activeAction(), refresh);
        QCOMPARE(menu.menu()->actions().size(), menuEntries(store, *w.h.settings).size());

        // Joining takes the meeting's alert down, and the menu rebuilds under the running action.
        store.showAlert({events[0], MeetingAlert::Kind::imminent, store.now()});
        actionNamed(menu, "Join Google Meet")->trigger();
        QCOMPARE(w.h.opened, QList<QUrl>{QUrl(meet)});
        QVERIFY(!store.alert());
    }

    void entriesAct_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("hasNotch");
        QTest::addColumn<CalendarAccess>("access");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("new event") << "New Event…" << true << CalendarAccess::fullAccess
                                   << QStringList{"quick add \"\""};
        QTest::newRow("no panel yet") << "New Event…" << false << CalendarAccess::fullAccess << QStringList{};
        QTest::newRow("grant: asks, then reloads")
            << "Grant Calendar Access…" << true << CalendarAccess::notDetermined << QStringList{"reloaded"};
        QTest::newRow("enable: shows the folder")
            << "Enable Calendar Access…" << true << CalendarAccess::denied
            << QStringList{"open <calendar folder>"};
    }
    void entriesAct() {
        QFETCH(QString, entry);
        QFETCH(bool, hasNotch);
        QFETCH(CalendarAccess, access);
        QFETCH(QStringList, calls);
        MenuWorld w;
        w.h.access = access;
        w.hasNotch = hasNotch;
        MenuBarMenu menu(w.h.start(), *w.h.settings, w.hooks());
        const int reloads = w.h.reloads();
        actionNamed(menu, entry)->trigger();
        w.h.settle();
        if (w.h.reloads() > reloads)
            w.calls << "reloaded";
        calls.replaceInStrings("<calendar folder>",
                               QUrl::fromLocalFile(LocalCalendars::defaultRoot()).toString());
        QCOMPARE(w.calls, calls);
    }
};

QTEST_MAIN(TestMenuBarMenu)
#include "tst_menubarmenu.moc"
