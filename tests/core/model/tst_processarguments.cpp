#include "core/model/ProcessArguments.h"

#include <QTest>

class TestProcessArguments : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void snapshotMode_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("snapshotMode");
        QTest::newRow("with its folder") << QStringList{"vorrindel", "--snapshot", "out"} << true;
        // Views switch to their static variants even when the mode itself lacks its folder.
        QTest::newRow("last, without a folder") << QStringList{"vorrindel", "--debug", "--snapshot"} << true;
        QTest::newRow("not given") << QStringList{"vorrindel", "--list-calendars"} << false;
        QTest::newRow("plural") << QStringList{"vorrindel", "--snapshots"} << false;
        QTest::newRow("other case") << QStringList{"vorrindel", "--Snapshot"} << false;
        QTest::newRow("as a phrase") << QStringList{"vorrindel", "--parse", "--snapshot out"} << false;
    }
    void snapshotMode() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, snapshotMode);
        ProcessArguments::set(arguments);
        QCOMPARE(ProcessArguments::isSnapshotMode(), snapshotMode);
    }
};

QTEST_GUILESS_MAIN(TestProcessArguments)
#include "tst_processarguments.moc"
