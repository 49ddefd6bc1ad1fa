#pragma once

#include "core/model/UserFacingError.h"
#include "support/Patience.h"

#include <QEventLoop>
#include <QPointer>
#include <QString>
#include <QTest>
#include <QTimer>

#include <QCoroTask>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

// How a coroutine ended in a test: its value, or the exception it threw, or not at all (it was still
// running after Patience::ms).
// QCoro::waitFor loses exceptions and then waits for ever; runTask keeps them.
//
//     const auto result = runTask(GoogleAPI::calendarList(token));
//     QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
//     QCOMPARE(result.value->list.size(), 2);
template <typename T> struct TaskResult {
    using Value = std::conditional_t<std::is_void_v<T>, bool, T>;

    bool finished = false;
    std::optional<Value> value; // for Task<void>: true once it returned
    std::exception_ptr error;

    bool ok() const { return finished && !error; }
    // The thrown error's message; empty when nothing was thrown.
    QString errorMessage() const {
        if (!error)
            return finished ? QString() : QStringLiteral("(the task did not finish)");
        try {
            std::rethrow_exception(error);
        } catch (const UserFacingError& e) {
            return e.message();
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        } catch (...) {
            return QStringLiteral("(unknown exception)");
        }
    }
    // The thrown error as E, or null when it is not one (or nothing was thrown). Valid while this lives.
    template <typename E> const E* errorAs() const {
        if (!error)
            return nullptr;
        try {
            std::rethrow_exception(error);
        } catch (const E& e) {
            return &e;
        } catch (...) {
            return nullptr;
        }
    }
};

namespace TaskResultDetail {

template <typename T>
QCoro::Task<> drive(QCoro::Task<T> task, std::shared_ptr<TaskResult<T>> out, QPointer<QEventLoop> loop) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            out->value = true;
        } else {
            out->value = co_await task;
        }
    } catch (...) {
        out->error = std::current_exception();
    }
    out->finished = true;
    if (loop)
        loop->quit();
}

} // namespace TaskResultDetail

// Runs the event loop until the task has finished, or Patience::ms has passed.
template <typename T> TaskResult<T> runTask(QCoro::Task<T> task) {
    auto out = std::make_shared<TaskResult<T>>();
    QEventLoop loop;
    TaskResultDetail::drive(std::move(task), out, &loop);
    if (!out->finished) {
        QTimer::singleShot(Patience::ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return *out;
}

// Starts the task and returns at its first suspension, so that a test can act while it waits (on a
// held reply, say). The result fills in when the task ends; finish() waits for that.
//
//     const auto refresh = startTask(store.refreshGoogle());
//     ... the refresh is held; the test changes the settings ...
//     QVERIFY(finish(*refresh));
template <typename T> std::shared_ptr<TaskResult<T>> startTask(QCoro::Task<T> task) {
    auto out = std::make_shared<TaskResult<T>>();
    TaskResultDetail::drive(std::move(task), out, nullptr);
    return out;
}

// Runs the event loop until the started task has ended; false when it has not after Patience::ms.
template <typename T> bool finish(const TaskResult<T>& result) {
    return Patience::until([&] { return result.finished; });
}
