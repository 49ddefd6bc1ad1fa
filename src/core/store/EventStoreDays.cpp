#include "core/store/EventStore.h"

#include "core/calendar/CalendarStore.h"
#include "core/calendar/ReadingThreads.h"
#include "core/model/DebugLog.h"
#include "core/model/Tasks.h"
#include "core/settings/AppSettings.h"
#include "core/store/PeopleDirectory.h"

#include <QCoro/QCoroFuture>
#include <QPointer>

#include <algorithm>

namespace {

// The ranges as the debug log writes them: "from...to", joined by ", ".
QString describe(const QList<std::pair<QDateTime, QDateTime>>& ranges) {
    QStringList parts;
    for (const auto& [from, to] : ranges)
        parts << DebugLog::describe(from) + QStringLiteral("...") + DebugLog::describe(to);
    return parts.join(QStringLiteral(", "));
}

} // namespace

QDateTime EventStore::startOfWeek(const QDateTime& instant, const Cal& cal) {
    const QDateTime start = cal.startOfWeek(instant);
    return start.isValid() ? start : cal.startOfDay(instant);
}

bool EventStore::isViewingToday() const {
    return m_selectedDate == m_cal.startOfDay(m_now);
}

QList<QDateTime> EventStore::weekDays() const {
    QList<QDateTime> days;
    for (int i = 0; i < 7; ++i) {
        const QDateTime day = m_cal.addDays(m_weekStart, i);
        if (day.isValid())
            days.append(day);
    }
    return days;
}

std::pair<QDateTime, QDateTime> EventStore::loadedRange() const {
    return {m_cal.addDays(m_weekStart, -7), m_cal.addDays(m_weekStart, 21)};
}

QList<std::pair<QDateTime, QDateTime>> EventStore::loadedRanges() const {
    // Peek, alerts and the menu read today's events whatever week is on screen, so today and
    // tomorrow stay loaded while the user browses weeks away: apart from the viewed weeks, so that
    // every refresh reloads a bounded amount however far away they are.
    const auto [from, to] = loadedRange();
    const QDateTime today = m_cal.startOfDay(m_now);
    const QDateTime dayAfterTomorrow = m_cal.addDays(today, 2);
    if (dayAfterTomorrow < from)
        return {{today, dayAfterTomorrow}, {from, to}};
    if (today > to)
        return {{from, to}, {today, dayAfterTomorrow}};
    return {{std::min(from, today), std::max(to, dayAfterTomorrow)}};
}

bool EventStore::isLoaded(const QDateTime& day) const {
    if (m_sampleMode)
        return true;
    const QDateTime dayStart = m_cal.startOfDay(day);
    const QDateTime dayEnd = m_cal.addDays(dayStart, 1);
    const QList<std::pair<QDateTime, QDateTime>> ranges = loadedRanges();
    return std::any_of(ranges.cbegin(), ranges.cend(),
                       [&](const auto& range) { return dayStart >= range.first && dayEnd <= range.second; });
}

QList<CalEvent> EventStore::events(const QDateTime& day) const {
    return m_eventsByDay.value(m_cal.startOfDay(day));
}

std::optional<QList<CalEvent>> EventStore::loadedEvents(const QDateTime& day) const {
    return isLoaded(day) ? std::optional(events(day)) : std::nullopt;
}

void EventStore::select(const QDateTime& date) {
    setSelectedDate(m_cal.startOfDay(date));
    const QDateTime week = startOfWeek(m_selectedDate, m_cal);
    if (week != m_weekStart) {
        setWeekStart(week);
        reloadAfterRangeChange();
    }
}

void EventStore::shiftWeek(int weeks) {
    const QDateTime start = m_cal.addWeeks(m_weekStart, weeks);
    if (!start.isValid())
        return;
    setWeekStart(start);
    const QDateTime today = m_cal.startOfDay(m_now);
    const bool todayInWeek = today >= start && today <= m_cal.addDays(start, 6);
    setSelectedDate(todayInWeek ? today : start);
    reloadAfterRangeChange();
}

void EventStore::goToToday() {
    select(m_now);
}

void EventStore::reloadAfterRangeChange() {
    if (!m_sampleMode)
        reloadCalendarEvents();
    launch(&EventStore::refreshGoogle, QStringLiteral("Google refresh"));
    launch(&EventStore::refreshNotion, QStringLiteral("Notion refresh"));
}

void EventStore::selectWithReload(const QDateTime& date) {
    const QDateTime week = m_weekStart;
    select(date);
    if (m_weekStart == week && !m_sampleMode)
        reloadCalendarEvents();
}

void EventStore::reloadCalendarEvents() {
    Tasks::startDetached(loadCalendarEvents(), QStringLiteral("Calendar load"));
}

