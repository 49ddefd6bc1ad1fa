// Calendar files that stall when opened, as on a hung network mount or a cloud folder that fetches
// them on demand (the stalling_reads shim is preloaded into this process and the app's): a load goes
// on without them, however many, and the next start does not open them again until a refresh; a
// change whose item stalls fails naming its calendar, leaves the file as it was, and never holds up
// the calling thread.

#include "CalendarFixture.h"

#include "core/calendar/CalendarStore.h"
#include "core/calendar/ItemFile.h"
#include "core/calendar/ItemJournal.h"
#include "core/calendar/ReadingThreads.h"
#include "support/AppProcess.h"
#include "support/Patience.h"
#include "support/StallingReads.h"
#include "support/StoppedClock.h"
#include "support/TaskResult.h"
#include "support/TempHome.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <optional>

using namespace std::chrono_literals;

namespace {

const QTimeZone berlin("Europe/Berlin");

// How a change ended: its error, once the thread that asked for it has gone on at once.
template <typename T> QString failureOf(QCoro::Task<T> change) {
    const auto result = startTask(std::move(change));
    if (result->finished)
        return QStringLiteral("(ended before the calling thread went on)");
    if (!finish(*result))
        return QStringLiteral("(never ended)");
    return result->errorMessage();
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

const QString notAnswering =
    QStringLiteral("skipped until you refresh or the file changes, since it didn’t answer in time");

void writeEvent(const CalendarFixture& fixture, const QString& relative) {
    fixture.writeEvent(
        relative, {"UID:" + relative, "DTSTART:20240402T080000Z", "DURATION:PT15M", "SUMMARY:" + relative});
}

} // namespace

class TestStalledReads : public QObject {
    Q_OBJECT

private slots:
    void aChangeGivesUpOnAStalledItem_data() {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<bool>("loaded"); // else the look-up of the event is what reads it first
        QTest::newRow("save") << false << true;
        QTest::newRow("delete") << true << true;
        QTest::newRow("save, the look-up reading the item") << false << false;
    }

    void aChangeGivesUpOnAStalledItem() {
        QFETCH(bool, remove);
        QFETCH(bool, loaded);
        CalendarFixture fixture = CalendarFixture::empty();
        fixture.writeEvent(QStringLiteral("Work/standup.ics"),
                           {"UID:standup", "DTSTART:20240402T080000Z", "DURATION:PT15M", "SUMMARY:Standup"});
        const QString file = fixture.path(QStringLiteral("Work/standup.ics"));
        const QByteArray before = fixture.read(QStringLiteral("Work/standup.ics"));
        LocalCalendars::Options options = fixture.options(berlin);
        options.itemTimeLimit = 2s;
        CalendarStore loader(options);
        const QList<CalEvent> events =
            loader.events(utc("2024-04-01T00:00:00Z"), utc("2024-04-03T00:00:00Z"), {});
        QCOMPARE(events.size(), 1);
        CalendarStore fresh(options);
        CalendarStore& store = loaded ? loader : fresh;

        QVERIFY(StallingReads::stall(file));
        const QString failure = remove
                                    ? failureOf(store.deleteEvent(events[0]))
                                    : failureOf(store.updateEvent(events[0], QStringLiteral("Renamed"), {}));
        QCOMPARE(failure, QStringLiteral("Work didn’t answer in time, so the event was left as it was."));
        QCOMPARE(StallingReads::opened(fixture.path(QStringLiteral("Work"))), QStringList{"standup.ics"});
        // The read that was given up on ends at last: nothing is written after it.
        QVERIFY(StallingReads::release(file));
        QVERIFY(ReadingThreads::waitIdle(60s));
        QCOMPARE(fixture.read(QStringLiteral("Work/standup.ics")), before);
    }

    // Eight calendars of one item that hangs and two that read: the hung ones hang side by side
    // while the clock of the items stands still, and one limit on they are all given up on at once.
    void hungFilesAreGivenUpTogether() {
        CalendarFixture fixture = CalendarFixture::empty();
        QStringList folders;
        for (int c = 0; c < 8; ++c) {
            folders << fixture.path(QStringLiteral("Calendar %1").arg(c));
            for (const char* name : {"a", "hung", "b"})
                writeEvent(fixture, QStringLiteral("Calendar %1/%2.ics").arg(c).arg(QLatin1String(name)));
            QVERIFY(StallingReads::stall(folders.last() + QStringLiteral("/hung.ics")));
        }
        StoppedClock time;
        LocalCalendars::Options options = fixture.options(berlin);
        options.itemClock = time.clock();
        LocalCalendars calendars(options);
        QList<LocalOccurrence> found;
        std::atomic<bool> loaded = false;
        calendars.occurrencesLater(utc("2024-04-01T00:00:00Z"), utc("2024-04-03T00:00:00Z"),
                                   calendars.calendars(), [&](QList<LocalOccurrence> occurrences) {
                                       found = std::move(occurrences);
                                       loaded = true;
                                   });
        // Also when a check fails: the hung files answer, and the load ends.
        const auto end = qScopeGuard([&] {
            for (const QString& folder : std::as_const(folders))
                StallingReads::stopStalling(folder + QStringLiteral("/hung.ics"));
            Patience::until([&] { return loaded.load(); });
            ReadingThreads::waitIdle(60s);
        });
        auto opened = [&] {
            QStringList all;
            for (const QString& folder : std::as_const(folders))
                all += StallingReads::opened(folder);
            return all;
        };
        QCOMPARE_SOON(opened(), QStringList(8, QStringLiteral("hung.ics")));
        QVERIFY(time.looked());
        QVERIFY(!loaded);
        time.ms = options.itemTimeLimit.count() + 1;
        QVERIFY_SOON(loaded.load());
        QCOMPARE(found.size(), 16);
        QStringList skipped;
        for (const LocalCalendars::SkippedItem& item : calendars.skippedItems(calendars.calendars()))
            skipped << item.fileName + QStringLiteral(" — ") + item.reason;
        QCOMPARE(skipped, QStringList(8, QStringLiteral("hung.ics — ") + notAnswering));
    }

