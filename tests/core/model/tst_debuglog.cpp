#include "core/model/DebugLog.h"
#include "core/model/ProcessArguments.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

// Collects what is written to standard error while it lives.
class StderrCapture {
public:
    StderrCapture() {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QByteArray text() {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

// The child process: logs one line, the way the app does, with the arguments it was started with.
int childMain(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    ProcessArguments::set(arguments);
    int evaluated = 0;
    DebugLog::log([&] {
        ++evaluated;
        return QStringLiteral("child line");
    });
    std::printf("evaluated=%d\n", evaluated);
    return 0;
}

} // namespace

class TestDebugLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void switchedOnOnlyByTheExactOption_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("on");
        QTest::newRow("--debug") << QStringList{"--debug"} << true;
        QTest::newRow("among others") << QStringList{"--parse", "lunch", "--debug", "x"} << true;
        QTest::newRow("nothing") << QStringList{} << false;
        QTest::newRow("longer") << QStringList{"--debugx"} << false;
        QTest::newRow("with a value") << QStringList{"--debug=1"} << false;
        QTest::newRow("other case") << QStringList{"--DEBUG"} << false;
        QTest::newRow("one dash") << QStringList{"-debug"} << false;
        QTest::newRow("no dashes") << QStringList{"debug"} << false;
        QTest::newRow("inside another argument") << QStringList{"--parse", "--debug lunch"} << false;
    }
    void switchedOnOnlyByTheExactOption() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, on);
        TempHome home;
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TST_DEBUGLOG_CHILD", "1");
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), arguments);
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitCode(), 0);

        // The message is built only when logging is on.
        QCOMPARE(child.readAllStandardOutput().trimmed(),
                 on ? QByteArray("evaluated=1") : QByteArray("evaluated=0"));
        QCOMPARE(child.readAllStandardError().contains(" child line\n"), on);
        const QString logFile = home.stateHome() + "/Vorrindel/Vorrindel.log";
        QCOMPARE(QFile::exists(logFile), on);
        if (on)
            QVERIFY(TestFiles::read(logFile).endsWith(" +0000 child line\n"));
    }

    void linesAreAppendedWithTheirTime() {
        TempHome home;
        const QString file = home.stateHome() + "/Vorrindel/Vorrindel.log";
        DebugLog::overrideForTesting(true, file);
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-999);
        StderrCapture stderrText;
        DebugLog::log([] { return QStringLiteral("expand(pinned: true)"); });
        DebugLog::log([] { return QStringLiteral("two\nlines"); });
        const QDateTime after = QDateTime::currentDateTimeUtc();
        const QByteArray written = stderrText.text();

        const QByteArray content = TestFiles::read(file);
        QCOMPARE(written, content); // standard error gets the same lines
        static const QRegularExpression format(
            R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) \+0000 expand\(pinned: true\)\n(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) \+0000 two\nlines\n$)");
        const QRegularExpressionMatch match = format.match(QString::fromUtf8(content));
        QVERIFY2(match.hasMatch(), content.constData());
        QDateTime when = QDateTime::fromString(match.captured(1), "yyyy-MM-dd HH:mm:ss");
        when.setTimeSpec(Qt::UTC);
        QVERIFY(before <= when && when <= after);

        QCOMPARE(TestFiles::mode(file), 0600u);
        QCOMPARE(TestFiles::mode(QFileInfo(file).absolutePath()), 0700u);

        // A later line is appended to what the file already holds.
        StderrCapture quiet;
        DebugLog::log([] { return QStringLiteral("collapse()"); });
        QVERIFY(TestFiles::read(file).startsWith(content));
        QVERIFY(TestFiles::read(file).endsWith(" +0000 collapse()\n"));
        DebugLog::overrideForTesting(false, QString());
    }

    void aLogThatCannotBeOpenedIsLeftAlone() {
        TempHome home;
        // A link into a folder that does not exist: opening fails, and the link must stay a link.
        const QString file = home.stateHome() + "/Vorrindel.log";
        QVERIFY(QFile::link(home.path() + "/gone/elsewhere.log", file));
        DebugLog::overrideForTesting(true, file);
        StderrCapture stderrText;
        DebugLog::log([] { return QStringLiteral("hover inside=true mode=peek pinned=false"); });
        QVERIFY(stderrText.text().endsWith(" +0000 hover inside=true mode=peek pinned=false\n"));
        QVERIFY(QFileInfo(file).isSymLink());
        QVERIFY(!QFileInfo::exists(home.path() + "/gone"));
        DebugLog::overrideForTesting(false, QString());
    }

    void values_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("frame") << DebugLog::describe(QRectF(0, 0, 1512, 982)) << "(0.0, 0.0, 1512.0, 982.0)";
        QTest::newRow("frame with fractions")
            << DebugLog::describe(QRectF(-12.5, 0.25, 600, 37.75)) << "(-12.5, 0.25, 600.0, 37.75)";
        QTest::newRow("size") << DebugLog::describe(QSizeF(185, 32)) << "(185.0, 32.0)";
        QTest::newRow("tenth") << DebugLog::describe(0.1) << "0.1";
        QTest::newRow("large whole number") << DebugLog::describe(100000.0) << "100000.0";
        QTest::newRow("huge") << DebugLog::describe(1e16) << "1e+16";
        QTest::newRow("true") << DebugLog::describe(true) << "true";
        QTest::newRow("instant in another zone")
            << DebugLog::describe(QDateTime(QDate(2026, 3, 2), QTime(15, 5, 9, 700), Qt::OffsetFromUTC, 3600))
            << "2026-03-02 14:05:09 +0000";
    }
    void values() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("TST_DEBUGLOG_CHILD"))
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TestDebugLog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_debuglog.moc"
