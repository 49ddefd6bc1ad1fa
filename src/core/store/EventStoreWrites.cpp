// Creating, changing, deleting and declining events on their own source.
#include "core/store/EventStore.h"

#include "core/model/Tasks.h"
#include "core/remote/Rfc3339.h"
#include "core/settings/AppSettings.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <cstdlib>

namespace {

// The destination quick add shows in sample mode (the developer snapshots).
const QString sampleAccount = QStringLiteral("you@example.com");
const QString separator = QStringLiteral(" · ");
constexpr int recentInviteesLimit = 40;
// Edits below a minute are the parser's rounding, not a move: they would only re-send invitations.
constexpr qint64 moveThresholdMs = 60000;

// "start" or "end" of a new event: the day for an all-day one, else the local time with its offset
// and the zone, so that Google repeats it correctly across daylight-saving changes.
QJsonObject insertTime(const QDateTime& instant, bool allDay, const Cal& cal) {
    if (allDay)
        return {{QStringLiteral("date"), Rfc3339::formatDay(instant, cal)}};
    QJsonObject time{{QStringLiteral("dateTime"), Rfc3339::formatLocal(instant, cal)}};
    if (const std::optional<QString> zone = GoogleAPI::timeZoneId(cal.zone()))
        time.insert(QStringLiteral("timeZone"), *zone);
    return time;
}

QJsonObject insertBody(const QuickAddDraft& draft, const QList<Person>& invitees, bool meet, const Cal& cal,
                       const GoogleAPI::InsertIds& ids) {
    QJsonObject body{{QStringLiteral("id"), ids.eventId},
                     {QStringLiteral("summary"), draft.title},
                     {QStringLiteral("start"), insertTime(draft.start, draft.isAllDay, cal)},
                     {QStringLiteral("end"), insertTime(draft.end, draft.isAllDay, cal)},
                     {QStringLiteral("reminders"), QJsonObject{{QStringLiteral("useDefault"), true}}}};
    if (!invitees.isEmpty()) {
        QJsonArray attendees;
        for (const Person& person : invitees)
            attendees.append(QJsonObject{{QStringLiteral("email"), person.email}});
        body.insert(QStringLiteral("attendees"), attendees);
        body.insert(QStringLiteral("guestsCanModify"), false);
    }
    if (meet)
        body.insert(QStringLiteral("conferenceData"), GoogleAPI::newMeetConference(ids.conferenceRequestId));
    return body;
}

QStringList addresses(const QList<Person>& people) {
    QStringList out;
    for (const Person& person : people)
        out << person.email;
    return out;
}

bool isPlaceholderTitle(const QString& title) {
    return title == QLatin1String("(No title)") || title == QLatin1String("Untitled");
}

} // namespace

QList<EventStore::MeetingTarget> EventStore::meetingTargets() const {
    if (m_sampleMode)
        return {
            {sampleAccount, {QStringLiteral("primary"), sampleAccount, QStringLiteral("#5b8cf8"), true, {}}}};
    QList<MeetingTarget> targets;
    for (const GoogleAccount& account : m_settings.google().accounts) {
        if (!account.canWrite())
            continue;
        QList<GoogleCalendarInfo> calendars = account.visibleCalendars();
        std::stable_partition(calendars.begin(), calendars.end(),
                              [](const GoogleCalendarInfo& calendar) { return calendar.primary; });
        for (const GoogleCalendarInfo& calendar : calendars)
            targets.append({account.email, calendar});
    }
    return targets;
}

std::optional<EventStore::MeetingTarget> EventStore::defaultMeetingTarget() const {
    const QList<MeetingTarget> targets = meetingTargets();
    if (targets.isEmpty())
        return std::nullopt;
    const QString stored = m_settings.defaultMeetingTarget();
    for (const MeetingTarget& target : targets) {
        if (target.id() == stored)
            return target;
    }
    for (const MeetingTarget& target : targets) {
        if (target.calendar.primary)
            return target;
    }
    return targets.first();
}

