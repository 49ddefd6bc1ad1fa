#include "core/calendar/ReadingThreads.h"
#include "support/Patience.h"
#include "support/StoppedClock.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <semaphore>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr auto stuckExit = "--exit-past-a-stalled-read";

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

    // Indexes that hang on a file system hang side by side, however many and however shared out:
    // while the clock stands still they have all begun and the others have run, and one limit
    // later they are all given up on at the same look.
    void hungIndexesAreGivenUpTogether_data() {
        QTest::addColumn<qsizetype>("count");
        QTest::addColumn<qsizetype>("chunk");
        QTest::addColumn<QList<qsizetype>>("hung");
        QTest::newRow("eight hung among nine")
            << qsizetype(9) << qsizetype(32) << QList<qsizetype>{0, 1, 2, 3, 5, 6, 7, 8};
        QList<qsizetype> firstOfThree; // as a load lists them, all calendars together
        for (qsizetype i = 0; i < 24; i += 3)
            firstOfThree << i;
        QTest::newRow("eight calendars of one hung and two readable items")
            << qsizetype(24) << qsizetype(32) << firstOfThree;
        QList<qsizetype> everyOther; // more than there are threads, in shares of two
        for (qsizetype i = 0; i < 4 * ReadingThreads::count(); i += 2)
            everyOther << i;
        QTest::newRow("every other, in shares of two")
            << 4 * qsizetype(ReadingThreads::count()) << qsizetype(2) << everyOther;
    }

    void hungIndexesAreGivenUpTogether() {
        QFETCH(qsizetype, count);
        QFETCH(qsizetype, chunk);
        QFETCH(QList<qsizetype>, hung);
        constexpr qint64 limit = 1000;
        StoppedClock time;
        std::atomic<int> hanging = 0;
        std::atomic<int> ran = 0;
        std::counting_semaphore<> release(0);
        QList<qsizetype> givenUp;
        std::atomic<bool> returned = false;
        std::thread caller([&] {
            givenUp = ReadingThreads::parallelForWithin(
                count, chunk, std::chrono::milliseconds(limit),
                [&](qsizetype i) {
                    if (hung.contains(i)) {
                        const ReadingThreads::MayStall onAHungMount;
                        ++hanging;
                        release.acquire();
                    } else {
                        ++ran;
                    }
                },
                time.clock());
            returned = true;
        });
        // Also when a check fails: the hung indexes end, and with them the call.
        const auto end = qScopeGuard([&] {
            release.release(hung.size());
            caller.join();
            ReadingThreads::waitIdle(60s);
        });
        QCOMPARE_SOON(hanging.load(), int(hung.size()));
        QCOMPARE_SOON(ran.load(), int(count - hung.size()));
        QVERIFY(time.looked());
        QVERIFY(!returned);
        time.ms = limit + 1;
        QVERIFY_SOON(returned.load());
        std::sort(givenUp.begin(), givenUp.end());
        QCOMPARE(givenUp, hung);
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
