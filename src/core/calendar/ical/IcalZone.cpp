#include "core/calendar/ical/IcalZone.h"

#include "core/calendar/ical/Recurrence.h"
#include "core/model/DebugLog.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr qint64 secondsPerDay = 86400;

// The instant (UTC seconds) that a wall clock (seconds on the same clock) names in a zone whose
// offset at each instant `offsetAt` gives. A wall clock the zone repeats (autumn) names the first of
// its two instants; one the zone skips (spring) is read with the offset before the change, so that
// 02:30 in a gap from 02:00 to 03:00 is 03:30 after it. Other readers of iCalendar place them so.
// Offsets are below a day, and a zone changes at most once within a day of a wall clock.
template <typename OffsetAt>
qint64 instantOf(qint64 wall, OffsetAt offsetAt, bool* skipped = nullptr, bool* repeated = nullptr) {
    const int before = offsetAt(wall - secondsPerDay);
    const int after = offsetAt(wall + secondsPerDay);
    if (before == after)
        return wall - before;
    const qint64 first = wall - before;
    const qint64 second = wall - after;
    const bool firstHolds = offsetAt(first) == before;
    const bool secondHolds = offsetAt(second) == after;
    if (skipped)
        *skipped = !firstHolds && !secondHolds;
    if (repeated)
        *repeated = firstHolds && secondHolds;
    if (secondHolds && (!firstHolds || second < first))
        return second;
    return first; // in a gap neither holds
}

// Wall clock to instant in a named zone, from a table of the zone's transitions kept per thread and
// year: reading thousands of items asks the zone database for tens of thousands of instants, at
// microseconds each.
class ZoneOffsets {
public:
    // Absent where the zone database must be asked: outside 1900 to 2037.
    static std::optional<QDateTime> instant(const QTimeZone& zone, QDate date, QTime time,
                                            bool* skipped = nullptr, bool* repeated = nullptr) {
        thread_local ZoneOffsets cache;
        return cache.lookup(zone, date, time, skipped, repeated);
    }

private:
    struct Year {
        QList<qint64> at; // transitions, UTC seconds
        QList<int> offsetAfter;
        int offsetBefore = 0;
        // Qt lists the transitions of its zone tables, which end in 2037 (beyond, it answers from
        // rules, not always alike): a year without transitions only counts for a zone without
        // daylight saving.
        bool known = false;

        int offsetAt(qint64 utc) const {
            const auto it = std::upper_bound(at.begin(), at.end(), utc);
            return it == at.begin() ? offsetBefore : offsetAfter[it - at.begin() - 1];
        }
    };

    std::optional<QDateTime> lookup(const QTimeZone& zone, QDate date, QTime time, bool* skipped,
                                    bool* repeated) {
        if (!zone.isValid() || !date.isValid() || !time.isValid() || date.year() < 1900 || date.year() > 2037)
            return std::nullopt;
        const Year& year = yearOf(zone, date.year());
        if (!year.known)
            return std::nullopt;
        const qint64 wall = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
        return QDateTime::fromSecsSinceEpoch(
            instantOf(
                wall, [&](qint64 utc) { return year.offsetAt(utc); }, skipped, repeated),
            Qt::UTC);
    }

    const Year& yearOf(const QTimeZone& zone, int y) {
        QHash<int, Year>& years = m_zones[zone.id()];
        if (auto it = years.constFind(y); it != years.constEnd())
            return *it;
        // The year with a few days on either side, enough for the day of slack above.
        const QDateTime from(QDate(y - 1, 12, 29), QTime(0, 0), Qt::UTC);
        const QDateTime to(QDate(y + 1, 1, 3), QTime(0, 0), Qt::UTC);
        Year year;
        year.offsetBefore = zone.offsetFromUtc(from);
        for (const QTimeZone::OffsetData& t : zone.transitions(from, to)) {
            year.at.append(t.atUtc.toSecsSinceEpoch());
            year.offsetAfter.append(t.offsetFromUtc);
        }
        year.known =
            !year.at.isEmpty() || (!zone.hasDaylightTime() && zone.offsetFromUtc(to) == year.offsetBefore);
        return *years.insert(y, std::move(year));
    }

    QHash<QByteArray, QHash<int, Year>> m_zones;
};

