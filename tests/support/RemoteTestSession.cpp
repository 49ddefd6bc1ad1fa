#include "support/RemoteTestSession.h"

#include <QNetworkProxy>

RemoteTestSession::RemoteTestSession()
    : m_previous(RemoteSession::current())
    , m_network(std::make_unique<QNetworkAccessManager>())
    , m_now(std::make_shared<QDateTime>()) {
    m_network->setProxy(QNetworkProxy::NoProxy);
    m_session.network = m_network.get();
    m_session.clock = [now = m_now] { return now->isValid() ? *now : QDateTime::currentDateTimeUtc(); };
    m_session.openBrowser = [](const QUrl&) { return false; };
    apply();
}

RemoteTestSession::~RemoteTestSession() {
    RemoteSession::install(m_previous);
}

void RemoteTestSession::setEndpoints(const RemoteSession::Endpoints& endpoints) {
    m_session.endpoints = endpoints;
    apply();
}

void RemoteTestSession::setTimeouts(const RemoteSession::Timeouts& timeouts) {
    m_session.timeouts = timeouts;
    apply();
}

void RemoteTestSession::setAllTimeouts(std::chrono::milliseconds timeout) {
    setTimeouts({timeout, timeout, timeout, timeout, timeout});
}

void RemoteTestSession::setBrowser(BrowserOpener opener) {
    m_session.openBrowser = std::move(opener);
    apply();
}

void RemoteTestSession::setNow(const QDateTime& now) {
    *m_now = now.toUTC();
}

void RemoteTestSession::setClock(Clock clock) {
    m_session.clock = std::move(clock);
    apply();
}

void RemoteTestSession::advance(std::chrono::seconds seconds) {
    *m_now = now().addSecs(seconds.count());
}

QDateTime RemoteTestSession::now() const {
    return m_session.clock();
}

void RemoteTestSession::apply() {
    RemoteSession::install(m_session);
}
