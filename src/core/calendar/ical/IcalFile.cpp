#include "core/calendar/ical/IcalFile.h"

namespace {

void configureLibical() {
    static const bool done = [] {
        icalerror_set_errors_are_fatal(0);
        // libical makes its UTC zone on first use, unguarded: make it here, once, before the
        // reading threads use it side by side.
        icaltimezone_get_utc_timezone();
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
    file.m_text = text;
    file.m_partial = partial;
    return file;
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

} // namespace Ical
