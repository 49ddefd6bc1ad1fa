#include "app/SingleInstance.h"
#include "support/AppProcess.h"
#include "support/Patience.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Waits until something listens on the socket, as the first instance does once it has started.
bool waitForListener(const QString& path) {
    return Patience::until([&] {
        QLocalSocket probe;
        probe.connectToServer(path);
        const bool listening = probe.waitForConnected(50);
        probe.abort();
        return listening;
    });
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_home = std::make_unique<TempHome>(); }
    void cleanup() { m_home.reset(); }

    void launchHandsItsRequestsToTheRunningInstance_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("received");
        QTest::newRow("URLs, options left out")
            << QStringList{"--open-panel", "vorrindel://quickadd?text=Tea%204pm", "vorrindel://settings"}
            << QStringList{"vorrindel://quickadd?text=Tea%204pm", "vorrindel://settings"};
        QTest::newRow("no URL asks for the panel") << QStringList{} << QStringList{"reopen"};
    }
    void launchHandsItsRequestsToTheRunningInstance() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, received);
        SingleInstance running(m_home->runtimeDir());
        QCOMPARE(running.claimOrForward({}), SingleInstance::Role::First);
        QVERIFY(running.listen());
        QSignalSpy requests(&running, &SingleInstance::requestsReceived);

        AppProcess second(arguments);
        QVERIFY(requests.wait(Patience::ms));
        QCOMPARE(requests.at(0).at(0).toStringList(), received);
        QVERIFY(second.waitForFinished(Patience::ms));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    }

    void secondAppProcessExitsAndFirstKeepsRunning() {
        AppProcess first({});
        QVERIFY(waitForListener(m_home->runtimeDir() + "/vorrindel.socket"));

        AppProcess second({"vorrindel://settings"});
        QVERIFY(second.waitForFinished(Patience::ms));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        // An instance that died without cleaning up leaves its lock and socket; the next launch takes
        // over instead of waiting on them.
        first.kill();
        QVERIFY(first.waitForFinished());
        QVERIFY(QFile::exists(m_home->runtimeDir() + "/vorrindel.socket"));
        SingleInstance next(m_home->runtimeDir(), 200ms);
        QCOMPARE(next.claimOrForward({"reopen"}), SingleInstance::Role::First);
        QVERIFY(next.listen());
    }

    void onlyTheUserAndOnlyAppRequestsGetThrough() {
        SingleInstance running(m_home->runtimeDir());
        QCOMPARE(running.claimOrForward({}), SingleInstance::Role::First);
        QVERIFY(running.listen());
        QSignalSpy requests(&running, &SingleInstance::requestsReceived);
        QCOMPARE(TestFiles::mode(m_home->runtimeDir() + "/vorrindel.socket") & 077, 0u);
        QCOMPARE(TestFiles::mode(m_home->runtimeDir() + "/vorrindel.lock"), 0600u);

        QLocalSocket sender;
        sender.connectToServer(m_home->runtimeDir() + "/vorrindel.socket");
        QVERIFY(sender.waitForConnected(1000));
        sender.write("https://example.com/x\nreopen\n--open-panel\nquit\nvorrindel://open\n\n");
        sender.disconnectFromServer();
        QVERIFY(requests.wait(Patience::ms));
        QCOMPARE(requests.at(0).at(0).toStringList(), (QStringList{"reopen", "vorrindel://open"}));

        QLocalSocket flood;
        flood.connectToServer(m_home->runtimeDir() + "/vorrindel.socket");
        QVERIFY(flood.waitForConnected(1000));
        flood.write(QByteArray(200 * 1024, 'x') + "\nreopen\n");
        flood.disconnectFromServer();
        QVERIFY(!requests.wait(500));
    }

    void lockHeldButNobodyAnswers() {
        SingleInstance holder(m_home->runtimeDir());
        QCOMPARE(holder.claimOrForward({}), SingleInstance::Role::First);
        // It holds the lock but never listens, as a hung instance would.
        SingleInstance later(m_home->runtimeDir(), 300ms);
        QCOMPARE(later.claimOrForward({"reopen"}), SingleInstance::Role::Unreachable);
    }

    // Without a session runtime folder the app makes its own under the temporary folder, where others
    // can create files too: only a real folder of the user's that nobody else may enter will do.
    void ownFolderUnderTheTemporaryFolder_data() {
        QTest::addColumn<QString>("existing"); // "none", a mode in octal, or "link"
        QTest::addColumn<bool>("used");
        QTest::newRow("made anew") << "none" << true;
        QTest::newRow("left by an earlier run") << "700" << true;
        QTest::newRow("open to the group") << "750" << false;
        QTest::newRow("a link to a folder elsewhere") << "link" << false;
    }
    void ownFolderUnderTheTemporaryFolder() {
        QFETCH(QString, existing);
        QFETCH(bool, used);
        const std::optional<QByteArray> savedTemp =
            qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
        qputenv("TMPDIR", m_home->path().toUtf8());
        qunsetenv("XDG_RUNTIME_DIR");
        const QString own = m_home->path() + "/vorrindel-" + QString::number(::getuid());
        if (existing == "link")
            QVERIFY(QFile::link(m_home->path() + "/runtime", own));
        else if (existing != "none")
            QVERIFY(::mkdir(QFile::encodeName(own).constData(), 0700) == 0 &&
                    ::chmod(QFile::encodeName(own).constData(), mode_t(existing.toUInt(nullptr, 8))) == 0);
        const QString folder = SingleInstance::defaultFolder();
        if (savedTemp)
            qputenv("TMPDIR", *savedTemp);
        else
            qunsetenv("TMPDIR");
        QCOMPARE(folder, used ? own : QString());
        if (used)
            QCOMPARE(TestFiles::mode(own), 0700u);
    }

    void startWithoutADisplaySaysSoInOneLine() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        AppProcess app({}, environment);
        QVERIFY(app.waitForFinished(Patience::ms));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 1);
        const QByteArray error = app.readAllStandardError();
        QCOMPARE(error.count('\n'), 1);
        QVERIFY2(error.contains("display"), error.constData());
    }

private:
    std::unique_ptr<TempHome> m_home;
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
