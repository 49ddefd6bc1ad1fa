#pragma once

#include "core/calendar/CalendarStore.h"
#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/model/Clock.h"
#include "core/model/Person.h"
#include "core/remote/NotionRecords.h"
#include "core/store/DayMap.h"
#include "core/store/FreeSlots.h"
#include "core/store/MeetingAlert.h"
#include "core/store/PeekInfo.h"
#include "core/store/StoreTimer.h"

#include <QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
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
// alert, the people directory and the toast. Everything runs on the GUI thread; asynchronous work
// suspends only at its awaits, after which it checks that the store still exists.
//
// The Google and Notion syncs keep their state here (events, errors, last sync, running flags) and
// are asked for refreshes by the tick, start-up, the full refresh and week changes.
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

public:
    // What the store is bound to. Empty members take the app's own: AppSettings::shared(), a new
    // CalendarStore, the user's calendar as it is now, the system clock, Qt timers, no sound, no
    // wake signal (the tick's clock-jump check still notices a sleep) and the desktop's URL opener.
    struct Environment {
        AppSettings* settings = nullptr;
        std::unique_ptr<CalendarStore> calendar;
        std::optional<Cal> cal;
        Clock clock;
        TimerFactory timers;
        std::shared_ptr<AlertSound> sound;
        QPointer<WakeNotifier> wake;
        std::function<bool(const QUrl&)> openUrl;
    };

    static constexpr std::chrono::seconds tickInterval{10};
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

    // Start-up: asks for calendar access when it was never decided, loads the local events, then
    // refreshes Google and Notion side by side.
    QCoro::Task<> start();
    // Reloads the calendars and their events, then refreshes Google and Notion side by side.
    QCoro::Task<> refreshAll();
    // One beat of the store's clock, run by its 10-second timer: sets `now`, rolls over to a new day,
    // recomputes the peek, fires due alerts and starts the remote refreshes that are due. A wall clock
    // that moved far from the timer's beat counts as a wake from sleep.
    void tick();

    // The first event of the day that is not all-day and has not ended (running events count).
    std::optional<CalEvent> nextEvent(const QDateTime& day) const;
    // Opens the event's meeting link and takes the alert down; without a link nothing happens.
    void join(const CalEvent& event);

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
    // The window every source loads, as [from, to): the viewed week with the week before and the two
    // after, stretched to take in today and tomorrow wherever the user browses.
    std::pair<QDateTime, QDateTime> loadedRange() const;
    QList<CalEvent> events(const QDateTime& day) const;
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
    // The first free slot from 9 to 18 on the 14 days from `from`, weekends skipped.
    std::optional<FreeSlot> nextFreeSlot(const QDateTime& from, int minutes) const;

    // The remote sources' refreshes; they never throw and guard themselves against overlapping runs.
    virtual QCoro::Task<> refreshGoogle();
    virtual QCoro::Task<> refreshNotion();

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

    // Local events of the loaded window, then rebuild().
    void reloadCalendarEvents();
    // The day map from scratch, then the peek, then the people directory.
    void rebuild();
    // Runs the refresh on the next turn of the event loop, as a task of its own that nobody awaits.
    void launch(QCoro::Task<> (EventStore::*refresh)());

private:
    QCoro::Task<> loadSources();
    void queueCalendarReload();
    void recomputePeek();
    void checkAlerts();
    void fireAlert(const MeetingAlert& alert);
    void reloadAfterRangeChange();
    void rebuildPeople();
    void handleWake();
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
    QList<CalEvent> m_ekEvents;
    bool m_sampleMode = false;

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
