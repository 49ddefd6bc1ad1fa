#pragma once

#include <QList>
#include <QtGlobal>

#include <chrono>
#include <functional>

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

// Waits until no work is queued or running, at most `limit`; false when some still is.
bool waitIdle(std::chrono::milliseconds limit);
// What a process does last, before its statics are destroyed: work that outlived its caller (a merge,
// a read, a list being freed) may still use them. Waits for it at most `limit` and returns `status`;
// when some is still running then (an item near the end of its time budget), the process ends at
// once with `status`, without destroying its statics.
int beforeExit(int status, std::chrono::milliseconds limit);

// Runs `body` for every index in [0, count), `chunk` indexes at a time, on the calling thread and on
// the reading threads that are free; returns when every index has run.
void parallelFor(qsizetype count, qsizetype chunk, const std::function<void(qsizetype)>& body);

// The same for work that may never end (a read stuck in a library call or on a file system): the
// indexes run on the reading threads only, while the calling thread waits, and an index that runs
// longer than `limit` is given up on. The call returns the indexes given up on, in no order, once
// every other index has run; a fresh thread takes the place of each stuck one. `body`, and all it
// touches, must outlive the call: it may still run for those indexes afterwards.
QList<qsizetype> parallelForWithin(qsizetype count, qsizetype chunk, std::chrono::milliseconds limit,
                                   std::function<void(qsizetype)> body);

} // namespace ReadingThreads
