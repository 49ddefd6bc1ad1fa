// Calendar files that stall when opened, as on a hung network mount or a cloud folder that fetches
// them on demand (the stalling_reads shim is preloaded into this process and the app's): a load goes
// on without them and later starts do not open them again until a refresh; a change whose item
// stalls fails naming its calendar, leaves the file as it was, and never holds up the calling thread.

#include "CalendarFixture.h"

#include "core/calendar/CalendarStore.h"
#include "core/calendar/ItemFile.h"
#include "core/calendar/ItemJournal.h"
#include "core/calendar/ReadingThreads.h"
#include "support/AppProcess.h"
#include "support/StallingReads.h"
#include "support/StoppedClock.h"
#include "support/TaskResult.h"
#include "support/TempHome.h"

#include <QScopeGuard>
#include <QTest>

#include <algorithm>

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

    // A file skipped for not answering in time stays unopened until a refresh reads it again, beside a
    // load and neither waiting for the other: given up on again while it stalls, shown once it answers.
    void aRefreshReadsAgainWhatDidNotAnswer() {
        CalendarFixture fixture = CalendarFixture::empty();
        auto write = [&](const QString& id) {
            fixture.writeEvent("Work/" + id, {"UID:" + id, "DTSTART:20240402T080000Z", "SUMMARY:" + id});
            return fixture.path("Work/" + id);
        };
        const QString late = write(QStringLiteral("late.ics"));
        const QString added = fixture.path(QStringLiteral("Work/added.ics"));
        StoppedClock time;
        LocalCalendars::Options options = fixture.options(berlin);
        options.journal = fixture.path(QStringLiteral("../journal"));
        options.itemClock = time.clock();
        // Skipped as a load that gave up on it leaves it.
        ItemJournal::open(options.journal, options.itemTimeLimit)
            ->skip(late, *ItemFile::stamp(late), ItemJournal::notAnsweringReason());
        QVERIFY(StallingReads::stall(late));
        const auto end = qScopeGuard([&] {
            for (const QString& file : {late, added})
                StallingReads::stopStalling(file);
            ReadingThreads::waitIdle(60s);
        });
        const QDateTime from = utc("2024-04-01T00:00:00Z");
        auto opened = [&] { return StallingReads::opened(fixture.path(QStringLiteral("Work"))); };
        auto shown = [&](CalendarStore& store) {
            QStringList titles;
            for (const CalEvent& event : store.events(from, from.addDays(2), {}))
                titles << event.title;
            return sorted(titles);
        };
        CalendarStore store(options);
        QCOMPARE(shown(store), QStringList());
        int changes = 0;
        store.onChange = [&] { ++changes; };

        // It stalls again. Another refresh while that read hangs neither opens it again nor waits.
        const auto refresh = startTask(store.readUnansweredAgain());
        QCOMPARE_SOON(opened(), QStringList{"late.ics"});
        QCOMPARE(shown(store), QStringList());
        QVERIFY(time.looked());
        time.ms += options.itemTimeLimit.count() + 1;
        QVERIFY(finish(*refresh));
        QVERIFY(finish(*startTask(store.readUnansweredAgain())));

        // It answers at last; the next refresh reads it while a load that began before is under way.
        QVERIFY(StallingReads::release(late));
        QVERIFY(ReadingThreads::waitIdle(60s)); // the hung read ends
        write(QStringLiteral("added.ics"));
        QVERIFY(StallingReads::stall(added));
        const QFuture<QList<CalEvent>> load = store.loadEvents(from, from.addDays(2), {});
        QCOMPARE_SOON(opened(), (QStringList{"late.ics", "added.ics"}));
        QVERIFY(finish(*startTask(store.readUnansweredAgain())));
        QVERIFY(StallingReads::release(added));
        QVERIFY_SOON(load.isFinished());
        QCOMPARE(changes, 1);
        QCOMPARE(shown(store), (QStringList{"added.ics", "late.ics"}));
        CalendarStore next(options);
        QCOMPARE(shown(next), (QStringList{"added.ics", "late.ics"}));
    }

    // However many files of a folder hang, no more threads than the bound wait on them: those past it
    // are given up on without being opened, and the folders that answer are read all the same. Nor
    // does a load need a thread it cannot make (past the user's limit on threads): it goes on
    // without. Either way every file is shown or named as not answering, and a refresh shows them all
    // once they answer.
    void manyHungFilesStrandFewThreads_data() {
        QTest::addColumn<bool>("threadsRefused");
        QTest::newRow("more hung files than the bound") << false;
        QTest::newRow("no thread can be made") << true;
    }

    void manyHungFilesStrandFewThreads() {
        QFETCH(bool, threadsRefused);
        CalendarFixture fixture = CalendarFixture::empty();
        QStringList all;
        QStringList stalled;
        for (int i = 0; i < 5 * ReadingThreads::stallBound(); ++i) {
            const QString name = QStringLiteral("%1.ics").arg(i, 3, 10, QLatin1Char('0'));
            fixture.writeEvent("Work/" + name,
                               {"UID:" + name, "DTSTART:20240402T080000Z", "SUMMARY:" + name});
            all << name;
            if (i % 5 != 0)
                stalled << fixture.path("Work/" + name);
        }
        const QStringList home{"x.ics", "y.ics"}; // a calendar after the hung one, on a disk that answers
        for (const QString& name : home)
            fixture.writeEvent("Zuhause/" + name,
                               {"UID:" + name, "DTSTART:20240402T080000Z", "SUMMARY:" + name});
        all << home;
        StoppedClock time;
        LocalCalendars::Options options = fixture.options(berlin);
        options.itemClock = time.clock();
        const QDateTime from = utc("2024-04-01T00:00:00Z");
        CalendarStore warm(options); // the pool has a thread before none can be made
        QCOMPARE(warm.events(from, from.addDays(2), {}).size(), all.size());
        for (const QString& file : std::as_const(stalled))
            QVERIFY(StallingReads::stall(file));
        auto letGo = [&] { // also when a check fails
            StallingReads::refuseThreads(false);
            for (const QString& file : std::as_const(stalled))
                StallingReads::stopStalling(file);
            return ReadingThreads::waitIdle(60s);
        };
        const auto end = qScopeGuard(letGo);
        CalendarStore store(options);
        StallingReads::refuseThreads(threadsRefused);
        const QFuture<QList<CalEvent>> load = store.loadEvents(from, from.addDays(2), {});
        QVERIFY_SOON((time.ms += options.itemTimeLimit.count() + 1, load.isFinished()));
        QVERIFY(StallingReads::opened(fixture.path(QStringLiteral("Work"))).size() <=
                ReadingThreads::stallBound());
        QStringList named;
        for (const CalEvent& event : load.result())
            named << event.title;
        if (!threadsRefused)
            QVERIFY(named.contains(home[0]) && named.contains(home[1]));
        for (const auto& item : store.backend().skippedItems(store.backend().calendars()))
            named << item.fileName;
        QCOMPARE(sorted(named), all);
        QVERIFY(letGo());
        QVERIFY(finish(*startTask(store.readUnansweredAgain())));
        QCOMPARE(store.events(from, from.addDays(2), {}).size(), all.size());
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
        const QString since = QStringLiteral(
            " — skipped until you refresh or the file changes, since it didn’t answer in time");
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
