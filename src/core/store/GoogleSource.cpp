#include "core/store/GoogleSource.h"

#include "core/remote/GoogleAuthFlow.h"

namespace {

class AuthFlowSignIn final : public GoogleSignIn {
public:
    QCoro::Task<GoogleAccount> run(GoogleConfig config) override { return m_flow.run(std::move(config)); }
    void cancel() override { m_flow.cancel(); }

private:
    GoogleAuthFlow m_flow;
};

// Plain forwarding: the client's tasks start at once and copy what they need.
class RemoteGoogleSource final : public GoogleSource {
public:
    std::unique_ptr<GoogleSignIn> newSignIn() override { return std::make_unique<AuthFlowSignIn>(); }
    QCoro::Task<GoogleAPI::ValidToken> validToken(GoogleAccount account, GoogleConfig config) override {
        return GoogleAPI::validToken(std::move(account), std::move(config));
    }
    QCoro::Task<QList<CalEvent>> events(GoogleCalendarInfo calendar, QString account, QDateTime from,
                                        QDateTime to, QString token, Cal cal) override {
        return GoogleAPI::events(std::move(calendar), std::move(account), std::move(from), std::move(to),
                                 std::move(token), std::move(cal));
    }
    QCoro::Task<QJsonObject> insertEvent(QString calendarID, GoogleAPI::Query query, QJsonObject body,
                                         QString token) override {
        return GoogleAPI::insertEvent(std::move(calendarID), std::move(query), std::move(body),
                                      std::move(token));
    }
    QCoro::Task<CalEvent> updateEvent(GoogleCalendarInfo calendar, QString account, QString eventID,
                                      std::optional<QString> title, std::optional<GoogleAPI::Slot> slot,
                                      QStringList invitees, bool meet, bool hadMeet, bool notify,
                                      QString token, Cal cal) override {
        return GoogleAPI::updateEvent(std::move(calendar), std::move(account), std::move(eventID),
                                      std::move(title), std::move(slot), std::move(invitees), meet, hadMeet,
                                      notify, std::move(token), std::move(cal));
    }
    QCoro::Task<> deleteEvent(QString calendarID, QString eventID, bool notify, QString token) override {
        return GoogleAPI::deleteEvent(std::move(calendarID), std::move(eventID), notify, std::move(token));
    }
    QCoro::Task<> declineEvent(GoogleCalendarInfo calendar, QString account, QString eventID, QString token,
                               Cal cal) override {
        // The declined event is not shown; the refresh that follows drops it.
        return dropResult(GoogleAPI::declineEvent(std::move(calendar), std::move(account), std::move(eventID),
                                                  std::move(token), std::move(cal)));
    }

private:
    static QCoro::Task<> dropResult(QCoro::Task<std::optional<CalEvent>> task) { co_await task; }
};

} // namespace

std::unique_ptr<GoogleSource> GoogleSource::remote() {
    return std::make_unique<RemoteGoogleSource>();
}
