#pragma once

#include "core/remote/GoogleRecords.h"

#include <QObject>
#include <QTimer>

#include <QCoroTask>

#include <memory>

class LoopbackServer;

// Connects one Google account through the OAuth flow for desktop apps: PKCE (S256), a one-shot
// listener on 127.0.0.1 as the redirect, the consent page in the user's browser, the code exchange,
// and the account's calendar list. One flow object serves one attempt; the event store creates a
// fresh one per connect and keeps it while it runs, so that the settings can cancel it.
//
// The browser opener, the endpoints, the clock and the 600 s time-out come from the RemoteSession.
class GoogleAuthFlow : public QObject {
    Q_OBJECT
public:
    explicit GoogleAuthFlow(QObject* parent = nullptr);
    ~GoogleAuthFlow() override;

    // Runs the sign-in and returns the new account: e-mail (its primary calendar's id, "Google
    // account" without one), tokens and expiry, granted scopes, calendars and the calendars not
    // selected in Google as hidden ones.
    //
    // Throws CancelledError when cancel() ends the wait (or the flow is deleted while waiting),
    // TransportError when the listener cannot start or a request gets no reply, GoogleError otherwise:
    // "No browser could be opened to sign in to Google" (at once), "Timed out waiting for the Google
    // sign-in", "Sign-in was cancelled" (the user denied access),
    // "Unexpected response from Google" (no code, or a state that is not ours), the token endpoint's
    // or the calendar list's errors, or the refresh-token message. A redirect's own error text is
    // shown only when it carries our state. The listener is stopped on every way out.
    QCoro::Task<GoogleAccount> run(GoogleConfig config);
    // Ends a pending wait for the browser with CancelledError; does nothing at any other time (an
    // exchange already under way runs to its end).
    void cancel();
    // True while the flow waits for the browser's redirect.
    bool isWaiting() const { return bool(m_wait); }

private:
    struct Wait;
    enum class Ending { redirect, timedOut, cancelled };

    void finishWait(Ending ending, const QString& path = {});
    // Stops the listener when it is still the given attempt's. Attempts are told apart by number: a
    // later attempt's listener may be made at the address an earlier one's was freed from.
    void stopServer(quint64 attempt);

    std::unique_ptr<LoopbackServer> m_server;
    quint64 m_serverAttempt = 0; // the attempt the listener belongs to
    quint64 m_attempts = 0;
    std::shared_ptr<Wait> m_wait;
    QTimer m_timeout;
};
