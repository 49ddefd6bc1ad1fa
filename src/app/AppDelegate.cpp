#include "app/AppDelegate.h"

#include "app/AppServices.h"
#include "app/UrlRouter.h"

#include <cstdio>

AppDelegate::AppDelegate(QStringList arguments, AppServices& services, QObject* parent)
    : QObject(parent)
    , m_arguments(std::move(arguments))
    , m_services(services) {}

AppDelegate::~AppDelegate() = default;

bool AppDelegate::hasOption(const char* option) const {
    return m_arguments.contains(QLatin1String(option));
}

void AppDelegate::applicationDidFinishLaunching() {
    // Linux has no Dock and no activation policy: nothing to switch before the developer modes.
    if (const std::optional<int> status = m_services.runSnapshot(m_arguments)) {
        m_services.terminate(*status);
        return;
    }
    if (m_services.runCalendarDiagnostics(m_arguments) || m_services.runParseDiagnostics(m_arguments)) {
        m_services.terminate(0);
        return;
    }
    if (m_services.runLoopbackTest(m_arguments))
        return;

    // Only the first launch becomes the app; later ones hand over their URLs, or ask for the panel.
    QList<QUrl> urls;
    QStringList requests;
    for (const QString& argument : m_arguments.mid(1)) {
        if (UrlRouter::isAppUrl(argument)) {
            urls.append(QUrl(argument));
            requests.append(argument);
        }
    }
    if (requests.isEmpty())
        requests.append(QStringLiteral("reopen"));
    switch (m_services.forwardToRunningInstance(requests)) {
    case AppServices::Forwarding::Forwarded:
        m_services.terminate(0);
        return;
    case AppServices::Forwarding::Unreachable:
        std::fputs("Vorrindel is already running but does not answer; quit it and start again.\n", stderr);
        m_services.terminate(1);
        return;
    case AppServices::Forwarding::NoOtherInstance:
        break;
    }
    if (!m_services.hasDisplay()) {
        std::fputs("Vorrindel needs a graphical session: no X11 display was found (is DISPLAY set?).\n",
                   stderr);
        m_services.terminate(1);
        return;
    }
    m_services.acceptForwardedRequests([this](const QStringList& forwarded) { handleForwarded(forwarded); });

    m_services.showMenuBar();
    m_notch = m_services.createNotch();
    // The store starts on the event loop once start-up has returned; nobody waits for it.
    m_services.runLater(std::chrono::milliseconds(0), this, [this] { m_services.startStore(); });

    if (hasOption("--open-settings"))
        m_services.runLater(openSettingsDelay, this, [this] { m_services.openSettings(); });
    if (hasOption("--open-panel")) {
        m_services.runLater(openPanelDelay, this, [this] {
            if (m_notch)
                m_notch->expand(true);
        });
    }
    if (hasOption("--open-quickadd")) {
        m_services.runLater(openPanelDelay, this, [this] {
            if (m_notch)
                m_notch->openQuickAdd(quickAddSample());
        });
    }

    // A first launch with URLs (the desktop opening a "vorrindel:" link) acts on them now.
    openUrls(urls);
}

bool AppDelegate::applicationShouldHandleReopen() {
    if (m_notch)
        m_notch->expand(true);
    return false;
}

void AppDelegate::openUrls(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        const UrlRouter::Action action = UrlRouter::route(url);
        switch (action.kind) {
        case UrlRouter::Action::Kind::Open:
            if (m_notch)
                m_notch->expand(true);
            break;
        case UrlRouter::Action::Kind::Settings:
            m_services.openSettings();
            break;
        case UrlRouter::Action::Kind::PreviewAlert:
            m_services.previewAlert();
            break;
        case UrlRouter::Action::Kind::QuickAdd:
            if (m_notch)
                m_notch->openQuickAdd(action.prefill);
            break;
        case UrlRouter::Action::Kind::None:
            break;
        }
    }
}

void AppDelegate::handleForwarded(const QStringList& requests) {
    for (const QString& request : requests) {
        if (request == u"reopen")
            applicationShouldHandleReopen();
        else if (UrlRouter::isAppUrl(request))
            openUrls({QUrl(request)});
    }
}
