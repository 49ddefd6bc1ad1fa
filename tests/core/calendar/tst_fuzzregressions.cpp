// Every input the calendar item fuzzer found a fault with, replayed through its target in the
// ordinary test build: none may crash, trip a sanitizer, hang, or break what the agenda relies on
// (the target traps then).

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

class TestFuzzRegressions : public QObject {
    Q_OBJECT

    static QDir folder() {
        return QDir(qEnvironmentVariable("VORRINDEL_SOURCE_DIR") +
                    QStringLiteral("/tests/fuzz/regressions/calendaritem"));
    }

private slots:
    void replay_data() {
        QTest::addColumn<QString>("path");
        const QFileInfoList inputs = folder().entryInfoList(QDir::Files, QDir::Name);
        QVERIFY(!inputs.isEmpty());
        for (const QFileInfo& input : inputs)
            QTest::newRow(qPrintable(input.fileName())) << input.absoluteFilePath();
    }

    void replay() {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())),
            0);
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