QDateTime instantIn(const QTimeZone& zone, QDate date, QTime time, bool* repeated = nullptr) {
    if (std::optional<QDateTime> fast = ZoneOffsets::instant(zone, date, time, nullptr, repeated))
        return *fast;
    if (!zone.isValid() || !date.isValid() || !time.isValid())
        return QDateTime(date, time, zone).toUTC();
    const qint64 wall = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    return QDateTime::fromSecsSinceEpoch(
        instantOf(
            wall, [&](qint64 utc) { return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utc, Qt::UTC)); },
            nullptr, repeated),
        Qt::UTC);
}

const char* weekdayCode(int dayOfWeek) {
    static const char* const codes[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
    return codes[(dayOfWeek - 1) % 7];
}

// The date of the n-th (or, for n = -1, the last) given weekday of a month.
QDate nthWeekday(int year, int month, int dayOfWeek, int n) {
    if (n > 0) {
        QDate first(year, month, 1);
        int shift = (dayOfWeek - first.dayOfWeek() + 7) % 7;
        return first.addDays(shift + 7 * (n - 1));
    }
    QDate last(year, month, QDate(year, month, 1).daysInMonth());
    int shift = (last.dayOfWeek() - dayOfWeek + 7) % 7;
    return last.addDays(-shift);
}

} // namespace

