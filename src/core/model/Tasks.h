#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <coroutine>
#include <memory>

// Two rules for coroutines, kept in one place: a task that nobody awaits must not lose its failure,
// and an await must not hang on an object that is destroyed meanwhile.
namespace Tasks {

// Starts a task that nobody awaits; it runs to its end on its own. A failure it ends with is written
// as a warning (and to the debug log) as "<what> failed: <message>"; a CancelledError, which means its
// owner went away, is no failure. A task's value, if it has one, is dropped.
void startDetached(QCoro::Task<> task, const QString& what);

namespace Detail {

template <typename T> QCoro::Task<> withoutValue(QCoro::Task<T> task) {
    co_await task;
}

// The pending wait: shared by the suspended coroutine and the two connections that may end it.
struct Wait {
    std::coroutine_handle<> handle;
    bool done = false;
    bool signalled = false;
    QMetaObject::Connection fired;
    QMetaObject::Connection gone;

    void finish(bool bySignal);

    // Kept trivial and named at the co_await: GCC 12 mishandles temporaries with destructors there.
    struct Awaiter {
        Wait* wait;
        bool await_ready() const noexcept { return wait->done; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { wait->handle = handle; }
        void await_resume() const noexcept {}
    };
};

} // namespace Detail

template <typename T> void startDetached(QCoro::Task<T> task, const QString& what) {
    startDetached(Detail::withoutValue(std::move(task)), what);
}

// Waits for the object's signal, or for the object's destruction, whichever comes first: true when
// the signal came. The awaiting coroutine resumes on the next turn of the event loop, never inside
// the signal's emitter or the object's destructor, so it checks its QPointer as after any await.
//
//     QCoro::Task<bool> ended = Tasks::signalOrGone(this, &EventStore::isSyncingNotionChanged);
//     co_await ended;
//     if (!self)
//         co_return;
template <typename T, typename Signal> QCoro::Task<bool> signalOrGone(T* object, Signal signal) {
    const QPointer<T> target(object);
    if (!target)
        co_return false;
    const auto wait = std::make_shared<Detail::Wait>();
    wait->fired = QObject::connect(target.data(), signal, QCoreApplication::instance(),
                                   [wait](auto&&...) { wait->finish(true); });
    wait->gone = QObject::connect(target.data(), &QObject::destroyed, QCoreApplication::instance(),
                                  [wait] { wait->finish(false); });
    Detail::Wait::Awaiter awaiter{wait.get()};
    co_await awaiter;
    co_return wait->signalled;
}

} // namespace Tasks
