#include "StoreHarness.h"
#include "core/calendar/ItemFile.h"
#include "core/calendar/ItemJournal.h"
#include "core/calendar/ReadingThreads.h"
#include "support/Patience.h"
#include "support/TestEvents.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <condition_variable>
#include <memory>
#include <mutex>

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

// A Google meeting between the Berlin wall times "yyyy-MM-dd HH:mm" (or "HH:mm" on Thursday 5 March),
// with my answer when one is given.
CalEvent busy(QString from, QString to, std::optional<Attendee::Status> answer = {}) {
    for (QString* wall : {&from, &to})
        *wall = wall->contains(' ') ? *wall : "2026-03-05 " + *wall;
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

// Every reading thread busy until release(), so that work handed to them waits. Each lets go on its
// own after a minute, so that a GUI thread that wrongly waits for such work cannot hang the test.
class HeldReadingThreads {
public:
    HeldReadingThreads() {
        for (int i = 0; i < ReadingThreads::count(); ++i) {
            ReadingThreads::start([state = m_state] {
                std::unique_lock lock(state->mutex);
                ++state->holding;
                state->changed.notify_all();
                state->changed.wait_for(lock, std::chrono::milliseconds(Patience::ms),
                                        [&] { return state->open; });
            });
        }
    }
    ~HeldReadingThreads() { release(); }
    // Waits until every thread is held.
    bool held() {
        std::unique_lock lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::milliseconds(Patience::ms),
                                         [&] { return m_state->holding == ReadingThreads::count(); });
    }
    void release() {
        const std::lock_guard lock(m_state->mutex);
        m_state->open = true;
        m_state->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int holding = 0;
        bool open = false;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace

struct Slot {
    QString now;
    QString day;   // "yyyy-MM-dd HH:mm", the day asked for or where the search starts
    QString hours; // "9-18": that one day with these working hours; empty: the 14-day search
    int minutes;
    QList<CalEvent> events;
    QString slot;  // "yyyy-MM-dd HH:mm", or "HH:mm" on the day asked for; empty: none
    int shift = 0; // weeks the view moves first
    const char* locale = "de_DE";
};
struct Due {
    bool googleAccount;
    int googleSyncedAgo; // seconds before the tick; -1: never; -2: syncing now
    int notionSyncedAgo; // the same; syncing since a sync an hour ago
    int googleRefreshes, notionRefreshes;
};
struct Timeline {
    QString start;
    QStringList actions; // "select <wall time>", "shift <weeks>", "today", "tick", "jump <seconds>", "wake"
    QString selected, weekStart;
    int reloads;   // of the local events
    int refreshes; // of Google and of Notion each
};
struct Week {
    const char* locale;
    QString today;
    int shift;           // weeks moved on from today's
    QString first, last; // days of the week on show
    QStringList loaded;  // the ranges every source loads, "from/to" as [from, to)
};
Q_DECLARE_METATYPE(Slot)
Q_DECLARE_METATYPE(Week)
Q_DECLARE_METATYPE(Due)
Q_DECLARE_METATYPE(Timeline)

// The agenda over time: the tick, the day and week on show, what is loaded, and what quick add reads
// of the loaded days.
class TestStoreAgenda : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void remoteRefreshesStartedByTheTick_data() {
        QTest::addColumn<Due>("c");
        QTest::newRow("no Google account") << Due{false, -1, -1, 0, 0};
        QTest::newRow("Google never synced") << Due{true, -1, -1, 1, 0};
        QTest::newRow("Google synced 120 s ago") << Due{true, 120, -1, 0, 0};
        QTest::newRow("Google synced 121 s ago") << Due{true, 121, -1, 1, 0};
        QTest::newRow("Google already syncing") << Due{true, -2, -1, 0, 0};
        QTest::newRow("Notion synced 300 s ago") << Due{false, -1, 300, 0, 0};
        QTest::newRow("Notion synced 301 s ago") << Due{false, -1, 301, 0, 1};
    }
    void remoteRefreshesStartedByTheTick() {
        QFETCH(Due, c);
        StoreHarness h;
        if (c.googleAccount)
            h.settings->setGoogle(oneAccount());
        TestableStore& store = h.start();
        const QDateTime tick = h.at("2026-03-04 10:00:10");
        if (c.googleSyncedAgo >= 0)
            store.setGoogleLastSync(tick.addSecs(-c.googleSyncedAgo));
        if (c.notionSyncedAgo != -1)
            store.setNotionLastSync(tick.addSecs(c.notionSyncedAgo == -2 ? -3600 : -c.notionSyncedAgo));
        store.setSyncingGoogle(c.googleSyncedAgo == -2);
        store.setSyncingNotion(c.notionSyncedAgo == -2);
        store.googleRefreshes = store.notionRefreshes = 0;

        h.clock.advance(10);
        // Started on the next turn of the event loop, not inside the tick.
        QCOMPARE(store.googleRefreshes + store.notionRefreshes, 0);
        h.settle();
        QCOMPARE(store.googleRefreshes, c.googleRefreshes);
        QCOMPARE(store.notionRefreshes, c.notionRefreshes);
    }

    // The day and week on show, and how often the sources reload, as the user browses and time passes:
    // at midnight, after a sleep and on a wake.
    void timeline_data() {
        QTest::addColumn<Timeline>("c");
        // Wednesday 4 March 2026 at 10:00 unless the row starts elsewhere; weeks start on Monday.
        const QString wed = "2026-03-04 10:00";
        const QString midnight = "2026-03-04 23:59:55";
        QTest::newRow("a day of the viewed week reloads nothing")
            << Timeline{wed, {"select 2026-03-06 15:30"}, "2026-03-06", "2026-03-02", 0, 0};
        QTest::newRow("a day of another week moves the week")
            << Timeline{wed, {"select 2026-03-18 08:00"}, "2026-03-18", "2026-03-16", 1, 1};
        QTest::newRow("back to this week selects today")
            << Timeline{wed, {"shift 1", "shift -1"}, "2026-03-04", "2026-03-02", 2, 2};
        QTest::newRow("midnight: today selected follows to the new day")
            << Timeline{midnight, {"tick"}, "2026-03-05", "2026-03-02", 1, 0};
        QTest::newRow("midnight: another day selected stays")
            << Timeline{midnight, {"select 2026-03-06 12:00", "tick"}, "2026-03-06", "2026-03-02", 1, 0};
        QTest::newRow("days asleep: the old day stays, everything reloads")
            << Timeline{wed, {"jump 259200", "tick"}, "2026-03-04", "2026-03-02", 2, 1};
        QTest::newRow("the wake signal reloads everything")
            << Timeline{wed, {"wake", "tick"}, "2026-03-04", "2026-03-02", 1, 1};
        QTest::newRow("a clock jump forward is a wake")
            << Timeline{wed, {"jump 600", "tick"}, "2026-03-04", "2026-03-02", 1, 1};
        QTest::newRow("a late timer is no wake")
            << Timeline{wed, {"jump 25", "tick"}, "2026-03-04", "2026-03-02", 0, 0};
        QTest::newRow("signal and jump of one wake reload once")
            << Timeline{wed, {"jump 600", "wake", "tick"}, "2026-03-04", "2026-03-02", 1, 1};
    }
    void timeline() {
        QFETCH(Timeline, c);
        StoreHarness h(c.start);
        TestableStore& store = h.start();
        const int before = h.reloads();
        store.googleRefreshes = store.notionRefreshes = 0;
        for (const QString& action : c.actions) {
            const QString argument = action.section(QLatin1Char(' '), 1);
            if (action.startsWith("select"))
                store.select(h.at(argument));
            else if (action.startsWith("shift"))
                store.shiftWeek(argument.toInt());
            else if (action == "today")
                store.goToToday();
            else if (action == "tick")
                h.advance(10);
            else if (action.startsWith("jump"))
                h.clock.jump(argument.toInt());
            else
                emit h.wake.woke();
            h.settle();
        }
        QCOMPARE(store.selectedDate(), h.at(c.selected + " 00:00"));
        QCOMPARE(store.weekStart(), h.at(c.weekStart + " 00:00"));
        QCOMPARE(h.reloads() - before, c.reloads);
        QCOMPARE(store.googleRefreshes, c.refreshes);
        QCOMPARE(store.notionRefreshes, c.refreshes);
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

    // The user's Refresh reads again a file skipped for not answering in time, and shows it.
    void aRefreshReadsAgainAFileThatDidNotAnswer() {
        StoreHarness h;
        h.writeLocalEvent("late", "Late", h.at("2026-03-04 11:00"), h.at("2026-03-04 11:30"));
        h.journal = h.home.path() + QStringLiteral("/journal");
        const QString file = h.collection + QStringLiteral("/late.ics");
        ItemJournal::open(h.journal, ItemJournal::defaultTimeLimit)
            ->skip(file, *ItemFile::stamp(file), ItemJournal::notAnsweringReason());
        TestableStore& store = h.start();
        QCOMPARE(h.titlesOn("2026-03-04"), QStringList{});
        QCoro::waitFor(store.refreshAll());
        QCOMPARE_SOON(h.titlesOn("2026-03-04"), QStringList{"Late"});
    }

    // The week on show and what every source loads: the viewed week with the week before and the two
    // after, and today and tomorrow wherever the user browses (apart, unless the two meet).
    void weeks_data() {
        QTest::addColumn<Week>("c");
        QTest::newRow("Monday first, midweek")
            << Week{"de_DE", "2026-03-04 10:00", 0, "2026-03-02", "2026-03-08", {"2026-02-23/2026-03-23"}};
        QTest::newRow("Monday first, on Sunday")
            << Week{"de_DE", "2026-03-08 23:00", 0, "2026-03-02", "2026-03-08", {"2026-02-23/2026-03-23"}};
        QTest::newRow("Sunday first, on Sunday")
            << Week{"en_US", "2026-03-08 00:30", 0, "2026-03-08", "2026-03-14", {"2026-03-01/2026-03-29"}};
        QTest::newRow("two weeks back on Sunday: tomorrow stretches the window")
            << Week{"de_DE", "2026-03-08 10:00", -2, "2026-02-16", "2026-02-22", {"2026-02-09/2026-03-10"}};
        QTest::newRow("three weeks back: today and tomorrow apart")
            << Week{"de_DE",      "2026-03-04 10:00", -3,
                    "2026-02-09", "2026-02-15",       {"2026-02-02/2026-03-02", "2026-03-04/2026-03-06"}};
        QTest::newRow("half a year ahead: still four weeks and two days")
            << Week{"de_DE",      "2026-03-04 10:00", 26,
                    "2026-08-31", "2026-09-06",       {"2026-03-04/2026-03-06", "2026-08-24/2026-09-21"}};
    }
    void weeks() {
        QFETCH(Week, c);
        StoreHarness h(c.today, StoreHarness::berlin(c.locale));
        TestableStore& store = h.start();
        store.shiftWeek(c.shift);
        const auto day = [&](const QString& date) { return h.at(date + " 00:00"); };
        QCOMPARE(store.weekStart(), day(c.first));
        const QList<QDateTime> days = store.weekDays();
        QCOMPARE(days.size(), 7);
        QCOMPARE(days.last(), day(c.last));
        QCOMPARE(store.isViewingToday(), c.shift == 0);
        QList<std::pair<QDateTime, QDateTime>> loaded;
        for (const QString& range : c.loaded)
            loaded.append({day(range.section('/', 0, 0)), day(range.section('/', 1))});
        QCOMPARE(store.loadedRanges(), loaded);
    }

    // An agenda too large to merge on the GUI thread is merged on a reading thread: the start still
    // ends with it in place, and of merges begun one after another only the latest shows.
    void aLargeAgendaMergedOffTheGuiThread() {
        StoreHarness h;
        // Forty daily series over the four loaded weeks: more events than the GUI thread merges.
        for (int i = 0; i < 40; ++i)
            h.writeLocalEvent(QStringLiteral("daily-%1").arg(i), QStringLiteral("Daily %1").arg(i),
                              h.at("2026-01-05 08:00").addSecs(i * 60),
                              h.at("2026-01-05 08:30").addSecs(i * 60), {"RRULE:FREQ=DAILY"});
        TestableStore& store = h.start();
        QCOMPARE(h.titlesOn("2026-03-04").size(), 40);
        QCOMPARE(h.titlesOn("2026-03-22").size(), 40);

        const auto shows = [&](const char* id) {
            const QList<CalEvent> today = store.events(h.at("2026-03-04 00:00"));
            return std::any_of(today.begin(), today.end(), [id](const CalEvent& e) { return e.id == id; });
        };

        // While no reading thread is free, the GUI thread goes on turning and the agenda stays as it was:
        // the merges wait for a reading thread.
        HeldReadingThreads held;
        QVERIFY(held.held());
        // The same meeting from Google wins over the local copy, whichever merge ran last.
        store.showGoogle({timed("g:1", "Daily 1", h.at("2026-03-04 08:01"), h.at("2026-03-04 08:31"),
                                EventSource::google)});
        store.showGoogle({timed("g:2", "Daily 2", h.at("2026-03-04 08:02"), h.at("2026-03-04 08:32"),
                                EventSource::google)});
        bool turned = false;
        QTimer::singleShot(0, &store, [&turned] { turned = true; });
        QVERIFY_SOON(turned);
        QVERIFY(!shows("g:1") && !shows("g:2"));
        held.release();
        QVERIFY_SOON(shows("g:2"));
        const QList<CalEvent> today = store.events(h.at("2026-03-04 00:00"));
        QCOMPARE(today.size(), 40);
        QVERIFY(std::none_of(today.begin(), today.end(), [](const CalEvent& e) { return e.id == "g:1"; }));
        QCOMPARE(today[2].id, QStringLiteral("g:2"));

        // The same agenda merged again publishes nothing.
        QSignalSpy published(&store, &EventStore::eventsByDayChanged);
        QSignalSpy merged(&store, &EventStore::agendaMerged);
        store.showGoogle(store.googleEvents());
        QVERIFY_SOON(merged.count() == 1);
        QCOMPARE(published.count(), 0);
    }

    // Free time on the quarter-hour grid, on loaded days from today on only.
    void freeSlots_data() {
        QTest::addColumn<Slot>("c");
        // Thursday 5 March, asked for on the day itself or the day before.
        const QString thu = "2026-03-05 10:07";
        const QString wed = "2026-03-04 10:07";
        const QString day = "2026-03-05 00:00";
        const CalEvent offsite = allDay("a", "Offsite", at(day, berlin), at("2026-03-06 00:00", berlin));
        QTest::newRow("today: from now on the quarter hour")
            << Slot{thu, "2026-03-05 12:00", "9-18", 60, {}, "10:15"};
        QTest::newRow("today: after a meeting")
            << Slot{thu, day, "9-18", 60, {busy("10:15", "10:50")}, "11:00"};
        QTest::newRow("all-day events do not block, another day starts at 9")
            << Slot{wed, day, "9-18", 60, {offsite}, "09:00"};
        QTest::newRow("longer than the working day") << Slot{wed, day, "9-18", 541, {}, ""};
        QTest::newRow("a slot may end at 18:00")
            << Slot{wed, day, "9-18", 60, {busy("08:00", "17:00")}, "17:00"};
        QTest::newRow("but not a minute later") << Slot{wed, day, "9-18", 60, {busy("08:00", "17:01")}, ""};
        QTest::newRow("working end that does not exist") << Slot{wed, day, "9-24", 30, {}, ""};
        QTest::newRow("last loaded day") << Slot{wed, "2026-03-20 12:00", "9-18", 30, {}, "09:00"};
        QTest::newRow("first day not loaded") << Slot{wed, "2026-03-23 12:00", "9-18", 30, {}, ""};
        QTest::newRow("loaded once the week moves")
            << Slot{wed, "2026-03-23 12:00", "9-18", 30, {}, "09:00", 2};
        QTest::newRow("search: Friday evening gives Monday morning")
            << Slot{"2026-03-06 17:10", "2026-03-06 17:10", "", 60, {}, "2026-03-09 09:00"};
        QTest::newRow("search: Thursday evening with a Friday-Saturday weekend gives Sunday")
            << Slot{"2026-03-05 17:10", "2026-03-05 17:10", "", 60, {}, "2026-03-08 09:00", 0, "he_IL"};
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
        if (c.slot.isEmpty()) {
            QCOMPARE(found, std::nullopt);
            return;
        }
        const QDateTime slot = h.at(c.slot.contains(' ') ? c.slot : c.day.left(11) + c.slot);
        QCOMPARE(found, std::optional(FreeSlot{slot, slot.addSecs(c.minutes * 60)}));
    }
};

QTEST_GUILESS_MAIN(TestStoreAgenda)
#include "tst_storeagenda.moc"
