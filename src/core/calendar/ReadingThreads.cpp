#include "core/calendar/ReadingThreads.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// A plain pool: threads made on demand up to one per core, each waiting for the next piece of work,
// and as many more as wait for others or are stuck (see lend() and stick()); a thread beyond that
// ends once its work is done. Its threads are detached and never waited for, so a thread stuck
// inside a library call cannot hold up the app's exit.
class Pool {
public:
    explicit Pool(int size)
        : m_size(size) {}

    int size() const { return m_size; }

    // False when the work wanted a thread more and none could be made (the user's limit on threads
    // was reached): it then waits for one of those there are.
    bool start(std::function<void()> work) {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(work));
        // A thread more while the waiting ones cannot take all the work.
        if (qsizetype(m_queue.size()) > m_idle && m_threads < cap()) {
            try {
                std::thread([this] { serve(); }).detach();
            } catch (const std::system_error&) {
                m_wake.notify_one();
                return false;
            }
            ++m_threads;
        } else {
            m_wake.notify_one();
        }
        return true;
    }

    // Waits until nothing is queued and no thread works, at most `limit`; whether it came to that.
    // With `orStalled`, stops waiting as soon as every thread that works waits on a file system.
    bool waitIdle(std::chrono::milliseconds limit, bool orStalled = false) {
        std::unique_lock lock(m_mutex);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        // A thread tells nobody when it begins or ends waiting on a file system: looked at every few ms.
        const auto step = orStalled ? std::chrono::milliseconds(10) : limit;
        while (!idle() && !(orStalled && stalled())) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                break;
            m_idleChanged.wait_until(lock, std::min(deadline, now + step));
        }
        return idle();
    }

    // Threads of ours that only wait for others (`n` of them, or -n that stop waiting): the pool may
    // have as many threads more.
    void lend(int n) {
        const std::lock_guard lock(m_mutex);
        m_lent += n;
        if (n < 0)
            m_wake.notify_all(); // a thread too many ends
    }
    // Threads whose work others took over, as it may never end (or -n that came back): the pool
    // may have as many threads more.
    void stick(int n) {
        const std::lock_guard lock(m_mutex);
        m_stuck += n;
        if (n < 0)
            m_wake.notify_all();
    }

    // What the calling thread waits on, when it is one of ours.
    struct Worker {
        bool busy = false;                // under the pool's mutex
        std::atomic<int> onFilesystem{0}; // in calls that may block on a file system for good
    };
    static Worker* worker() { return t_worker; }

private:
    void serve() {
        std::unique_lock lock(m_mutex);
        // Kept for the next thread when this one ends: a caller of parallelForWithin may still look
        // at it.
        Worker* me = m_spare.empty() ? new Worker : m_spare.back();
        if (!m_spare.empty())
            m_spare.pop_back();
        t_worker = me;
        m_workers.push_back(me);
        for (;;) {
            ++m_idle;
            m_wake.wait(lock, [this] { return !m_queue.empty() || m_threads > cap(); });
            --m_idle;
            // A thread too many, since a stuck one came back or a caller stopped waiting: this one
            // ends, and leaves the work to the others.
            if (m_threads > cap()) {
                --m_threads;
                std::erase(m_workers, me);
                m_spare.push_back(me);
                if (!m_queue.empty())
                    m_wake.notify_one();
                return;
            }
            ++m_working;
            me->busy = true;
            std::function<void()> work = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            work();
            // Whatever the work held goes before the pool counts as idle.
            work = nullptr;
            lock.lock();
            --m_working;
            me->busy = false;
            if (idle())
                m_idleChanged.notify_all();
        }
    }

    int cap() const { return m_size + m_lent + m_stuck; }

    bool idle() const { return m_queue.empty() && m_working == 0; }
    // Nothing queued, and every thread that works waits on a file system, which may never answer.
    bool stalled() const {
        return m_queue.empty() && std::all_of(m_workers.begin(), m_workers.end(), [](const Worker* w) {
                   return !w->busy || w->onFilesystem.load(std::memory_order_relaxed) > 0;
               });
    }

    const int m_size;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idleChanged;
    std::deque<std::function<void()>> m_queue;
    std::vector<Worker*> m_workers;
    std::vector<Worker*> m_spare; // of threads that ended, never freed
    qsizetype m_idle = 0;
    int m_working = 0;
    int m_threads = 0;
    int m_lent = 0;
    int m_stuck = 0;
    static thread_local Worker* t_worker;
};

thread_local Pool::Worker* Pool::t_worker = nullptr;

Pool& pool() {
    // Never destroyed: its threads may still run when the process ends.
    static Pool* const threads = new Pool(std::max(1, QThread::idealThreadCount()));
    return *threads;
}

