#include "core/calendar/ReadingThreads.h"

#include <QRunnable>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <vector>

namespace {

QThreadPool& pool() {
    // Never destroyed: destroying a pool waits for its threads.
    static QThreadPool* const threads = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        return p;
    }();
    return *threads;
}

class Helper final : public QRunnable {
public:
    explicit Helper(std::function<void()> work)
        : m_work(std::move(work)) {
        setAutoDelete(false);
    }
    void run() override { m_work(); }

private:
    std::function<void()> m_work;
};

} // namespace

namespace ReadingThreads {

int count() {
    return pool().maxThreadCount();
}

void start(std::function<void()> work) {
    pool().start(std::move(work));
}

void parallelFor(qsizetype count, qsizetype chunk, const std::function<void(qsizetype)>& body) {
    chunk = std::max<qsizetype>(1, chunk);
    std::atomic<qsizetype> next{0};
    auto work = [&] {
        for (qsizetype first = next.fetch_add(chunk); first < count; first = next.fetch_add(chunk)) {
            for (qsizetype i = first; i < std::min(count, first + chunk); ++i)
                body(i);
        }
    };
    QSemaphore finished;
    const qsizetype chunks = (count + chunk - 1) / chunk;
    std::vector<std::unique_ptr<Helper>> helpers;
    for (qsizetype h = 1; h < std::min<qsizetype>(chunks, pool().maxThreadCount()); ++h) {
        helpers.push_back(std::make_unique<Helper>([&] {
            work();
            finished.release();
        }));
        pool().start(helpers.back().get());
    }
    work();
    // Helpers that never got a thread are taken back; those that started are waited for.
    int started = 0;
    for (const std::unique_ptr<Helper>& helper : helpers) {
        if (!pool().tryTake(helper.get()))
            ++started;
    }
    finished.acquire(started);
}

} // namespace ReadingThreads
