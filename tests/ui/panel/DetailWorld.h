#pragma once

#include "core/model/CalEvent.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "core/store/GoogleSource.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/EventDetailView.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <coroutine>
#include <memory>
#include <optional>
#include <vector>

// Google as far as the detail view's writes go: deletes and declines are recorded, can be held until
// the test lets them go, and can fail with a message. Reads return nothing.
class HeldGoogle final : public GoogleSource {
public:
    // An awaitable that suspends while the gate is closed.
    class Gate {
    public:
        bool await_ready() const noexcept { return m_owner.open; }
        void await_suspend(std::coroutine_handle<> waiting) { m_owner.waiting.push_back(waiting); }
        void await_resume() const noexcept {}
        HeldGoogle& m_owner;
    };

    std::unique_ptr<GoogleSignIn> newSignIn() override { return nullptr; }
    QCoro::Task<GoogleAPI::ValidToken> validToken(GoogleAccount account, GoogleConfig config) override;
    QCoro::Task<QList<CalEvent>> events(GoogleCalendarInfo calendar, QString account, QDateTime from,
                                        QDateTime to, QString token, Cal cal) override;
    QCoro::Task<QJsonObject> send(QString method, QString path, GoogleAPI::Query query, QJsonObject body,
                                  QString token) override;
    QCoro::Task<CalEvent> updateEvent(GoogleCalendarInfo calendar, QString account, QString eventID,
                                      std::optional<QString> title, std::optional<GoogleAPI::Slot> slot,
                                      QStringList invitees, bool meet, bool hadMeet, bool notify,
                                      QString token, Cal cal) override;
    QCoro::Task<> deleteEvent(QString calendarID, QString eventID, bool notify, QString token) override;
    QCoro::Task<> declineEvent(GoogleCalendarInfo calendar, QString account, QString eventID, QString token,
                               Cal cal) override;

    // Lets every held write go on.
    void release();

    bool open = true;                // false: writes wait for release()
    std::optional<QString> failWith; // writes throw a GoogleError with this message
    QStringList writes;              // "delete <event id>", "decline <event id>"
    std::vector<std::coroutine_handle<>> waiting;
};

// A detail view's surroundings: a store on a manual clock at Wednesday 4 March 2026, 10:00 UTC, in
// en_US (12-hour clock), with Ada's Google account able to write through HeldGoogle, the links it
// opens recorded, and a panel state with no controller.
class DetailWorld {
public:
    static inline const QString ada = QStringLiteral("ada@corp.io");

    DetailWorld();
    ~DetailWorld();

    QDateTime at(const QString& wall) const;

    // A Google meeting of Ada's calendar from the wall time, half an hour long; Ada organises it
    // unless `guest`, when Ada is an invited guest who may decline.
    CalEvent googleMeeting(const QString& id, const QString& title, const QString& wall,
                           bool guest = false) const;

    // A view of the event with the world's opener and timers, at the body size of the panel.
    std::unique_ptr<EventDetailView> view(const CalEvent& event, bool confirmDelete = false);

    TempHome home;
    std::unique_ptr<AppSettings> settings;
    ManualClock clock;
    HeldGoogle* google = nullptr;
    QList<QUrl> opened;      // through the store (Join)
    QList<QUrl> openedLinks; // through the view (web pages, launchers)
    std::unique_ptr<EventStore> store;
    std::unique_ptr<NotchState> state;
};