bool EventStore::googleNeedsWriteAccess() const {
    const QList<GoogleAccount> accounts = m_settings.google().accounts;
    return !accounts.isEmpty() && std::none_of(accounts.cbegin(), accounts.cend(),
                                               [](const GoogleAccount& a) { return a.canWrite(); });
}

template <typename T>
QCoro::Task<T> EventStore::withGoogleToken(QString email,
                                           std::function<QCoro::Task<T>(QString token)> write) {
    QPointer self(this);
    for (int attempt = 0;; ++attempt) {
        const GoogleConfig config = m_settings.google();
        const int index = accountIndex(config, email);
        const std::optional<QString> stored = index >= 0 ? config.accounts[index].accessToken : std::nullopt;
        QCoro::Task<QString> tokenCall = googleToken(email, attempt > 0);
        const QString token = co_await tokenCall;
        if (!self)
            throw CancelledError();
        try {
            QCoro::Task<T> call = write(token);
            if constexpr (std::is_void_v<T>) {
                co_await call;
                co_return;
            } else {
                T result = co_await call;
                co_return result;
            }
        } catch (const std::exception& error) {
            if (!SyncRetry::isUnauthorized(error))
                throw;
        }
        if (!self)
            throw CancelledError();
        // A token renewed for this write and refused all the same is not renewed again.
        if (attempt > 0 || token != stored)
            throw signInExpired(email, token);
    }
}

QCoro::Task<CalEvent> EventStore::createMeeting(QuickAddDraft draft, QList<Person> invitees, bool meet,
                                                MeetingTarget target, GoogleAPI::InsertIds ids,
                                                std::function<void(const GoogleAPI::InsertIds&)> renewed) {
    if (accountIndex(m_settings.google(), target.account) < 0)
        throw GoogleError(QStringLiteral("That Google account is no longer connected"));
    QPointer self(this);
    GoogleAPI::Query query{{QStringLiteral("conferenceDataVersion"), QStringLiteral("1")}};
    if (!invitees.isEmpty())
        query.insert(QStringLiteral("sendUpdates"), QStringLiteral("all"));
    QJsonObject reply;
    // Under ids Google already holds for something else the meeting goes out once more, under new ones;
    // those are random, so a second time never comes.
    for (int attempt = 0;; ++attempt) {
        const QJsonObject body = insertBody(draft, invitees, meet, m_cal, ids);
        bool taken = false;
        try {
            QCoro::Task<QJsonObject> insert = withGoogleToken<QJsonObject>(
                target.account, [this, calendar = target.calendar.id, query, body](QString token) {
                    return m_google->insertEvent(calendar, query, body, std::move(token));
                });
            reply = co_await insert;
        } catch (const GoogleAPI::IdInUse&) {
            if (attempt > 0)
                throw;
            taken = true;
        }
        if (!self)
            throw CancelledError();
        if (!taken)
            break;
        ids = GoogleAPI::InsertIds::fresh();
        if (renewed)
            renewed(ids);
    }

    const std::optional<CalEvent> created = GoogleAPI::event(reply, target.calendar, target.account, m_cal);
    if (!created) {
        // The meeting exists on Google all the same: show it before saying so, or the user may
        // create it again and send every invitation twice.
        QCoro::Task<> refresh = refreshAfterGoogleWrite();
        co_await refresh;
        throw GoogleError(QStringLiteral("Google created the event but returned something unexpected"));
    }
    rememberInvitees(invitees);
    m_settings.setDefaultMeetingTarget(target.id());
    QCoro::Task<> shown = showGoogleWrite(created->id, *created);
    co_await shown;
    if (!self)
        co_return *created;

    select(created->start);
    QStringList parts;
    if (!invitees.isEmpty())
        parts << QStringLiteral("Invites sent");
    if (meet)
        parts << QStringLiteral("Google Meet added");
    if (parts.isEmpty())
        parts << QStringLiteral("Added to ") +
                     (target.calendar.primary ? target.account : target.calendar.summary);
    showToast(parts.join(separator));
    co_return *created;
}

