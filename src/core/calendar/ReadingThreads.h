#pragma once

#include <QFuture>
#include <QList>
#include <QPromise>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// The threads that read and expand calendar items: one per core, shared by every LocalCalendars of
// the process. They are never waited for at exit: a thread stuck inside a library call must not
// keep the app from quitting.
namespace ReadingThreads {

int count();
// Runs `work` on a reading thread.
void start(std::function<void()> work);
// Frees `value` on a reading thread: the agenda's large lists take milliseconds to free, which the
// GUI thread must not spend.
template <typename T> void release(T&& value) {
    start([held = std::forward<T>(value)] { Q_UNUSED(held); });
}

// Runs `work` on a reading thread; the future gives its result, or throws what it threw.
template <typename F> QFuture<std::invoke_result_t<F&>> later(F work) {
    using Result = std::invoke_result_t<F&>;
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    start([promise, work = std::move(work)]() mutable {
        try {
            if constexpr (std::is_void_v<Result>)
                work();
            else
                promise->addResult(work());
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    return future;
}

// Waits until no work is queued or running, at most `limit`; false when some still is.
bool waitIdle(std::chrono::milliseconds limit);
// What a process does last, before its statics are destroyed: work that outlived its caller (a merge,
// a read, a list being freed) may still use them. Waits for it at most `limit` and returns `status`;
// when some is still running then (an item near the end of its time budget), the process ends at
// once with `status`, without destroying its statics. It does so without waiting at all once all
// the work left waits on a file system (see MayStall), which may never answer.
int beforeExit(int status, std::chrono::milliseconds limit);

// Marks the calling reading thread, while the object lives, as inside a call that may block on a
// file system for good (opening or reading an item on a stalled mount): an exit does not wait for it.
class MayStall {
public:
    MayStall();
    ~MayStall();
    MayStall(const MayStall&) = delete;
    MayStall& operator=(const MayStall&) = delete;
};

// How many calls that may hang on a file system for good (see FileCall) are under way at most at
// once on the files of one folder: however many of its files hang, no more threads than that wait on
// them. More than the threads that read at once, so that a folder that answers never meets it.
int stallBound();

// One call that may hang on a file system for good: the open and the reading of an item, which a hung
// network mount or a cloud folder still fetching it may never answer (also a MayStall). `underWay`
// counts the calls under way on the files of its folder, and outlives the call. It is made only when
// admitted(): while
// stallBound() calls are under way there (as many hung files), it is not, and its item is given up
// on as not answering at once, without a thread of its own. The files of other folders are read on.
class FileCall {
public:
    explicit FileCall(std::atomic<int>& underWay);
    ~FileCall();
    FileCall(const FileCall&) = delete;
    FileCall& operator=(const FileCall&) = delete;
    bool admitted() const { return m_admitted; }

private:
    MayStall m_mayStall;
    std::atomic<int>& m_underWay;
    bool m_admitted;
};

// Runs `body` for every index in [0, count), `chunk` indexes at a time, on the calling thread and on
// the reading threads that are free; returns when every index has run.
void parallelFor(qsizetype count, qsizetype chunk, const std::function<void(qsizetype)>& body);

// The same for work that may never end (a read stuck in a library call or on a file system): the
// indexes run on the reading threads only, while the calling thread waits, and an index that has run
// longer than `limit` since it began is given up on, whatever ran before it on its thread. The call
// returns the indexes given up on, in no order, once every other index has run. A fresh thread takes
// the place of each stuck one, and at once of one that the caller finds waiting on a file system
// (MayStall) at two looks in a row on the same index: the indexes behind it go on meanwhile, and
// any number that hang do so side by side, each given up on one limit after it began. When no
// thread can be made for that (the user's limit on threads) and none of the call's is left, the
// indexes not yet begun are given up on at once. `body`, and all it touches, must outlive the call:
// it may still run for those indexes afterwards. `clock` times the indexes (tests drive it); the
// steady clock when empty.
using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
QList<qsizetype> parallelForWithin(qsizetype count, qsizetype chunk, std::chrono::milliseconds limit,
                                   std::function<void(qsizetype)> body, const SteadyClock& clock = {});

// Runs `work` on a reading thread while this one waits, for at most `limit` once it has begun: its
// result, or nothing when it took longer (it may then still run to its end, and its result goes
// unused). What it throws is thrown here.
template <typename F>
std::optional<std::invoke_result_t<F&>> runWithin(std::chrono::milliseconds limit, F work) {
    struct Outcome {
        std::optional<std::invoke_result_t<F&>> value;
        std::exception_ptr error;
    };
    const auto outcome = std::make_shared<Outcome>();
    const QList<qsizetype> givenUp =
        parallelForWithin(1, 1, limit, [outcome, work = std::move(work)](qsizetype) mutable {
            try {
                outcome->value.emplace(work());
            } catch (...) {
                outcome->error = std::current_exception();
            }
        });
    if (!givenUp.isEmpty())
        return std::nullopt;
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    return std::move(outcome->value);
}

} // namespace ReadingThreads
