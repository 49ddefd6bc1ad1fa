#pragma once

#include "core/calendar/LocalCalendar.h"
#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/model/Person.h"
#include "core/quickadd/QuickAddDraft.h"
#include "core/quickadd/QuickAddOutbox.h"
#include "core/store/DayMap.h"
#include "core/store/EventStore.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// What quick add reads from and writes to the agenda and the settings. The app binds it to the
// event store and the settings (QuickAddStoreEnv); tests give it a world of their own.
//
// The reading half answers from the current state and is called every time quick add recomputes,
// so it must be cheap and must not touch the disk. changed() says that any answer may differ now.
class QuickAddEnv : public QObject {
    Q_OBJECT

public:
    using MeetingTarget = EventStore::MeetingTarget;

    using QObject::QObject;

    // ---- Reading

    // The store's clock (moves on every 10 seconds) and the user's calendar.
    virtual QDateTime now() const = 0;
    virtual Cal cal() const = 0;
    virtual int defaultEventMinutes() const = 0;
    // The global hot key is registered (the header names it).
    virtual bool quickAddHotkey() const = 0;
    // A Google client identity is available, so that "Connect" can work.
    virtual bool googleHasClient() const = 0;
    // Google accounts exist, but none may write events.
    virtual bool googleNeedsWriteAccess() const = 0;
    virtual bool isConnectingGoogle() const = 0;

    // The people directory (the same text always gives the same answer).
    virtual std::optional<Person> person(const QString& matching) const = 0;
    virtual QList<Person> suggestions(const QString& text, const QList<Person>& excluding) const = 0;
    // The merged events of the day that holds `day`, in agenda order.
    virtual QList<CalEvent> events(const QDateTime& day) const = 0;
    // The same for a day the agenda has loaded; none for a day it has not, whose meetings are unknown
    // (the free-slot finder reads such days with readDays() first).
    virtual std::optional<QList<CalEvent>> loadedEvents(const QDateTime& day) const = 0;

    // Destinations: the Google calendars new meetings can go to and the preselected one; the local
    // calendars that take new events and the one to preselect (the settings' default calendar when
    // it is writable); the local calendar of an edited local event, none when it is gone.
    virtual QList<MeetingTarget> meetingTargets() const = 0;
    virtual std::optional<MeetingTarget> defaultMeetingTarget() const = 0;
    virtual QList<LocalCalendar> writableCalendars() const = 0;
    virtual std::optional<LocalCalendar> calendarForNewEvents() const = 0;
    virtual std::optional<LocalCalendar> calendarOf(const CalEvent& event) const = 0;

    // ---- Writing; errors are UserFacingErrors carrying one sentence for the user

    virtual CalEvent addEvent(const QuickAddDraft& draft, const LocalCalendar& calendar) = 0;
    // A new meeting goes in under `ids`, or under the new ones it tells `renewed` of (see
    // EventStore::createMeeting).
    virtual QCoro::Task<CalEvent> createMeeting(QuickAddDraft draft, QList<Person> invitees, bool meet,
                                                MeetingTarget target, GoogleAPI::InsertIds ids,
                                                QuickAddOutbox::Renewed renewed) = 0;
    virtual QCoro::Task<CalEvent> updateEvent(CalEvent event, QuickAddDraft draft, QList<Person> invitees,
                                              bool meet) = 0;
    // Every day from the day of `from` up to the day of `to`, read from every source and merged
    // (empty days included), for days the agenda has not loaded. Throws when a source cannot be read.
    virtual QCoro::Task<EventsByDay> readDays(QDateTime from, QDateTime to) = 0;
    // The browser sign-in; never throws.
    virtual QCoro::Task<bool> connectGoogle() = 0;
    // The defaults the next quick add preselects ("account|calendar id", a local calendar id).
    virtual void setDefaultMeetingTarget(const QString& target) = 0;
    virtual void setDefaultCalendarID(const QString& id) = 0;

    // The meeting lines Google has not taken yet (being sent, failed, or waiting their turn), kept
    // across showings and runs of the app.
    virtual QuickAddOutbox& outbox() = 0;

signals:
    void changed();
};
