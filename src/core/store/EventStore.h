#pragma once

#include "core/calendar/CalendarStore.h"
#include "core/calendar/LocalCalendar.h"
#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/model/Clock.h"
#include "core/model/Person.h"
#include "core/quickadd/QuickAddDraft.h"
#include "core/remote/GoogleRecords.h"
#include "core/remote/NotionRecords.h"
#include "core/store/DayMap.h"
#include "core/store/FreeSlots.h"
#include "core/store/GoogleSource.h"
#include "core/store/MeetingAlert.h"
#include "core/store/NotionSource.h"
#include "core/store/PeekInfo.h"
#include "core/store/StoreTimer.h"
#include "core/store/SyncRetry.h"

#include <QCoroTask>
#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class AlertSound;
class AppSettings;
class WakeNotifier;

// The one live agenda of the app. It loads the events of every source for a window around the
// viewed week, merges them into sorted days, keeps the clock (a tick every 10 seconds), rolls over at
// midnight, reloads after a wake, and derives what the panel and the menu show: the peek, the meeting
// alert, the people directory and the toast. Its state lives on the GUI thread; asynchronous work
// suspends only at its awaits, after which it checks that the store still exists. The local
// calendars are read, and a large agenda merged, on the reading threads: the GUI thread only takes
// the results, so thousands of items never hold it up.
//
// The Google and Notion syncs keep their state here (events, errors, last sync, running flags) and
// are asked for refreshes by the tick, start-up, the full refresh, week changes and the writes. The
// store also connects and removes the accounts, and creates, changes, deletes and declines events
// on the source they belong to (Notion pages are read-only).
//
// The Google configuration lives in the settings and may change whenever a call is suspended (a
// sign-in finishing, the settings window hiding a calendar): work on copies, and write back only
// the fields a call renewed, matched by e-mail.
class EventStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QDateTime now READ now NOTIFY nowChanged)
    Q_PROPERTY(QDateTime selectedDate READ selectedDate NOTIFY selectedDateChanged)
    Q_PROPERTY(QDateTime weekStart READ weekStart NOTIFY weekStartChanged)
    Q_PROPERTY(EventsByDay eventsByDay READ eventsByDay NOTIFY eventsByDayChanged)
    Q_PROPERTY(std::optional<PeekInfo> peek READ peek NOTIFY peekChanged)
    Q_PROPERTY(std::optional<MeetingAlert> alert READ alert NOTIFY alertChanged)
    Q_PROPERTY(QList<Person> knownPeople READ knownPeople NOTIFY knownPeopleChanged)
    Q_PROPERTY(std::optional<QString> toast READ toast NOTIFY toastChanged)
    Q_PROPERTY(QList<CalEvent> notionEvents READ notionEvents NOTIFY notionEventsChanged)
    Q_PROPERTY(std::optional<QString> notionError READ notionError NOTIFY notionErrorChanged)
    Q_PROPERTY(std::optional<QDateTime> notionLastSync READ notionLastSync NOTIFY notionLastSyncChanged)
    Q_PROPERTY(bool isSyncingNotion READ isSyncingNotion NOTIFY isSyncingNotionChanged)
    Q_PROPERTY(std::optional<QString> notionUserName READ notionUserName NOTIFY notionUserNameChanged)
    Q_PROPERTY(QList<CalEvent> googleEvents READ googleEvents NOTIFY googleEventsChanged)
    Q_PROPERTY(std::optional<QString> googleError READ googleError NOTIFY googleErrorChanged)
    Q_PROPERTY(std::optional<QDateTime> googleLastSync READ googleLastSync NOTIFY googleLastSyncChanged)
    Q_PROPERTY(bool isSyncingGoogle READ isSyncingGoogle NOTIFY isSyncingGoogleChanged)
    Q_PROPERTY(bool isConnectingGoogle READ isConnectingGoogle NOTIFY isConnectingGoogleChanged)
    Q_PROPERTY(
        QList<NotionDatabase> discoveredDatabases READ discoveredDatabases NOTIFY discoveredDatabasesChanged)

