#include "core/store/EventStore.h"

#include "core/calendar/CalendarStore.h"
#include "core/model/Tasks.h"
#include "core/model/UserCal.h"
#include "core/settings/AppSettings.h"
#include "core/store/AlertSound.h"
#include "core/store/WakeNotifier.h"

#include <QDesktopServices>
#include <QTimer>

#include <cstdlib>

namespace {

// How far the wall clock may stray from the timer's beat before the store takes it for a sleep (or
// a clock change) and reloads everything. Generous, so that a busy machine's late timer is no wake.
constexpr qint64 clockJumpToleranceMs = 30000;
// A wake reported both by the login manager and by the clock jump reloads once.
constexpr qint64 wakeDebounceMs = 60000;

// The user's own addresses: those of the connected Google accounts.
QStringList ownAddresses(const AppSettings& settings) {
    QStringList addresses;
    for (const GoogleAccount& account : settings.google().accounts)
        addresses << account.email;
    return addresses;
}

std::optional<EventStore::Environment>& sharedEnvironment() {
    static std::optional<EventStore::Environment> environment;
    return environment;
}

} // namespace

EventStore::EventStore(Environment environment, QObject* parent)
    : QObject(parent)
    , m_settings(environment.settings ? *environment.settings : AppSettings::shared())
    , m_calendar(environment.calendar ? std::move(environment.calendar) : std::make_unique<CalendarStore>())
    , m_cal(UserCal::current())
    , m_clock(environment.clock ? std::move(environment.clock) : systemClock())
    , m_sound(std::move(environment.sound))
    , m_openUrl(environment.openUrl ? std::move(environment.openUrl)
                                    : [](const QUrl& url) { return QDesktopServices::openUrl(url); })
    , m_google(environment.google ? std::move(environment.google) : GoogleSource::remote())
    , m_notion(environment.notion ? std::move(environment.notion) : NotionSource::remote()) {
    m_now = m_clock();
    const QDateTime today = m_cal.startOfDay(m_now);
    m_selectedDate = today;
    m_weekStart = startOfWeek(today, m_cal);
    m_lastTickDay = today;
    m_lastBeat = m_now;
    m_notionDatabases = m_settings.notionDatabases();

    m_calendar->onChange = [self = QPointer(this)] {
        if (self && !self->m_sampleMode)
            self->reloadCalendarEvents();
    };
    connect(m_calendar.get(), &CalendarStore::statusChanged, this, &EventStore::changed);
    connect(m_calendar.get(), &CalendarStore::calendarsChanged, this, &EventStore::changed);
    connect(m_calendar.get(), &CalendarStore::lastErrorChanged, this, &EventStore::changed);
    m_ownAddresses = ownAddresses(m_settings);
    m_calendar->setOwnAddresses(m_ownAddresses);

    connect(&m_settings, &AppSettings::hiddenCalendarIDsChanged, this, &EventStore::queueCalendarReload);
    connect(&m_settings, &AppSettings::notionDatabasesChanged, this, &EventStore::notionSelectionChanged);
    connect(&m_settings, &AppSettings::googleChanged, this, &EventStore::accountsChanged);
    connect(&m_settings, &AppSettings::peekMinutesChanged, this,
            [this] { QTimer::singleShot(0, this, [this] { recomputePeek(); }); });

    const TimerFactory timers = environment.timers ? environment.timers : qtTimerFactory();
    m_alertDismiss = timers(false, [this] { dismissAlert(); });
    m_toastClear = timers(false, [this] { setToast(std::nullopt); });
    m_timer = timers(true, [this] { tick(); });
    m_timer->start(tickInterval);

    if (environment.wake)
        connect(environment.wake, &WakeNotifier::woke, this, &EventStore::handleWake);
    connect(&UserCal::notifier(), &UserCal::changed, this, &EventStore::calendarChanged);
}

EventStore::~EventStore() = default;

EventStore& EventStore::shared() {
    static EventStore* const store = new EventStore(std::move(sharedEnvironment()).value_or(Environment{}));
    return *store;
}

void EventStore::setSharedEnvironment(Environment environment) {
    sharedEnvironment() = std::move(environment);
}

QCoro::Task<> EventStore::start() {
    QPointer self(this);
    if (m_calendar->status() == CalendarAccess::notDetermined) {
        QCoro::Task<> access = m_calendar->requestAccess();
        co_await access;
        if (!self)
            co_return;
    } else {
        m_calendar->reloadCalendars();
    }
    QCoro::Task<> sources = loadSources();
    co_await sources;
}

QCoro::Task<> EventStore::refreshAll() {
    m_calendar->reloadCalendars();
    // Beside the load, which does not wait for them: files that did not answer in time before.
    if (!m_sampleMode)
        Tasks::startDetached(m_calendar->readUnansweredAgain(), QStringLiteral("Calendar files read again"));
    QCoro::Task<> sources = loadSources();
    co_await sources;
}