    // A file that did not answer once is skipped by every later start without being opened, until a
    // refresh reads it again beside the loads, which never wait for it: shown once it answers (also
    // after a load that began before and ends after the refresh), given up on again one limit on
    // when it does not. One skipped for another reason stays unopened.
    void aRefreshReadsAgainWhatDidNotAnswer_data() {
        QTest::addColumn<bool>("answers");
        QTest::addColumn<bool>("loadUnderWay");
        QTest::newRow("it answers now") << true << false;
        QTest::newRow("it answers while a load is under way") << true << true;
        QTest::newRow("it stalls again") << false << false;
    }

    void aRefreshReadsAgainWhatDidNotAnswer() {
        QFETCH(bool, answers);
        QFETCH(bool, loadUnderWay);
        QTemporaryDir state;
        CalendarFixture fixture = CalendarFixture::empty();
        for (const char* name : {"standup", "late", "crashed"})
            writeEvent(fixture, QStringLiteral("Work/%1.ics").arg(QLatin1String(name)));
        const QString late = fixture.path(QStringLiteral("Work/late.ics"));
        const QString crashed = fixture.path(QStringLiteral("Work/crashed.ics"));
        const QString added = fixture.path(QStringLiteral("Work/added.ics"));
        StoppedClock time;
        LocalCalendars::Options options = fixture.options(berlin);
        options.journal = state.path();
        options.itemClock = time.clock();
        const std::shared_ptr<ItemJournal> journal =
            ItemJournal::open(options.journal, options.itemTimeLimit);
        journal->skip(crashed, *ItemFile::stamp(crashed), QStringLiteral("it took the app down"));
        QVERIFY(StallingReads::stall(crashed));
        QVERIFY(StallingReads::stall(late));
        const auto end = qScopeGuard([&] {
            StallingReads::stopStalling(crashed);
            StallingReads::stopStalling(late);
            StallingReads::stopStalling(added);
            ReadingThreads::waitIdle(60s);
        });
        const QDateTime from = utc("2024-04-01T00:00:00Z");
        const QDateTime to = from.addDays(2);
        auto opened = [&] { return StallingReads::opened(fixture.path(QStringLiteral("Work"))); };
        auto shown = [&](CalendarStore& store) {
            QStringList titles;
            for (const CalEvent& event : store.events(from, to, {}))
                titles << event.title;
            return sorted(titles);
        };
        auto skipped = [&](CalendarStore& store) {
            QStringList items;
            for (const LocalCalendars::SkippedItem& item : store.backend().skippedItems(store.calendars()))
                items << item.fileName + QStringLiteral(" — ") + item.reason;
            return items;
        };
        const QString crashedSkipped =
            QStringLiteral("crashed.ics — skipped until the file changes, since it took the app down");
        const QString lateSkipped = QStringLiteral("late.ics — ") + notAnswering;
        {
            CalendarStore first(options);
            QFuture<QList<CalEvent>> load = first.loadEvents(from, to, {});
            QCOMPARE_SOON(opened(), QStringList{"late.ics"});
            QVERIFY(time.looked());
            time.ms += options.itemTimeLimit.count() + 1;
            QVERIFY_SOON(load.isFinished());
            QCOMPARE(load.result().size(), 1);
        }
        CalendarStore store(options);
        QCOMPARE(shown(store), QStringList{"Work/standup.ics"});
        QCOMPARE(skipped(store), (QStringList{crashedSkipped, lateSkipped}));
        QCOMPARE(opened(), QStringList{"late.ics"});

        int changes = 0;
        store.onChange = [&] { ++changes; };
        if (answers)
            QVERIFY(StallingReads::release(late)); // the first load's read ends; the next ones open at once
        std::optional<QFuture<QList<CalEvent>>> underWay;
        if (loadUnderWay) {
            writeEvent(fixture, QStringLiteral("Work/added.ics"));
            QVERIFY(StallingReads::stall(added));
            underWay = store.loadEvents(from, to, {});
            QCOMPARE_SOON(opened(), (QStringList{"late.ics", "added.ics"}));
        }
        const auto refresh = startTask(store.readUnansweredAgain());
        if (!answers) {
            QCOMPARE_SOON(opened(), (QStringList{"late.ics", "late.ics"}));
            QCOMPARE(shown(store), QStringList{"Work/standup.ics"});
            QVERIFY(time.looked());
            QVERIFY(!refresh->finished);
            time.ms += options.itemTimeLimit.count() + 1;
        }
        QVERIFY(finish(*refresh));
        if (underWay) {
            QVERIFY(StallingReads::release(added));
            QVERIFY_SOON(underWay->isFinished());
        }
        QCOMPARE(changes, answers ? 1 : 0);
        QStringList expected{"Work/standup.ics"};
        if (answers)
            expected << "Work/late.ics";
        if (loadUnderWay)
            expected << "Work/added.ics";
        expected = sorted(expected);
        QCOMPARE(shown(store), expected);
        QCOMPARE(skipped(store),
                 answers ? QStringList{crashedSkipped} : (QStringList{crashedSkipped, lateSkipped}));
        // So does the next start, which does not open a file still skipped.
        CalendarStore next(options);
        QCOMPARE(shown(next), expected);
        QCOMPARE(opened().count(QStringLiteral("late.ics")), answers ? 1 : 2);
    }

