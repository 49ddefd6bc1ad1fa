#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <chrono>

class AppServices;
class NotchControl;

// The process root's behaviour: decides at launch whether a developer mode runs or the app starts
// (menu, panel, event store), hands the launch to an instance already running, honours the
// developer options that act after a normal start, brings the panel back on reopen and acts on the
// app's URLs.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate(QStringList arguments, AppServices& services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The start-up; runs inside the event loop (ending the loop before it runs does nothing).
    void applicationDidFinishLaunching();
    // A further launch of the app while it runs: the panel comes back expanded and pinned.
    // Answers false, as nothing else is to be done.
    bool applicationShouldHandleReopen();
    // Acts on each URL in turn.
    void openUrls(const QList<QUrl>& urls);

    // Null until start-up created it, and in a process that runs a developer mode.
    NotchControl* notch() const { return m_notch; }

    // Options that act after a normal start.
    static constexpr auto openSettingsDelay = std::chrono::milliseconds(500);
    static constexpr auto openPanelDelay = std::chrono::milliseconds(1000);
    static QString quickAddSample() { return QStringLiteral("Coffee with Oskel tomorrow 4pm"); }

private:
    bool hasOption(const char* option) const;
    void handleForwarded(const QStringList& requests);

    QStringList m_arguments;
    AppServices& m_services;
    NotchControl* m_notch = nullptr;
};
