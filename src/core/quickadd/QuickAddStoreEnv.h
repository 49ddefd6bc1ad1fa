#pragma once

#include "core/quickadd/QuickAddEnv.h"

class EventStore;

// Quick add's view of the app: the event store, its calendar store and the settings. The local
// calendars that take new events are read once per change of the calendar list or of the default
// calendar, not on every keystroke (finding them reads the calendar folder).
class QuickAddStoreEnv final : public QuickAddEnv {
    Q_OBJECT

public:
    explicit QuickAddStoreEnv(EventStore& store, QObject* parent = nullptr);

    QDateTime now() const override;
    Cal cal() const override;
    int defaultEventMinutes() const override;
    bool quickAddHotkey() const override;
    bool googleHasClient() const override;
    bool googleNeedsWriteAccess() const override;
    bool isConnectingGoogle() const override;
    std::optional<Person> person(const QString& matching) const override;
    QList<Person> suggestions(const QString& text, const QList<Person>& excluding) const override;
    QList<CalEvent> events(const QDateTime& day) const override;
    std::optional<QList<CalEvent>> loadedEvents(const QDateTime& day) const override;
    QList<MeetingTarget> meetingTargets() const override;
    std::optional<MeetingTarget> defaultMeetingTarget() const override;
    QList<LocalCalendar> writableCalendars() const override;
    std::optional<LocalCalendar> calendarForNewEvents() const override;
    std::optional<LocalCalendar> calendarOf(const CalEvent& event) const override;

    CalEvent addEvent(const QuickAddDraft& draft, const LocalCalendar& calendar) override;
    QCoro::Task<CalEvent> createMeeting(QuickAddDraft draft, QList<Person> invitees, bool meet,
                                        MeetingTarget target, GoogleAPI::InsertIds ids,
                                        QuickAddOutbox::Renewed renewed) override;
    QCoro::Task<CalEvent> updateEvent(CalEvent event, QuickAddDraft draft, QList<Person> invitees,
                                      bool meet) override;
    QCoro::Task<EventsByDay> readDays(QDateTime from, QDateTime to) override;
    QCoro::Task<bool> connectGoogle() override;
    void setDefaultMeetingTarget(const QString& target) override;
    void setDefaultCalendarID(const QString& id) override;
    // The store's own, made on first use: a showing's binding comes and goes with it, the lines stay.
    // They are kept in the file quickadd-line.json of the app's state folder (in memory only for the
    // developer snapshots).
    QuickAddOutbox& outbox() override;

private:
    void readCalendars();

    EventStore& m_store;
    QList<LocalCalendar> m_writable;
    std::optional<LocalCalendar> m_forNewEvents;
};
