#include "core/model/DebugLog.h"
#include "platform/HotKey.h"
#include "support/FakeKeyGrab.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The log lines without their time stamps.
QStringList logged(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            lines << QString::fromUtf8(line).section(QLatin1Char(' '), 3);
    }
    return lines;
}

} // namespace

class TestHotKey : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    FakeKeyGrab* m_keys = nullptr;

    QString logPath() const { return m_dir.filePath(QStringLiteral("log")); }

private Q_SLOTS:
    void init() {
        QFile::remove(logPath());
        DebugLog::overrideForTesting(true, logPath());
        auto keys = std::make_unique<FakeKeyGrab>();
        m_keys = keys.get();
        HotKey::setBackend(std::move(keys));
        HotKey::setOnPress({});
    }
    void cleanup() { DebugLog::overrideForTesting(false, QString()); }

    void registersOnceAndAgainAfterBeingSwitchedOff() {
        HotKey::set(false); // nothing registered: harmless
        HotKey::set(true);
        HotKey::set(true);
        QCOMPARE(m_keys->grabs, 1);
        HotKey::set(false);
        HotKey::set(true);
        QCOMPARE(m_keys->ungrabs, 1);
        QCOMPARE(m_keys->grabs, 2);
        QCOMPARE(m_keys->installs, 1);
        QVERIFY(HotKey::isRegistered());
        QVERIFY(logged(logPath()).isEmpty());
    }

    void aRefusedGrabIsLoggedAndTriedAgainLater() {
        m_keys->refuseWith = 10;
        HotKey::set(true);
        QVERIFY(!HotKey::isRegistered());
        QCOMPARE(logged(logPath()), QStringList{"hotkey register failed: 10"});

        m_keys->refuseWith = 0;
        HotKey::set(true);
        QVERIFY(HotKey::isRegistered());
        QCOMPARE(m_keys->grabs, 2);

        HotKey::setBackend(nullptr);
        QVERIFY(!HotKey::isRegistered());
        HotKey::set(true);
        QCOMPARE(logged(logPath()).last(), "hotkey register failed: -1");
    }

    void pressesReachTheCallbackAfterTheirEvent() {
        HotKey::set(true);
        m_keys->pressed(); // nobody listening yet
        QCoreApplication::processEvents();

        int presses = 0;
        HotKey::setOnPress([&] { ++presses; });
        m_keys->pressed();
        QCOMPARE(presses, 0);
        QTRY_COMPARE(presses, 1);
    }

    // 'p' presses and 'r' releases the key, each at the time stamp after it.
    void autoRepeatIsNotAPress_data() {
        QTest::addColumn<QString>("events");
        QTest::addColumn<int>("presses");

        QTest::newRow("one press") << "p1 r2" << 1;
        QTest::newRow("two presses") << "p1 r2 p3 r4" << 2;
        QTest::newRow("held, detectable repeat") << "p1 p30 p60 p90 r95" << 1;
        QTest::newRow("held, release-and-press pairs") << "p1 r30 p30 r60 p60 r95" << 1;
        QTest::newRow("press right after a release") << "p1 r30 p31 r40" << 2;
    }

    void autoRepeatIsNotAPress() {
        QFETCH(QString, events);
        QFETCH(int, presses);
        KeyRepeatFilter filter;
        int counted = 0;
        for (const QString& event : events.split(QLatin1Char(' '))) {
            const quint32 time = event.mid(1).toUInt();
            if (event.startsWith(QLatin1Char('p')))
                counted += filter.press(time) ? 1 : 0;
            else
                filter.release(time);
        }
        QCOMPARE(counted, presses);
    }
};

QTEST_GUILESS_MAIN(TestHotKey)
#include "tst_hotkey.moc"
