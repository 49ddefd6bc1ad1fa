#include "core/model/Tasks.h"

#include "core/model/DebugLog.h"
#include "core/model/UserFacingError.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(tasks, "vorrindel.tasks")

void report(const QString& what, const QString& message) {
    const QString line = what + QStringLiteral(" failed: ") + message;
    qCWarning(tasks).noquote() << line;
    DebugLog::log([&] { return line; });
}

QCoro::Task<> watch(QCoro::Task<> task, QString what) {
    try {
        co_await task;
    } catch (const CancelledError&) {
    } catch (const UserFacingError& error) {
        report(what, error.message());
    } catch (const std::exception& error) {
        report(what, QString::fromUtf8(error.what()));
    } catch (...) {
        report(what, QStringLiteral("an unknown error"));
    }
}

} // namespace

namespace Tasks {

void startDetached(QCoro::Task<> task, const QString& what) {
    // The watcher is the one task here that nobody awaits; it frees itself when it ends and cannot fail.
    (void)watch(std::move(task), what);
}

void Detail::Wait::finish(bool bySignal) {
    if (done)
        return;
    done = true;
    signalled = bySignal;
    QObject::disconnect(fired);
    QObject::disconnect(gone);
    if (!handle)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [handle = handle] { handle.resume(); }, Qt::QueuedConnection);
}

} // namespace Tasks
