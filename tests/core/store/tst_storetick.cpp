#include "StoreHarness.h"
#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QTest>

namespace {

GoogleConfig oneAccount() {
    GoogleConfig config;
    config.clientID = QStringLiteral("client");
    config.clientSecret = QStringLiteral("secret");
    GoogleAccount account;
    account.email = QStringLiteral("me@corp.io");
    config.accounts = {account};
    return config;
}

NotionDatabaseSelection database(const QString& id) {
    NotionDatabaseSelection selection;
    selection.id = id;
    selection.title = QStringLiteral("Tasks");
    selection.dateProperty = QStringLiteral("Due");
    return selection;
}

} // namespace

class TestStoreTick : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstTickTenSecondsAfterCreation() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        h.advance(9);
        QCOMPARE(store.now(), h.at("2026-03-04 10:00:00"));
        h.advance(1);
        QCOMPARE(store.now(), h.at("2026-03-04 10:00:10"));
        h.advance(10);
        QCOMPARE(store.now(), h.at("2026-03-04 10:00:20"));
    }

    void remoteRefreshesStartedByTheTick_data() {
        QTest::addColumn<bool>("googleAccount");
        QTest::addColumn<int>("googleSyncedAgo"); // seconds before the tick; -1: never
        QTest::addColumn<bool>("googleSyncing");
        QTest::addColumn<int>("notionSyncedAgo");
        QTest::addColumn<bool>("notionSyncing");
        QTest::addColumn<int>("googleRefreshes");
        QTest::addColumn<int>("notionRefreshes");
        QTest::newRow("no Google account") << false << -1 << false << -1 << false << 0 << 0;
        QTest::newRow("Google never synced") << true << -1 << false << -1 << false << 1 << 0;
        QTest::newRow("Google synced 120 s ago") << true << 120 << false << -1 << false << 0 << 0;
        QTest::newRow("Google synced 121 s ago") << true << 121 << false << -1 << false << 1 << 0;
        QTest::newRow("Google already syncing") << true << -1 << true << -1 << false << 0 << 0;
        QTest::newRow("Notion synced 300 s ago") << false << -1 << false << 300 << false << 0 << 0;
        QTest::newRow("Notion synced 301 s ago") << false << -1 << false << 301 << false << 0 << 1;
        QTest::newRow("Notion already syncing") << false << -1 << false << 3600 << true << 0 << 0;
        QTest::newRow("both due") << true << 500 << false << 500 << false << 1 << 1;
    }
    void remoteRefreshesStartedByTheTick() {
        QFETCH(bool, googleAccount);
        QFETCH(int, googleSyncedAgo);
        QFETCH(bool, googleSyncing);
        QFETCH(int, notionSyncedAgo);
        QFETCH(bool, notionSyncing);
        QFETCH(int, googleRefreshes);
        QFETCH(int, notionRefreshes);

        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        if (googleAccount)
            h.settings->setGoogle(oneAccount());
        TestableStore& store = h.start();
        const QDateTime tickTime = h.at("2026-03-04 10:00:10");
        if (googleSyncedAgo >= 0)
            store.setGoogleLastSync(tickTime.addSecs(-googleSyncedAgo));
        if (notionSyncedAgo >= 0)
            store.setNotionLastSync(tickTime.addSecs(-notionSyncedAgo));
        store.setSyncingGoogle(googleSyncing);
        store.setSyncingNotion(notionSyncing);
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
        QTest::newRow("today selected follows to the new day") << "2026-03-04 23:59:55"
                                                               << "" << 0LL << "2026-03-05 00:00"
                                                               << "2026-03-02 00:00" << 1;
        QTest::newRow("into a new week the week follows and reloads") << "2026-03-08 23:59:55"
                                                                      << "" << 0LL << "2026-03-09 00:00"
                                                                      << "2026-03-09 00:00" << 2;
        QTest::newRow("another day selected stays") << "2026-03-04 23:59:55"
                                                    << "2026-03-06 12:00" << 0LL << "2026-03-06 00:00"
                                                    << "2026-03-02 00:00" << 1;
        QTest::newRow("after days asleep the old day stays, events reload")
            << "2026-03-04 10:00:00"
            << "" << 3 * 86400LL << "2026-03-04 00:00"
            << "2026-03-02 00:00" << 2;
    }
    void midnight() {
        QFETCH(QString, start);
        QFETCH(QString, select);
        QFETCH(qint64, sleep);
        QFETCH(QString, selected);
        QFETCH(QString, weekStart);
        QFETCH(int, reloads);

        StoreHarness h(start, WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        if (!select.isEmpty())
            store.select(h.at(select));
        const int before = h.reloads();
        h.clock.jump(sleep);
        h.advance(10);
        QCOMPARE(store.selectedDate(), h.at(selected));
        QCOMPARE(store.weekStart(), h.at(weekStart));
        QCOMPARE(h.reloads() - before, reloads);
    }

    void rolloverBringsTheNewDaysEvents() {
        StoreHarness h("2026-03-04 23:59:55", WallClock::cal("Europe/Berlin", "de_DE"));
        h.writeLocalEvent("breakfast", "Breakfast", h.at("2026-03-05 00:05"), h.at("2026-03-05 00:20"));
        TestableStore& store = h.start();
        QVERIFY(!store.peek());
        h.advance(10);
        QVERIFY(store.peek());
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

        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
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
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-03-04 00:00"))).size(), fullRefreshes);
    }

    void settingsThatReloadOrRecompute() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.writeLocalEvent("review", "Review", h.at("2026-03-04 10:20"), h.at("2026-03-04 11:00"));
        TestableStore& store = h.start();
        QVERIFY(!store.peek());

        // A wider peek window shows at once, without waiting for the tick.
        h.settings->setPeekMinutes(30);
        h.settle();
        QVERIFY(store.peek());
        QCOMPARE(store.now(), h.at("2026-03-04 10:00:00"));

        // Hiding the calendar reloads without it.
        h.settings->setHiddenCalendarIDs({QStringLiteral("work")});
        h.settle();
        QCOMPARE(store.events(h.at("2026-03-04 00:00")), QList<CalEvent>{});
        QVERIFY(!store.peek());

        // The Notion selection refreshes Notion only when it really changed.
        store.notionRefreshes = 0;
        h.settings->setNotionDatabases({database("a")});
        h.settle();
        QCOMPARE(store.notionRefreshes, 1);
        h.settings->setNotionDatabases({database("a")});
        h.settle();
        QCOMPARE(store.notionRefreshes, 1);
        h.settings->setNotionDatabases({});
        h.settle();
        QCOMPARE(store.notionRefreshes, 2);

        // A newly connected account changes which guest entries are the user's: the local events are
        // read again, once.
        const int before = h.reloads();
        h.settings->setGoogle(oneAccount());
        h.settle();
        QCOMPARE(h.reloads(), before + 1);
        h.settings->setGoogle(oneAccount());
        h.settle();
        QCOMPARE(h.reloads(), before + 1);
    }
};

QTEST_GUILESS_MAIN(TestStoreTick)
#include "tst_storetick.moc"