    // The calendar report of the app: stalled items, wherever they sit (one in the middle of a
    // calendar, one in each share of the work at the same time, one found behind them), are left
    // behind and the others counted; the report ends and the app exits while their threads are still
    // stuck. The next start skips them without opening them, until a file changes.
    void theReportGoesOnWithoutStalledItems() {
        TempHome home;
        CalendarFixture fixture = CalendarFixture::empty();
        const QString start =
            QDateTime::currentDateTimeUtc().addDays(1).toString(QStringLiteral("yyyyMMddTHHmmssZ"));
        auto write = [&](const QString& relative) {
            fixture.writeEvent(
                relative, {"UID:" + relative, "DTSTART:" + start, "DURATION:PT30M", "SUMMARY:" + relative});
        };
        for (const char* name : {"a", "b", "c"})
            write(QStringLiteral("Home/%1.ics").arg(QLatin1String(name)));
        // Two shares of the work: one of them stalls in each.
        for (int i = 0; i < 40; ++i)
            write(QStringLiteral("Work/item-%1.ics").arg(i, 2, 10, QLatin1Char('0')));
        for (const char* stalled : {"Home/b.ics", "Work/item-12.ics", "Work/item-37.ics"})
            QVERIFY(StallingReads::stallForGood(fixture.path(QString::fromLatin1(stalled))));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VORRINDEL_CALENDARS"), fixture.root());
        auto report = [&] {
            AppProcess app({QStringLiteral("--list-calendars")}, environment);
            if (!app.waitForFinished(120000) || app.exitStatus() != QProcess::NormalExit ||
                app.exitCode() != 0)
                return QStringList{QStringLiteral("(did not end well) ") + app.readAllStandardError()};
            QStringList lines = QString::fromUtf8(app.readAllStandardOutput()).split(QLatin1Char('\n'));
            lines.removeIf([](const QString& line) {
                return !line.startsWith(QStringLiteral("  - ")) &&
                       !line.startsWith(QStringLiteral("skipped: "));
            });
            return lines;
        };
        const QString since = QStringLiteral(" — ") + notAnswering;
        const QStringList expected{"  - Home — 2 in the next 7 days, 2 between -60 and +120 days",
                                   "  - Work — 38 in the next 7 days, 38 between -60 and +120 days",
                                   "skipped: Home/b.ics" + since, "skipped: Work/item-12.ics" + since,
                                   "skipped: Work/item-37.ics" + since};
        auto opened = [&] {
            return sorted(StallingReads::opened(fixture.path(QStringLiteral("Home"))) +
                          StallingReads::opened(fixture.path(QStringLiteral("Work"))));
        };
        const QStringList once{"b.ics", "item-12.ics", "item-37.ics"};
        QCOMPARE(report(), expected);
        QCOMPARE(opened(), once);
        QCOMPARE(report(), expected);
        QCOMPARE(opened(), once);

        // Mended by whoever wrote it: read again.
        QVERIFY(QFile::remove(StallingReads::control(fixture.path(QStringLiteral("Work/item-37.ics")))));
        write(QStringLiteral("Work/item-37.ics"));
        QCOMPARE(report(),
                 (QStringList{expected[0], "  - Work — 39 in the next 7 days, 39 between -60 and +120 days",
                              expected[2], expected[3]}));
        QCOMPARE(opened(), once);
    }
};

QTEST_GUILESS_MAIN(TestStalledReads)
#include "tst_stalledreads.moc"