public:
    // What the store is bound to. Empty members take the app's own: AppSettings::shared(), a new
    // CalendarStore, the system clock, Qt timers, no sound, no wake signal (the tick's clock-jump check
    // still notices a sleep), the desktop's URL opener and the real Google and Notion clients. The
    // calendar (zone, locale, week) is always the user's, from UserCal.
    struct Environment {
        AppSettings* settings = nullptr;
        std::unique_ptr<CalendarStore> calendar;
        Clock clock;
        TimerFactory timers;
        std::shared_ptr<AlertSound> sound;
        QPointer<WakeNotifier> wake;
        std::function<bool(const QUrl&)> openUrl;
        std::unique_ptr<GoogleSource> google;
        std::unique_ptr<NotionSource> notion;
    };

    // A Google calendar that new meetings can go to. Its id() is also how the default destination is
    // stored in the settings.
    struct MeetingTarget {
        QString account; // the account's e-mail
        GoogleCalendarInfo calendar;

        QString id() const { return account + QLatin1Char('|') + calendar.id; }
        friend bool operator==(const MeetingTarget&, const MeetingTarget&) = default;
    };

    static constexpr std::chrono::seconds tickInterval{10};
    // How often the tick syncs a source that synced without failures.
    static constexpr std::chrono::seconds googleInterval{120};
    static constexpr std::chrono::seconds notionInterval{300};
    static constexpr std::chrono::seconds alertDuration{20};
    static constexpr std::chrono::seconds toastDuration{4};

    explicit EventStore(Environment environment, QObject* parent = nullptr);
    ~EventStore() override;

    // The app's store, made on first use with the environment given to setSharedEnvironment() (or
    // the defaults) and never released.
    static EventStore& shared();
    // Binds the platform (sound, wake signal, URL opener) before the first use of shared().
    static void setSharedEnvironment(Environment environment);

    CalendarStore& calendar() const { return *m_calendar; }
    AppSettings& settings() const { return m_settings; }
    const Cal& cal() const { return m_cal; }

    // Published state.
    const QDateTime& now() const { return m_now; }
    const QDateTime& selectedDate() const { return m_selectedDate; }
    const QDateTime& weekStart() const { return m_weekStart; }
    const EventsByDay& eventsByDay() const { return m_eventsByDay; }
    const std::optional<PeekInfo>& peek() const { return m_peek; }
    const std::optional<MeetingAlert>& alert() const { return m_alert; }
    const QList<Person>& knownPeople() const { return m_knownPeople; }
    const std::optional<QString>& toast() const { return m_toast; }
    const QList<CalEvent>& notionEvents() const { return m_notionEvents; }
    const std::optional<QString>& notionError() const { return m_notionError; }
    const std::optional<QDateTime>& notionLastSync() const { return m_notionLastSync; }
    bool isSyncingNotion() const { return m_isSyncingNotion; }
    const std::optional<QString>& notionUserName() const { return m_notionUserName; }
    const QList<CalEvent>& googleEvents() const { return m_googleEvents; }
    const std::optional<QString>& googleError() const { return m_googleError; }
    const std::optional<QDateTime>& googleLastSync() const { return m_googleLastSync; }
    bool isSyncingGoogle() const { return m_isSyncingGoogle; }
    bool isConnectingGoogle() const { return m_isConnectingGoogle; }
    // The sign-in under way (the settings cancel it through this), else null.
    GoogleSignIn* googleFlow() const { return m_googleFlow.get(); }
    const QList<NotionDatabase>& discoveredDatabases() const { return m_discoveredDatabases; }

    // Start-up: asks for calendar access when it was never decided, loads the local events, then
    // refreshes Google and Notion side by side.
    QCoro::Task<> start();
    // Reloads the calendars and their events, then refreshes Google and Notion side by side.
    QCoro::Task<> refreshAll();
    // A load of the local events is under way (on the reading threads).
    bool isLoadingCalendar() const { return m_calendarLoading; }
    // One beat of the store's clock, run by its 10-second timer: follows a change of the system's
    // zone or locale, sets `now`, rolls over to a new day, recomputes the peek, fires due alerts and
    // starts the remote refreshes that are due. A wall clock that moved far from the timer's beat
    // counts as a wake from sleep.
    void tick();

    // The first event of the day that is not all-day and has not ended (running events count).
    std::optional<CalEvent> nextEvent(const QDateTime& day) const;
    // Opens the event's meeting link and takes down an alert of the same event; without a link
    // nothing happens.
    void join(const CalEvent& event);
    // Opens a link or a folder with the opener the store was given (the desktop's unless bound).
    bool openUrl(const QUrl& url) const { return m_openUrl(url); }

    // Alerts and toasts.
    void showAlert(const MeetingAlert& alert);
    void dismissAlert();
    // A made-up alert for a meeting in two minutes, asking the panel to collapse first; repeatable.
    void previewAlert();
    // A footer message for four seconds; a newer one replaces it and restarts the four seconds.
    void showToast(const QString& text);

    // Week navigation and the day map.
    static QDateTime startOfWeek(const QDateTime& instant, const Cal& cal);
    bool isViewingToday() const;
    QList<QDateTime> weekDays() const;
    // The four weeks around the viewed week, as [from, to): the week before it, it and the two after.
    std::pair<QDateTime, QDateTime> loadedRange() const;
    // What every source loads: those four weeks and, wherever the user browses, today and tomorrow
    // (the peek, the alerts and the menu read them), as one range when the two overlap or meet, else
    // as two in time order. Browsing far ahead never makes one long span of everything between.
    QList<std::pair<QDateTime, QDateTime>> loadedRanges() const;
    // The sources have loaded the day of `day` (every day holds its sample events in sample mode).
    bool isLoaded(const QDateTime& day) const;
    QList<CalEvent> events(const QDateTime& day) const;
    // events() for a loaded day; none for a day the sources have not loaded (its meetings are unknown).
    std::optional<QList<CalEvent>> loadedEvents(const QDateTime& day) const;
    void select(const QDateTime& date);
    void shiftWeek(int weeks);
    void goToToday();
    // Shows these events in place of every source from now on (the developer snapshots).
    void installSampleEvents(const QList<CalEvent>& events);

    // People and free slots for quick add.
    std::optional<Person> person(const QString& matching) const;
    QList<Person> suggestions(const QString& text, const QList<Person>& excluding) const;
    // The first free slot of `minutes` on the day of `day` within the working hours; none for a day
    // before today and for a day whose events are not loaded (its meetings are unknown).
    std::optional<FreeSlot> nextFreeSlot(const QDateTime& day, int minutes, int workStart, int workEnd) const;
    // The first free slot from 9 to 18 on the 14 days from `from`, weekends skipped; none once the
    // search reaches a day that is not loaded.
    std::optional<FreeSlot> nextFreeSlot(const QDateTime& from, int minutes) const;
    // Reads the days from the day of `from` up to the day of `to` from every source (the local
    // calendars, each visible Google calendar, the chosen Notion databases) and merges them as the
    // agenda would: every day of the range, also those without events. For days the agenda does not
    // hold; the agenda itself is left as it is. Throws a UserFacingError when a source cannot be read.
    QCoro::Task<EventsByDay> readDays(QDateTime from, QDateTime to);

    // The remote sources' refreshes; they never throw and guard themselves against overlapping runs.
    // A Google refresh asked for while one runs makes it run once more, however many asked; a caller
    // that awaits it then resumes when that further run has ended, so its own change is in. A Notion
    // refresh asked for while one runs is dropped.
    //
    // Each Google calendar and each Notion database is read on its own: one that fails keeps the
    // events it had (shown with the error, which names it), unless it is gone or no longer shared,
    // and the others are read all the same. A listing refused for its token (401) renews the token
    // once and reads again; only a refused renewal marks the account for reconnecting. After a sync
    // that failed anywhere the tick tries again on a back-off (RetrySchedule), honouring the wait a
    // server asked for.
    virtual QCoro::Task<> refreshGoogle();
    virtual QCoro::Task<> refreshNotion();

    // Google accounts. Connecting runs the browser sign-in and then a refresh; true when an account
    // was added, or replaced one of the same e-mail (keeping its place and hidden calendars).
    QCoro::Task<bool> connectGoogle();
    void removeGoogleAccount(const QString& email);
    void setGoogleCalendar(const QString& calendarID, const QString& email, bool visible);

    // Notion. Connecting checks the token, lists the databases, keeps the chosen ones that are still
    // shared and syncs; false with notionError set when the check or the listing fails. A disconnect
    // while it runs wins: the connect then returns false and changes nothing.
    QCoro::Task<bool> connectNotion(QString token);
    void disconnectNotion();

    // Where new events go: the visible calendars of the accounts allowed to write, primary first
    // within each account; the one to preselect; whether every connected account is read-only.
    QList<MeetingTarget> meetingTargets() const;
    std::optional<MeetingTarget> defaultMeetingTarget() const;
    bool googleNeedsWriteAccess() const;

    // Creating: a meeting in a Google calendar (guests invited, optionally a Meet link), returned as
    // Google created it and in the agenda when this returns; a plain event in a local calendar.
    // The meeting goes in under `ids`: a caller that sends the same meeting again after a failure
    // passes the same ones, and gets the meeting an earlier try stored instead of a second one. When
    // Google holds something else under those ids (an event deleted since, or another one), the
    // meeting goes out once more under new ids, which `renewed` is told of before they are sent: the
    // caller keeps those from then on.
    //
    // Writes to Google put their result into the agenda themselves and start a refresh that they
    // do not wait for: a slow or stuck sync never holds a write up. A write refused for its access
    // token renews the token once and goes out again; only a refused renewal marks the account for
    // reconnecting.
    QCoro::Task<CalEvent> createMeeting(QuickAddDraft draft, QList<Person> invitees, bool meet,
                                        MeetingTarget target, GoogleAPI::InsertIds ids,
                                        std::function<void(const GoogleAPI::InsertIds&)> renewed = {});
    CalEvent addEvent(const QuickAddDraft& draft, const LocalCalendar& calendar);

    // Editing on the event's own source. The title goes out only when it changed, the time only when
    // start or end moved by a minute or more, or the all-day flag flipped; a Google event also gets the
    // complete guest list and the Meet choice. Notion pages are refused. A failure changes nothing here.
    QCoro::Task<CalEvent> updateEvent(CalEvent event, QuickAddDraft draft, QList<Person> invitees, bool meet);
    QCoro::Task<> deleteEvent(CalEvent event);
    QCoro::Task<> declineEvent(CalEvent event);

    // The copy of the event that the agenda holds now, else the event as it is.
    CalEvent current(const CalEvent& event) const;

