#include "core/calendar/ReadingThreads.h"

#include <QTest>

#include <atomic>
#include <semaphore>

using namespace std::chrono_literals;

class TestReadingThreads : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The process waits for this before it destroys its statics: it must not answer "idle" while
    // work runs or waits in the queue, and must answer as soon as the last piece is done.
    void idleOnlyOnceAllWorkIsDone() {
        QVERIFY(ReadingThreads::waitIdle(5s));
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
        QVERIFY(ReadingThreads::waitIdle(5s));
        QCOMPARE(done.load(), pieces);
    }
};

QTEST_GUILESS_MAIN(TestReadingThreads)
#include "tst_readingthreads.moc"
