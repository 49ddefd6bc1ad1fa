#include "core/model/DebugLog.h"
#include "core/model/Tasks.h"
#include "core/model/UserFacingError.h"
#include "support/Patience.h"
#include "support/TaskResult.h"
#include "support/TempHome.h"

#include <QFile>
#include <QTest>
#include <QTimer>

#include <QCoroTimer>

namespace {

using namespace std::chrono_literals;

// Ends as told, at once or after a turn of the event loop; `ended` is set as it ends.
QCoro::Task<> ending(QString how, bool later, bool& ended) {
    if (later) {
        QTimer timer;
        timer.start(1ms);
        co_await timer;
    }
    ended = true;
    if (how == u"failure")
        throw UserFacingError(QStringLiteral("Boom"));
    if (how == u"cancelled")
        throw CancelledError();
}

class Emitter : public QObject {
    Q_OBJECT
signals:
    void done();
};

} // namespace

class TestTasks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void detachedTasksLogTheirFailure_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("later");
        QTest::addColumn<bool>("logged");
        QTest::newRow("fails at once") << "failure" << false << true;
        QTest::newRow("fails after a suspension") << "failure" << true << true;
        QTest::newRow("cancelled: its owner went") << "cancelled" << true << false;
        QTest::newRow("succeeds") << "" << true << false;
    }
    void detachedTasksLogTheirFailure() {
        QFETCH(QString, how);
        QFETCH(bool, later);
        QFETCH(bool, logged);
        TempHome home;
        const QString log = home.stateHome() + "/test.log";
        DebugLog::overrideForTesting(true, log);
        if (logged)
            QTest::ignoreMessage(QtWarningMsg, "Google refresh failed: Boom");
        else
            QTest::failOnWarning(QRegularExpression(".*"));
        bool ended = false;
        Tasks::startDetached(ending(how, later, ended), QStringLiteral("Google refresh"));
        QVERIFY_SOON(ended);
        DebugLog::overrideForTesting(false, QString());
        QFile file(log);
        QCOMPARE(file.open(QIODevice::ReadOnly) && file.readAll().contains(" Google refresh failed: Boom\n"),
                 logged);
    }

    void awaitingASignalEndsWhenItsObjectGoes() {
        auto emitter = std::make_unique<Emitter>();
        const auto signalled = startTask(Tasks::signalOrGone(emitter.get(), &Emitter::done));
        QVERIFY(!signalled->finished);
        emit emitter->done();
        QVERIFY(!signalled->finished); // resumed from the event loop, not inside the emitter
        QVERIFY(finish(*signalled));
        QCOMPARE(signalled->value, std::optional(true));

        const auto gone = startTask(Tasks::signalOrGone(emitter.get(), &Emitter::done));
        emitter.reset();
        QVERIFY(finish(*gone));
        QCOMPARE(gone->value, std::optional(false));
    }
};

QTEST_GUILESS_MAIN(TestTasks)
#include "tst_tasks.moc"