signals:
    void nowChanged();
    void selectedDateChanged();
    void weekStartChanged();
    void eventsByDayChanged();
    void peekChanged();
    void alertChanged();
    void knownPeopleChanged();
    void toastChanged();
    void notionEventsChanged();
    void notionErrorChanged();
    void notionLastSyncChanged();
    void isSyncingNotionChanged();
    void notionUserNameChanged();
    void googleEventsChanged();
    void googleErrorChanged();
    void googleLastSyncChanged();
    void isSyncingGoogleChanged();
    void isConnectingGoogleChanged();
    void discoveredDatabasesChanged();
    // A further Google refresh, asked for while one ran, has ended.
    void googleRerunFinished();
    // The local events as the calendar folders held them when the last load began are in the
    // agenda, and no load is under way.
    void calendarLoaded();
    // A merge of the sources has ended in the agenda: published, or equal to the agenda shown.
    void agendaMerged();
    // After any published change, and when the calendar store's access or calendars changed.
    void changed();
    // previewAlert() asks the panel to collapse so that the alert shows on the bare notch.
    void collapseRequested();

protected:
    bool isSampleMode() const { return m_sampleMode; }

    // The sources' lists and sync state; each assignment notifies.
    void setGoogleEvents(QList<CalEvent> events);
    void setGoogleError(std::optional<QString> message);
    void setGoogleLastSync(std::optional<QDateTime> instant);
    void setSyncingGoogle(bool syncing);
    void setConnectingGoogle(bool connecting);
    void setNotionEvents(QList<CalEvent> events);
    void setNotionError(std::optional<QString> message);
    void setNotionLastSync(std::optional<QDateTime> instant);
    void setSyncingNotion(bool syncing);
    void setNotionUserName(std::optional<QString> name);

    // Loads the local events of the loaded window on the reading threads, then rebuild() on this
    // one; returns at once. Loads run one at a time: one asked for while another runs follows it.
    void reloadCalendarEvents();
    // The same, finishing when the agenda holds the local events as they are now.
    QCoro::Task<> loadCalendarEvents();
    // The day map from scratch, then the peek, then the people directory: at once for an agenda of
    // up to mergeOnThisThreadLimit events, else merged on a reading thread and published here when
    // no newer merge began meanwhile (the GUI thread is never held by a large agenda).
    void rebuild();
    // What rebuild() does, finishing when the merge is published (or superseded).
    QCoro::Task<> mergeSources();
    static constexpr qsizetype mergeOnThisThreadLimit = 1000;
    // Runs the refresh on the next turn of the event loop, as a task of its own that nobody awaits.
    void launch(QCoro::Task<> (EventStore::*refresh)(), const QString& what);

