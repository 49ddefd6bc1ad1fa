#pragma once

#include "core/model/Clock.h"
#include "core/store/GoogleSource.h"
#include "core/store/NotionSource.h"

#include <QHash>
#include <QJsonObject>
#include <QMultiHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <coroutine>
#include <memory>

// Stand-ins for the store's Google and Notion sources, so that store tests test the store: what it
// asks for, and what it does with the answers, the failures and the waits. What the requests look
// like on the wire is the clients' tests' business.
//
// The data, the failures and the calls seen live in a state shared with the test: it outlives the
// store that owns the fake, and calls still pending when the store goes never touch the fake itself.
// Events and pages are kept in Google's and Notion's own shapes and mapped by the real clients'
// mapping, in the calendar the store passes.

// Calls a test holds back to act while the store waits for them, named by kind ("token ada@corp.io",
// "events team@corp.io", "insert", "update", "delete", "sign-in", "pages db1", "verify").
class Holds {
public:
    void hold(const QString& kind) { m_held.insert(kind); }
    // Lets the waiting calls of that kind go on (on the next turn of the event loop) and holds no more.
    void release(const QString& kind);
    // Runs the event loop until a call of that kind waits; false on time-out.
    bool waitFor(const QString& kind);

    // Awaited by the fakes before they answer.
    QCoro::Task<> pass(QString kind);

private:
    QSet<QString> m_held;
    QMultiHash<QString, std::coroutine_handle<>> m_waiting;
};

struct GoogleState {
    Holds holds;
    Clock clock;
    QHash<QString, QList<QJsonObject>> events; // calendar id → Google event objects
    // A calendar id → the error of its every listing; "insert", "update" or "delete" → the next one's.
    QHash<QString, QString> failing;
    QHash<QString, int> failingStatus; // the HTTP status those errors carry; none: 0
    QSet<QString> revoked;             // accounts whose refresh token Google refuses
    // Every call in order: "token <email>", "events <calendar>", "insert <calendar>", "update <event>",
    // "delete <event>[ notify]", "decline <event>".
    QStringList calls;
    QJsonObject lastInsert;  // {"query": ..., "body": ...}
    QJsonObject insertReply; // replaces the created event in the reply when not empty
    struct Update {
        std::optional<QString> title;
        std::optional<GoogleAPI::Slot> slot;
        QStringList invitees;
        bool meet = false, hadMeet = false, notify = false;
    };
    QList<Update> updates;
    std::optional<GoogleAccount> signIn; // the next sign-in's account; none: it fails
    int renewals = 0;

    // Adds an event object to the calendar.
    void add(const QString& calendar, const QJsonObject& event) { events[calendar].append(event); }
    QStringList callsOf(const QString& kind) const { return calls.filter(QRegularExpression("^" + kind)); }
};

struct NotionState {
    Holds holds;
    QString token = QStringLiteral("secret_valid");
    QList<NotionDatabase> databases;
    QHash<QString, QList<QJsonObject>> pages; // database id → page objects
    QHash<QString, QString> failing;          // database id or "search" → its error message
    QHash<QString, int> failingStatus;        // the HTTP status that error carries; none: 0
    QStringList calls;                        // "verify", "search", "pages <database>"
};

std::unique_ptr<GoogleSource> fakeGoogle(std::shared_ptr<GoogleState> state);
std::unique_ptr<NotionSource> fakeNotion(std::shared_ptr<NotionState> state);
