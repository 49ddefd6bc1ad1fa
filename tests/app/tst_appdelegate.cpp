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
    QList<std::pair<std::chrono::milliseconds, std::function<void()>>> later;

    std::optional<int> runSnapshot(const QStringList&) override {
        if (mode("snapshot"))
            return 0;
        if (running.contains("snapshot-failed"))
            return 1;
        return std::nullopt;
    }
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
        auto due = std::exchange(later, {});
        std::stable_sort(due.begin(), due.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& item : due)
            item.second();
    }

private:
    bool mode(const QString& name) {
        calls << name;
        return running.contains(name);
    }
};

QStringList words(const QString& text) {
    return text.split(u' ', Qt::SkipEmptyParts);
}

const QString modes = "snapshot, calendars, parse, loopback, ";
const QString started = modes + "forward reopen, listen, menu, notch, later 0, ";

} // namespace

class TestAppDelegate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Arguments, developer modes that run, the forwarding outcome and whether there is a display;
    // then every call made, including what the event loop runs afterwards.
    void startUp_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("running");
        QTest::addColumn<int>("forwarding");
        QTest::addColumn<bool>("display");
        QTest::addColumn<QString>("calls");
        using enum AppServices::Forwarding;
        const auto row = [](const char* name, const char* arguments, const char* running,
                            AppServices::Forwarding forwarding, bool display, const QString& calls) {
            QTest::newRow(name) << arguments << running << int(forwarding) << display << calls;
        };
        row("normal start", "", "", NoOtherInstance, true, started + "store");
        row("snapshot wins over the calendar report", "--snapshot out --list-calendars", "snapshot calendars",
            NoOtherInstance, true, "snapshot, exit 0");
        row("a snapshot that could not write every picture fails", "--snapshot /proc/x", "snapshot-failed",
            NoOtherInstance, true, "snapshot, exit 1");
        row("snapshot without its folder falls through", "--snapshot", "", NoOtherInstance, true,
            started + "store");
        row("parse report, also without a display", "--parse lunch", "parse", NoOtherInstance, false,
            "snapshot, calendars, parse, exit 0");
        row("loopback test owns the process", "--test-loopback", "loopback", NoOtherInstance, true,
            "snapshot, calendars, parse, loopback");
        row("second launch hands over its URLs", "vorrindel://settings --open-panel vorrindel://add?text=x",
            "", Forwarded, true, modes + "forward vorrindel://settings vorrindel://add?text=x, exit 0");
        row("running instance does not answer", "", "", Unreachable, true, modes + "forward reopen, exit 1");
        row("no display", "", "", NoOtherInstance, false, modes + "forward reopen, exit 1");
        row("first launch acts on its URLs", "VORRINDEL://settings vorrindel://QuickAdd?text=Tea%202pm", "",
            NoOtherInstance, true,
            modes + "forward VORRINDEL://settings vorrindel://QuickAdd?text=Tea%202pm, listen, menu, notch, "
                    "later 0, settings, quickadd Tea 2pm, store");
        row("options, panel before quick add whatever the order",
            "--open-quickadd --open-settings --open-panel", "", NoOtherInstance, true,
            started + "later 500, later 1000, later 1000, store, settings, expand pinned, "
                      "quickadd Coffee with Oskel tomorrow 4pm");
        row("options match exactly", "--open-Settings --open-panel=1 open-quickadd", "", NoOtherInstance,
            true, started + "store");
    }
    void startUp() {
        QFETCH(QString, arguments);
        QFETCH(QString, running);
        QFETCH(int, forwarding);
        QFETCH(bool, display);
        QFETCH(QString, calls);
        FakeServices services;
        services.running = words(running);
        services.forwarding = AppServices::Forwarding(forwarding);
        services.display = display;
        AppDelegate delegate(QStringList{"vorrindel"} + words(arguments), services);
        delegate.applicationDidFinishLaunching();
        services.runScheduled();
        QCOMPARE(services.calls.join(", "), calls);
        QCOMPARE(delegate.notch() != nullptr, services.calls.contains("notch"));
    }

    // Requests from later launches, after a normal start with or without a panel.
    void laterLaunches_data() {
        QTest::addColumn<QString>("requests");
        QTest::addColumn<bool>("withNotch");
        QTest::addColumn<QString>("calls");
        const auto row = [](const char* name, const char* requests, const char* calls,
                            bool withNotch = true) { QTest::newRow(name) << requests << withNotch << calls; };
        row("each in turn", "vorrindel://preview-alert reopen vorrindel://settings vorrindel://open",
            "preview, expand pinned, settings, expand pinned");
        row("host in mixed case, encoded text", "vorrindel://QuickAdd?text=Lunch%20at%201%2B2",
            "quickadd Lunch at 1+2");
        row("plus stays a plus", "vorrindel://add?text=1+2", "quickadd 1+2");
        row("item named Text", "vorrindel://new?Text=Lunch", "quickadd ");
        row("two text items: the first", "vorrindel://new?text=first&text=second", "quickadd first");
        row("text after another item", "vorrindel://quickadd?x=1&text=Tea", "quickadd Tea");
        row("path and fragment ignored", "vorrindel://settings/general#x", "settings");
        row("ignored", "vorrindel:open https://example.com vorrindel://settings2 --open-panel quit", "");
        row("without a panel only settings and preview act",
            "vorrindel://open reopen vorrindel://add?text=x vorrindel://settings vorrindel://preview-alert",
            "settings, preview", false);
    }
    void laterLaunches() {
        QFETCH(QString, requests);
        QFETCH(bool, withNotch);
        QFETCH(QString, calls);
        FakeServices services;
        services.withNotch = withNotch;
        AppDelegate delegate({"vorrindel", "--open-panel", "--open-quickadd", "--open-settings"}, services);
        delegate.applicationDidFinishLaunching();
        services.runScheduled();
        // Without a panel the options that need one do nothing.
        QCOMPARE(services.calls.mid(services.calls.indexOf("store")),
                 withNotch ? QStringList({"store", "settings", "expand pinned",
                                          "quickadd " + AppDelegate::quickAddSample()})
                           : QStringList({"store", "settings"}));
        services.calls.clear();
        QVERIFY(services.forwarded);
        services.forwarded(words(requests));
        QCOMPARE(services.calls.join(", "), calls);
        QCOMPARE(delegate.applicationShouldHandleReopen(), false);
    }
};

QTEST_GUILESS_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
