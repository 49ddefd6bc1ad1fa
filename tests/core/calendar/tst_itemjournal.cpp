// The crash journal, with real processes: one that dies while it reads an item (by a crash, or
// killed once it ran past its time, or killed twice) makes the next start skip that item, with a
// debug-log line and a report line, until the item's file changes.

#include "CalendarFixture.h"

#include "core/calendar/LocalCalendarsPrivate.h"
#include "core/calendar/ReadingThreads.h"
#include "support/Patience.h"
#include "support/TempHome.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <semaphore>

namespace {

struct Run {
    QStringList events;
    QStringList skipped;
    QString log;
};

} // namespace

class TestItemJournal : public QObject {
    Q_OBJECT

    TempHome m_home;

    QProcess* start(const CalendarFixture& fixture, int timeLimitMs) {
        auto* child = new QProcess(this);
        child->start(QStringLiteral(JOURNAL_CHILD),
                     {fixture.root(), m_home.stateHome() + QStringLiteral("/journal"),
                      QString::number(timeLimitMs), QStringLiteral("--debug")});
        return child;
    }

    // One load in this process, as journal_child prints it.
    static Run load(LocalCalendars& calendars) {
        Run run;
        const QList<LocalCalendar> all = calendars.calendars();
        const QDateTime from = utc("2025-10-01T00:00:00Z");
        for (const LocalOccurrence& o : calendars.occurrences(from, from.addDays(60), all))
            run.events << o.title.value_or(QString());
        for (const LocalCalendars::SkippedItem& item : calendars.skippedItems(all))
            run.skipped << item.fileName + QStringLiteral(" — ") + item.reason;
        return run;
    }

    // A run to its end.
    Run runToEnd(const CalendarFixture& fixture) {
        std::unique_ptr<QProcess> child(start(fixture, 60000));
        if (!child->waitForFinished(60000) || child->exitCode() != 0)
            qWarning() << "journal_child failed:" << child->readAllStandardError();
        Run run;
        for (const QString& line :
             QString::fromUtf8(child->readAllStandardOutput()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("event: ")))
                run.events << line.mid(7);
            else if (line.startsWith(QStringLiteral("skipped: ")))
                run.skipped << line.mid(9);
        }
        run.log = QString::fromUtf8(child->readAllStandardError());
        return run;
    }

    // A run that dies while it reads the marked item: it crashes, or it is killed once it has
    // begun the item (and, with a short time limit, once the journal noted it stuck).
    void runToDeath(const CalendarFixture& fixture, const QString& how, int timeLimitMs) {
        std::unique_ptr<QProcess> child(start(fixture, timeLimitMs));
        if (how == QLatin1String("crash")) {
            QVERIFY(child->waitForFinished(60000));
            QVERIFY(child->exitStatus() == QProcess::CrashExit || child->exitCode() != 0);
            return;
        }
        QVERIFY_SOON(child->readAllStandardOutput().startsWith("reading "));
        if (timeLimitMs < 1000) {
            const QString list = m_home.stateHome() + QStringLiteral("/journal/skipped");
            QVERIFY_SOON(TestFiles::read(list).contains("marked.ics"));
        }
        // A run that gave up on the item may already have ended by itself.
        child->kill();
        QVERIFY(child->state() == QProcess::NotRunning || child->waitForFinished(10000));
    }

