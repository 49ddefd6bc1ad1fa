#include "support/FakeBrowser.h"

#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <QCoroNetworkReply>

FakeBrowser::FakeBrowser(QObject* parent)
    : QObject(parent) {
    m_network.setProxy(QNetworkProxy::NoProxy);
}

BrowserOpener FakeBrowser::opener() {
    return [self = QPointer<FakeBrowser>(this)](const QUrl& url) {
        if (!self)
            return false;
        self->m_opened.append(url);
        if (self->m_loads)
            QTimer::singleShot(0, self, [self, url] { self->load(url); });
        return true;
    };
}

bool FakeBrowser::waitForPage(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!m_loaded && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return m_loaded;
}

QCoro::Task<> FakeBrowser::load(QUrl url) {
    QPointer<FakeBrowser> self(this);
    for (int hop = 0; hop < 5; ++hop) {
        m_visited.append(url);
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* reply = m_network.get(request);
        co_await reply;
        reply->deleteLater();
        if (!self)
            co_return;
        m_status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_page = reply->readAll();
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (m_status < 300 || m_status >= 400 || location.isEmpty())
            break;
        const QUrl next = url.resolved(location);
        if (m_faviconFirst && next.port() != url.port()) {
            QUrl favicon = next;
            favicon.setPath(QStringLiteral("/favicon.ico"));
            favicon.setQuery(QString());
            m_visited.append(favicon);
            QNetworkReply* icon = m_network.get(QNetworkRequest(favicon));
            co_await icon;
            icon->deleteLater();
            if (!self)
                co_return;
        }
        url = next;
    }
    m_loaded = true;
    emit pageLoaded();
}