DefinedZone::DefinedZone(icalcomponent* vtimezone)
    : m_zone(icaltimezone_new()) {
    icalcomponent* copy = icalcomponent_new_clone(vtimezone);
    for (icalcomponent* observance = icalcomponent_get_first_component(copy, ICAL_ANY_COMPONENT); observance;
         observance = icalcomponent_get_next_component(copy, ICAL_ANY_COMPONENT)) {
        bool repeats = false;
        // libical steps a value its rule names twice twice: a change of offset would come twice.
        for (icalproperty* p = icalcomponent_get_first_property(observance, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(observance, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype rule = RecurrenceRule::withoutRepeats(icalproperty_get_rrule(p));
            rule.rscale = nullptr; // owned by the value replaced; zones are Gregorian
            icalproperty_set_rrule(p, rule);
            repeats = true;
        }
        // And it steps a rule from before the Gregorian reform on Julian days (see RecurrenceRule):
        // whole 400-year cycles later, the changes are the same.
        icalproperty* dtstart = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
        if (repeats && dtstart) {
            icaltimetype start = icalproperty_get_dtstart(dtstart);
            if (start.year > 0 && start.year < 1583) {
                start.year += (1583 - start.year + 399) / 400 * 400;
                icalproperty_set_dtstart(dtstart, start);
            }
        }
    }
    icaltimezone_set_component(m_zone, copy);
}

DefinedZone::~DefinedZone() {
    icaltimezone_free(m_zone, 1);
}

std::optional<QString> DefinedZone::problem(icalcomponent* vtimezone) {
    // One budget for the whole zone, however many observances it lists.
    ExpansionBudget budget;
    for (icalcomponent* observance = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT);
         observance; observance = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
        // An offset has hours up to 23; libical reads "+9999" as 100 hours, and a zone whose clock
        // jumps by days turns the wall clock of a day later into an earlier instant.
        for (const icalproperty_kind kind : {ICAL_TZOFFSETFROM_PROPERTY, ICAL_TZOFFSETTO_PROPERTY}) {
            for (icalproperty* p = icalcomponent_get_first_property(observance, kind); p;
                 p = icalcomponent_get_next_property(observance, kind)) {
                const int offset = kind == ICAL_TZOFFSETFROM_PROPERTY ? icalproperty_get_tzoffsetfrom(p)
                                                                      : icalproperty_get_tzoffsetto(p);
                if (std::abs(offset) >= 24 * 3600)
                    return QStringLiteral("an offset of a day or more");
            }
        }
        icalproperty* dtstart = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
        const icaltimetype start = dtstart ? icalproperty_get_dtstart(dtstart) : icaltime_null_time();
        for (icalproperty* p = icalcomponent_get_first_property(observance, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(observance, ICAL_RRULE_PROPERTY)) {
            const icalrecurrencetype rule = icalproperty_get_rrule(p);
            if (rule.freq == ICAL_NO_RECURRENCE)
                continue;
            // libical lists every change from the observance's start on (Outlook's start in 1601):
            // a zone that changes hourly fills memory, one that changes monthly still takes a
            // megabyte. Real zones change once a year.
            if (rule.freq != ICAL_YEARLY_RECURRENCE)
                return QStringLiteral("an observance repeats more often than yearly");
            // Real zones change on a weekday or a day of a month: libical's zone code steps the
            // rule itself, and some other parts crash its iterator (BYWEEKNO) or mean nothing here.
            for (const short* other : {rule.by_second, rule.by_minute, rule.by_hour, rule.by_year_day,
                                       rule.by_week_no, rule.by_set_pos}) {
                if (other[0] != ICAL_RECURRENCE_ARRAY_MAX)
                    return QStringLiteral("an observance's rule has parts no zone uses");
            }
            const QDate date(start.year, start.month, start.day);
            if (!date.isValid() || !QTime::isValid(start.hour, start.minute, start.second))
                return QStringLiteral("an observance has no start");
            QString reason;
            const ItemTime at = ItemTime::make(date, QTime(start.hour, start.minute, start.second),
                                               start.is_date != 0, IcalZone::utc(), QTimeZone::utc());
            if (!RecurrenceRule::make(rule, at, budget, &reason))
                return QStringLiteral("an observance's rule: ") + reason;
        }
    }
    return std::nullopt;
}

QDateTime DefinedZone::toInstant(QDate date, QTime time, bool* repeated) const {
    const std::lock_guard lock(m_mutex);
    // libical itself reads a skipped wall clock with the offset after the change, and a repeated one
    // as the second of its two instants.
    auto offsetAt = [&](qint64 utc) {
        icaltimetype t = icaltime_from_timet_with_zone(time_t(utc), 0, icaltimezone_get_utc_timezone());
        int daylight = 0;
        return icaltimezone_get_utc_offset_of_utc_time(m_zone, &t, &daylight);
    };
    const qint64 wall = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    return QDateTime::fromSecsSinceEpoch(instantOf(wall, offsetAt, nullptr, repeated), Qt::UTC);
}

WallTime DefinedZone::toWallClock(const QDateTime& instant) const {
    const std::lock_guard lock(m_mutex);
    icaltimetype t =
        icaltime_from_timet_with_zone(time_t(instant.toSecsSinceEpoch()), 0, icaltimezone_get_utc_timezone());
    icaltimezone_convert_time(&t, icaltimezone_get_utc_timezone(), m_zone);
    return {QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second)};
}

icaltimetype icalWallTime(QDate date, QTime time, bool isDate) {
    icaltimetype t = icaltime_null_time();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    t.is_date = isDate ? 1 : 0;
    if (!isDate) {
        t.hour = time.hour();
        t.minute = time.minute();
        t.second = time.second();
    }
    return t;
}

IcalZone IcalZone::utc() {
    IcalZone z;
    z.m_kind = Kind::utc;
    return z;
}

IcalZone IcalZone::named(const QTimeZone& zone, const QByteArray& tzid) {
    IcalZone z;
    z.m_kind = Kind::named;
    z.m_named = zone;
    z.m_tzid = tzid;
    return z;
}

IcalZone IcalZone::defined(std::shared_ptr<const DefinedZone> zone, const QByteArray& tzid) {
    IcalZone z;
    z.m_kind = Kind::defined;
    z.m_defined = std::move(zone);
    z.m_tzid = tzid;
    return z;
}

QDateTime IcalZone::toInstant(QDate date, QTime time, const QTimeZone& userZone) const {
    switch (m_kind) {
    case Kind::utc:
        return QDateTime(date, time, Qt::UTC);
    case Kind::named:
        return instantIn(m_named, date, time);
    case Kind::defined:
        return m_defined->toInstant(date, time);
    case Kind::floating:
        break;
    }
    return instantIn(userZone, date, time);
}

bool IcalZone::repeats(QDate date, QTime time, const QTimeZone& userZone) const {
    bool repeated = false;
    switch (m_kind) {
    case Kind::utc:
        break;
    case Kind::named:
        instantIn(m_named, date, time, &repeated);
        break;
    case Kind::defined:
        m_defined->toInstant(date, time, &repeated);
        break;
    case Kind::floating:
        instantIn(userZone, date, time, &repeated);
        break;
    }
    return repeated;
}

WallTime IcalZone::toWallClock(const QDateTime& instant, const QTimeZone& userZone) const {
    QDateTime local;
    switch (m_kind) {
    case Kind::utc:
        local = instant.toUTC();
        break;
    case Kind::named:
        local = instant.toTimeZone(m_named);
        break;
    case Kind::defined:
        return m_defined->toWallClock(instant);
    case Kind::floating:
        local = instant.toTimeZone(userZone);
        break;
    }
    return {local.date(), local.time()};
}

QTimeZone IcalZoneResolver::namedZone(const QByteArray& id) {
    // What an IANA name stands for is the same for every resolver: each reading thread keeps its
    // own table, so that thousands of lookups never wait for one another.
    thread_local QHash<QByteArray, QTimeZone> known;
    if (auto it = known.constFind(id); it != known.constEnd())
        return *it;
    QTimeZone zone;
    if (QTimeZone::isTimeZoneIdAvailable(id))
        zone = QTimeZone(id);
    // A text that names no zone is kept too, but only a few thousand of them: items may invent any.
    if (known.size() < 4096)
        known.insert(id, zone);
    return zone;
}

IcalZone IcalZoneResolver::resolve(const QByteArray& tzid, icalcomponent* vcalendar) {
    if (tzid.isEmpty())
        return {};
    if (QTimeZone zone = namedZone(tzid); zone.isValid())
        return IcalZone::named(zone, tzid);

    icalcomponent* vtz =
        vcalendar ? icalcomponent_get_first_component(vcalendar, ICAL_VTIMEZONE_COMPONENT) : nullptr;
    for (; vtz; vtz = icalcomponent_get_next_component(vcalendar, ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* idProp = icalcomponent_get_first_property(vtz, ICAL_TZID_PROPERTY);
        if (idProp && tzid == icalproperty_get_tzid(idProp))
            break;
    }
    if (vtz) {
        char* text = icalcomponent_as_ical_string_r(vtz);
        const QByteArray key(text);
        icalmemory_free_buffer(text);
        std::optional<std::shared_ptr<const DefinedZone>> known;
        bool full = false;
        {
            const std::lock_guard lock(m_mutex);
            if (auto it = m_defined.constFind(key); it != m_defined.constEnd())
                known = *it;
            else
                full = m_defined.size() >= maxDefinedZones;
        }
        if (full) {
            DebugLog::log([&] {
                return QStringLiteral("calendar: time zone %1 refused (items define more than %2 zones); "
                                      "its times read as local")
                    .arg(QString::fromUtf8(tzid))
                    .arg(maxDefinedZones);
            });
            known = std::shared_ptr<const DefinedZone>();
        } else if (!known) {
            // Built unlocked: two threads may both build it, and the first one stays.
            std::shared_ptr<const DefinedZone> zone;
            if (const std::optional<QString> problem = DefinedZone::problem(vtz))
                DebugLog::log([&] {
                    return QStringLiteral("calendar: time zone %1 refused (%2); its times read as local")
                        .arg(QString::fromUtf8(tzid), *problem);
                });
            else
                zone = std::make_shared<const DefinedZone>(vtz);
            const std::lock_guard lock(m_mutex);
            known = *m_defined.insert(key, m_defined.value(key, zone));
        }
        if (*known)
            return IcalZone::defined(*known, tzid);
        // Refused: perhaps the TZID names a zone all the same.
    }

    // "/mozilla.org/20050126_1/Europe/Berlin", "/freeassociation.sourceforge.net/Europe/Berlin"
    for (qsizetype slash = tzid.indexOf('/'); slash >= 0; slash = tzid.indexOf('/', slash + 1)) {
        if (QTimeZone zone = namedZone(tzid.mid(slash + 1)); zone.isValid())
            return IcalZone::named(zone, tzid);
    }
    QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(tzid);
    if (!iana.isEmpty()) {
        if (QTimeZone zone = namedZone(iana); zone.isValid())
            return IcalZone::named(zone, tzid);
    }
    return {};
}

icalcomponent* makeVTimezone(const QTimeZone& zone, int year) {
    icalcomponent* vtz = icalcomponent_new_vtimezone();
    icalcomponent_add_property(vtz, icalproperty_new_tzid(zone.id().constData()));

    const QDateTime yearStart(QDate(year, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime yearEnd(QDate(year + 1, 1, 1), QTime(0, 0), Qt::UTC);
    const auto transitions = zone.transitions(yearStart, yearEnd);

    if (transitions.size() == 2) {
        for (const auto& tr : transitions) {
            const int before = zone.offsetFromUtc(tr.atUtc.addSecs(-1));
            const QDateTime wall = tr.atUtc.addSecs(before).toUTC();
            const QDate day = wall.date();
            const int n = day.day() + 7 > day.daysInMonth() ? -1 : (day.day() - 1) / 7 + 1;
            const QDate first = nthWeekday(1970, day.month(), day.dayOfWeek(), n);

            icalcomponent* obs =
                tr.daylightTimeOffset > 0 ? icalcomponent_new_xdaylight() : icalcomponent_new_xstandard();
            icaltimetype dtstart = icalWallTime(first, wall.time());
            icalcomponent_add_property(obs, icalproperty_new_dtstart(dtstart));
            const QByteArray rule = QByteArray("FREQ=YEARLY;BYMONTH=") + QByteArray::number(day.month()) +
                                    ";BYDAY=" + QByteArray::number(n) + weekdayCode(day.dayOfWeek());
            icalcomponent_add_property(obs, icalproperty_new_rrule(icalrecurrencetype_from_string(rule)));
            icalcomponent_add_property(obs, icalproperty_new_tzoffsetfrom(before));
            icalcomponent_add_property(obs, icalproperty_new_tzoffsetto(tr.offsetFromUtc));
            if (!tr.abbreviation.isEmpty())
                icalcomponent_add_property(obs,
                                           icalproperty_new_tzname(tr.abbreviation.toUtf8().constData()));
            icalcomponent_add_component(vtz, obs);
        }
        return vtz;
    }

    const QDateTime mid(QDate(year, 7, 1), QTime(0, 0), Qt::UTC);
    const int offset = zone.offsetFromUtc(mid);
    icalcomponent* obs = icalcomponent_new_xstandard();
    icalcomponent_add_property(obs, icalproperty_new_dtstart(icalWallTime(QDate(1970, 1, 1), QTime(0, 0))));
    icalcomponent_add_property(obs, icalproperty_new_tzoffsetfrom(offset));
    icalcomponent_add_property(obs, icalproperty_new_tzoffsetto(offset));
    const QString abbreviation = zone.abbreviation(mid);
    if (!abbreviation.isEmpty())
        icalcomponent_add_property(obs, icalproperty_new_tzname(abbreviation.toUtf8().constData()));
    icalcomponent_add_component(vtz, obs);
    return vtz;
}

ItemTime ItemTime::make(QDate date, QTime time, bool isDate, const IcalZone& zone,
                        const QTimeZone& userZone) {
    ItemTime t;
    t.date = date;
    t.isDate = isDate;
    t.zone = isDate ? IcalZone() : zone;
    t.time = isDate ? QTime(0, 0) : time;
    // A day starts at midnight, or where a gap over midnight ends (which QDate knows); a day the zone
    // skips altogether (Apia's 30 December 2011) where the next one starts.
    if (isDate) {
        bool skipped = false;
        const std::optional<QDateTime> midnight = ZoneOffsets::instant(userZone, date, QTime(0, 0), &skipped);
        t.instant = midnight && !skipped ? *midnight : date.startOfDay(userZone).toUTC();
        if (!t.instant.isValid())
            t.instant = instantIn(userZone, date, QTime(0, 0));
    } else {
        t.instant = t.zone.toInstant(date, t.time, userZone);
    }
    return t;
}

ItemTime ItemTime::at(const QDateTime& instant, const QTimeZone& userZone) const {
    if (isDate)
        return make(instant.toTimeZone(userZone).date(), QTime(0, 0), true, zone, userZone);
    const WallTime wall = zone.toWallClock(instant, userZone);
    ItemTime t = make(wall.date, wall.time, false, zone, userZone);
    // The second time of a repeated hour has no wall clock of its own in the zone: it is kept in UTC.
    if (t.instant.toSecsSinceEpoch() != instant.toSecsSinceEpoch()) {
        const QDateTime utc = instant.toUTC();
        t = make(utc.date(), utc.time(), false, IcalZone::utc(), userZone);
    }
    return t;
}