CalEvent EventStore::addEvent(const QuickAddDraft& draft, const LocalCalendar& calendar) {
    CalEvent created = m_calendar->createEvent(draft, calendar);
    selectWithReload(created.start);
    showToast(QStringLiteral("Added to ") + calendar.title);
    return created;
}

QCoro::Task<CalEvent> EventStore::updateEvent(CalEvent event, QuickAddDraft draft, QList<Person> invitees,
                                              bool meet) {
    const CalEvent copy = current(event);
    // Both rules compare with the event as the editor showed it.
    std::optional<QString> title;
    if (draft.title != (isPlaceholderTitle(event.title) ? QString() : event.title))
        title = draft.title;
    const bool moved = std::abs(event.start.msecsTo(draft.start)) >= moveThresholdMs ||
                       std::abs(event.end.msecsTo(draft.end)) >= moveThresholdMs ||
                       draft.isAllDay != event.isAllDay;

    QPointer self(this);
    CalEvent updated;
    QStringList parts;
    if (copy.source == EventSource::notion)
        throw GoogleError(QStringLiteral("Edit Notion pages in Notion"));
    if (copy.source == EventSource::calendar) {
        std::optional<CalendarStore::Slot> slot;
        if (moved)
            slot = CalendarStore::Slot{draft.start, draft.end, draft.isAllDay};
        QCoro::Task<CalEvent> change = m_calendar->updateEvent(copy, title, slot);
        updated = co_await change;
        if (!self)
            co_return updated;
        parts << QStringLiteral("Saved to ") + updated.calendarName;
    } else {
        const GoogleContext context = googleContext(copy);
        const bool notify =
            !invitees.isEmpty() || std::any_of(copy.attendees.cbegin(), copy.attendees.cend(),
                                               [](const Attendee& a) { return !a.isMe && a.email; });
        const bool hadMeet = copy.hasGoogleMeet();
        std::optional<GoogleAPI::Slot> slot;
        if (moved)
            slot = GoogleAPI::Slot{draft.start, draft.end, draft.isAllDay};
        QCoro::Task<CalEvent> call = withGoogleToken<CalEvent>(
            context.account, [this, context, title, slot, guests = addresses(invitees), meet, hadMeet, notify,
                              cal = m_cal](QString token) {
                return m_google->updateEvent(context.calendar, context.account, context.eventID, title, slot,
                                             guests, meet, hadMeet, notify, std::move(token), cal);
            });
        updated = co_await call;
        if (!self)
            co_return updated;
        rememberInvitees(invitees);
        QCoro::Task<> shown = showGoogleWrite(updated.id, updated);
        co_await shown;
        if (!self)
            co_return updated;
        parts << QStringLiteral("Saved");
        if (notify)
            parts << QStringLiteral("guests notified");
        if (meet != hadMeet)
            parts << (meet ? QStringLiteral("Meet link added") : QStringLiteral("Meet link removed"));
    }

    // Both alerts may come again at the new time.
    forgetFiredAlerts(copy.id);
    dismissAlertFor(copy.id);
    if (copy.source == EventSource::calendar)
        selectWithReload(updated.start);
    else
        select(updated.start);
    showToast(parts.join(separator));
    co_return updated;
}

QCoro::Task<> EventStore::removeLocal(CalEvent event) {
    QPointer self(this);
    QCoro::Task<> removal = m_calendar->deleteEvent(event);
    co_await removal;
    if (!self)
        co_return;
    if (!m_sampleMode) {
        QCoro::Task<> load = loadCalendarEvents();
        co_await load;
    }
}

