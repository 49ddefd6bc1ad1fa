#include "StoreFakes.h"

#include "core/remote/NotionClient.h"
#include "support/Patience.h"

#include <QCoreApplication>
#include <QTest>
#include <QUrl>

namespace {

// QCoro moves from an lvalue given to co_return: the fakes return copies of what they keep.
using State = std::shared_ptr<GoogleState>;

// Each fake call is a coroutine of its own that holds the shared state, never the fake.
QCoro::Task<GoogleAPI::ValidToken> token(State s, GoogleAccount account) {
    const QString kind = QStringLiteral("token ") + account.email;
    s->calls << kind;
    co_await s->holds.pass(kind);
    if (s->revoked.contains(account.email))
        throw GoogleAPI::ReconnectNeeded(account.email);
    if (!account.accessToken || !account.expiry || *account.expiry <= s->clock().addSecs(90)) {
        account.accessToken = QStringLiteral("renewed-%1").arg(++s->renewals);
        account.expiry = s->clock().addSecs(3600);
        account.needsReauth = false;
    }
    const QString valid = *account.accessToken;
    co_return GoogleAPI::ValidToken{valid, std::move(account)};
}

QCoro::Task<QList<CalEvent>> listEvents(State s, GoogleCalendarInfo calendar, QString account, QDateTime from,
                                        QDateTime to, Cal cal) {
    // The listing as it stands when asked for; a held reply brings it late.
    const QString kind = QStringLiteral("events ") + calendar.id;
    s->calls << kind;
    const QList<QJsonObject> stored = s->events.value(calendar.id);
    co_await s->holds.pass(kind);
    if (s->failing.contains(calendar.id))
        throw GoogleError(s->failing.value(calendar.id), s->failingStatus.value(calendar.id));
    QList<CalEvent> listed;
    for (const QJsonObject& json : stored) {
        if (auto event = GoogleAPI::event(json, calendar, account, cal);
            event && event->end > from && event->start < to)
            listed << *event;
    }
    co_return listed;
}

QCoro::Task<QJsonObject> insert(State s, QString calendar, GoogleAPI::Query query, QJsonObject body) {
    s->calls << QStringLiteral("insert ") + calendar;
    co_await s->holds.pass(QStringLiteral("insert"));
    if (s->failing.contains("insert"))
        throw GoogleError(s->failing.take("insert"));
    QJsonObject sentQuery;
    for (auto it = query.cbegin(); it != query.cend(); ++it)
        sentQuery.insert(it.key(), it.value());
    s->lastInsert = {{"query", sentQuery}, {"body", body}};
    // An id stored before answers with the event stored under it, as the client does after a 409.
    for (const QJsonObject& stored : s->events.value(calendar)) {
        if (body.contains("id") && stored.value("id") == body.value("id"))
            co_return QJsonObject(stored);
    }
    QJsonObject created = body;
    if (!created.contains("id"))
        created.insert("id", QStringLiteral("made-%1").arg(s->calls.size()));
    if (body.contains("conferenceData"))
        created.insert("hangoutLink", "https://meet.google.com/new-link");
    s->add(calendar, created);
    co_return QJsonObject(s->insertReply.isEmpty() ? created : s->insertReply);
}

QCoro::Task<CalEvent> update(State s, GoogleCalendarInfo calendar, QString account, QString eventID,
                             GoogleState::Update change, Cal cal) {
    s->calls << QStringLiteral("update ") + eventID;
    co_await s->holds.pass(QStringLiteral("update"));
    if (s->failing.contains("update"))
        throw GoogleError(s->failing.take("update"));
    s->updates << change;
    for (QJsonObject& json : s->events[calendar.id]) {
        if (json.value("id").toString() != eventID)
            continue;
        if (change.title)
            json.insert("summary", *change.title);
        if (change.slot) {
            json.insert("start", GoogleAPI::slotTime(change.slot->start, change.slot->allDay, cal));
            json.insert("end", GoogleAPI::slotTime(change.slot->end, change.slot->allDay, cal));
        }
        if (change.meet && !change.hadMeet)
            json.insert("hangoutLink", "https://meet.google.com/new-link");
        if (!change.meet && change.hadMeet)
            json.remove("hangoutLink");
        if (auto updated = GoogleAPI::event(json, calendar, account, cal))
            co_return *updated;
    }
    throw GoogleError(QStringLiteral("Google couldn't find that calendar or event any more"));
}

QCoro::Task<> remove(State s, QString calendarID, QString eventID, QString call) {
    s->calls << call;
    co_await s->holds.pass(call.section(QLatin1Char(' '), 0, 0));
    if (s->failing.contains("delete"))
        throw GoogleError(s->failing.take("delete"));
    s->events[calendarID].removeIf(
        [&](const QJsonObject& json) { return json.value("id").toString() == eventID; });
}

QCoro::Task<GoogleAccount> signIn(State s, std::shared_ptr<bool> cancelled) {
    s->calls << QStringLiteral("sign-in");
    co_await s->holds.pass(QStringLiteral("sign-in"));
    if (*cancelled)
        throw CancelledError();
    if (!s->signIn)
        throw GoogleError(QStringLiteral("Sign-in was cancelled"));
    co_return GoogleAccount(*s->signIn);
}

class FakeSignIn final : public GoogleSignIn {
public:
    explicit FakeSignIn(State s)
        : m_s(std::move(s)) {}
    QCoro::Task<GoogleAccount> run(GoogleConfig) override { return signIn(m_s, m_cancelled); }
    void cancel() override {
        *m_cancelled = true;
        m_s->holds.release(QStringLiteral("sign-in"));
    }

private:
    State m_s;
    std::shared_ptr<bool> m_cancelled = std::make_shared<bool>(false);
};

class FakeGoogleSource final : public GoogleSource {
public:
    explicit FakeGoogleSource(State s)
        : m_s(std::move(s)) {}