QCoro::Task<> EventStore::loadSources() {
    // Started together, so that they run side by side: the local events on the reading threads,
    // the remote ones over the network.
    std::optional<QCoro::Task<>> local;
    if (!m_sampleMode)
        local.emplace(loadCalendarEvents());
    QCoro::Task<> google = refreshGoogle();
    QCoro::Task<> notion = refreshNotion();
    if (local)
        co_await *local;
    co_await google;
    co_await notion;
}

void EventStore::tick() {
    // A new zone moves the days before anything below computes one.
    UserCal::followSystem();
    const QDateTime now = m_clock();
    const bool clockJumped =
        std::abs(m_lastBeat.msecsTo(now) - qint64(tickInterval.count()) * 1000) > clockJumpToleranceMs;
    m_lastBeat = now;
    setNow(now);

    const QDateTime today = m_cal.startOfDay(m_now);
    if (today != m_lastTickDay) {
        m_lastTickDay = today;
        // A panel left on the old today follows to the new one; one showing any other day keeps it.
        if (m_selectedDate == m_cal.addDays(today, -1))
            selectWithReload(today);
        else if (!m_sampleMode)
            reloadCalendarEvents();
    }

    recomputePeek();
    checkAlerts();

    if (notionDue() && !m_isSyncingNotion)
        launch(&EventStore::refreshNotion, QStringLiteral("Notion refresh"));
    if (m_settings.hasGoogle() && googleDue() && !m_isSyncingGoogle)
        launch(&EventStore::refreshGoogle, QStringLiteral("Google refresh"));

    if (clockJumped)
        handleWake();
}

bool EventStore::googleDue() const {
    if (m_googleRetry.waiting())
        return m_googleRetry.due(m_now);
    return !m_googleLastSync || std::chrono::milliseconds(m_googleLastSync->msecsTo(m_now)) > googleInterval;
}

bool EventStore::notionDue() const {
    // A Notion that never synced is synced by start-up and by connecting, not by the tick.
    if (m_notionRetry.waiting())
        return m_settings.hasNotion() && m_notionRetry.due(m_now);
    return m_notionLastSync && std::chrono::milliseconds(m_notionLastSync->msecsTo(m_now)) > notionInterval;
}

QCoro::Task<QList<CalEvent>> EventStore::readRanges(QList<std::pair<QDateTime, QDateTime>> ranges,
                                                    RangeRead read) {
    QPointer self(this);
    QList<CalEvent> events;
    for (const auto& [from, to] : ranges) {
        QCoro::Task<QList<CalEvent>> call = read(from, to);
        const QList<CalEvent> listed = co_await call;
        if (!self)
            throw CancelledError();
        events = DayMap::appendNew(std::move(events), listed);
    }
    co_return events;
}

bool EventStore::keptAfter(SyncRetry::Failures& failures, const QString& name,
                           const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        failures.add(name + QStringLiteral(": ") + errorMessage(error), error);
        return !SyncRetry::isGone(error);
    }
}

void EventStore::handleWake() {
    const QDateTime now = m_clock();
    if (m_lastWake.isValid() && std::abs(m_lastWake.msecsTo(now)) < wakeDebounceMs)
        return;
    m_lastWake = now;
    launch(&EventStore::refreshAll, QStringLiteral("Full refresh"));
}

std::optional<CalEvent> EventStore::nextEvent(const QDateTime& day) const {
    for (const CalEvent& event : events(day)) {
        if (!event.isAllDay && event.end > m_now)
            return event;
    }
    return std::nullopt;
}

void EventStore::join(const CalEvent& event) {
    const std::optional<QUrl> link = event.meetingURL();
    if (!link)
        return;
    m_openUrl(*link);
    // Only this meeting's alert: another meeting's alert still has something to say.
    dismissAlertFor(event.id);
}

void EventStore::launch(QCoro::Task<> (EventStore::*refresh)(), const QString& what) {
    QTimer::singleShot(0, this, [this, refresh, what] { Tasks::startDetached((this->*refresh)(), what); });
}

void EventStore::calendarChanged() {
    const Cal before = m_cal;
    const Cal after = UserCal::current();
    if (after == before)
        return;
    const bool wasToday = isViewingToday();
    const QDate selectedDay = before.dateOf(m_selectedDate);

    m_cal = after;
    m_calendar->setZone(after.zone());
    m_lastTickDay = m_cal.startOfDay(m_now);
    // Today stays today (the date may differ across a date line); any other day stays that date.
    const QDateTime selected = wasToday ? m_lastTickDay : m_cal.startOfDay(selectedDay);
    setSelectedDate(selected);
    setWeekStart(startOfWeek(selected, m_cal));
    setGoogleEvents(DayMap::rezone(m_googleEvents, before, after));
    setNotionEvents(DayMap::rezone(m_notionEvents, before, after));
    if (m_sampleMode) {
        m_ekEvents = DayMap::rezone(m_ekEvents, before, after);
        rebuild();
    }
    // The window's bounds moved with the zone: every source reads it again (none does in sample mode).
    reloadAfterRangeChange();
}

