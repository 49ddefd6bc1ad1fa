#include "StoreHarness.h"
#include "support/TestEvents.h"

#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

const QTimeZone berlin("Europe/Berlin");

GoogleConfig oneAccount() {
    GoogleAccount account;
    account.email = QStringLiteral("me@corp.io");
    return {QStringLiteral("client"), QStringLiteral("secret"), {account}};
}

NotionDatabaseSelection database(const QString& id) {
    return {id, QStringLiteral("Tasks"), std::nullopt, QStringLiteral("Due")};
}

// A Google meeting between the Berlin wall times "yyyy-MM-dd HH:mm", with my answer when one is given.
CalEvent busy(const QString& from, const QString& to, std::optional<Attendee::Status> answer = {}) {
    CalEvent event = timed(from, "Busy", at(from, berlin), at(to, berlin), EventSource::google);
    if (answer)
        event.attendees = {guest("Me", "me@corp.io", *answer, true)};
    return event;
}

// Meetings from 9 to 18 on `days` days from `first`.
QList<CalEvent> busyDays(const QString& first, int days) {
    QList<CalEvent> events;
    for (int i = 0; i < days; ++i) {
        const QString day = QDate::fromString(first, Qt::ISODate).addDays(i).toString(Qt::ISODate);
        events << busy(day + " 09:00", day + " 18:00");
    }
    return events;
}

} // namespace

struct Slot {
    QString now;
    QString day;   // "yyyy-MM-dd HH:mm", the day asked for or where the search starts
    QString hours; // "9-18": that one day with these working hours; empty: the 14-day search
    int minutes;
    QList<CalEvent> events;
    QString slot;  // "yyyy-MM-dd HH:mm"; empty: none
    int shift = 0; // weeks the view moves first
    const char* locale = "de_DE";
};
Q_DECLARE_METATYPE(Slot)