// One call of parallelForWithin, shared by its caller and its helpers: whichever ends last frees it.
struct BoundedRun {
    enum State : quint8 { waiting, running, done, givenUp };
    // Marks a helper's index once another helper has taken its place (see Helper::index).
    static constexpr qsizetype replaced = qsizetype(1) << 62;
    // The index one helper is running, with `replaced` once another helper took its place while it
    // runs; -1 between two. The caller times it. A cache line of its own: the helper writes it at
    // every index, and its neighbour at theirs.
    struct alignas(64) Helper {
        std::atomic<qsizetype> index{-1};
        std::atomic<Pool::Worker*> worker{nullptr}; // the thread it runs on, once it began
        // Indexes of its share that it ran to their end and has not settled yet: the caller settles
        // them when it gives up on the helper, which may never come back to do so.
        std::atomic<qsizetype> unsettled{0};
        qsizetype seen = -1; // by the caller, since `seenAt`
        std::chrono::steady_clock::time_point seenAt;
        bool unstaffed = false; // by the caller: no thread could be made for it

        // Whether it runs the call's indexes, or will.
        bool live() const {
            const qsizetype i = index.load();
            return i >= 0 ? !(i & replaced) : (worker.load() != nullptr || !unstaffed);
        }
    };

    BoundedRun(qsizetype count, qsizetype chunk, std::function<void(qsizetype)> body)
        : body(std::move(body))
        , count(count)
        , chunk(chunk)
        , states(new std::atomic<quint8>[size_t(count)]) {
        for (qsizetype i = 0; i < count; ++i)
            states[i].store(waiting, std::memory_order_relaxed);
    }

    // Whether this call ran the index to its end, before it was given up on.
    bool run(qsizetype i, Helper& me) {
        quint8 expected = waiting;
        if (!states[i].compare_exchange_strong(expected, running))
            return false;
        me.index.store(i, std::memory_order_relaxed);
        body(i);
        // Another helper took this one's place meanwhile: this thread counts again.
        if (me.index.exchange(-1) & replaced)
            pool().stick(-1);
        expected = running;
        return states[i].compare_exchange_strong(expected, done);
    }

    // Whether some index has not begun yet.
    bool anyWaiting() const {
        if (next.load() < count)
            return true;
        for (qsizetype i = 0; i < count; ++i) {
            if (states[i].load(std::memory_order_relaxed) == waiting)
                return true;
        }
        return false;
    }

    // Gives up on every index not begun yet, adding it to `givenUp`; by the caller.
    void giveUpWaiting(QList<qsizetype>& indexes) {
        for (qsizetype i = 0; i < count; ++i) {
            quint8 expected = waiting;
            if (states[i].compare_exchange_strong(expected, givenUp)) {
                indexes.append(i);
                settled.fetch_add(1);
            }
        }
    }

    void settle(qsizetype n) {
        if (n > 0 && settled.fetch_add(n) + n == count) {
            const std::lock_guard lock(mutex);
            changed.notify_all();
        }
    }

    void work(Helper& me) {
        me.worker.store(Pool::worker());
        for (qsizetype first = next.fetch_add(chunk); first < count; first = next.fetch_add(chunk)) {
            for (qsizetype i = first; i < std::min(count, first + chunk); ++i) {
                if (run(i, me))
                    me.unsettled.fetch_add(1);
            }
            settle(me.unsettled.exchange(0));
        }
        // What is left of the chunks of helpers that are busy, or stuck.
        for (qsizetype i = 0; i < count; ++i) {
            if (states[i].load(std::memory_order_relaxed) == waiting)
                settle(run(i, me));
        }
    }

    const std::function<void(qsizetype)> body;
    const qsizetype count;
    const qsizetype chunk;
    std::unique_ptr<std::atomic<quint8>[]> states;
    std::atomic<qsizetype> next{0};
    std::atomic<qsizetype> settled{0}; // done or given up on
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Helper> helpers; // under `mutex`; a deque, so that they never move
};

} // namespace