void EventStore::notionSelectionChanged() {
    QList<NotionDatabaseSelection> selection = m_settings.notionDatabases();
    if (selection == m_notionDatabases)
        return;
    m_notionDatabases = std::move(selection);
    launch(&EventStore::refreshNotion, QStringLiteral("Notion refresh"));
}

void EventStore::accountsChanged() {
    QStringList addresses = ownAddresses(m_settings);
    if (addresses == m_ownAddresses)
        return;
    // The local events mark the user among their guests by these addresses: read them again.
    m_ownAddresses = std::move(addresses);
    m_calendar->setOwnAddresses(m_ownAddresses);
    queueCalendarReload();
}

void EventStore::queueCalendarReload() {
    QTimer::singleShot(0, this, [this] {
        if (!m_sampleMode)
            reloadCalendarEvents();
    });
}

template <typename T> void EventStore::publish(T& field, T value, void (EventStore::*notify)()) {
    field = std::move(value);
    emit(this->*notify)();
    emit changed();
}

void EventStore::setNow(const QDateTime& now) {
    publish(m_now, now, &EventStore::nowChanged);
}

void EventStore::setSelectedDate(const QDateTime& day) {
    publish(m_selectedDate, day, &EventStore::selectedDateChanged);
}

void EventStore::setWeekStart(const QDateTime& day) {
    publish(m_weekStart, day, &EventStore::weekStartChanged);
}

void EventStore::setEventsByDay(EventsByDay days) {
    // Rebuilt from scratch after every refresh, mostly to the same agenda: the views hear of it only
    // when something in it changed, down to a location or a guest's answer.
    if (DayMap::identical(days, m_eventsByDay))
        return;
    publish(m_eventsByDay, std::move(days), &EventStore::eventsByDayChanged);
}

void EventStore::setKnownPeople(QList<Person> people) {
    publish(m_knownPeople, std::move(people), &EventStore::knownPeopleChanged);
}

void EventStore::setPeek(std::optional<PeekInfo> peek) {
    publish(m_peek, std::move(peek), &EventStore::peekChanged);
}

void EventStore::setAlert(std::optional<MeetingAlert> alert) {
    publish(m_alert, std::move(alert), &EventStore::alertChanged);
}

void EventStore::setToast(std::optional<QString> text) {
    publish(m_toast, std::move(text), &EventStore::toastChanged);
}

void EventStore::setGoogleEvents(QList<CalEvent> events) {
    if (identical(events, m_googleEvents))
        return;
    publish(m_googleEvents, std::move(events), &EventStore::googleEventsChanged);
}

void EventStore::setGoogleError(std::optional<QString> message) {
    publish(m_googleError, std::move(message), &EventStore::googleErrorChanged);
}

void EventStore::setGoogleLastSync(std::optional<QDateTime> instant) {
    publish(m_googleLastSync, std::move(instant), &EventStore::googleLastSyncChanged);
}

void EventStore::setSyncingGoogle(bool syncing) {
    publish(m_isSyncingGoogle, syncing, &EventStore::isSyncingGoogleChanged);
}

void EventStore::setConnectingGoogle(bool connecting) {
    publish(m_isConnectingGoogle, connecting, &EventStore::isConnectingGoogleChanged);
}

void EventStore::setNotionEvents(QList<CalEvent> events) {
    if (identical(events, m_notionEvents))
        return;
    publish(m_notionEvents, std::move(events), &EventStore::notionEventsChanged);
}

void EventStore::setNotionError(std::optional<QString> message) {
    publish(m_notionError, std::move(message), &EventStore::notionErrorChanged);
}

void EventStore::setNotionLastSync(std::optional<QDateTime> instant) {
    publish(m_notionLastSync, std::move(instant), &EventStore::notionLastSyncChanged);
}

void EventStore::setSyncingNotion(bool syncing) {
    publish(m_isSyncingNotion, syncing, &EventStore::isSyncingNotionChanged);
}

void EventStore::setNotionUserName(std::optional<QString> name) {
    publish(m_notionUserName, std::move(name), &EventStore::notionUserNameChanged);
}

void EventStore::setDiscoveredDatabases(QList<NotionDatabase> databases) {
    publish(m_discoveredDatabases, std::move(databases), &EventStore::discoveredDatabasesChanged);
}
