#include "FakeSources.h"

#include <QCoroSignal>

void CallGate::release() {
    m_held.clear();
    emit released();
}

QCoro::Task<> CallGate::pass(QString call) {
    calls << call;
    const bool held = std::any_of(m_held.cbegin(), m_held.cend(),
                                  [&](const QString& prefix) { return call.startsWith(prefix); });
    if (!held)
        co_return;
    ++m_waiting;
    auto released = qCoro(this, &CallGate::released);
    co_await released;
    --m_waiting;
}

namespace {

class FakeSignIn final : public GoogleSignIn {
public:
    explicit FakeSignIn(FakeGoogleSource& source)
        : m_source(source) {}

    QCoro::Task<GoogleAccount> run(GoogleConfig) override {
        QCoro::Task<> passing = m_source.gate.pass(QStringLiteral("signin"));
        co_await passing;
        if (m_cancelled)
            throw CancelledError();
        if (m_source.failures.contains(QStringLiteral("signin")))
            throw GoogleError(m_source.failures.value(QStringLiteral("signin")));
        GoogleAccount account = m_source.signInAccount.value();
        co_return account;
    }
    void cancel() override {
        m_cancelled = true;
        m_source.gate.release();
    }

private:
    FakeGoogleSource& m_source;
    bool m_cancelled = false;
};

template <typename T> QCoro::Task<T> unsupported() {
    throw GoogleError(QStringLiteral("writes are not part of the in-memory fake"));
    if constexpr (std::is_void_v<T>)
        co_return;
    else
        co_return T();
}

} // namespace

CalEvent FakeGoogleSource::event(const QString& account, const QString& calendarID, const QString& eventID,
                                 const QString& title, const QDateTime& start) {
    CalEvent event;
    event.id = CalEvent::googleId(account, calendarID, eventID);
    event.title = title;
    event.start = start;
    event.end = start.addSecs(1800);
    event.source = EventSource::google;
    event.googleAccount = account;
    event.googleCalendarID = calendarID;
    event.googleEventID = eventID;
    event.calendarEditable = true;
    return event;
}

GoogleAccount FakeGoogleSource::account(const QString& email, const QStringList& calendarIDs) {
    GoogleAccount account;
    account.email = email;
    account.refreshToken = QStringLiteral("refresh-") + email;
    account.accessToken = QStringLiteral("stale-") + email;
    account.expiry = QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    account.scopes = QStringList{QStringLiteral("https://www.googleapis.com/auth/calendar.events")};
    for (const QString& id : calendarIDs)
        account.calendars.append({id, id, std::nullopt, id == email, QStringLiteral("owner")});
    return account;
}

std::unique_ptr<GoogleSignIn> FakeGoogleSource::newSignIn() {
    return std::make_unique<FakeSignIn>(*this);
}

QCoro::Task<QString> FakeGoogleSource::validToken(GoogleAccount& account, GoogleConfig) {
    const QString email = account.email;
    QCoro::Task<> passing = gate.pass(QStringLiteral("token ") + email);
    co_await passing;
    if (revoked.contains(email)) {
        account.needsReauth = true;
        throw GoogleError(email + QStringLiteral(" needs to be reconnected (token expired or revoked)"));
    }
    if (failures.contains(email))
        throw GoogleError(failures.value(email));
    const QString token = QStringLiteral("access-%1-%2").arg(email).arg(++tokensIssued);
    account.accessToken = token;
    account.expiry = QDateTime(QDate(2030, 1, 1), QTime(0, 0), Qt::UTC).addSecs(tokensIssued);
    account.needsReauth = false;
    co_return token;
}

QCoro::Task<QList<CalEvent>> FakeGoogleSource::events(GoogleCalendarInfo calendar, QString, QDateTime,
                                                      QDateTime, QString) {
    QCoro::Task<> passing = gate.pass(QStringLiteral("events ") + calendar.id);
    co_await passing;
    if (failures.contains(calendar.id))
        throw GoogleError(failures.value(calendar.id));
    QList<CalEvent> list = eventsOf.value(calendar.id);
    co_return list;
}

QCoro::Task<QJsonObject> FakeGoogleSource::send(QString, QString, GoogleAPI::Query, QJsonObject, QString) {
    return unsupported<QJsonObject>();
}

QCoro::Task<CalEvent> FakeGoogleSource::updateEvent(GoogleCalendarInfo, QString, QString,
                                                    std::optional<QString>, std::optional<GoogleAPI::Slot>,
                                                    QStringList, bool, bool, bool, QString) {
    return unsupported<CalEvent>();
}

QCoro::Task<> FakeGoogleSource::deleteEvent(QString, QString, bool, QString) {
    return unsupported<void>();
}

QCoro::Task<> FakeGoogleSource::declineEvent(GoogleCalendarInfo, QString, QString, QString) {
    return unsupported<void>();
}

CalEvent FakeNotionSource::page(const QString& id, const QString& title, const QDateTime& start) {
    CalEvent event;
    event.id = CalEvent::notionId(id);
    event.title = title;
    event.start = start;
    event.end = start;
    event.isAllDay = false;
    event.source = EventSource::notion;
    return event;
}

QCoro::Task<QString> FakeNotionSource::verify(QString) {
    QCoro::Task<> passing = gate.pass(QStringLiteral("verify"));
    co_await passing;
    if (verifyFailure)
        throw NotionError(*verifyFailure);
    co_return QStringLiteral("Fake integration");
}

QCoro::Task<QList<NotionDatabase>> FakeNotionSource::listDatabases(QString) {
    QCoro::Task<> passing = gate.pass(QStringLiteral("list"));
    co_await passing;
    if (listFailure)
        throw NotionError(*listFailure);
    QList<NotionDatabase> list = databases;
    co_return list;
}

QCoro::Task<QList<CalEvent>> FakeNotionSource::pages(QString, NotionDatabaseSelection database, QDateTime,
                                                     QDateTime, QColor color) {
    QCoro::Task<> passing = gate.pass(QStringLiteral("pages ") + database.id);
    co_await passing;
    if (failures.contains(database.id))
        throw NotionError(failures.value(database.id));
    QList<CalEvent> list = pagesOf.value(database.id);
    for (CalEvent& event : list) {
        event.color = color;
        event.calendarName = database.title;
    }
    co_return list;
}
