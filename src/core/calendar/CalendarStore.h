#pragma once

#include "core/calendar/CalendarAccess.h"
#include "core/calendar/LocalCalendar.h"
#include "core/calendar/LocalCalendars.h"
#include "core/calendar/LocalOccurrence.h"
#include "core/model/CalEvent.h"
#include "core/quickadd/QuickAddDraft.h"

#include <QCoro/QCoroTask>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// The app's one door to the local calendars. The event store owns exactly one: it tracks and
// requests access, keeps the sorted calendar list, answers event queries as CalEvent values, finds
// the occurrence behind a CalEvent, creates, changes and removes events, and tells its owner when the
// calendar folders changed.
//
// Refusals of changes ("That event is no longer in your calendar", "<calendar> is read-only") are
// GoogleErrors; failures of the file system are CalendarFileErrors, passed on as they come. No item is
// read on the calling thread: loads, look-ups and changes run on the reading threads.
class CalendarStore : public QObject {
    Q_OBJECT

public:
    using Slot = LocalCalendars::Slot;

    // The user's calendar folder, watched for changes.
    explicit CalendarStore(QObject* parent = nullptr);
    explicit CalendarStore(LocalCalendars::Options options, QObject* parent = nullptr);
    ~CalendarStore() override;

    // Read at creation and after each access request.
    CalendarAccess status() const { return m_status; }
    // Denied, restricted or write only.
    bool isDenied() const;
    // In calendar order; empty unless status is full access.
    const QList<LocalCalendar>& calendars() const { return m_calendars; }
    // The reason the last access request failed; a later success does not clear it.
    const std::optional<QString>& lastError() const { return m_lastError; }

    // Run after the calendar folders changed, once the calendar list has been reloaded.
    std::function<void()> onChange;

    // Creates the calendar folder when it does not exist yet, then re-reads the status and reloads
    // the calendars. Never throws.
    QCoro::Task<> requestAccess();
    void reloadCalendars();

    // The occurrences overlapping [from, to) in every calendar whose id is not excluded, without
    // cancelled ones.
    QList<CalEvent> events(const QDateTime& from, const QDateTime& to,
                           const QSet<QString>& excludedCalendarIds);
    // The same, read and built on the reading threads: the calling thread never waits for the
    // folders. The calendars are those of the last reload.
    QFuture<QList<CalEvent>> loadEvents(const QDateTime& from, const QDateTime& to,
                                        const QSet<QString>& excludedCalendarIds);
    // Reads again, on the reading threads, the items of the calendars that were skipped for not
    // answering in time (a refresh asks for it). Once some answered, the calendars are reloaded and
    // onChange runs, as after a change of the folders. One that still does not answer is given up on
    // again after the item time limit; no load waits for it.
    QCoro::Task<> readUnansweredAgain();
    // Calendars that accept changes, in calendar order; empty unless status is full access.
    QList<LocalCalendar> writableCalendars();
    // Where a new event goes: the preferred calendar when writable, else a synced calendar titled
    // with an e-mail address, else the default "Calendar" collection, else the first writable one.
    std::optional<LocalCalendar> calendarForNewEvents(const QString& preferredId);
    // The occurrence behind an event of a store over those items, or nothing when it is gone. Reads
    // the item: for a reading thread. Throws ItemTimeoutError.
    static std::optional<LocalOccurrence> ekEvent(const LocalCalendars::Items& items, const CalEvent& event);
    // The calendar that holds an event of this store, as the last reload listed it: nothing is read.
    std::optional<LocalCalendar> calendarOf(const CalEvent& event) const;

    // Changes that occurrence only. An unchanged title and slot write nothing. When the item does not
    // answer within the item time limit, the change fails naming the calendar, and nothing is written.
    QCoro::Task<CalEvent> updateEvent(CalEvent event, std::optional<QString> title, std::optional<Slot> slot);
    // Removes that occurrence only; the rest of a series stays. Fails as a change does.
    QCoro::Task<> deleteEvent(CalEvent event);
    CalEvent createEvent(const QuickAddDraft& draft, const LocalCalendar& calendar);

    // The user's own addresses (the connected Google accounts), for marking the user among guests.
    void setOwnAddresses(const QStringList& addresses);
    // The user's zone changed: events are read and written in the new one from now on.
    void setZone(const QTimeZone& zone);

    // Shows the calendar folder in the file manager; nothing when no folder can be named.
    static void openPrivacySettings(const std::function<bool(const QUrl&)>& open);

    LocalCalendars& backend() { return *m_backend; }

signals:
    void statusChanged();
    void calendarsChanged();
    void lastErrorChanged();

private:
    static CalEvent buildEvent(const LocalOccurrence& occurrence, const QList<LocalCalendar>& calendars,
                               const QStringList& ownAddresses);
    static QList<CalEvent> buildEvents(const QList<LocalOccurrence>& occurrences,
                                       const QList<LocalCalendar>& calendars,
                                       const QStringList& ownAddresses);
    // The occurrence and its calendar, or a GoogleError refusal. Reads the item.
    static std::pair<LocalOccurrence, LocalCalendar> editable(const LocalCalendars::Items& items,
                                                              const CalEvent& event);

    std::unique_ptr<LocalCalendars> m_backend;
    CalendarAccess m_status = CalendarAccess::notDetermined;
    QList<LocalCalendar> m_calendars;
    std::optional<QString> m_lastError;
    QStringList m_ownAddresses;
};
