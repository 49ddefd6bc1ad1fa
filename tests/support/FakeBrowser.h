#pragma once

#include "core/remote/RemoteSession.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <QCoroTask>

// Plays the user's browser in sign-in tests: the opener it hands out records the address and loads it
// from the event loop, following redirects hop by hop as a browser does (so the fake consent page's
// 302 leads to the app's loopback listener), and keeps the page it ends on.
//
//     FakeBrowser browser;
//     session.setBrowser(browser.opener());
//     ... run the sign-in ...
//     QVERIFY(browser.page().contains("Google Calendar connected"));
class FakeBrowser : public QObject {
    Q_OBJECT
public:
    explicit FakeBrowser(QObject* parent = nullptr);

    BrowserOpener opener();
    // Before following a redirect to another address, ask that address for /favicon.ico first.
    void setFaviconFirst(bool on) { m_faviconFirst = on; }
    // When off, the opener records the address but loads nothing (a user who never answers).
    void setLoads(bool on) { m_loads = on; }

    const QList<QUrl>& opened() const { return m_opened; }
    // Every address requested, in order, favicons included.
    const QList<QUrl>& visited() const { return m_visited; }
    int status() const { return m_status; }
    const QByteArray& page() const { return m_page; }
    bool waitForPage(int timeoutMs = 5000);

    // Loads one address (and the redirects it leads to) now.
    QCoro::Task<> load(QUrl url);

signals:
    void pageLoaded();

private:
    QNetworkAccessManager m_network;
    QList<QUrl> m_opened;
    QList<QUrl> m_visited;
    QByteArray m_page;
    int m_status = 0;
    bool m_loaded = false;
    bool m_faviconFirst = false;
    bool m_loads = true;
};