private slots:
    // An item that runs out of steps always will: it is skipped until it changes. One that runs out
    // of time may only have met a busy machine: it is read again next time, not skipped for good.
    void onlyWhatAlwaysCostsTooMuchIsSkippedForGood() {
        CalendarFixture fixture = CalendarFixture::empty();
        QList<QStringList> events;
        for (int i = 0; i < 200; ++i)
            events.append({QStringLiteral("UID:e%1").arg(i), "DTSTART:20251020T090000Z", "SUMMARY:Many"});
        fixture.write(QStringLiteral("Work/many.ics"), CalendarFixture::calendarObject(events));
        const QString path = fixture.path(QStringLiteral("Work/many.ics"));

        ItemCache cache;
        cache.journal = ItemJournal::open(m_home.stateHome() + QStringLiteral("/budget-journal"));
        cache.budgetTime = std::chrono::milliseconds(0);
        const std::optional<CachedItem> late = cache.read(path);
        QVERIFY(late && !late->parsed && late->retry);
        QVERIFY(cache.journal->skipped().isEmpty());

        cache.budgetTime = ExpansionBudget::defaultTime;
        cache.budgetSteps = 100;
        const std::optional<CachedItem> costly = cache.read(path);
        QVERIFY(costly && !costly->parsed && !costly->retry);
        QCOMPARE(cache.journal->skipped().size(), 1);
        QCOMPARE(cache.journal->skipped()[0].path, path);
    }

    // The same for an expansion: one that ran out of time is tried again at the next load.
    void anExpansionThatRanOutOfTimeIsTriedAgain() {
        CalendarFixture fixture = CalendarFixture::empty();
        fixture.writeEvent(QStringLiteral("Work/daily.ics"),
                           {"UID:daily", "DTSTART:20250101T090000Z", "RRULE:FREQ=DAILY", "SUMMARY:Daily"});
        const auto cache = std::make_shared<ItemCache>();
        cache->zone = QTimeZone::utc();
        cache->journal = ItemJournal::open(m_home.stateHome() + QStringLiteral("/expansion-journal"));
        LocalCalendar work;
        work.path = fixture.path(QStringLiteral("Work"));
        work.id = QStringLiteral("Work");
        const QDateTime from = utc("2025-01-01T00:00:00Z");
        QCOMPARE(cache->query(from, from.addDays(7), {work}).size(), 7);
        // A year, which the week read before does not hold, on a machine too busy for it.
        cache->budgetTime = std::chrono::milliseconds(0);
        QVERIFY(cache->query(from, from.addDays(365), {work}).isEmpty());
        cache->budgetTime = ExpansionBudget::defaultTime;
        QCOMPARE(cache->query(from, from.addDays(365), {work}).size(), 365);
        QVERIFY(cache->journal->skipped().isEmpty());
    }

    // An item whose reading never ends is left behind after the time an item may take: the others
    // are shown, and it is skipped (and journalled) until its file changes, without waiting for it
    // again.
    void aStuckItemDoesNotHoldTheOthers() {
        CalendarFixture fixture = CalendarFixture::empty();
        fixture.writeEvent(QStringLiteral("Work/ordinary.ics"),
                           {"UID:ordinary", "DTSTART:20251020T090000Z", "SUMMARY:Ordinary"});
        // Listed first, so that the other item waits behind it in the same share of the work.
        fixture.writeEvent(QStringLiteral("Work/blocked.ics"),
                           {"UID:blocked", "DTSTART:20251021T090000Z", "SUMMARY:Blocked"});
        const QString journal = m_home.stateHome() + QStringLiteral("/stuck-journal");
        std::binary_semaphore unstick(0);
        std::atomic<int> stuck = 0;
        LocalCalendars::Options options = fixture.options();
        options.journal = journal;
        options.itemTimeLimit = std::chrono::milliseconds(300);
        options.beforeReading = [&](const QString& path) {
            if (path.endsWith(QStringLiteral("/blocked.ics"))) {
                ++stuck;
                unstick.acquire();
            }
        };
        // Whatever happens, the stuck thread ends before what it uses goes.
        const auto end = qScopeGuard([&] {
            unstick.release();
            ReadingThreads::waitIdle(std::chrono::seconds(10));
        });
        LocalCalendars calendars(options);
        for (int round = 0; round < 2; ++round) {
            const Run run = load(calendars);
            QCOMPARE(run.events, QStringList{"Ordinary"});
            QCOMPARE(run.skipped,
                     QStringList{"blocked.ics — skipped until the file changes, since reading it "
                                 "ran past its time"});
        }
        QCOMPARE(stuck.load(), 1);
        const QList<ItemJournal::Entry> journalled = ItemJournal::open(journal)->skipped();
        QCOMPARE(journalled.size(), 1);
        QCOMPARE(journalled[0].path, fixture.path(QStringLiteral("Work/blocked.ics")));
    }

    // The journal's list holds while the app runs: an item it skips is read as soon as its file
    // changes, not only at the next start.
    void aSkippedItemIsReadAgainOnceItsFileChanges() {
        CalendarFixture fixture = CalendarFixture::empty();
        const QStringList marked{"UID:marked", "DTSTART:20251021T090000Z", "SUMMARY:Marked"};
        fixture.writeEvent(QStringLiteral("Work/marked.ics"), marked);
        const QString path = fixture.path(QStringLiteral("Work/marked.ics"));
        const QString folder = m_home.stateHome() + QStringLiteral("/reread-journal");
        const std::shared_ptr<ItemJournal> journal = ItemJournal::open(folder);
        journal->skip(path, *ItemFile::stamp(path), QStringLiteral("it took the app down"));
        LocalCalendars::Options options = fixture.options();
        options.journal = folder;
        LocalCalendars calendars(options);
        Run run = load(calendars);
        QVERIFY(run.events.isEmpty());
        QCOMPARE(run.skipped,
                 QStringList{"marked.ics — skipped until the file changes, since it took the app down"});

        fixture.writeEvent(QStringLiteral("Work/marked.ics"), QStringList(marked) << "DESCRIPTION:mended");
        run = load(calendars);
        QCOMPARE(run.events, QStringList{"Marked"});
        QVERIFY(run.skipped.isEmpty());
    }

    void anItemThatTookTheAppDownIsSkippedUntilItChanges_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("timeLimitMs");
        QTest::addColumn<int>("deaths");
        QTest::addColumn<QString>("reason");
        QTest::newRow("crashed") << "CRASH"
                                 << "crash" << 60000 << 1 << "it took the app down";
        QTest::newRow("stuck past its time, then killed")
            << "HANG"
            << "kill" << 200 << 1 << "reading it ran past its time";
        // Killed for some other reason while reading it: perhaps not its fault, so only twice.
        QTest::newRow("killed twice while reading it")
            << "HANG"
            << "kill" << 60000 << 2 << "the app was stopped twice while reading it";
    }

    void anItemThatTookTheAppDownIsSkippedUntilItChanges() {
        QFETCH(QString, marker);
        QFETCH(QString, how);
        QFETCH(int, timeLimitMs);
        QFETCH(int, deaths);
        QFETCH(QString, reason);
        QDir(m_home.stateHome() + QStringLiteral("/journal")).removeRecursively();
        CalendarFixture fixture = CalendarFixture::empty();
        fixture.writeEvent(QStringLiteral("Work/ordinary.ics"),
                           {"UID:ordinary", "DTSTART:20251020T090000Z", "DURATION:PT1H", "SUMMARY:Ordinary"});
        const QStringList marked{"UID:marked", "DTSTART:20251021T090000Z", "DURATION:PT1H", "SUMMARY:Marked",
                                 "X-TEST:" + marker};
        fixture.writeEvent(QStringLiteral("Work/marked.ics"), marked);

        // Until the last death the item is not skipped: each run reads it (and dies on it again).
        for (int death = 1; death <= deaths; ++death) {
            runToDeath(fixture, how, timeLimitMs);
            if (QTest::currentTestFailed())
                return;
        }
        const Run after = runToEnd(fixture);
        QCOMPARE(after.events, QStringList{"Ordinary"});
        QCOMPARE(after.skipped, QStringList{"marked.ics — skipped until the file changes, since " + reason});
        QVERIFY2(after.log.contains(QStringLiteral("calendar: skipped ") +
                                    fixture.path(QStringLiteral("Work/marked.ics")) +
                                    QStringLiteral(": skipped until the file changes, since ") + reason),
                 qPrintable(after.log));

        // Mended by whoever wrote it: read again.
        fixture.writeEvent(QStringLiteral("Work/marked.ics"), QStringList(marked.mid(0, 4))
                                                                  << "DESCRIPTION:fixed");
        const Run mended = runToEnd(fixture);
        QCOMPARE(mended.events, (QStringList{"Ordinary", "Marked"}));
        QVERIFY(mended.skipped.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestItemJournal)
#include "tst_itemjournal.moc"