    std::unique_ptr<GoogleSignIn> newSignIn() override { return std::make_unique<FakeSignIn>(m_s); }
    QCoro::Task<GoogleAPI::ValidToken> validToken(GoogleAccount account, GoogleConfig) override {
        return token(m_s, std::move(account));
    }
    QCoro::Task<QList<CalEvent>> events(GoogleCalendarInfo calendar, QString account, QDateTime from,
                                        QDateTime to, QString, Cal cal) override {
        return listEvents(m_s, std::move(calendar), std::move(account), from, to, std::move(cal));
    }
    QCoro::Task<QJsonObject> insertEvent(QString calendarID, GoogleAPI::Query query, QJsonObject body,
                                         QString) override {
        return insert(m_s, std::move(calendarID), std::move(query), std::move(body));
    }
    QCoro::Task<CalEvent> updateEvent(GoogleCalendarInfo calendar, QString account, QString eventID,
                                      std::optional<QString> title, std::optional<GoogleAPI::Slot> slot,
                                      QStringList invitees, bool meet, bool hadMeet, bool notify, QString,
                                      Cal cal) override {
        return update(m_s, std::move(calendar), std::move(account), std::move(eventID),
                      {std::move(title), std::move(slot), std::move(invitees), meet, hadMeet, notify},
                      std::move(cal));
    }
    QCoro::Task<> deleteEvent(QString calendarID, QString eventID, bool notify, QString) override {
        const QString call =
            QStringLiteral("delete ") + eventID + (notify ? QStringLiteral(" notify") : QString());
        return remove(m_s, std::move(calendarID), std::move(eventID), call);
    }
    QCoro::Task<> declineEvent(GoogleCalendarInfo calendar, QString, QString eventID, QString, Cal) override {
        const QString call = QStringLiteral("decline ") + eventID;
        return remove(m_s, calendar.id, std::move(eventID), call);
    }

private:
    State m_s;
};

using Notion = std::shared_ptr<NotionState>;

QCoro::Task<QString> verify(Notion s, QString token) {
    s->calls << QStringLiteral("verify");
    co_await s->holds.pass(QStringLiteral("verify"));
    if (token != s->token)
        throw NotionError(QStringLiteral("API token is invalid."));
    co_return QStringLiteral("Vorrindel Sync");
}

QCoro::Task<QList<NotionDatabase>> search(Notion s) {
    s->calls << QStringLiteral("search");
    co_await s->holds.pass(QStringLiteral("search"));
    if (s->failing.contains("search"))
        throw NotionError(s->failing.value("search"));
    co_return QList<NotionDatabase>(s->databases);
}

QCoro::Task<QList<CalEvent>> queryPages(Notion s, NotionDatabaseSelection database, QDateTime from,
                                        QDateTime to, QColor color, Cal cal) {
    const QString kind = QStringLiteral("pages ") + database.id;
    s->calls << kind;
    const QList<QJsonObject> stored = s->pages.value(database.id);
    co_await s->holds.pass(kind);
    if (s->failing.contains(database.id))
        throw NotionError(s->failing.value(database.id), s->failingStatus.value(database.id));
    QList<CalEvent> found;
    for (const QJsonObject& page : stored) {
        if (auto event = NotionClient::event(page, database, color, cal);
            event && event->end > from && event->start < to)
            found << *event;
    }
    co_return found;
}

class FakeNotionSource final : public NotionSource {
public:
    explicit FakeNotionSource(Notion s)
        : m_s(std::move(s)) {}
    QCoro::Task<QString> verify(QString token) override { return ::verify(m_s, std::move(token)); }
    QCoro::Task<QList<NotionDatabase>> listDatabases(QString) override { return search(m_s); }
    QCoro::Task<QList<CalEvent>> pages(QString, NotionDatabaseSelection database, QDateTime from,
                                       QDateTime to, QColor color, Cal cal) override {
        return queryPages(m_s, std::move(database), from, to, color, std::move(cal));
    }

private:
    Notion m_s;
};

// Named at the co_await: GCC 12 mishandles temporaries with destructors there.
struct Waiter {
    QMultiHash<QString, std::coroutine_handle<>>* waiting;
    QString kind;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) { waiting->insert(kind, handle); }
    void await_resume() const noexcept {}
};

} // namespace

void Holds::release(const QString& kind) {
    m_held.remove(kind);
    const QList<std::coroutine_handle<>> handles = m_waiting.values(kind);
    m_waiting.remove(kind);
    for (std::coroutine_handle<> handle : handles)
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
}

bool Holds::waitFor(const QString& kind) {
    return Patience::until([&] { return m_waiting.contains(kind); });
}

QCoro::Task<> Holds::pass(QString kind) {
    if (!m_held.contains(kind))
        co_return;
    Waiter waiter{&m_waiting, kind};
    co_await waiter;
}

std::unique_ptr<GoogleSource> fakeGoogle(std::shared_ptr<GoogleState> state) {
    return std::make_unique<FakeGoogleSource>(std::move(state));
}

std::unique_ptr<NotionSource> fakeNotion(std::shared_ptr<NotionState> state) {
    return std::make_unique<FakeNotionSource>(std::move(state));
}
