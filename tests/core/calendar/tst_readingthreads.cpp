#include "core/calendar/ReadingThreads.h"
#include "support/Patience.h"
#include "support/StoppedClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <future>
#include <latch>
#include <semaphore>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr auto stuckExit = "--exit-past-a-stalled-read";

// The threads of this process.
int threadsNow() {
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace

class TestReadingThreads : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The process waits for this before it destroys its statics: it must not answer "idle" while
    // work runs or waits in the queue, and must answer as soon as the last piece is done.
    void idleOnlyOnceAllWorkIsDone() {
        QVERIFY(ReadingThreads::waitIdle(60s));
        std::binary_semaphore release(0);
        std::atomic<int> done = 0;
        // More pieces than threads: some wait in the queue behind the blocked ones.
        const int pieces = ReadingThreads::count() * 2;
        for (int i = 0; i < pieces; ++i)
            ReadingThreads::start([&] {
                if (done.fetch_add(1) == 0)
                    release.acquire();
            });
        QVERIFY(!ReadingThreads::waitIdle(100ms));
        release.release();
        QVERIFY(ReadingThreads::waitIdle(60s));
        QCOMPARE(done.load(), pieces);
    }

    // Each index is timed from its own start, wherever it sits in its thread's share: one that has
    // just begun after slow ones is not given up on, one that ran past the limit is, and the call
    // then returns with every other index run, the slow ones before it in the share among them.
    void onlyAnIndexPastTheLimitIsGivenUpOn() {
        constexpr qint64 limit = 1000;
        StoppedClock time;
        std::counting_semaphore<> started(0);
        std::binary_semaphore release[4]{std::binary_semaphore(0), std::binary_semaphore(0),
                                         std::binary_semaphore(0), std::binary_semaphore(0)};
        std::atomic<int> ran[4] = {};
        QList<qsizetype> givenUp;
        std::atomic<bool> returned = false;
        // One share of four indexes, on one thread; all but the first block until released.
        std::thread caller([&] {
            givenUp = ReadingThreads::parallelForWithin(
                4, 4, std::chrono::milliseconds(limit),
                [&](qsizetype i) {
                    if (i > 0) {
                        started.release();
                        release[i].acquire();
                    }
                    ++ran[i];
                },
                time.clock());
            returned = true;
        });
        // Index 1 takes just under the limit, index 2 as long again: together longer than it.
        started.acquire();
        QVERIFY(time.looked());
        time.ms = limit - 1;
        release[1].release();
        started.acquire();
        QVERIFY(time.looked());
        time.ms = 2 * (limit - 1);
        QVERIFY(time.looked());
        release[2].release();
        // Index 3 runs past it.
        started.acquire();
        QVERIFY(time.looked());
        time.ms = 3 * limit;
        QVERIFY_SOON(returned.load());
        caller.join();
        QCOMPARE(givenUp, QList<qsizetype>{3});
        QCOMPARE((QList<int>{ran[0], ran[1], ran[2], ran[3]}), (QList<int>{1, 1, 1, 0}));
        // Still running, until it ends at last.
        QVERIFY(!ReadingThreads::waitIdle(0ms));
        release[3].release();
        QVERIFY(ReadingThreads::waitIdle(60s));
        QCOMPARE(ran[3].load(), 1);
    }

    // Indexes that hang on a file system do so side by side, however many and however shared out:
    // the others run meanwhile, and one limit on all are given up on together. Once they end, the
    // threads that took their places leave: the pool is back to its size.
    void hungIndexesAreGivenUpTogether_data() {
        QTest::addColumn<QString>("items"); // h for one that hangs, r for one that reads
        QTest::addColumn<qsizetype>("chunk");
        QTest::newRow("eight hung among nine") << QStringLiteral("hhhhrhhhh") << qsizetype(32);
        QTest::newRow("eight calendars of one hung and two readable items")
            << QStringLiteral("hrr").repeated(8) << qsizetype(32);
        QTest::newRow("more hung than threads, in shares of two")
            << QStringLiteral("hr").repeated(2 * ReadingThreads::count()) << qsizetype(2);
    }
    void hungIndexesAreGivenUpTogether() {
        QFETCH(QString, items);
        QFETCH(qsizetype, chunk);
        // Every thread of the pool made first: those the call adds are the ones that must leave.
        std::latch all(ReadingThreads::count());
        for (int i = 0; i < ReadingThreads::count(); ++i)
            ReadingThreads::start([&] { all.arrive_and_wait(); });
        QVERIFY(ReadingThreads::waitIdle(60s));
        const int threads = threadsNow();
        StoppedClock time;
        std::atomic<int> begun = 0;
        std::counting_semaphore<> release(0);
        auto read = [&](qsizetype i) {
            const ReadingThreads::MayStall onAFileSystem;
            ++begun;
            if (items.at(i) == u'h') // read on several threads: never detached
                release.acquire();
        };
        auto call = std::async(std::launch::async, [&] {
            return ReadingThreads::parallelForWithin(items.size(), chunk, 1s, read, time.clock());
        });
        const auto end = qScopeGuard([&] { // also when a check fails
            release.release(items.count(u'h'));
            ReadingThreads::waitIdle(60s);
        });
        QCOMPARE_SOON(begun.load(), int(items.size()));
        QVERIFY(time.looked());
        time.ms = 1001; // past the limit
        QVERIFY_SOON(call.wait_for(0s) == std::future_status::ready);
        QString givenUp(items.size(), u'r');
        for (const qsizetype i : call.get())
            givenUp[i] = u'h';
        QCOMPARE(givenUp, items);
        release.release(items.count(u'h'));
        QVERIFY(ReadingThreads::waitIdle(60s));
        QVERIFY_SOON(threadsNow() <= threads);
    }

    // A process that ends while a thread waits on a file system for good does not wait for it,
    // however long it would wait for work that still runs.
    void anExitDoesNotWaitForAStalledRead() {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(stuckExit)});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 7);
    }
};

int main(int argc, char** argv) {
    if (argc == 2 && qstrcmp(argv[1], stuckExit) == 0) {
        // Blocked for good, as a read on a hung mount is: one given up on, one still waited for.
        static std::binary_semaphore never(0);
        auto read = [](qsizetype) {
            const ReadingThreads::MayStall reading;
            never.acquire();
        };
        const QList<qsizetype> givenUp = ReadingThreads::parallelForWithin(1, 1, 10ms, read);
        ReadingThreads::start(
            [read] { ReadingThreads::parallelForWithin(1, 1, std::chrono::hours(1), read); });
        return ReadingThreads::beforeExit(givenUp == QList<qsizetype>{0} ? 7 : 1, std::chrono::hours(1));
    }
    QCoreApplication app(argc, argv);
    TestReadingThreads test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_readingthreads.moc"
