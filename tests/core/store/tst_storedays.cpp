#include "StoreHarness.h"
#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QFile>
#include <QTest>

using namespace TestEvents;

namespace {

void act(StoreHarness& h, const QString& action) {
    const QStringList parts = action.split(QLatin1Char(' '));
    if (parts[0] == u"select")
        h.store->select(h.at(parts.mid(1).join(QLatin1Char(' '))));
    else if (parts[0] == u"shift")
        h.store->shiftWeek(parts[1].toInt());
    else if (parts[0] == u"today")
        h.store->goToToday();
    h.settle();
}

} // namespace

class TestStoreDays : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void navigation_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("weekStart");
        QTest::addColumn<int>("reloads");
        // Wednesday 4 March 2026; weeks start on Monday.
        QTest::newRow("a day of the viewed week reloads nothing")
            << QStringList{"select 2026-03-06 15:30"} << "2026-03-06 00:00"
            << "2026-03-02 00:00" << 0;
        QTest::newRow("a day of another week moves the week")
            << QStringList{"select 2026-03-18 08:00"} << "2026-03-18 00:00"
            << "2026-03-16 00:00" << 1;
        QTest::newRow("next week starts on its first day") << QStringList{"shift 1"} << "2026-03-09 00:00"
                                                           << "2026-03-09 00:00" << 1;
        QTest::newRow("back to this week selects today")
            << QStringList{"shift 1", "shift -1"} << "2026-03-04 00:00"
            << "2026-03-02 00:00" << 2;
        QTest::newRow("a shift by none still reloads")
            << QStringList{"select 2026-03-06 09:00", "shift 0"} << "2026-03-04 00:00"
            << "2026-03-02 00:00" << 1;
        QTest::newRow("Today from two weeks ahead") << QStringList{"shift 2", "today"} << "2026-03-04 00:00"
                                                    << "2026-03-02 00:00" << 2;
        QTest::newRow("Today while viewing today's week reloads nothing")
            << QStringList{"select 2026-03-05 09:00", "today"} << "2026-03-04 00:00"
            << "2026-03-02 00:00" << 0;
    }
    void navigation() {
        QFETCH(QStringList, actions);
        QFETCH(QString, selected);
        QFETCH(QString, weekStart);
        QFETCH(int, reloads);
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        const int before = h.reloads();
        store.googleRefreshes = store.notionRefreshes = 0;
        for (const QString& action : actions)
            act(h, action);
        QCOMPARE(store.selectedDate(), h.at(selected));
        QCOMPARE(store.weekStart(), h.at(weekStart));
        QCOMPARE(h.reloads() - before, reloads);
        QCOMPARE(store.googleRefreshes, reloads);
        QCOMPARE(store.notionRefreshes, reloads);
    }

    void weekStart_data() {
        QTest::addColumn<bool>("sundayFirstWeek");
        QTest::addColumn<QString>("today");
        QTest::addColumn<QString>("weekStart");
        QTest::addColumn<QString>("lastDay");
        QTest::newRow("Monday first, midweek") << false << "2026-03-04 10:00"
                                               << "2026-03-02 00:00"
                                               << "2026-03-08 00:00";
        QTest::newRow("Monday first, on Sunday") << false << "2026-03-08 23:00"
                                                 << "2026-03-02 00:00"
                                                 << "2026-03-08 00:00";
        QTest::newRow("Sunday first, midweek") << true << "2026-03-04 10:00"
                                               << "2026-03-01 00:00"
                                               << "2026-03-07 00:00";
        QTest::newRow("Sunday first, on Sunday") << true << "2026-03-08 00:30"
                                                 << "2026-03-08 00:00"
                                                 << "2026-03-14 00:00";
        QTest::newRow("the week of the change to summer time") << false << "2026-03-29 12:00"
                                                               << "2026-03-23 00:00"
                                                               << "2026-03-29 00:00";
    }
    void weekStart() {
        QFETCH(bool, sundayFirstWeek);
        QFETCH(QString, today);
        QFETCH(QString, weekStart);
        QFETCH(QString, lastDay);
        StoreHarness h(today, sundayFirstWeek ? WallClock::cal("Europe/Berlin", "en_US")
                                              : WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        QCOMPARE(store.weekStart(), h.at(weekStart));
        const QList<QDateTime> days = store.weekDays();
        QCOMPARE(days.size(), 7);
        QCOMPARE(days.first(), h.at(weekStart));
        QCOMPARE(days.last(), h.at(lastDay));
        QVERIFY(store.isViewingToday());
    }

    void loadedRangeKeepsTodayAndTomorrow_data() {
        QTest::addColumn<int>("shift");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("this week") << 0 << "2026-02-23 00:00"
                                   << "2026-03-23 00:00";
        QTest::newRow("two weeks ahead") << 2 << "2026-03-04 00:00"
                                         << "2026-04-06 00:00";
        QTest::newRow("two weeks back") << -2 << "2026-02-09 00:00"
                                        << "2026-03-09 00:00";
        QTest::newRow("three weeks back") << -3 << "2026-02-02 00:00"
                                          << "2026-03-06 00:00";
    }
    void loadedRangeKeepsTodayAndTomorrow() {
        QFETCH(int, shift);
        QFETCH(QString, from);
        QFETCH(QString, to);
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        store.shiftWeek(shift);
        QCOMPARE(store.loadedRange(), std::pair(h.at(from), h.at(to)));
    }

    void todayStaysLiveWhileBrowsing() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.writeLocalEvent("standup", "Standup", h.at("2026-03-04 10:10"), h.at("2026-03-04 10:25"));
        h.writeLocalEvent("far", "Far away", h.at("2026-04-15 10:00"), h.at("2026-04-15 11:00"));
        TestableStore& store = h.start();
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-04-15 00:00"))), QStringList{});

        store.shiftWeek(1);
        store.shiftWeek(1);
        store.select(h.at("2026-04-15 12:00"));
        h.settle();
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-04-15 00:00"))), QStringList{"Far away"});
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-03-04 00:00"))), QStringList{"Standup"});
        QVERIFY(store.peek());
        QCOMPARE(store.nextEvent(store.now())->title, QStringLiteral("Standup"));

        h.advance(8 * 60);
        QVERIFY(store.alert());
        QCOMPARE(store.alert()->event.title, QStringLiteral("Standup"));
    }

    void reloadIsLogged() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.writeLocalEvent("standup", "Standup", h.at("2026-03-04 10:10"), h.at("2026-03-04 10:25"));
        h.start();
        QFile log(h.logFile);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QVERIFY2(text.contains(" +0000 calendar status=3 calendars=1 events=1 "
                               "range=2026-02-22 23:00:00 +0000...2026-03-22 23:00:00 +0000\n"),
                 qPrintable(text));
        QVERIFY2(text.contains(" +0000 calendars: Local/Work [0]\n"), qPrintable(text));
    }

    void sampleModeKeepsTheSampleEvents() {
        StoreHarness h("2026-03-04 23:59:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.writeLocalEvent("real", "Real meeting", h.at("2026-03-04 09:00"), h.at("2026-03-04 10:00"));
        TestableStore& store = h.start();
        store.installSampleEvents(
            {timed("sample:Demo", "Demo", h.at("2026-03-04 23:30"), h.at("2026-03-05 00:30")),
             timed("sample:Sync", "Sync", h.at("2026-03-04 11:00"), h.at("2026-03-04 12:00"),
                   EventSource::google)});
        QCOMPARE(store.notionLastSync(), std::optional(h.at("2026-03-04 23:59:00")));
        const int before = h.reloads();

        h.writeLocalEvent("later", "Another real one", h.at("2026-03-04 14:00"), h.at("2026-03-04 15:00"));
        h.settings->setHiddenCalendarIDs({QStringLiteral("nothing")});
        store.shiftWeek(1);
        store.shiftWeek(-1);
        h.advance(120); // across midnight
        emit h.wake.woke();
        h.settle();

        QCOMPARE(h.reloads(), before);
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-03-04 00:00"))), (QStringList{"Sync", "Demo"}));
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-03-05 00:00"))), QStringList{"Demo"});
        QCOMPARE(store.selectedDate(), h.at("2026-03-05 00:00"));
    }
};

QTEST_GUILESS_MAIN(TestStoreDays)
#include "tst_storedays.moc"
