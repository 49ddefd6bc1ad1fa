#include "app/AppDelegate.h"
#include "app/AppServices.h"

#include <QTest>

#include <algorithm>

namespace {

// Records everything start-up asks for, in order, as short texts.
class FakeServices : public AppServices, public NotchControl {
public:
    QStringList calls;
    QStringList running; // developer modes that report they ran
    Forwarding forwarding = Forwarding::NoOtherInstance;
    bool display = true;
    bool withNotch = true;
    std::function<void(const QStringList&)> forwarded;
    struct Later {
        std::chrono::milliseconds delay;
        std::function<void()> action;
    };
    QList<Later> later;

    bool runSnapshot(const QStringList&) override { return mode("snapshot"); }
    bool runCalendarDiagnostics(const QStringList&) override { return mode("calendars"); }
    bool runParseDiagnostics(const QStringList&) override { return mode("parse"); }
    bool runLoopbackTest(const QStringList&) override { return mode("loopback"); }
    Forwarding forwardToRunningInstance(const QStringList& requests) override {
        calls << "forward " + requests.join(' ');
        return forwarding;
    }
    void acceptForwardedRequests(std::function<void(const QStringList&)> received) override {
        calls << "listen";
        forwarded = std::move(received);
    }
    bool hasDisplay() override { return display; }
    void showMenuBar() override { calls << "menu"; }
    NotchControl* createNotch() override {
        calls << "notch";
        return withNotch ? this : nullptr;
    }
    void startStore() override { calls << "store"; }
    void openSettings() override { calls << "settings"; }
    void previewAlert() override { calls << "preview"; }
    void runLater(std::chrono::milliseconds delay, QObject*, std::function<void()> action) override {
        calls << QStringLiteral("later %1").arg(delay.count());
        later.append({delay, std::move(action)});
    }
    void terminate(int status) override { calls << QStringLiteral("exit %1").arg(status); }

    void expand(bool pinned) override { calls << (pinned ? "expand pinned" : "expand"); }
    void openQuickAdd(const QString& prefill) override { calls << "quickadd " + prefill; }

    // What the event loop would do: the scheduled actions by their delay, equal delays in the order
    // they were scheduled.
    void runScheduled() {
        QList<Later> due = later;
        later.clear();
        std::stable_sort(due.begin(), due.end(),
                         [](const Later& a, const Later& b) { return a.delay < b.delay; });
        for (const Later& item : due)
            item.action();
    }

private:
    bool mode(const QString& name) {
        calls << name;
        return running.contains(name);
    }
};

} // namespace

