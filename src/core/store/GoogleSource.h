#pragma once

#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/remote/GoogleAPI.h"
#include "core/remote/GoogleRecords.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <memory>
#include <optional>

// One browser sign-in, made fresh for each connect and kept by the store while it runs so that the
// settings can cancel it.
class GoogleSignIn {
public:
    virtual ~GoogleSignIn() = default;
    // The signed-in account; throws CancelledError after cancel(), a UserFacingError otherwise.
    virtual QCoro::Task<GoogleAccount> run(GoogleConfig config) = 0;
    virtual void cancel() = 0;
};

// Everything the event store asks of Google, one call per network operation. The app runs on
// remote() (GoogleAPI and GoogleAuthFlow); tests put fakes in its place whose calls they can hold.
// The calls behave as their GoogleAPI namesakes, and like them take everything by value.
class GoogleSource {
public:
    virtual ~GoogleSource() = default;

    virtual std::unique_ptr<GoogleSignIn> newSignIn() = 0;
    virtual QCoro::Task<GoogleAPI::ValidToken> validToken(GoogleAccount account, GoogleConfig config) = 0;
    virtual QCoro::Task<QList<CalEvent>> events(GoogleCalendarInfo calendar, QString account, QDateTime from,
                                                QDateTime to, QString token, Cal cal) = 0;
    virtual QCoro::Task<QJsonObject> insertEvent(QString calendarID, GoogleAPI::Query query, QJsonObject body,
                                                 QString token) = 0;
    virtual QCoro::Task<CalEvent> updateEvent(GoogleCalendarInfo calendar, QString account, QString eventID,
                                              std::optional<QString> title,
                                              std::optional<GoogleAPI::Slot> slot, QStringList invitees,
                                              bool meet, bool hadMeet, bool notify, QString token,
                                              Cal cal) = 0;
    virtual QCoro::Task<> deleteEvent(QString calendarID, QString eventID, bool notify, QString token) = 0;
    virtual QCoro::Task<> declineEvent(GoogleCalendarInfo calendar, QString account, QString eventID,
                                       QString token, Cal cal) = 0;

    static std::unique_ptr<GoogleSource> remote();
};