namespace ReadingThreads {

int count() {
    return pool().size();
}

void start(std::function<void()> work) {
    pool().start(std::move(work));
}

MayStall::MayStall() {
    if (Pool::Worker* worker = Pool::worker())
        worker->onFilesystem.fetch_add(1, std::memory_order_relaxed);
}

MayStall::~MayStall() {
    if (Pool::Worker* worker = Pool::worker())
        worker->onFilesystem.fetch_sub(1, std::memory_order_relaxed);
}

int stallBound() {
    static const int bound = std::max(8, 2 * count());
    return bound;
}

FileCall::FileCall(std::atomic<int>& underWay)
    : m_underWay(underWay)
    , m_admitted(m_underWay.fetch_add(1, std::memory_order_relaxed) < stallBound()) {
    if (!m_admitted)
        m_underWay.fetch_sub(1, std::memory_order_relaxed);
}

FileCall::~FileCall() {
    if (m_admitted)
        m_underWay.fetch_sub(1, std::memory_order_relaxed);
}

bool waitIdle(std::chrono::milliseconds limit) {
    return pool().waitIdle(limit);
}

int beforeExit(int status, std::chrono::milliseconds limit) {
    // Work that waits on a file system may never end: the process ends without it at once.
    if (!pool().waitIdle(limit, true)) {
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

QList<qsizetype> parallelForWithin(qsizetype count, qsizetype chunk, std::chrono::milliseconds limit,
                                   std::function<void(qsizetype)> body, const SteadyClock& clock) {
    if (count <= 0)
        return {};
    const auto run = std::make_shared<BoundedRun>(count, std::max<qsizetype>(1, chunk), std::move(body));
    // A reading thread that waits here leaves its place to a helper, and waits on what they wait on.
    const bool lend = Pool::worker() != nullptr;
    if (lend)
        pool().lend(1);
    const MayStall waiting;
    std::unique_lock lock(run->mutex);
    bool threadsShort = false; // a helper had no thread of its own
    auto addHelper = [&] {
        BoundedRun::Helper& helper = run->helpers.emplace_back();
        helper.unstaffed = !pool().start([run, &helper] { run->work(helper); });
        threadsShort = threadsShort || helper.unstaffed;
    };
    const qsizetype chunks = (count + run->chunk - 1) / run->chunk;
    for (qsizetype h = 0; h < std::min<qsizetype>(chunks, pool().size()); ++h)
        addHelper();
    QList<qsizetype> givenUp;
    const auto poll = std::clamp(limit / 4, std::chrono::milliseconds(5), std::chrono::milliseconds(100));
    while (!run->changed.wait_for(lock, poll, [&] { return run->settled.load() == count; })) {
        // An index seen running for longer than the limit is stuck. Timed here rather than by the
        // helpers: a clock read per index would cost more than the indexes of a cached load.
        const auto now = clock ? clock() : std::chrono::steady_clock::now();
        // Another helper takes the place of one that may never come back, and goes on with what
        // is left of its share, so that the indexes behind it are not held up. That is done at
        // once for a helper still on the same index since the last look and waiting on a file
        // system (a hung mount stalls every file behind the first, and the next may stall as
        // well: those then all hang side by side, each given up on one limit after it began),
        // and for any other once its index is given up on.
        qsizetype replacements = 0;
        auto replace = [&](BoundedRun::Helper& helper, qsizetype i) {
            qsizetype expected = i;
            if (!helper.index.compare_exchange_strong(expected, i | BoundedRun::replaced))
                return false; // it has just come back
            ++replacements;
            return true;
        };
        for (BoundedRun::Helper& helper : run->helpers) {
            const qsizetype seen = helper.index.load(std::memory_order_relaxed);
            const qsizetype i = seen < 0 ? -1 : seen & ~BoundedRun::replaced;
            const bool stillThere = i >= 0 && i == helper.seen;
            if (i != helper.seen) {
                helper.seen = i;
                helper.seenAt = now;
            }
            if (i < 0)
                continue;
            const bool isReplaced = (seen & BoundedRun::replaced) != 0;
            if (now - helper.seenAt <= limit) {
                const Pool::Worker* worker = helper.worker.load();
                if (stillThere && !isReplaced && worker &&
                    worker->onFilesystem.load(std::memory_order_relaxed) > 0 && run->anyWaiting())
                    replace(helper, i);
                continue;
            }
            if (!isReplaced && !replace(helper, i))
                continue;
            quint8 expected = BoundedRun::running;
            if (!run->states[i].compare_exchange_strong(expected, BoundedRun::givenUp))
                continue;
            givenUp.append(i);
            run->settled.fetch_add(1 + helper.unsettled.exchange(0));
        }
        // The helpers replaced may never come back: the pool may have as many threads more.
        if (replacements > 0)
            pool().stick(int(replacements));
        for (qsizetype h = 0; h < replacements; ++h)
            addHelper();
        // Without a thread to run them, what has not begun is given up on rather than waited for.
        if (threadsShort && std::none_of(run->helpers.begin(), run->helpers.end(),
                                         [](const BoundedRun::Helper& helper) { return helper.live(); }))
            run->giveUpWaiting(givenUp);
    }
    lock.unlock();
    if (lend)
        pool().lend(-1);
    return givenUp;
}

} // namespace ReadingThreads