class TestAppDelegate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUp_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<int>("forwarding");
        QTest::addColumn<bool>("display");
        QTest::addColumn<QStringList>("calls"); // including what the event loop runs afterwards
        const QStringList normal{"snapshot", "calendars", "parse", "loopback", "forward reopen",
                                 "listen",   "menu",      "notch", "later 0",  "store"};
        const int none = int(AppServices::Forwarding::NoOtherInstance);
        QTest::newRow("normal start") << QStringList{} << QStringList{} << none << true << normal;
        QTest::newRow("snapshot wins over the calendar report")
            << QStringList{"--snapshot", "out", "--list-calendars"} << QStringList{"snapshot", "calendars"}
            << none << true << QStringList{"snapshot", "exit 0"};
        QTest::newRow("snapshot without its folder falls through")
            << QStringList{"--snapshot"} << QStringList{} << none << true << normal;
        QTest::newRow("parse report, also without a display")
            << QStringList{"--parse", "lunch"} << QStringList{"parse"} << none << false
            << QStringList{"snapshot", "calendars", "parse", "exit 0"};
        QTest::newRow("loopback test owns the process")
            << QStringList{"--test-loopback"} << QStringList{"loopback"} << none << true
            << QStringList{"snapshot", "calendars", "parse", "loopback"};
        QTest::newRow("second launch hands over its URLs")
            << QStringList{"vorrindel://settings", "--open-panel", "vorrindel://add?text=x"} << QStringList{}
            << int(AppServices::Forwarding::Forwarded) << true
            << QStringList{"snapshot",
                           "calendars",
                           "parse",
                           "loopback",
                           "forward vorrindel://settings vorrindel://add?text=x",
                           "exit 0"};
        QTest::newRow("running instance does not answer")
            << QStringList{} << QStringList{} << int(AppServices::Forwarding::Unreachable) << true
            << QStringList{"snapshot", "calendars", "parse", "loopback", "forward reopen", "exit 1"};
        QTest::newRow("no display") << QStringList{} << QStringList{} << none << false
                                    << QStringList{"snapshot", "calendars",      "parse",
                                                   "loopback", "forward reopen", "exit 1"};
        QTest::newRow("first launch acts on its URLs")
            << QStringList{"VORRINDEL://settings", "vorrindel://QuickAdd?text=Tea%202pm"} << QStringList{}
            << none << true
            << QStringList{"snapshot",
                           "calendars",
                           "parse",
                           "loopback",
                           "forward VORRINDEL://settings vorrindel://QuickAdd?text=Tea%202pm",
                           "listen",
                           "menu",
                           "notch",
                           "later 0",
                           "settings",
                           "quickadd Tea 2pm",
                           "store"};
    }
    void startUp() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, running);
        QFETCH(int, forwarding);
        QFETCH(bool, display);
        QFETCH(QStringList, calls);
        FakeServices services;
        services.running = running;
        services.forwarding = AppServices::Forwarding(forwarding);
        services.display = display;
        AppDelegate delegate(QStringList{"vorrindel"} + arguments, services);
        delegate.applicationDidFinishLaunching();
        services.runScheduled();
        QCOMPARE(services.calls, calls);
        QCOMPARE(delegate.notch() != nullptr, calls.contains("notch"));
    }

    void optionsAfterANormalStart_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("scheduled");
        QTest::addColumn<QStringList>("actions");
        QTest::newRow("all three, panel before quick add whatever the order")
            << QStringList{"--open-quickadd", "--open-settings", "--open-panel"}
            << QStringList{"later 0", "later 500", "later 1000", "later 1000"}
            << QStringList{"store", "settings", "expand pinned", "quickadd Coffee with Oskel tomorrow 4pm"};
        QTest::newRow("options match exactly")
            << QStringList{"--open-Settings", "--open-panel=1", "open-quickadd"} << QStringList{"later 0"}
            << QStringList{"store"};
    }
    void optionsAfterANormalStart() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, scheduled);
        QFETCH(QStringList, actions);
        FakeServices services;
        AppDelegate delegate(QStringList{"vorrindel"} + options, services);
        delegate.applicationDidFinishLaunching();
        QCOMPARE(services.calls.filter("later"), scheduled);
        services.calls.clear();
        services.runScheduled();
        QCOMPARE(services.calls, actions);
    }

    void panelOptionsWithoutAPanel() {
        FakeServices services;
        services.withNotch = false;
        AppDelegate delegate({"vorrindel", "--open-panel", "--open-quickadd", "--open-settings"}, services);
        delegate.applicationDidFinishLaunching();
        services.calls.clear();
        services.runScheduled();
        QCOMPARE(services.calls, (QStringList{"store", "settings"}));
    }

    void urls_data() {
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<bool>("withNotch");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("each in turn")
            << QStringList{"vorrindel://preview-alert", "vorrindel://open", "vorrindel://settings",
                           "vorrindel://new?text=Call%20Ines"}
            << true << QStringList{"preview", "expand pinned", "settings", "quickadd Call Ines"};
        QTest::newRow("ignored ones in between") << QStringList{"vorrindel:open", "vorrindel://nothing",
                                                                "vorrindel://add?Text=x", "vorrindel://OPEN"}
                                                 << true << QStringList{"quickadd ", "expand pinned"};
        QTest::newRow("without a panel only settings and preview act")
            << QStringList{"vorrindel://open", "vorrindel://quickadd?text=x", "vorrindel://settings",
                           "vorrindel://preview-alert"}
            << false << QStringList{"settings", "preview"};
    }
    void urls() {
        QFETCH(QStringList, urls);
        QFETCH(bool, withNotch);
        QFETCH(QStringList, calls);
        FakeServices services;
        services.withNotch = withNotch;
        AppDelegate delegate({"vorrindel"}, services);
        delegate.applicationDidFinishLaunching();
        services.runScheduled();
        services.calls.clear();
        QList<QUrl> list;
        for (const QString& url : urls)
            list.append(QUrl(url));
        delegate.openUrls(list);
        QCOMPARE(services.calls, calls);
    }

    void laterLaunches() {
        FakeServices services;
        AppDelegate delegate({"vorrindel"}, services);
        delegate.applicationDidFinishLaunching();
        services.calls.clear();
        QVERIFY(services.forwarded);
        services.forwarded({"reopen", "https://example.com", "vorrindel://settings", "--open-panel"});
        QCOMPARE(services.calls, (QStringList{"expand pinned", "settings"}));

        services.calls.clear();
        QCOMPARE(delegate.applicationShouldHandleReopen(), false);
        QCOMPARE(services.calls, QStringList{"expand pinned"});
    }
};

QTEST_GUILESS_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
