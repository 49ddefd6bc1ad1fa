#include "core/calendar/ical/IcalFile.h"

namespace {

icaltimetype utcTime(const QDateTime& instant) {
    const QDateTime t = instant.toUTC();
    icaltimetype v = icalWallTime(t.date(), t.time());
    v.zone = icaltimezone_get_utc_timezone();
    return v;
}

void configureLibical() {
    static const bool done = [] {
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

IcalFile::IcalFile(IcalComponentPtr root)
    : m_root(std::move(root)) {}

std::optional<IcalFile> IcalFile::parse(const QByteArray& text, QString* error) {
    configureLibical();
    IcalComponentPtr root(icalparser_parse_string(text.constData()));
    if (!root) {
        if (error)
            *error = QStringLiteral("no iCalendar object");
        return std::nullopt;
    }
    bool partial = false;
    if (icalcomponent_isa(root.get()) == ICAL_XROOT_COMPONENT) {
        // Several top-level objects: read the first calendar, and never write the item back, since
        // that would drop the others.
        icalcomponent* first = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
        if (!first) {
            if (error)
                *error = QStringLiteral("no VCALENDAR");
            return std::nullopt;
        }
        partial = icalcomponent_count_components(root.get(), ICAL_ANY_COMPONENT) > 1;
        icalcomponent_remove_component(root.get(), first);
        root.reset(first);
    }
    if (icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT) {
        if (error)
            *error = QStringLiteral("no VCALENDAR");
        return std::nullopt;
    }
    IcalFile file(std::move(root));
    file.m_partial = partial;
    return file;
}

IcalFile IcalFile::create() {
    configureLibical();
    IcalComponentPtr root(icalcomponent_new_vcalendar());
    icalcomponent_add_property(root.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(root.get(), icalproperty_new_prodid("-//Vorrindel//Vorrindel//EN"));
    return IcalFile(std::move(root));
}

QByteArray IcalFile::serialize() const {
    char* text = icalcomponent_as_ical_string_r(m_root.get());
    QByteArray out(text);
    icalmemory_free_buffer(text);
    return out;
}

bool IcalFile::hasErrors() const {
    return m_partial || icalcomponent_count_errors(m_root.get()) > 0;
}

QList<icalcomponent*> IcalFile::events() const {
    QList<icalcomponent*> out;
    for (icalcomponent* c = icalcomponent_get_first_component(m_root.get(), ICAL_VEVENT_COMPONENT); c;
         c = icalcomponent_get_next_component(m_root.get(), ICAL_VEVENT_COMPONENT))
        out.append(c);
    return out;
}

QList<icalcomponent*> IcalFile::events(const QByteArray& uid) const {
    QList<icalcomponent*> out;
    for (icalcomponent* c : events()) {
        if (Ical::uid(c) == uid)
            out.append(c);
    }
    return out;
}

int IcalFile::itemCount() const {
    int count = 0;
    for (icalcomponent* c = icalcomponent_get_first_component(m_root.get(), ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(m_root.get(), ICAL_ANY_COMPONENT)) {
        if (icalcomponent_isa(c) != ICAL_VTIMEZONE_COMPONENT)
            ++count;
    }
    return count;
}

void IcalFile::remove(icalcomponent* component) {
    icalcomponent_remove_component(m_root.get(), component);
    icalcomponent_free(component);
}

void IcalFile::ensureTimezone(const QTimeZone& zone, int year) {
    const QByteArray id = zone.id();
    for (icalcomponent* c = icalcomponent_get_first_component(m_root.get(), ICAL_VTIMEZONE_COMPONENT); c;
         c = icalcomponent_get_next_component(m_root.get(), ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* p = icalcomponent_get_first_property(c, ICAL_TZID_PROPERTY);
        if (p && id == icalproperty_get_tzid(p))
            return;
    }
    // Time zones go before the events, as most writers order them.
    icalcomponent* vtz = makeVTimezone(zone, year);
    icalcomponent* firstEvent = icalcomponent_get_first_component(m_root.get(), ICAL_ANY_COMPONENT);
    if (!firstEvent) {
        icalcomponent_add_component(m_root.get(), vtz);
        return;
    }
    // libical appends only; move the other components behind the new zone.
    QList<icalcomponent*> others;
    for (icalcomponent* c = firstEvent; c;
         c = icalcomponent_get_next_component(m_root.get(), ICAL_ANY_COMPONENT))
        others.append(c);
    for (icalcomponent* c : others)
        icalcomponent_remove_component(m_root.get(), c);
    icalcomponent_add_component(m_root.get(), vtz);
    for (icalcomponent* c : others)
        icalcomponent_add_component(m_root.get(), c);
}

namespace Ical {

QByteArray uid(icalcomponent* event) {
    const char* value = icalcomponent_get_uid(event);
    return value ? QByteArray(value) : QByteArray();
}

QString text(const char* value) {
    return value ? QString::fromUtf8(value) : QString();
}

ItemTime readTime(icalproperty* property, icaltimetype value, IcalZoneResolver& zones,
                  icalcomponent* vcalendar, const QTimeZone& userZone) {
    const QDate date(value.year, value.month, value.day);
    const QTime time(value.hour, value.minute, value.second);
    IcalZone zone;
    if (icaltime_is_utc(value)) {
        zone = IcalZone::utc();
    } else if (icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER)) {
        zone = zones.resolve(QByteArray(icalparameter_get_tzid(tzid)), vcalendar);
    }
    return ItemTime::make(date, time, value.is_date != 0, zone, userZone);
}

icalproperty* timeProperty(icalproperty_kind kind, const ItemTime& time) {
    icaltimetype v = icalWallTime(time.date, time.time, time.isDate);
    if (!time.isDate && time.zone.kind() == IcalZone::Kind::utc)
        v.zone = icaltimezone_get_utc_timezone();
    icalproperty* p = icalproperty_new(kind);
    switch (kind) {
    case ICAL_DTSTART_PROPERTY:
        icalproperty_set_dtstart(p, v);
        break;
    case ICAL_DTEND_PROPERTY:
        icalproperty_set_dtend(p, v);
        break;
    case ICAL_RECURRENCEID_PROPERTY:
        icalproperty_set_recurrenceid(p, v);
        break;
    case ICAL_EXDATE_PROPERTY:
        icalproperty_set_exdate(p, v);
        break;
    default:
        Q_ASSERT_X(false, "Ical::timeProperty", "not a time property");
        break;
    }
    if (!time.isDate && !time.zone.tzid().isEmpty())
        icalproperty_add_parameter(p, icalparameter_new_tzid(time.zone.tzid().constData()));
    return p;
}

void removeProperties(icalcomponent* component, icalproperty_kind kind) {
    while (icalproperty* p = icalcomponent_get_first_property(component, kind)) {
        icalcomponent_remove_property(component, p);
        icalproperty_free(p);
    }
}

void replaceProperty(icalcomponent* component, icalproperty* property) {
    removeProperties(component, icalproperty_isa(property));
    icalcomponent_add_property(component, property);
}

void touch(icalcomponent* event, const QDateTime& now) {
    int sequence = 0;
    if (icalproperty* p = icalcomponent_get_first_property(event, ICAL_SEQUENCE_PROPERTY))
        sequence = icalproperty_get_sequence(p);
    replaceProperty(event, icalproperty_new_sequence(sequence + 1));
    replaceProperty(event, icalproperty_new_dtstamp(utcTime(now)));
    replaceProperty(event, icalproperty_new_lastmodified(utcTime(now)));
}

} // namespace Ical
