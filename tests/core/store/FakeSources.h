#pragma once

#include "core/store/GoogleSource.h"
#include "core/store/NotionSource.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <optional>

// Records the calls of a fake source and holds those the test asks it to, until release().
class CallGate : public QObject {
    Q_OBJECT
public:
    // Calls whose description starts with the prefix wait from now on, until release().
    void hold(const QString& prefix) { m_held << prefix; }
    // Lets every waiting call go on (at the next turn of the event loop) and holds nothing more.
    void release();
    int waiting() const { return m_waiting; }
    int count(const QString& call) const { return int(calls.count(call)); }

    // Every call so far, in order: "token <e-mail>", "events <calendar id>", "signin", "pages <id>"...
    QStringList calls;

    QCoro::Task<> pass(QString call);

signals:
    void released();

private:
    QStringList m_held;
    int m_waiting = 0;
};

// Google as the store's sync sees it, in memory: tokens renew or fail per account, calendars hold
// events or fail, the sign-in yields a set account. Writes are not part of it (the write tests run
// on the real client and the fake server).
class FakeGoogleSource final : public GoogleSource {
public:
    CallGate gate;
    QSet<QString> revoked;                    // e-mails whose refresh token Google refuses
    QHash<QString, QString> failures;         // e-mail or calendar id → the error its calls throw
    QHash<QString, QList<CalEvent>> eventsOf; // calendar id → its events
    std::optional<GoogleAccount> signInAccount;
    int tokensIssued = 0;

    // An event of the calendar as GoogleAPI maps it.
    static CalEvent event(const QString& account, const QString& calendarID, const QString& eventID,
                          const QString& title, const QDateTime& start);
    // An account with scopes that allow writing, a refresh token and an expired access token.
    static GoogleAccount account(const QString& email, const QStringList& calendarIDs);

    std::unique_ptr<GoogleSignIn> newSignIn() override;
    QCoro::Task<QString> validToken(GoogleAccount& account, GoogleConfig config) override;
    QCoro::Task<QList<CalEvent>> events(GoogleCalendarInfo calendar, QString account, QDateTime from,
                                        QDateTime to, QString token) override;
    QCoro::Task<QJsonObject> send(QString, QString, GoogleAPI::Query, QJsonObject, QString) override;
    QCoro::Task<CalEvent> updateEvent(GoogleCalendarInfo, QString, QString, std::optional<QString>,
                                      std::optional<GoogleAPI::Slot>, QStringList, bool, bool, bool,
                                      QString) override;
    QCoro::Task<> deleteEvent(QString, QString, bool, QString) override;
    QCoro::Task<> declineEvent(GoogleCalendarInfo, QString, QString, QString) override;
};

// Notion in memory: databases listed, pages per database, failures per database or call.
class FakeNotionSource final : public NotionSource {
public:
    CallGate gate;
    std::optional<QString> verifyFailure;
    std::optional<QString> listFailure;
    QList<NotionDatabase> databases;
    QHash<QString, QList<CalEvent>> pagesOf; // database id → its pages
    QHash<QString, QString> failures;        // database id → the error its query throws

    static CalEvent page(const QString& id, const QString& title, const QDateTime& start);

    QCoro::Task<QString> verify(QString token) override;
    QCoro::Task<QList<NotionDatabase>> listDatabases(QString token) override;
    QCoro::Task<QList<CalEvent>> pages(QString token, NotionDatabaseSelection database, QDateTime from,
                                       QDateTime to, QColor color) override;
};
