#include "core/calendar/ical/IcalZone.h"

namespace {

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
    icaltimezone_set_component(m_zone, icalcomponent_new_clone(vtimezone));
}

DefinedZone::~DefinedZone() {
    icaltimezone_free(m_zone, 1);
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
        return QDateTime(date, time, m_named).toUTC();
    case Kind::defined: {
        time_t t = icaltime_as_timet_with_zone(icalWallTime(date, time), m_defined->zone());
        return QDateTime::fromSecsSinceEpoch(qint64(t), Qt::UTC);
    }
    case Kind::floating:
        break;
    }
    return QDateTime(date, time, userZone).toUTC();
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
    case Kind::defined: {
        icaltimetype t = icaltime_from_timet_with_zone(time_t(instant.toSecsSinceEpoch()), 0,
                                                       icaltimezone_get_utc_timezone());
        icaltimezone_convert_time(&t, icaltimezone_get_utc_timezone(), m_defined->zone());
        return {QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second)};
    }
    case Kind::floating:
        local = instant.toTimeZone(userZone);
        break;
    }
    return {local.date(), local.time()};
}

QTimeZone IcalZoneResolver::namedZone(const QByteArray& id) {
    auto it = m_named.constFind(id);
    if (it != m_named.constEnd())
        return *it;
    QTimeZone zone;
    if (QTimeZone::isTimeZoneIdAvailable(id))
        zone = QTimeZone(id);
    m_named.insert(id, zone);
    return zone;
}

IcalZone IcalZoneResolver::resolve(const QByteArray& tzid, icalcomponent* vcalendar) {
    if (tzid.isEmpty())
        return {};
    if (QTimeZone zone = namedZone(tzid); zone.isValid())
        return IcalZone::named(zone, tzid);

    if (vcalendar) {
        for (icalcomponent* vtz = icalcomponent_get_first_component(vcalendar, ICAL_VTIMEZONE_COMPONENT); vtz;
             vtz = icalcomponent_get_next_component(vcalendar, ICAL_VTIMEZONE_COMPONENT)) {
            icalproperty* idProp = icalcomponent_get_first_property(vtz, ICAL_TZID_PROPERTY);
            if (!idProp || tzid != icalproperty_get_tzid(idProp))
                continue;
            char* text = icalcomponent_as_ical_string_r(vtz);
            QByteArray key(text);
            icalmemory_free_buffer(text);
            auto& shared = m_defined[key];
            if (!shared)
                shared = std::make_shared<const DefinedZone>(vtz);
            return IcalZone::defined(shared, tzid);
        }
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
    t.instant = isDate ? date.startOfDay(userZone).toUTC() : t.zone.toInstant(date, t.time, userZone);
    return t;
}

ItemTime ItemTime::at(const QDateTime& instant, const QTimeZone& userZone) const {
    if (isDate)
        return make(instant.toTimeZone(userZone).date(), QTime(0, 0), true, zone, userZone);
    WallTime wall = zone.toWallClock(instant, userZone);
    return make(wall.date, wall.time, false, zone, userZone);
}
