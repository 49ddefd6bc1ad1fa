#include "core/store/EventStore.h"

#include "core/settings/AppSettings.h"
#include "core/store/PeopleDirectory.h"

void EventStore::rebuildPeople() {
    setKnownPeople(PeopleDirectory::build(m_settings.recentInvitees(), m_eventsByDay, m_ownAddresses));
}

std::optional<Person> EventStore::person(const QString& matching) const {
    return PeopleDirectory::match(m_knownPeople, matching);
}

QList<Person> EventStore::suggestions(const QString& text, const QList<Person>& excluding) const {
    return PeopleDirectory::suggestions(m_knownPeople, text, excluding);
}

std::optional<FreeSlot> EventStore::nextFreeSlot(const QDateTime& day, int minutes, int workStart,
                                                 int workEnd) const {
    const QDateTime dayStart = m_cal.startOfDay(day);
    if (dayStart < m_cal.startOfDay(m_now))
        return std::nullopt;
    // A day the sources have not loaded looks free but is not known to be: proposing it could put
    // a meeting, invitations and all, on top of real ones.
    const auto [from, to] = loadedRange();
    if (dayStart < from || m_cal.addDays(dayStart, 1) > to)
        return std::nullopt;
    return FreeSlots::onDay(events(dayStart), dayStart, m_now, minutes, workStart, workEnd, m_cal);
}

std::optional<FreeSlot> EventStore::nextFreeSlot(const QDateTime& from, int minutes) const {
    for (int i = 0; i < 14; ++i) {
        const QDateTime day = m_cal.addDays(from, i);
        if (!day.isValid())
            return std::nullopt;
        if (m_cal.isWeekend(day))
            continue;
        if (auto slot = nextFreeSlot(day, minutes, 9, 18))
            return slot;
    }
    return std::nullopt;
}