QCoro::Task<> EventStore::loadCalendarEvents() {
    QPointer self(this);
    if (m_calendarLoading) {
        // The load under way may have begun before the change this caller wants to see.
        m_calendarReloadPending = true;
        QCoro::Task<bool> loaded = Tasks::signalOrGone(this, &EventStore::calendarLoaded);
        co_await loaded;
        co_return;
    }
    m_calendarLoading = true;
    do {
        m_calendarReloadPending = false;
        const QList<std::pair<QDateTime, QDateTime>> ranges = loadedRanges();
        QList<QFuture<QList<CalEvent>>> loads;
        for (const auto& [from, to] : ranges)
            loads.append(m_calendar->loadEvents(from, to, m_settings.hiddenCalendarIDs()));
        QList<CalEvent> events;
        for (QFuture<QList<CalEvent>>& load : loads) {
            QList<CalEvent> loaded = co_await load;
            if (!self)
                co_return;
            events = DayMap::appendNew(std::move(events), loaded);
        }
        // Sample mode began meanwhile: its events stay.
        if (m_sampleMode)
            break;
        ReadingThreads::release(std::exchange(m_ekEvents, std::move(events)));
        DebugLog::log([&] {
            return QStringLiteral("calendar status=%1 calendars=%2 events=%3 range=%4")
                .arg(int(m_calendar->status()))
                .arg(m_calendar->calendars().size())
                .arg(m_ekEvents.size())
                .arg(describe(ranges));
        });
        DebugLog::log([&] {
            QStringList parts;
            for (const LocalCalendar& calendar : m_calendar->calendars())
                parts << calendar.sourceTitle + QLatin1Char('/') + calendar.title +
                             QStringLiteral(" [%1]").arg(int(calendar.sourceType));
            return QStringLiteral("calendars: ") + parts.join(QStringLiteral(", "));
        });
        QCoro::Task<> merge = mergeSources();
        co_await merge;
        if (!self)
            co_return;
    } while (m_calendarReloadPending);
    m_calendarLoading = false;
    emit calendarLoaded();
}

void EventStore::rebuild() {
    Tasks::startDetached(mergeSources(), QStringLiteral("Agenda merge"));
}

QCoro::Task<> EventStore::mergeSources() {
    const quint64 generation = ++m_mergeGeneration;
    if (m_googleEvents.size() + m_ekEvents.size() + m_notionEvents.size() <= mergeOnThisThreadLimit) {
        m_publishedGeneration = generation;
        setEventsByDay(DayMap::merge(m_googleEvents, m_ekEvents, m_notionEvents, m_cal));
        recomputePeek();
        rebuildPeople();
        emit agendaMerged();
        co_return;
    }
    // Thousands of events take tens of milliseconds to merge into days and people: that happens on a
    // reading thread, and the GUI thread only publishes the result, unless a newer merge began
    // meanwhile.
    Agenda agenda;
    agenda.recentInvitees = m_settings.recentInvitees();
    agenda.ownAddresses = m_ownAddresses;
    QFuture<Agenda> future =
        ReadingThreads::later([agenda = std::move(agenda), google = m_googleEvents, local = m_ekEvents,
                               notion = m_notionEvents, cal = m_cal]() mutable {
            agenda.days = DayMap::merge(google, local, notion, cal);
            agenda.people = PeopleDirectory::build(agenda.recentInvitees, agenda.days, agenda.ownAddresses);
            return std::move(agenda);
        });
    QPointer self(this);
    Agenda merged = co_await future;
    if (!self)
        co_return;
    if (generation != m_mergeGeneration) {
        // A newer merge holds what this one would have published, and more: wait for it.
        while (self && m_publishedGeneration < generation) {
            QCoro::Task<bool> published = Tasks::signalOrGone(this, &EventStore::agendaMerged);
            co_await published;
        }
        co_return;
    }
    m_publishedGeneration = generation;
    // Compared with the agenda shown, which publishes only a change; whichever of the two is no longer
    // shown is then freed on a reading thread.
    EventsByDay shown = m_eventsByDay;
    setEventsByDay(merged.days);
    ReadingThreads::release(std::move(shown));
    ReadingThreads::release(std::move(merged.days));
    recomputePeek();
    if (merged.recentInvitees == m_settings.recentInvitees() && merged.ownAddresses == m_ownAddresses)
        setKnownPeople(std::move(merged.people));
    else
        rebuildPeople();
    emit agendaMerged();
}

void EventStore::installSampleEvents(const QList<CalEvent>& events) {
    m_sampleMode = true;
    QList<CalEvent> local, google, notion;
    for (const CalEvent& event : events) {
        switch (event.source) {
        case EventSource::calendar:
            local.append(event);
            break;
        case EventSource::google:
            google.append(event);
            break;
        case EventSource::notion:
            notion.append(event);
            break;
        }
    }
    m_ekEvents = std::move(local);
    setGoogleEvents(std::move(google));
    setNotionEvents(std::move(notion));
    setNotionLastSync(m_clock());
    rebuild();
}
