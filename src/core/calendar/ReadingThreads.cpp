#include "core/calendar/ReadingThreads.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// A plain pool: threads made on demand up to one per core, each waiting for the next piece of work.
// Its threads are detached and never waited for, so a thread stuck inside a library call cannot
// hold up the app's exit.
class Pool {
public:
    explicit Pool(int size)
        : m_size(size) {}

    int size() const { return m_size; }

    void start(std::function<void()> work) {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(work));
        // A thread more while the waiting ones cannot take all the work.
        if (qsizetype(m_queue.size()) > m_idle && m_threads < m_size) {
            ++m_threads;
            std::thread([this] { serve(); }).detach();
        } else {
            m_wake.notify_one();
        }
    }

    bool waitIdle(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_idleChanged.wait_for(lock, limit, [this] { return m_queue.empty() && m_working == 0; });
    }

private:
    void serve() {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock lock(m_mutex);
                ++m_idle;
                m_wake.wait(lock, [this] { return !m_queue.empty(); });
                --m_idle;
                ++m_working;
                work = std::move(m_queue.front());
                m_queue.pop_front();
            }
            work();
            // Whatever the work held goes before the pool counts as idle.
            work = nullptr;
            const std::lock_guard lock(m_mutex);
            if (--m_working == 0 && m_queue.empty())
                m_idleChanged.notify_all();
        }
    }

    const int m_size;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idleChanged;
    std::deque<std::function<void()>> m_queue;
    qsizetype m_idle = 0;
    int m_working = 0;
    int m_threads = 0;
};

Pool& pool() {
    // Never destroyed: its threads may still run when the process ends.
    static Pool* const threads = new Pool(std::max(1, QThread::idealThreadCount()));
    return *threads;
}

} // namespace

namespace ReadingThreads {

int count() {
    return pool().size();
}

void start(std::function<void()> work) {
    pool().start(std::move(work));
}

bool waitIdle(std::chrono::milliseconds limit) {
    return pool().waitIdle(limit);
}

int beforeExit(int status, std::chrono::milliseconds limit) {
    if (!waitIdle(limit)) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
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
    // Helpers that start once this call has done the work find it closed and leave without
    // touching anything of this call's; those that started before are waited for.
    struct Helpers {
        std::mutex mutex;
        std::condition_variable finished;
        bool closed = false;
        int running = 0;
    };
    const auto helpers = std::make_shared<Helpers>();
    const qsizetype chunks = (count + chunk - 1) / chunk;
    for (qsizetype h = 1; h < std::min<qsizetype>(chunks, pool().size()); ++h) {
        pool().start([helpers, &work] {
            {
                const std::lock_guard lock(helpers->mutex);
                if (helpers->closed)
                    return;
                ++helpers->running;
            }
            work();
            const std::lock_guard lock(helpers->mutex);
            if (--helpers->running == 0)
                helpers->finished.notify_all();
        });
    }
    work();
    std::unique_lock lock(helpers->mutex);
    helpers->closed = true;
    helpers->finished.wait(lock, [&] { return helpers->running == 0; });
}

} // namespace ReadingThreads