private:
    // The day map and the people directory, merged off the GUI thread, with what they were built from.
    struct Agenda {
        EventsByDay days;
        QList<Person> people;
        QStringList recentInvitees;
        QStringList ownAddresses;
    };
    struct GoogleContext {
        QString account; // the account's e-mail
        GoogleCalendarInfo calendar;
        QString eventID;
    };
    // A Google write as the agenda shows it: the event as written, or none for one removed. A sync
    // that began before the write may have read the event as it was; the write stays on top of
    // what such a sync brings (`run`: the runs begun when it was written).
    struct GoogleWrite {
        QString id;
        std::optional<CalEvent> event;
        quint64 run = 0;
    };

    // A valid access token of the connected account with that e-mail, renewed when due or, with
    // `renew`, at once (Google refused the one stored); what the renewal changed is written back by
    // e-mail. A refused renewal marks the account for reconnecting and throws ReconnectNeeded.
    QCoro::Task<QString> googleToken(QString email, bool renew = false);
    // Google refused the access token `refused` right after its renewal: marks the account for
    // reconnecting (unless it holds another token by now) and returns the error the user reads.
    GoogleError signInExpired(const QString& email, const QString& refused);
    // Runs a Google write (or the reads it makes first) with the account's access token. A write
    // Google refuses for its token (401) goes out once more, the same, with a renewed one: a refused
    // request changed nothing, so the second try can never make a second change. A renewed token
    // refused too ends it with signInExpired().
    template <typename T>
    QCoro::Task<T> withGoogleToken(QString email, std::function<QCoro::Task<T>(QString token)> write);
    // The connected, writable account, the calendar and the event id of a Google event.
    GoogleContext googleContext(const CalEvent& event) const;
    // Writes the token fields and reconnect marks that token calls changed (each account as it was
    // before and after its call) into the current configuration, for accounts still signed in with
    // the same refresh token: never undoes what changed meanwhile.
    void storeRenewedTokens(const QList<std::pair<GoogleAccount, GoogleAccount>>& renewed);
    QCoro::Task<> rerunGoogle(quint64 rerun);
    // One calendar's or database's listing of a range.
    using RangeRead = std::function<QCoro::Task<QList<CalEvent>>(QDateTime from, QDateTime to)>;
    // Every range through `read`, in one list; the first failure fails them all.
    QCoro::Task<QList<CalEvent>> readRanges(QList<std::pair<QDateTime, QDateTime>> ranges, RangeRead read);
    // Notes a calendar or database whose reading failed in a sync, as "<name>: <message>". Whether
    // its events stay as last read: they do unless it is gone or no longer shared.
    static bool keptAfter(SyncRetry::Failures& failures, const QString& name,
                          const std::exception_ptr& failure);
    // The events of one calendar as the agenda holds them now.
    QList<CalEvent> googleEventsOf(const QString& account, const QString& calendarID) const;
    // The written event (none: removed) goes into the agenda at once, stays on top of any sync
    // already under way, and a refresh starts; finishes when the agenda shows it.
    QCoro::Task<> showGoogleWrite(QString eventId, std::optional<CalEvent> event);
    static void apply(QList<CalEvent>& events, const GoogleWrite& write);
    // After a Google write whose result is unknown: the agenda holds Google's own version when this
    // returns.
    QCoro::Task<> refreshAfterGoogleWrite();
    // Deletes (telling the guests when `notify`) or declines a Google event; it leaves the agenda at
    // once, before the refresh that follows confirms it.
    QCoro::Task<> removeFromGoogle(CalEvent event, bool decline, bool notify);
    // Deletes a local item and reloads the local calendars (not in sample mode). Throws CalendarFileError.
    QCoro::Task<> removeLocal(CalEvent event);
    void dismissAlertFor(const QString& eventId);
    // Lets both alerts of an event fire again (after it was edited).
    void forgetFiredAlerts(const QString& eventId);
    void setDiscoveredDatabases(QList<NotionDatabase> databases);
    // The new guests first, then the older entries that are none of them, ignoring case; at most 40.
    void rememberInvitees(const QList<Person>& invitees);
    // The index of the account with exactly this e-mail, or -1.
    static int accountIndex(const GoogleConfig& config, const QString& email);
    // What a failed call tells the user.
    static QString errorMessage(const std::exception& error);

    QCoro::Task<> loadSources();
    void queueCalendarReload();
    void recomputePeek();
    void checkAlerts();
    void fireAlert(const MeetingAlert& alert);
    void reloadAfterRangeChange();
    // Reads the local events anew and selects the day of `date`: once, also when that moves to
    // another week (whose window select() reads anyway).
    void selectWithReload(const QDateTime& date);
    void rebuildPeople();
    void handleWake();
    // The tick's rule for starting a sync: when a back-off waits, at its time; else once the last
    // sync is older than the source's interval (Google also when it never synced).
    bool googleDue() const;
    bool notionDue() const;
    // Moves everything to the user's new calendar at once: the day keys, the selected day and week,
    // the loaded window, the local events (read again in the new zone) and the all-day events of
    // Google and Notion (the same days, starting in the new zone); then the sources reload.
    void calendarChanged();
    void notionSelectionChanged();
    void accountsChanged();

    void setNow(const QDateTime& now);
    void setSelectedDate(const QDateTime& day);
    void setWeekStart(const QDateTime& day);
    void setEventsByDay(EventsByDay days);
    void setKnownPeople(QList<Person> people);
    void setPeek(std::optional<PeekInfo> peek);
    void setAlert(std::optional<MeetingAlert> alert);
    void setToast(std::optional<QString> text);

    template <typename T> void publish(T& field, T value, void (EventStore::*notify)());

    AppSettings& m_settings;
    std::unique_ptr<CalendarStore> m_calendar;
    Cal m_cal;
    Clock m_clock;
    std::shared_ptr<AlertSound> m_sound;
    std::function<bool(const QUrl&)> m_openUrl;

    QDateTime m_now;
    QDateTime m_selectedDate;
    QDateTime m_weekStart;
    EventsByDay m_eventsByDay;
    std::optional<PeekInfo> m_peek;
    std::optional<MeetingAlert> m_alert;
    QList<Person> m_knownPeople;
    std::optional<QString> m_toast;
    QList<CalEvent> m_notionEvents;
    std::optional<QString> m_notionError;
    std::optional<QDateTime> m_notionLastSync;
    bool m_isSyncingNotion = false;
    std::optional<QString> m_notionUserName;
    QList<CalEvent> m_googleEvents;
    std::optional<QString> m_googleError;
    std::optional<QDateTime> m_googleLastSync;
    bool m_isSyncingGoogle = false;
    bool m_isConnectingGoogle = false;
    bool m_googleRefreshPending = false;
    quint64 m_googleRerunsStarted = 0;  // further runs launched so far
    quint64 m_googleRerunsFinished = 0; // the latest of them that has ended
    quint64 m_googleRuns = 0;           // Google runs begun
    QList<GoogleWrite> m_googleWrites;  // what runs under way may not have read yet
    RetrySchedule m_googleRetry{googleInterval};
    RetrySchedule m_notionRetry{notionInterval};
    QHash<QString, QSet<QString>> m_notionPagesOf; // a database's id → its pages' event ids as last read
    std::unique_ptr<GoogleSource> m_google;
    std::unique_ptr<GoogleSignIn> m_googleFlow;
    std::unique_ptr<NotionSource> m_notion;
    QList<NotionDatabase> m_discoveredDatabases;
    quint64 m_notionConnection = 0;  // counts connects and disconnects: a sync that saw one drops its pages
    quint64 m_notionDisconnects = 0; // a connect that saw one leaves everything as the disconnect left it
    QList<CalEvent> m_ekEvents;
    bool m_sampleMode = false;
    bool m_calendarLoading = false;
    bool m_calendarReloadPending = false;
    quint64 m_mergeGeneration = 0;     // counts merges; only the latest one publishes
    quint64 m_publishedGeneration = 0; // the merge the agenda shows

    std::unique_ptr<StoreTimer> m_timer;
    std::unique_ptr<StoreTimer> m_alertDismiss;
    std::unique_ptr<StoreTimer> m_toastClear;
    QDateTime m_lastTickDay;
    QDateTime m_lastBeat; // the clock at creation or at the last tick, for noticing jumps
    QDateTime m_lastWake;
    QHash<QString, QDateTime> m_alertedAt;
    QList<NotionDatabaseSelection> m_notionDatabases; // the selection last seen, to skip equal ones
    QStringList m_ownAddresses;                       // the accounts' addresses last seen
};
