#include "app/SingleInstance.h"
#include "support/AppProcess.h"
#include "support/Patience.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/X11Tools.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>
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

// The app's viewable windows titled "Vorrindel": the tray icon, and its menu while that shows.
QStringList trayWindows() {
    QStringList windows;
    for (const QString& window : X11Tools::xdotool({"search", "--onlyvisible", "--classname", "vorrindel"})
                                     .split('\n', Qt::SkipEmptyParts)) {
        if (X11Tools::xdotool({"getwindowname", window}) == u"Vorrindel")
            windows.append(window);
    }
    return windows;
}

// The next line the process prints, or why there is none.
QByteArray nextLine(QProcess& process) {
    if (!Patience::until([&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }))
        return "(nothing)";
    return process.canReadLine() ? process.readLine().trimmed() : "(ended) " + process.readAllStandardError();
}

// Whether the process has ended but for a thread that the kernel still holds: its main thread is a
// zombie, while the process as a whole is not.
bool endedButHeld(const QProcess& process) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
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

    // A read stuck in a FUSE file system keeps the process from ending, until the mount answers. A
    // quit lets go of the claim at once all the same, and the next start comes up; a process ended
    // by a signal (as at a logout) keeps it, and the next start says that it gets no answer.
    void readHangingInFuseHoldsTheProcess_data() {
        QTest::addColumn<bool>("quit"); // from the tray menu, else terminated
        QTest::newRow("quit") << true;
        QTest::newRow("terminated") << false;
    }
    void readHangingInFuseHoldsTheProcess() {
        QFETCH(bool, quit);
        XvfbServer x;
        QVERIFY(x.start());
        QProcess tray;
        tray.start("trayer",
                   {"--edge", "top", "--align", "right", "--height", "32", "--widthtype", "request"});
        QVERIFY_SOON(!X11Tools::xdotool({"search", "--onlyvisible", "--class", "trayer"}).isEmpty());
        const auto stopTray = qScopeGuard([&] {
            tray.terminate();
            tray.waitForFinished();
        });
        const QString folder = m_home->path() + "/calendars/Cloud";
        const QString file = m_home->path() + "/hung.ics";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(TestFiles::write(file, "BEGIN:VCALENDAR\nVERSION:2.0\nEND:VCALENDAR\n"));
        QProcess mount;
        mount.start(qEnvironmentVariable("STALLING_FUSE"), {folder, file});
        if (const QByteArray line = nextLine(mount); line != "mounted")
            QSKIP(line.constData());
        std::optional<AppProcess> first, second;
        // Before the apps are ended: the mount answers, so that they can end, and goes.
        const auto unmount = qScopeGuard([&] {
            mount.closeWriteChannel();
            mount.waitForFinished(Patience::ms);
        });

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        // No session bus: the icon goes into the XEmbed tray.
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        environment.insert("VORRINDEL_CALENDARS", m_home->path() + "/calendars");
        first.emplace(QStringList{}, environment);
        QCOMPARE(nextLine(mount), "read");

        const QString socket = m_home->runtimeDir() + "/vorrindel.socket";
        if (!quit) {
            first->terminate();
            QVERIFY_SOON(endedButHeld(*first));
            AppProcess later({}, environment);
            QVERIFY(later.waitForFinished(Patience::ms));
            QCOMPARE(later.exitCode(), 1);
            QVERIFY(later.readAllStandardError().contains("does not answer"));
            return;
        }
        // Quit from the tray menu, its last entry. A click before the tray has settled the icon is lost.
        QStringList windows;
        QVERIFY_SOON((windows = trayWindows()).size() == 1);
        const auto menuShows = [] { return trayWindows().size() == 2; };
        QVERIFY(Patience::until([&] {
            if (!menuShows())
                X11Tools::xdotool({"mousemove", "--window", windows[0], "8", "8", "click", "1"});
            return QTest::qWaitFor(menuShows, 1000);
        }));
        X11Tools::xdotool({"key", "Up", "Return"});
        QVERIFY_SOON(endedButHeld(*first));
        QVERIFY(!QFile::exists(socket) && !QFile::exists(m_home->runtimeDir() + "/vorrindel.lock"));

        second.emplace(QStringList{}, environment);
        QVERIFY(waitForListener(socket));
        QCOMPARE(second->state(), QProcess::Running);
        QVERIFY(endedButHeld(*first));
        // It was the read that held the first: answered, it ends.
        mount.write("\n");
        QVERIFY(mount.waitForBytesWritten());
        QVERIFY(first->waitForFinished(Patience::ms));
        QCOMPARE(first->exitCode(), 0);
    }

    // A launch whose requests the owner of the claim does not take says so and fails, rather than
    // ending as if they had been taken.
    void launchThatGetsNoAnswerSaysSo_data() {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("lock held, nobody listens") << false;
        QTest::newRow("owner stopped") << true;
    }
    void launchThatGetsNoAnswerSaysSo() {
        QFETCH(bool, stopped);
        std::optional<SingleInstance> holder;
        std::optional<AppProcess> owner;
        if (stopped) {
            owner.emplace(QStringList{});
            QVERIFY(waitForListener(m_home->runtimeDir() + "/vorrindel.socket"));
            // Its socket still takes connections, and what is written to it.
            QCOMPARE(::kill(pid_t(owner->processId()), SIGSTOP), 0);
        } else {
            holder.emplace(m_home->runtimeDir());
            QCOMPARE(holder->claimOrForward({}), SingleInstance::Role::First);
        }
        AppProcess later({"vorrindel://settings"});
        QVERIFY(later.waitForFinished(Patience::ms));
        if (stopped)
            ::kill(pid_t(owner->processId()), SIGCONT);
        QCOMPARE(later.exitCode(), 1);
        const QByteArray error = later.readAllStandardError();
        QVERIFY2(error.contains("does not answer"), error.constData());
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
