#include "core/model/ProcessArguments.h"

#include <QTest>

class TestProcessArguments : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Options match whole arguments, exactly; the snapshot mode is what the renderer says, never
    // what the arguments hold.
    void optionsMatchExactly_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("contained");
        QTest::newRow("with its folder") << QStringList{"vorrindel", "--snapshot", "out"} << true;
        QTest::newRow("last") << QStringList{"vorrindel", "--debug", "--snapshot"} << true;
        QTest::newRow("not given") << QStringList{"vorrindel", "--list-calendars"} << false;
        QTest::newRow("plural") << QStringList{"vorrindel", "--snapshots"} << false;
        QTest::newRow("other case") << QStringList{"vorrindel", "--Snapshot"} << false;
        QTest::newRow("as a phrase") << QStringList{"vorrindel", "--parse", "--snapshot out"} << false;
    }
    void optionsMatchExactly() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, contained);
        ProcessArguments::set(arguments);
        QCOMPARE(ProcessArguments::contains(QStringLiteral("--snapshot")), contained);
        QVERIFY(!ProcessArguments::isSnapshotMode());
    }
};

QTEST_GUILESS_MAIN(TestProcessArguments)
#include "tst_processarguments.moc"
