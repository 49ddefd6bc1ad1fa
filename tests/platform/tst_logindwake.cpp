#include "platform/LogindWakeNotifier.h"
#include "support/Patience.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

// Runs the notifier against a private message bus on which the test plays logind.
class TestLogindWake : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon is not installed");
        QVERIFY(m_daemon.waitForReadyRead(5000));
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }
    void cleanupTestCase() {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    void wakesOnlyOnLogindsResume_data() {
        QTest::addColumn<bool>("senderOwnsLogindName");
        QTest::addColumn<bool>("goingToSleep");
        QTest::addColumn<int>("wakes");
        QTest::newRow("resume from logind") << true << false << 1;
        QTest::newRow("suspend from logind") << true << true << 0;
        QTest::newRow("resume from another process") << false << false << 0;
    }
    void wakesOnlyOnLogindsResume() {
        QFETCH(bool, senderOwnsLogindName);
        QFETCH(bool, goingToSleep);
        QFETCH(int, wakes);

        const QString logindName = QStringLiteral("logind-%1").arg(QTest::currentDataTag());
        QDBusConnection logind = QDBusConnection::connectToBus(m_address, logindName);
        QVERIFY(logind.isConnected());
        if (senderOwnsLogindName)
            QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));

        QDBusConnection listenerBus = QDBusConnection::connectToBus(
            m_address, QStringLiteral("listener-%1").arg(QTest::currentDataTag()));
        LogindWakeNotifier notifier(listenerBus, nullptr);
        QVERIFY(notifier.isListening());
        QSignalSpy spy(&notifier, &WakeNotifier::woke);

        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << goingToSleep;
        QVERIFY(logind.send(signal));
        // Round trips through the daemon from both ends: once both are answered, the signal has been
        // routed and sits in the listener's queue ahead of its answer.
        logind.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
        listenerBus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
        QTest::qWait(50);
        QCOMPARE_SOON(spy.count(), wakes);

        if (senderOwnsLogindName)
            logind.unregisterService(QStringLiteral("org.freedesktop.login1"));
        QDBusConnection::disconnectFromBus(logindName);
    }

private:
    QProcess m_daemon;
    QString m_address;
};

QTEST_GUILESS_MAIN(TestLogindWake)
#include "tst_logindwake.moc"
