#pragma once

#include "core/remote/RemoteSession.h"

#include <QDateTime>
#include <QNetworkAccessManager>

#include <memory>

// Installs a RemoteSession for the life of the object and restores the one before it afterwards:
// its own network access manager (no proxy, so CI proxy variables cannot reach the fake servers), a
// clock that tests set and advance, no browser (a test installs its own), and the endpoints and
// time-outs the test gives it.
//
//     FakeGoogle google;
//     RemoteTestSession session;
//     session.setEndpoints(google.endpoints());
//     session.setNow(QDateTime(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC));
class RemoteTestSession {
public:
    RemoteTestSession();
    ~RemoteTestSession();
    RemoteTestSession(const RemoteTestSession&) = delete;
    RemoteTestSession& operator=(const RemoteTestSession&) = delete;

    void setEndpoints(const RemoteSession::Endpoints& endpoints);
    void setTimeouts(const RemoteSession::Timeouts& timeouts);
    // Every time-out of the session set to the same value, for tests of time-outs.
    void setAllTimeouts(std::chrono::milliseconds timeout);
    void setBrowser(BrowserOpener opener);

    // The clock reads the real time until a test sets it; from then on it stands still unless advanced.
    void setNow(const QDateTime& now);
    // Another clock instead (a ManualClock shared with the code under test, say); setNow and advance
    // then no longer apply.
    void setClock(Clock clock);
    void advance(std::chrono::seconds seconds);
    QDateTime now() const;

    QNetworkAccessManager& network() { return *m_network; }
    const RemoteSession& session() const { return m_session; }

private:
    void apply();

    RemoteSession m_previous;
    RemoteSession m_session;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::shared_ptr<QDateTime> m_now;
};
