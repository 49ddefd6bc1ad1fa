#include "core/store/EventStore.h"

#include "core/remote/NotionClient.h"
#include "core/settings/AppSettings.h"
#include "core/store/PeopleDirectory.h"

#include <QCoro/QCoroFuture>
#include <QPointer>

void EventStore::rebuildPeople() {
    setKnownPeople(PeopleDirectory::build(m_settings.recentInvitees(), m_eventsByDay, m_ownAddresses));
}

std::optional<Person> EventStore::person(const QString& matching) const {
    return PeopleDirectory::match(m_knownPeople, matching);
}

QList<Person> EventStore::suggestions(const QString& text, const QList<Person>& excluding) const {
    return PeopleDirectory::suggestions(m_knownPeople, text, excluding);
}

// A day the sources have not loaded looks free but is not known to be: proposing it could put a
// meeting, invitations and all, on top of real ones. Such days are read first (readDays()).
std::optional<FreeSlot> EventStore::nextFreeSlot(const QDateTime& day, int minutes, int workStart,
                                                 int workEnd) const {
    const FreeSlots::DayEvents loaded = [this](const QDateTime& d) { return loadedEvents(d); };
    return FreeSlots::searchDay(loaded, day, m_now, minutes, workStart, workEnd, m_cal).slot;
}

std::optional<FreeSlot> EventStore::nextFreeSlot(const QDateTime& from, int minutes) const {
    const FreeSlots::DayEvents loaded = [this](const QDateTime& d) { return loadedEvents(d); };
    return FreeSlots::searchDays(loaded, from, m_now, minutes, m_cal).slot;
}

QCoro::Task<EventsByDay> EventStore::readDays(QDateTime from, QDateTime to) {
    QPointer self(this);
    const Cal cal = m_cal; // the whole read keys its days in one zone
    from = cal.startOfDay(from);
    to = cal.startOfDay(to);
    QList<CalEvent> local, google, notion;
    if (!m_sampleMode) {
        QFuture<QList<CalEvent>> load = m_calendar->loadEvents(from, to, m_settings.hiddenCalendarIDs());
        local = co_await load;
        if (!self)
            throw CancelledError();

        // Every visible calendar of every account: one that cannot be read leaves its meetings
        // unknown, and then so is the day.
        const GoogleConfig config = m_settings.hasGoogle() ? m_settings.google() : GoogleConfig();
        for (const GoogleAccount& account : config.accounts) {
            if (accountIndex(m_settings.google(), account.email) < 0)
                continue;
            QCoro::Task<QString> renewal = googleToken(account.email);
            const QString token = co_await renewal;
            if (!self)
                throw CancelledError();
            for (const GoogleCalendarInfo& calendar : account.visibleCalendars()) {
                QCoro::Task<QList<CalEvent>> call =
                    m_google->events(calendar, account.email, from, to, token, cal);
                const QList<CalEvent> events = co_await call;
                if (!self)
                    throw CancelledError();
                google += events;
            }
        }

        if (m_settings.hasNotion()) {
            const QString token = m_settings.notionToken();
            const QList<NotionDatabaseSelection> selections = m_settings.notionDatabases();
            const QList<QColor>& palette = NotionClient::palette();
            for (int i = 0; i < selections.size(); ++i) {
                std::optional<QString> failure;
                try {
                    QCoro::Task<QList<CalEvent>> call =
                        m_notion->pages(token, selections[i], from, to, palette[i % palette.size()], cal);
                    const QList<CalEvent> pages = co_await call;
                    notion += pages;
                } catch (const std::exception& error) {
                    failure = selections[i].title + QStringLiteral(": ") + errorMessage(error);
                }
                if (!self)
                    throw CancelledError();
                if (failure)
                    throw UserFacingError(*failure);
            }
        }
    }

    EventsByDay days = DayMap::merge(google, local, notion, cal);
    // The merge lists every day an event touches; the range's days are all read, also the empty ones.
    EventsByDay range;
    for (QDateTime day = from; day.isValid() && day < to; day = cal.addDays(day, 1))
        range.insert(day, days.value(day));
    co_return range;
}