QCoro::Task<> EventStore::deleteEvent(CalEvent event) {
    QString toast;
    if (event.source == EventSource::notion)
        throw GoogleError(QStringLiteral("Delete Notion pages in Notion"));
    if (event.source == EventSource::calendar) {
        QPointer self(this);
        QCoro::Task<> removal = removeLocal(event);
        co_await removal;
        if (!self)
            co_return;
        toast = event.isRecurring ? QStringLiteral("Deleted this occurrence")
                                  : QStringLiteral("Deleted from ") + event.calendarName;
    } else {
        QPointer self(this);
        const bool notify = std::any_of(event.attendees.cbegin(), event.attendees.cend(),
                                        [](const Attendee& a) { return !a.isMe; });
        QCoro::Task<> removal = removeFromGoogle(event, false, notify);
        co_await removal;
        if (!self)
            co_return;
        toast = event.isRecurring ? QStringLiteral("Deleted this occurrence")
                : notify          ? QStringLiteral("Deleted · guests notified")
                                  : QStringLiteral("Deleted");
    }
    showToast(toast);
    dismissAlertFor(event.id);
}

QCoro::Task<> EventStore::declineEvent(CalEvent event) {
    QString toast;
    if (event.source == EventSource::notion)
        throw GoogleError(QStringLiteral("Respond to this invitation in Notion"));
    if (event.source == EventSource::calendar) {
        // A local calendar has nobody to tell: the invitation leaves the user's calendar.
        QPointer self(this);
        QCoro::Task<> removal = removeLocal(event);
        co_await removal;
        if (!self)
            co_return;
        toast = QStringLiteral("Removed from your calendar");
    } else {
        QPointer self(this);
        QCoro::Task<> removal = removeFromGoogle(event, true, true);
        co_await removal;
        if (!self)
            co_return;
        const QString organizer = event.organizer.value_or(QString());
        toast = QStringLiteral("Declined · ") +
                (organizer.isEmpty() ? QStringLiteral("the organizer") : organizer) +
                QStringLiteral(" was notified");
    }
    showToast(toast);
    dismissAlertFor(event.id);
}

QCoro::Task<> EventStore::removeFromGoogle(CalEvent event, bool decline, bool notify) {
    const GoogleContext context = googleContext(event);
    QPointer self(this);
    QCoro::Task<> call =
        withGoogleToken<void>(context.account, [this, context, decline, notify, cal = m_cal](QString token) {
            return decline ? m_google->declineEvent(context.calendar, context.account, context.eventID,
                                                    std::move(token), cal)
                           : m_google->deleteEvent(context.calendar.id, context.eventID, notify,
                                                   std::move(token));
        });
    co_await call;
    if (!self)
        co_return;
    QCoro::Task<> shown = showGoogleWrite(event.id, std::nullopt);
    co_await shown;
}

QCoro::Task<> EventStore::refreshAfterGoogleWrite() {
    setGoogleLastSync(std::nullopt);
    QCoro::Task<> refresh = refreshGoogle();
    co_await refresh;
}

QCoro::Task<> EventStore::showGoogleWrite(QString eventId, std::optional<CalEvent> event) {
    // Stamped with the runs begun so far: one of them may be under way and have read the event as
    // it was; runs begun from now on read it as written.
    m_googleWrites.append({std::move(eventId), std::move(event), m_googleRuns});
    QList<CalEvent> events = m_googleEvents;
    apply(events, m_googleWrites.last());
    setGoogleEvents(std::move(events));
    setGoogleLastSync(std::nullopt);
    Tasks::startDetached(refreshGoogle(), QStringLiteral("Google refresh"));
    QCoro::Task<> merge = mergeSources();
    co_await merge;
}

void EventStore::apply(QList<CalEvent>& events, const GoogleWrite& write) {
    events.removeIf([&](const CalEvent& event) { return event.id == write.id; });
    if (write.event)
        events.append(*write.event);
}

void EventStore::dismissAlertFor(const QString& eventId) {
    if (m_alert && m_alert->event.id == eventId)
        dismissAlert();
}

void EventStore::rememberInvitees(const QList<Person>& invitees) {
    QStringList recent;
    QSet<QString> seen;
    for (const Person& person : invitees) {
        if (!seen.contains(person.email.toLower())) {
            seen.insert(person.email.toLower());
            recent << person.email;
        }
    }
    for (const QString& address : m_settings.recentInvitees()) {
        if (!seen.contains(address.toLower()))
            recent << address;
    }
    m_settings.setRecentInvitees(recent.mid(0, recentInviteesLimit));
}