// The agenda over time: the tick, the day and week on show, what is loaded, and what quick add reads
// of the loaded days.
class TestStoreAgenda : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void remoteRefreshesStartedByTheTick_data() {
        QTest::addColumn<bool>("googleAccount");
        QTest::addColumn<int>("googleSyncedAgo"); // seconds before the tick; -1: never; -2: syncing now
        QTest::addColumn<int>("notionSyncedAgo"); // the same; syncing since a sync an hour ago
        QTest::addColumn<int>("googleRefreshes");
        QTest::addColumn<int>("notionRefreshes");
        const auto row = [](const char* name, bool account, int google, int notion, int googleRuns,
                            int notionRuns) {
            QTest::newRow(name) << account << google << notion << googleRuns << notionRuns;
        };
        row("no Google account", false, -1, -1, 0, 0);
        row("Google never synced", true, -1, -1, 1, 0);
        row("Google synced 120 s ago", true, 120, -1, 0, 0);
        row("Google synced 121 s ago", true, 121, -1, 1, 0);
        row("Google already syncing", true, -2, -1, 0, 0);
        row("Notion synced 300 s ago", false, -1, 300, 0, 0);
        row("Notion synced 301 s ago", false, -1, 301, 0, 1);
        row("Notion already syncing", false, -1, -2, 0, 0);
        row("both due", true, 500, 500, 1, 1);
    }
    void remoteRefreshesStartedByTheTick() {
        QFETCH(bool, googleAccount);
        QFETCH(int, googleSyncedAgo);
        QFETCH(int, notionSyncedAgo);
        QFETCH(int, googleRefreshes);
        QFETCH(int, notionRefreshes);
        StoreHarness h;
        if (googleAccount)
            h.settings->setGoogle(oneAccount());
        TestableStore& store = h.start();
        const QDateTime tick = h.at("2026-03-04 10:00:10");
        if (googleSyncedAgo >= 0)
            store.setGoogleLastSync(tick.addSecs(-googleSyncedAgo));
        if (notionSyncedAgo != -1)
            store.setNotionLastSync(tick.addSecs(notionSyncedAgo == -2 ? -3600 : -notionSyncedAgo));
        store.setSyncingGoogle(googleSyncedAgo == -2);
        store.setSyncingNotion(notionSyncedAgo == -2);
        store.googleRefreshes = store.notionRefreshes = 0;

        h.clock.advance(10);
        // Started on the next turn of the event loop, not inside the tick.
        QCOMPARE(store.googleRefreshes + store.notionRefreshes, 0);
        h.settle();
        QCOMPARE(store.googleRefreshes, googleRefreshes);
        QCOMPARE(store.notionRefreshes, notionRefreshes);
    }

    void midnight_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("select"); // empty: today stays selected
        QTest::addColumn<qint64>("sleep");   // seconds the clock jumps before the next tick
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("weekStart");
        QTest::addColumn<int>("reloads");
        const auto row = [](const char* name, QString start, QString select, qint64 sleep, QString selected,
                            QString weekStart, int reloads) {
            QTest::newRow(name) << start << select << sleep << selected << weekStart << reloads;
        };
        row("today selected follows to the new day", "2026-03-04 23:59:55", "", 0, "2026-03-05", "2026-03-02",
            1);
        row("into a new week the week follows and reloads", "2026-03-08 23:59:55", "", 0, "2026-03-09",
            "2026-03-09", 2);
        row("another day selected stays", "2026-03-04 23:59:55", "2026-03-06 12:00", 0, "2026-03-06",
            "2026-03-02", 1);
        row("after days asleep the old day stays, events reload", "2026-03-04 10:00", "", 3 * 86400,
            "2026-03-04", "2026-03-02", 2);
    }
    void midnight() {
        QFETCH(QString, start);
        QFETCH(QString, select);
        QFETCH(qint64, sleep);
        QFETCH(QString, selected);
        QFETCH(QString, weekStart);
        QFETCH(int, reloads);
        StoreHarness h(start);
        TestableStore& store = h.start();
        if (!select.isEmpty())
            store.select(h.at(select));
        const int before = h.reloads();
        h.clock.jump(sleep);
        h.advance(10);
        QCOMPARE(store.selectedDate(), h.at(selected + " 00:00"));
        QCOMPARE(store.weekStart(), h.at(weekStart + " 00:00"));
        QCOMPARE(h.reloads() - before, reloads);
    }

    void rolloverBringsTheNewDaysEvents() {
        StoreHarness h("2026-03-04 23:59:55");
        h.writeLocalEvent("breakfast", "Breakfast", h.at("2026-03-05 00:05"), h.at("2026-03-05 00:20"));
        TestableStore& store = h.start();
        QVERIFY(!store.peek());
        h.advance(10);
        QCOMPARE(store.peek()->event.title, QStringLiteral("Breakfast"));
        QCOMPARE(store.peek()->minutesUntilStart, 5);
    }

    void wakeReloadsEverything_data() {
        QTest::addColumn<bool>("wakeSignal");
        QTest::addColumn<qint64>("clockJump"); // before the next tick
        QTest::addColumn<int>("fullRefreshes");
        QTest::newRow("the wake signal") << true << 0LL << 1;
        QTest::newRow("a clock jump forward") << false << 600LL << 1;
        QTest::newRow("a clock set back") << false << -600LL << 1;
        QTest::newRow("a late timer is no wake") << false << 25LL << 0;
        QTest::newRow("signal and jump of one wake refresh once") << true << 600LL << 1;
    }
    void wakeReloadsEverything() {
        QFETCH(bool, wakeSignal);
        QFETCH(qint64, clockJump);
        QFETCH(int, fullRefreshes);
        StoreHarness h;
        TestableStore& store = h.start();
        h.writeLocalEvent("late", "Added while asleep", h.at("2026-03-04 15:00"), h.at("2026-03-04 16:00"));
        const int before = h.reloads();
        store.googleRefreshes = store.notionRefreshes = 0;

        h.clock.jump(clockJump);
        if (wakeSignal)
            emit h.wake.woke();
        h.advance(10);
        QCOMPARE(h.reloads() - before, fullRefreshes);
        QCOMPARE(store.googleRefreshes, fullRefreshes);
        QCOMPARE(store.notionRefreshes, fullRefreshes);
        QCOMPARE(h.titlesOn("2026-03-04").size(), fullRefreshes);
    }

    void settingsThatReloadOrRecompute() {
        StoreHarness h;
        h.writeLocalEvent("review", "Review", h.at("2026-03-04 10:20"), h.at("2026-03-04 11:00"));
        TestableStore& store = h.start();
        QVERIFY(!store.peek());

        // A wider peek window shows at once, without waiting for the tick.
        h.settings->setPeekMinutes(30);
        h.settle();
        QVERIFY(store.peek());
        QCOMPARE(store.now(), h.at("2026-03-04 10:00"));

        // Hiding the calendar reloads without it.
        h.settings->setHiddenCalendarIDs({QStringLiteral("work")});
        h.settle();
        QCOMPARE(h.titlesOn("2026-03-04"), QStringList{});
        QVERIFY(!store.peek());

        // The Notion selection refreshes Notion only when it really changed.
        store.notionRefreshes = 0;
        for (const auto& selection :
             {QList{database("a")}, QList{database("a")}, QList<NotionDatabaseSelection>{}}) {
            h.settings->setNotionDatabases(selection);
            h.settle();
        }
        QCOMPARE(store.notionRefreshes, 2);

        // A newly connected account changes which guest entries are the user's: the local events are
        // read again, once.
        const int before = h.reloads();
        h.settings->setGoogle(oneAccount());
        h.settle();
        h.settings->setGoogle(oneAccount());
        h.settle();
        QCOMPARE(h.reloads(), before + 1);
    }

    void navigation_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("weekStart");
        QTest::addColumn<int>("reloads");
        const auto row = [](const char* name, QStringList actions, QString selected, QString weekStart,
                            int reloads) {
            QTest::newRow(name) << actions << selected << weekStart << reloads;
        };
        // Wednesday 4 March 2026; weeks start on Monday.
        row("a day of the viewed week reloads nothing", {"select 2026-03-06 15:30"}, "2026-03-06",
            "2026-03-02", 0);
        row("a day of another week moves the week", {"select 2026-03-18 08:00"}, "2026-03-18", "2026-03-16",
            1);
        row("next week starts on its first day", {"shift 1"}, "2026-03-09", "2026-03-09", 1);
        row("back to this week selects today", {"shift 1", "shift -1"}, "2026-03-04", "2026-03-02", 2);
        row("a shift by none still reloads", {"select 2026-03-06 09:00", "shift 0"}, "2026-03-04",
            "2026-03-02", 1);
        row("Today from two weeks ahead", {"shift 2", "today"}, "2026-03-04", "2026-03-02", 2);
        row("Today while viewing today's week reloads nothing", {"select 2026-03-05 09:00", "today"},
            "2026-03-04", "2026-03-02", 0);
    }
    void navigation() {
        QFETCH(QStringList, actions);
        QFETCH(QString, selected);
        QFETCH(QString, weekStart);
        QFETCH(int, reloads);
        StoreHarness h;
        TestableStore& store = h.start();
        const int before = h.reloads();
        store.googleRefreshes = store.notionRefreshes = 0;
        for (const QString& action : actions) {
            const QString argument = action.section(QLatin1Char(' '), 1);
            if (action.startsWith("select"))
                store.select(h.at(argument));
            else if (action.startsWith("shift"))
                store.shiftWeek(argument.toInt());
            else
                store.goToToday();
            h.settle();
        }
        QCOMPARE(store.selectedDate(), h.at(selected + " 00:00"));
        QCOMPARE(store.weekStart(), h.at(weekStart + " 00:00"));
        QCOMPARE(h.reloads() - before, reloads);
        QCOMPARE(store.googleRefreshes, reloads);
        QCOMPARE(store.notionRefreshes, reloads);
    }

    void weekStart_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("today");
        QTest::addColumn<QString>("weekStart");
        QTest::addColumn<QString>("lastDay");
        const auto row = [](const char* name, QString locale, QString today, QString first, QString last) {
            QTest::newRow(name) << locale << today << first << last;
        };
        row("Monday first, midweek", "de_DE", "2026-03-04 10:00", "2026-03-02", "2026-03-08");
        row("Monday first, on Sunday", "de_DE", "2026-03-08 23:00", "2026-03-02", "2026-03-08");
        row("Sunday first, midweek", "en_US", "2026-03-04 10:00", "2026-03-01", "2026-03-07");
        row("Sunday first, on Sunday", "en_US", "2026-03-08 00:30", "2026-03-08", "2026-03-14");
        row("the week of the change to summer time", "de_DE", "2026-03-29 12:00", "2026-03-23", "2026-03-29");
    }
    void weekStart() {
        QFETCH(QString, locale);
        QFETCH(QString, today);
        QFETCH(QString, weekStart);
        QFETCH(QString, lastDay);
        StoreHarness h(today, StoreHarness::berlin(qPrintable(locale)));
        TestableStore& store = h.start();
        QCOMPARE(store.weekStart(), h.at(weekStart + " 00:00"));
        const QList<QDateTime> days = store.weekDays();
        QCOMPARE(days.size(), 7);
        QCOMPARE(days.first(), h.at(weekStart + " 00:00"));
        QCOMPARE(days.last(), h.at(lastDay + " 00:00"));
        QVERIFY(store.isViewingToday());
    }

    // Wherever the user browses, today and tomorrow stay loaded: peek, alerts and the menu read them.
    void loadedRangeKeepsTodayAndTomorrow_data() {
        QTest::addColumn<int>("shift");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("this week") << 0 << "2026-02-23"
                                   << "2026-03-23";
        QTest::newRow("two weeks ahead") << 2 << "2026-03-04"
                                         << "2026-04-06";
        QTest::newRow("two weeks back") << -2 << "2026-02-09"
                                        << "2026-03-09";
        QTest::newRow("three weeks back") << -3 << "2026-02-02"
                                          << "2026-03-06";
    }
    void loadedRangeKeepsTodayAndTomorrow() {
        QFETCH(int, shift);
        QFETCH(QString, from);
        QFETCH(QString, to);
        StoreHarness h;
        TestableStore& store = h.start();
        store.shiftWeek(shift);
        QCOMPARE(store.loadedRange(), std::pair(h.at(from + " 00:00"), h.at(to + " 00:00")));
    }

    void todayStaysLiveWhileBrowsing() {
        StoreHarness h;
        h.writeLocalEvent("standup", "Standup", h.at("2026-03-04 10:10"), h.at("2026-03-04 10:25"));
        h.writeLocalEvent("far", "Far away", h.at("2026-04-15 10:00"), h.at("2026-04-15 11:00"));
        TestableStore& store = h.start();
        QCOMPARE(h.titlesOn("2026-04-15"), QStringList{});

        store.shiftWeek(1);
        store.shiftWeek(1);
        store.select(h.at("2026-04-15 12:00"));
        h.settle();
        QCOMPARE(h.titlesOn("2026-04-15"), QStringList{"Far away"});
        QCOMPARE(h.titlesOn("2026-03-04"), QStringList{"Standup"});
        QVERIFY(store.peek());
        QCOMPARE(store.nextEvent(store.now())->title, QStringLiteral("Standup"));
        h.advance(8 * 60);
        QCOMPARE(store.alert()->event.title, QStringLiteral("Standup"));
    }

    void sampleModeKeepsTheSampleEvents() {
        StoreHarness h("2026-03-04 23:59");
        h.writeLocalEvent("real", "Real meeting", h.at("2026-03-04 09:00"), h.at("2026-03-04 10:00"));
        TestableStore& store = h.start();
        store.installSampleEvents(
            {timed("sample:Demo", "Demo", h.at("2026-03-04 23:30"), h.at("2026-03-05 00:30")),
             timed("sample:Sync", "Sync", h.at("2026-03-04 11:00"), h.at("2026-03-04 12:00"),
                   EventSource::google)});
        QCOMPARE(store.notionLastSync(), std::optional(h.at("2026-03-04 23:59")));
        const int before = h.reloads();

        h.writeLocalEvent("later", "Another real one", h.at("2026-03-04 14:00"), h.at("2026-03-04 15:00"));
        h.settings->setHiddenCalendarIDs({QStringLiteral("nothing")});
        store.shiftWeek(1);
        store.shiftWeek(-1);
        h.advance(120); // across midnight
        emit h.wake.woke();
        h.settle();
        QCOMPARE(h.reloads(), before);
        QCOMPARE(h.titlesOn("2026-03-04"), (QStringList{"Sync", "Demo"}));
        QCOMPARE(h.titlesOn("2026-03-05"), QStringList{"Demo"});
        QCOMPARE(store.selectedDate(), h.at("2026-03-05 00:00"));
    }

    // The people of the loaded meetings, without the user's own addresses.
    void directoryFollowsTheAgenda() {
        StoreHarness h;
        h.settings->setRecentInvitees({"ann@corp.io"});
        GoogleAccount me;
        me.email = QStringLiteral("Me@Corp.io");
        h.settings->setGoogle({QString(), QString(), {me}});
        TestableStore& store = h.start();
        QCOMPARE(store.knownPeople(), QList<Person>{Person("ann@corp.io", "")});

        CalEvent review = busy("2026-03-04 11:00", "2026-03-04 12:00");
        review.attendees = {guest("me@corp.io", "me@corp.io"), guest("Ann Lee", "ANN@corp.io"),
                            guest("Bob Stone", "bob@corp.io")};
        store.showGoogle({review});
        QCOMPARE(store.knownPeople(),
                 (QList<Person>{Person("ann@corp.io", "Ann Lee"), Person("bob@corp.io", "Bob Stone")}));
        QCOMPARE(store.person("bob")->email, QStringLiteral("bob@corp.io"));
        QCOMPARE(store.suggestions("", {Person("ann@corp.io", "")}),
                 QList<Person>{Person("bob@corp.io", "Bob Stone")});
    }

    // Free time on the quarter-hour grid, on loaded days from today on only.
    void freeSlots_data() {
        QTest::addColumn<Slot>("c");
        const QString thu = "2026-03-05 10:07";
        const QString day = "2026-03-05 00:00";
        const QString wed = "2026-03-04 10:07";
        const auto declined = Attendee::Status::declined;
        QTest::newRow("today: from now on the quarter hour")
            << Slot{thu, "2026-03-05 12:00", "9-18", 60, {}, "2026-03-05 10:15"};
        QTest::newRow("today: after a meeting, on the quarter hour")
            << Slot{thu, day, "9-18", 60, {busy("2026-03-05 10:15", "2026-03-05 10:50")}, "2026-03-05 11:00"};
        QTest::newRow("declined meetings do not block")
            << Slot{thu,
                    day,
                    "9-18",
                    60,
                    {busy("2026-03-05 10:15", "2026-03-05 10:50", declined)},
                    "2026-03-05 10:15"};
        QTest::newRow("unanswered invitations block")
            << Slot{thu,
                    day,
                    "9-18",
                    60,
                    {busy("2026-03-05 10:15", "2026-03-05 10:50", Attendee::Status::pending)},
                    "2026-03-05 11:00"};
        QTest::newRow("all-day events do not block, another day starts at 9")
            << Slot{wed,
                    day,
                    "9-18",
                    60,
                    {allDay("a", "Offsite", at(day, berlin), at("2026-03-06 00:00", berlin))},
                    "2026-03-05 09:00"};
        QTest::newRow("meetings in any order, back to back") << Slot{
            wed,
            day,
            "9-18",
            30,
            {busy("2026-03-05 09:45", "2026-03-05 10:00"), busy("2026-03-05 09:00", "2026-03-05 09:40")},
            "2026-03-05 10:00"};
        QTest::newRow("a gap too short is skipped") << Slot{
            wed,
            day,
            "9-18",
            30,
            {busy("2026-03-05 09:00", "2026-03-05 09:20"), busy("2026-03-05 09:45", "2026-03-05 10:10")},
            "2026-03-05 10:15"};
        QTest::newRow("the whole working day") << Slot{wed, day, "9-18", 540, {}, "2026-03-05 09:00"};
        QTest::newRow("longer than the working day") << Slot{wed, day, "9-18", 541, {}, ""};
        QTest::newRow("a slot may end at 18:00")
            << Slot{wed, day, "9-18", 60, {busy("2026-03-05 08:00", "2026-03-05 17:00")}, "2026-03-05 17:00"};
        QTest::newRow("but not a minute later")
            << Slot{wed, day, "9-18", 60, {busy("2026-03-05 08:00", "2026-03-05 17:01")}, ""};
        QTest::newRow("today after working hours") << Slot{"2026-03-05 17:10", day, "9-18", 60, {}, ""};
        QTest::newRow("skipped hour: 02:00 becomes 03:00")
            << Slot{"2026-03-25 10:00", "2026-03-29 00:00", "2-4", 30, {}, "2026-03-29 03:00"};
        QTest::newRow("working end that does not exist") << Slot{wed, day, "9-24", 30, {}, ""};
        QTest::newRow("yesterday") << Slot{wed, "2026-03-03 12:00", "9-18", 30, {}, ""};
        QTest::newRow("last loaded day") << Slot{wed, "2026-03-20 12:00", "9-18", 30, {}, "2026-03-20 09:00"};
        QTest::newRow("first day not loaded") << Slot{wed, "2026-03-23 12:00", "9-18", 30, {}, ""};
        QTest::newRow("loaded once the week moves")
            << Slot{wed, "2026-03-23 12:00", "9-18", 30, {}, "2026-03-23 09:00", 2};
        QTest::newRow("today while viewing weeks away")
            << Slot{wed, "2026-03-04 12:00", "9-18", 30, {}, "2026-03-04 10:15", 5};
        QTest::newRow("search: Friday evening gives Monday morning")
            << Slot{"2026-03-06 17:10", "2026-03-06 17:10", "", 60, {}, "2026-03-09 09:00"};
        QTest::newRow("search: Thursday evening with a Friday-Saturday weekend gives Sunday")
            << Slot{"2026-03-05 17:10", "2026-03-05 17:10", "", 60, {}, "2026-03-08 09:00", 0, "he_IL"};
        QTest::newRow("search: over the weekend of the change to summer time")
            << Slot{"2026-03-27 17:10", "2026-03-27 17:10", "", 60, {}, "2026-03-30 09:00"};
        QTest::newRow("search: a full day moves to the next") << Slot{
            "2026-03-04 08:00", "2026-03-04 08:00", "", 30, busyDays("2026-03-04", 1), "2026-03-05 09:00"};
        QTest::newRow("search: stops where the loaded days end")
            << Slot{"2026-03-04 08:00", "2026-03-16 08:00", "", 30, busyDays("2026-03-16", 5), ""};
    }
    void freeSlots() {
        QFETCH(Slot, c);
        StoreHarness h(c.now, StoreHarness::berlin(c.locale));
        TestableStore& store = h.start();
        store.shiftWeek(c.shift);
        store.showGoogle(c.events);
        const std::optional<FreeSlot> found =
            c.hours.isEmpty() ? store.nextFreeSlot(h.at(c.day), c.minutes)
                              : store.nextFreeSlot(h.at(c.day), c.minutes, c.hours.section('-', 0, 0).toInt(),
                                                   c.hours.section('-', 1).toInt());
        QCOMPARE(found, c.slot.isEmpty()
                            ? std::nullopt
                            : std::optional(FreeSlot{h.at(c.slot), h.at(c.slot).addSecs(c.minutes * 60)}));
    }
};

QTEST_GUILESS_MAIN(TestStoreAgenda)
#include "tst_storeagenda.moc"
