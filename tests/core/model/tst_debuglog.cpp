#include "core/model/DebugLog.h"
#include "core/model/ProcessArguments.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <cstdio>

namespace {

// The child process: logs two lines, the way the app does, with the arguments it was started with,
// and tells how often a message was built.
int childMain(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    ProcessArguments::set(arguments);
    int evaluated = 0;
    for (const char* message : {"expand(pinned: true)", "two\nlines"}) {
        DebugLog::log([&] {
            ++evaluated;
            return QString::fromUtf8(message);
        });
    }
    std::printf("evaluated=%d\n", evaluated);
    return 0;
}

struct ChildRun {
    QByteArray out;
    QByteArray err;
};

// Runs this program as the child, in the current (temporary) home.
ChildRun runChild(const QStringList& arguments) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TST_DEBUGLOG_CHILD", "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished() || child.exitCode() != 0)
        return {};
    return {child.readAllStandardOutput().trimmed(), child.readAllStandardError()};
}

// The time at the start of a line, and the zone after it.
const QString stamp = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
const QString utc = QStringLiteral(R"( \+0000 )");

} // namespace

class TestDebugLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void switchedOnOnlyByTheExactOption_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("on");
        QTest::newRow("among others") << QStringList{"--parse", "lunch", "--debug", "x"} << true;
        QTest::newRow("longer") << QStringList{"--debugx"} << false;
        QTest::newRow("other case") << QStringList{"--DEBUG"} << false;
        QTest::newRow("inside another argument") << QStringList{"--parse", "--debug lunch"} << false;
    }
    void switchedOnOnlyByTheExactOption() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, on);
        TempHome home;
        const ChildRun run = runChild(arguments);
        // The messages are built only when logging is on.
        QCOMPARE(run.out, on ? QByteArray("evaluated=2") : QByteArray("evaluated=0"));
        QCOMPARE(run.err.contains(" +0000 expand(pinned: true)\n"), on);
        QCOMPARE(QFileInfo::exists(home.stateHome() + "/Vorrindel/Vorrindel.log"), on);
    }

    void linesAreAppendedWithTheirTime() {
        TempHome home;
        const QString file = home.stateHome() + "/Vorrindel/Vorrindel.log";
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-999);
        const ChildRun first = runChild({"--debug"});
        const QDateTime after = QDateTime::currentDateTimeUtc();
        const QByteArray content = TestFiles::read(file);
        QCOMPARE(first.err, content); // standard error gets the same lines

        static const QRegularExpression format("^(" + stamp + ")" + utc + R"(expand\(pinned: true\)\n)" +
                                               stamp + utc + "two\nlines\n$");
        const QRegularExpressionMatch match = format.match(QString::fromUtf8(content));
        QVERIFY2(match.hasMatch(), content.constData());
        QDateTime when = QDateTime::fromString(match.captured(1), "yyyy-MM-dd HH:mm:ss");
        when.setTimeSpec(Qt::UTC);
        QVERIFY(before <= when && when <= after);
        QCOMPARE(TestFiles::mode(file), 0600u);
        QCOMPARE(TestFiles::mode(QFileInfo(file).absolutePath()), 0700u);

        // A later run appends to what the file already holds.
        const ChildRun second = runChild({"--debug"});
        QCOMPARE(TestFiles::read(file), content + second.err);
    }

    // A link in the log's place is never written through, wherever it leads (a file of the user's, one
    // not there yet, a folder that does not exist): the link stays a link, what it leads to stays as it
    // was, and standard error still gets every line.
    void aLogThatCannotBeOpenedIsLeftAlone_data() {
        QTest::addColumn<QString>("target");     // under the home
        QTest::addColumn<QByteArray>("content"); // the target's, if it exists
        QTest::newRow("a file") << "notes/todo.txt" << QByteArray("keep me\n");
        QTest::newRow("a file not there yet") << "notes/new.txt" << QByteArray();
        QTest::newRow("a folder that does not exist") << "gone/elsewhere.log" << QByteArray();
    }
    void aLogThatCannotBeOpenedIsLeftAlone() {
        QFETCH(QString, target);
        QFETCH(QByteArray, content);
        TempHome home;
        const QString file = home.stateHome() + "/Vorrindel/Vorrindel.log";
        const QString linked = home.path() + "/" + target;
        QVERIFY(QDir().mkpath(home.stateHome() + "/Vorrindel") && QDir().mkpath(home.path() + "/notes"));
        if (!content.isEmpty())
            QVERIFY(TestFiles::write(linked, content));
        QVERIFY(QFile::link(linked, file));
        const ChildRun run = runChild({"--debug"});
        QVERIFY(
            QRegularExpression("^" + stamp + utc + "expand").match(QString::fromUtf8(run.err)).hasMatch());
        QVERIFY(QFileInfo(file).isSymLink());
        QCOMPARE(QFileInfo::exists(linked), !content.isEmpty());
        QCOMPARE(TestFiles::read(linked), content);
        QVERIFY(!QFileInfo::exists(home.path() + "/gone"));
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
