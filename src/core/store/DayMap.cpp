#include "core/store/DayMap.h"

#include "core/model/Cal.h"

#include <QSet>

#include <algorithm>

namespace {

// What makes two entries one meeting. Timed events compare their instants to the millisecond, all-day
// events their start day (whatever their end).
struct MergeKey {
    QString title;
    qint64 start = 0;
    qint64 end = 0;
    bool allDay = false;

    friend bool operator==(const MergeKey&, const MergeKey&) = default;
};

size_t qHash(const MergeKey& key, size_t seed = 0) noexcept {
    return qHashMulti(seed, key.title, key.start, key.end, key.allDay);
}

MergeKey mergeKey(const CalEvent& event, const Cal& cal) {
    if (event.isAllDay)
        return {event.title.toLower(), cal.startOfDay(event.start).toMSecsSinceEpoch(), 0, true};
    return {event.title.toLower(), event.start.toMSecsSinceEpoch(), event.end.toMSecsSinceEpoch(), false};
}

// UTF-16 units reordered so that surrogates (characters above U+FFFF) sort after U+E000..U+FFFF, as
// their code points do.
char32_t codePointRank(char16_t unit) {
    if (unit >= 0xE000)
        return unit - 0x800;
    if (unit >= 0xD800)
        return unit + 0x2000;
    return unit;
}

bool titleBefore(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a.at(i).unicode();
        const char16_t y = b.at(i).unicode();
        if (x != y)
            return codePointRank(x) < codePointRank(y);
    }
    return a.size() < b.size();
}

} // namespace

namespace DayMap {

EventsByDay merge(const QList<CalEvent>& google, const QList<CalEvent>& local, const QList<CalEvent>& notion,
                  const Cal& cal) {
    EventsByDay days;
    QSet<MergeKey> seen;
    seen.reserve(google.size() + local.size() + notion.size());
    for (const QList<CalEvent>* source : {&google, &local, &notion}) {
        for (const CalEvent& event : *source) {
            const qsizetype before = seen.size();
            seen.insert(mergeKey(event, cal));
            if (seen.size() == before)
                continue;
            for (const QDateTime& day : event.days(cal))
                days[day].append(event);
        }
    }
    for (QList<CalEvent>& list : days)
        std::stable_sort(list.begin(), list.end(), comesBefore);
    return days;
}

bool comesBefore(const CalEvent& a, const CalEvent& b) {
    if (a.isAllDay != b.isAllDay)
        return a.isAllDay;
    if (a.start != b.start)
        return a.start < b.start;
    if (a.end != b.end)
        return a.end > b.end;
    return titleBefore(a.title, b.title);
}

bool identical(const EventsByDay& a, const EventsByDay& b) {
    if (a.size() != b.size())
        return false;
    for (auto x = a.cbegin(), y = b.cbegin(); x != a.cend(); ++x, ++y) {
        if (x.key() != y.key() || !::identical(x.value(), y.value()))
            return false;
    }
    return true;
}

bool declinedByMe(const CalEvent& event) {
    return std::any_of(event.attendees.begin(), event.attendees.end(),
                       [](const Attendee& a) { return a.isMe && a.status == Attendee::Status::declined; });
}

QList<CalEvent> appendNew(QList<CalEvent> into, const QList<CalEvent>& more) {
    if (into.isEmpty())
        return more;
    QSet<QString> held;
    for (const CalEvent& event : std::as_const(into))
        held.insert(event.id);
    for (const CalEvent& event : more) {
        if (!held.contains(event.id))
            into.append(event);
    }
    return into;
}

QList<CalEvent> rezone(QList<CalEvent> events, const Cal& from, const Cal& to) {
    if (from.zone() == to.zone())
        return events;
    for (CalEvent& event : events) {
        if (!event.isAllDay)
            continue;
        event.start = to.startOfDay(from.dateOf(event.start));
        event.end = to.startOfDay(from.dateOf(event.end));
    }
    return events;
}

} // namespace DayMap
