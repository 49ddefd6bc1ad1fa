#include "core/calendar/ical/EventSeries.h"

#include "core/calendar/ical/IcalFile.h"

#include <QHash>

#include <algorithm>

namespace {

// A rule that never ends and cannot jump ahead (COUNT) stops here, so that a malformed series cannot
// hang a query.
constexpr int maxIterations = 100000;

LocalParticipant::Status partStat(icalproperty* property) {
    icalparameter* p = icalproperty_get_first_parameter(property, ICAL_PARTSTAT_PARAMETER);
    if (!p)
        return LocalParticipant::Status::unknown;
    switch (icalparameter_get_partstat(p)) {
    case ICAL_PARTSTAT_NEEDSACTION:
        return LocalParticipant::Status::pending;
    case ICAL_PARTSTAT_ACCEPTED:
        return LocalParticipant::Status::accepted;
    case ICAL_PARTSTAT_DECLINED:
        return LocalParticipant::Status::declined;
    case ICAL_PARTSTAT_TENTATIVE:
        return LocalParticipant::Status::tentative;
    case ICAL_PARTSTAT_DELEGATED:
        return LocalParticipant::Status::delegated;
    case ICAL_PARTSTAT_COMPLETED:
        return LocalParticipant::Status::completed;
    case ICAL_PARTSTAT_INPROCESS:
        return LocalParticipant::Status::inProcess;
    default:
        return LocalParticipant::Status::unknown;
    }
}

LocalParticipant participant(icalproperty* property, const char* address) {
    LocalParticipant p;
    p.url = Ical::text(address);
    if (icalparameter* cn = icalproperty_get_first_parameter(property, ICAL_CN_PARAMETER))
        p.name = Ical::text(icalparameter_get_cn(cn));
    p.status = partStat(property);
    if (icalparameter* role = icalproperty_get_first_parameter(property, ICAL_ROLE_PARAMETER))
        p.isChair = icalparameter_get_role(role) == ICAL_ROLE_CHAIR;
    return p;
}

EventLength lengthBetween(const ItemTime& start, const ItemTime& end) {
    EventLength length;
    if (start.isDate)
        length.days = std::max<qint64>(1, start.date.daysTo(end.date));
    else
        length.seconds = std::max<qint64>(0, start.instant.secsTo(end.instant));
    return length;
}

EventLength lengthOf(const icaldurationtype& d, bool allDay) {
    EventLength length;
    if (icaldurationtype_is_bad_duration(d) || d.is_neg)
        return allDay ? EventLength{1, 0} : length;
    length.days = int(d.weeks * 7 + d.days);
    length.seconds = qint64(d.hours) * 3600 + qint64(d.minutes) * 60 + d.seconds;
    if (allDay) {
        // A day-long event cannot end inside a day: round up to whole days.
        length.days = std::max(1, length.days + (length.seconds > 0 ? 1 : 0));
        length.seconds = 0;
    }
    return length;
}

bool validTime(const icaltimetype& t) {
    return !icaltime_is_null_time(t) && QDate::isValid(t.year, t.month, t.day) &&
           (t.is_date || QTime::isValid(t.hour, t.minute, t.second));
}

std::optional<EventComponent> readComponent(icalcomponent* ev, IcalZoneResolver& zones,
                                            icalcomponent* vcalendar, const QTimeZone& userZone) {
    icalproperty* dtstart = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
    if (!dtstart)
        return std::nullopt;
    const icaltimetype startValue = icalproperty_get_dtstart(dtstart);
    if (!validTime(startValue))
        return std::nullopt;

    EventComponent c;
    c.uid = Ical::uid(ev);
    c.start = Ical::readTime(dtstart, startValue, zones, vcalendar, userZone);

    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_DTEND_PROPERTY);
        p && validTime(icalproperty_get_dtend(p))) {
        const ItemTime end = Ical::readTime(p, icalproperty_get_dtend(p), zones, vcalendar, userZone);
        c.length = lengthBetween(c.start, end);
    } else if (icalproperty* d = icalcomponent_get_first_property(ev, ICAL_DURATION_PROPERTY)) {
        c.length = lengthOf(icalproperty_get_duration(d), c.start.isDate);
    } else if (c.start.isDate) {
        c.length.days = 1;
    }

    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype rule = icalproperty_get_rrule(p);
        if (rule.freq == ICAL_NO_RECURRENCE)
            continue;
        rule.rscale = nullptr; // owned by the property; other calendar scales read as Gregorian
        c.rules.push_back(rule);
    }
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
        if (validTime(value.time)) {
            c.rdates.append({Ical::readTime(p, value.time, zones, vcalendar, userZone), std::nullopt});
        } else if (validTime(value.period.start)) {
            EventComponent::RDate rdate{Ical::readTime(p, value.period.start, zones, vcalendar, userZone),
                                        {}};
            if (validTime(value.period.end))
                rdate.length = lengthBetween(rdate.start,
                                             Ical::readTime(p, value.period.end, zones, vcalendar, userZone));
            else
                rdate.length = lengthOf(value.period.duration, rdate.start.isDate);
            c.rdates.append(rdate);
        }
    }
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_EXDATE_PROPERTY)) {
        if (validTime(icalproperty_get_exdate(p)))
            c.exdates.append(Ical::readTime(p, icalproperty_get_exdate(p), zones, vcalendar, userZone));
    }
    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_RECURRENCEID_PROPERTY);
        p && validTime(icalproperty_get_recurrenceid(p)))
        c.recurrenceId = Ical::readTime(p, icalproperty_get_recurrenceid(p), zones, vcalendar, userZone);

    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_SUMMARY_PROPERTY))
        c.summary = Ical::text(icalproperty_get_summary(p));
    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_LOCATION_PROPERTY))
        c.location = Ical::text(icalproperty_get_location(p));
    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_DESCRIPTION_PROPERTY))
        c.description = Ical::text(icalproperty_get_description(p));
    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_URL_PROPERTY))
        c.url = QUrl(Ical::text(icalproperty_get_url(p)));
    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_STATUS_PROPERTY)) {
        switch (icalproperty_get_status(p)) {
        case ICAL_STATUS_TENTATIVE:
            c.status = LocalOccurrence::Status::tentative;
            break;
        case ICAL_STATUS_CONFIRMED:
            c.status = LocalOccurrence::Status::confirmed;
            break;
        case ICAL_STATUS_CANCELLED:
            c.status = LocalOccurrence::Status::cancelled;
            break;
        default:
            break;
        }
    }
    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ORGANIZER_PROPERTY))
        c.organizer = participant(p, icalproperty_get_organizer(p));
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_ATTENDEE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ATTENDEE_PROPERTY))
        c.attendees.append(participant(p, icalproperty_get_attendee(p)));
    if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_LASTMODIFIED_PROPERTY);
        p && validTime(icalproperty_get_lastmodified(p)))
        c.lastModified =
            Ical::readTime(p, icalproperty_get_lastmodified(p), zones, vcalendar, userZone).instant;
    return c;
}

struct IteratorDeleter {
    void operator()(icalrecur_iterator* it) const { icalrecur_iterator_free(it); }
};

} // namespace

QDateTime EventLength::endFrom(const ItemTime& start, const QTimeZone& userZone) const {
    if (start.isDate)
        return start.date.addDays(days).startOfDay(userZone).toUTC().addSecs(seconds);
    if (days == 0)
        return start.instant.addSecs(seconds);
    return start.zone.toInstant(start.date.addDays(days), start.time, userZone).addSecs(seconds);
}

bool sameOccurrence(const ItemTime& a, const ItemTime& b) {
    if (a.isDate || b.isDate)
        return a.date == b.date;
    return a.instant == b.instant;
}

QList<EventSeries> EventSeries::readAll(const IcalFile& file, IcalZoneResolver& zones,
                                        const QTimeZone& userZone) {
    QList<EventSeries> out;
    QHash<QByteArray, qsizetype> byUid;
    for (icalcomponent* ev : file.events()) {
        std::optional<EventComponent> component = readComponent(ev, zones, file.calendar(), userZone);
        if (!component)
            continue;
        qsizetype index = component->uid.isEmpty() ? -1 : byUid.value(component->uid, -1);
        if (index < 0) {
            index = out.size();
            out.append(EventSeries());
            out[index].m_uid = component->uid;
            if (!component->uid.isEmpty())
                byUid.insert(component->uid, index);
        }
        EventSeries& series = out[index];
        if (component->recurrenceId)
            series.m_overrides.append(std::move(*component));
        else if (!series.m_master)
            series.m_master = std::move(*component);
    }
    return out;
}

qint64 EventSeries::longest() const {
    qint64 longest = 0;
    if (m_master) {
        longest = m_master->length.bound();
        for (const auto& rdate : m_master->rdates) {
            if (rdate.length)
                longest = std::max(longest, rdate.length->bound());
        }
    }
    return longest;
}

QList<EventSeries::Start> EventSeries::generate(const QDateTime& from, const QDateTime& to,
                                                const QTimeZone& userZone) const {
    QList<Start> out;
    const EventComponent& m = *m_master;
    auto inRange = [&](const ItemTime& t) { return t.instant >= from && t.instant < to; };

    // DTSTART always belongs to the set, whether or not the rules produce it.
    if (inRange(m.start))
        out.append({m.start, m.length});

    for (const icalrecurrencetype& original : m.rules) {
        icalrecurrencetype rule = original;

        // UNTIL is compared here, in its own form: libical would compare a UTC UNTIL with the
        // zone-less wall clock that the iteration runs on.
        enum class Until { none, date, wallClock, instant } untilKind = Until::none;
        QDateTime untilWall;
        QDateTime untilInstant;
        if (!icaltime_is_null_time(rule.until)) {
            const QDate d(rule.until.year, rule.until.month, rule.until.day);
            const QTime t(rule.until.hour, rule.until.minute, rule.until.second);
            if (rule.until.is_date) {
                untilKind = Until::date;
                untilWall = QDateTime(d, QTime(23, 59, 59), Qt::UTC);
            } else if (icaltime_is_utc(rule.until)) {
                untilKind = Until::instant;
                untilInstant = QDateTime(d, t, Qt::UTC);
            } else {
                untilKind = Until::wallClock;
                untilWall = QDateTime(d, t, Qt::UTC);
            }
            rule.until = icaltime_null_time();
        }

        // Iterate over the wall clock of DTSTART's zone so that instances keep their local hour
        // across daylight-saving changes.
        const icaltimetype dtstart = icalWallTime(m.start.date, m.start.time, m.start.isDate);
        std::unique_ptr<icalrecur_iterator, IteratorDeleter> it(icalrecur_iterator_new(rule, dtstart));
        if (!it)
            continue;
        if (rule.count == 0) {
            // Jump close to the range instead of walking from DTSTART (years of daily instances).
            // Two days of slack cover any zone offset.
            const QDateTime jump = from.toUTC().addDays(-2);
            const QDateTime startWall(m.start.date, m.start.time, Qt::UTC);
            if (jump > startWall)
                icalrecur_iterator_set_start(it.get(),
                                             icalWallTime(jump.date(), jump.time(), m.start.isDate));
        }
        for (int n = 0; n < maxIterations; ++n) {
            const icaltimetype next = icalrecur_iterator_next(it.get());
            if (icaltime_is_null_time(next))
                break;
            const QDate date(next.year, next.month, next.day);
            const QTime time(next.hour, next.minute, next.second);
            const QDateTime wall(date, m.start.isDate ? QTime(0, 0) : time, Qt::UTC);
            if ((untilKind == Until::date || untilKind == Until::wallClock) && wall > untilWall)
                break;
            const ItemTime instance = ItemTime::make(date, time, m.start.isDate, m.start.zone, userZone);
            if (untilKind == Until::instant && instance.instant > untilInstant)
                break;
            if (instance.instant >= to)
                break;
            if (instance.instant >= from)
                out.append({instance, m.length});
        }
    }

    for (const auto& rdate : m.rdates) {
        if (inRange(rdate.start))
            out.append({rdate.start, rdate.length.value_or(m.length)});
    }

    std::stable_sort(out.begin(), out.end(),
                     [](const Start& a, const Start& b) { return a.time.instant < b.time.instant; });
    out.erase(std::unique(out.begin(), out.end(),
                          [](const Start& a, const Start& b) { return a.time.instant == b.time.instant; }),
              out.end());
    return out;
}

bool EventSeries::excluded(const ItemTime& start) const {
    if (!m_master)
        return false;
    return std::any_of(m_master->exdates.begin(), m_master->exdates.end(),
                       [&](const ItemTime& ex) { return sameOccurrence(start, ex); });
}

const EventComponent* EventSeries::overrideFor(const ItemTime& start) const {
    for (const EventComponent& o : m_overrides) {
        if (sameOccurrence(*o.recurrenceId, start))
            return &o;
    }
    return nullptr;
}

SeriesInstance EventSeries::instanceOf(const EventComponent& component, bool detached,
                                       const QTimeZone& userZone) const {
    SeriesInstance i;
    i.component = &component;
    i.originalStart = component.recurrenceId.value_or(component.start);
    i.start = component.start.instant;
    i.end = component.length.endFrom(component.start, userZone);
    i.isDetached = detached;
    return i;
}

QList<SeriesInstance> EventSeries::instances(const QDateTime& from, const QDateTime& to,
                                             const QTimeZone& userZone) const {
    QList<SeriesInstance> out;
    auto overlaps = [&](const QDateTime& start, const QDateTime& end) {
        return start == end ? start >= from && start < to : start < to && end > from;
    };
    if (m_master) {
        if (m_master->repeats()) {
            for (const Start& s : generate(from.addSecs(-longest()), to, userZone)) {
                if (excluded(s.time) || overrideFor(s.time))
                    continue;
                const QDateTime end = s.length.endFrom(s.time, userZone);
                if (overlaps(s.time.instant, end))
                    out.append({&*m_master, s.time, s.time.instant, end, false});
            }
        } else if (!overrideFor(m_master->start)) {
            SeriesInstance single = instanceOf(*m_master, false, userZone);
            if (overlaps(single.start, single.end))
                out.append(single);
        }
    }
    for (const EventComponent& o : m_overrides) {
        if (excluded(*o.recurrenceId))
            continue;
        SeriesInstance i = instanceOf(o, true, userZone);
        if (overlaps(i.start, i.end))
            out.append(i);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const SeriesInstance& a, const SeriesInstance& b) { return a.start < b.start; });
    return out;
}

std::optional<SeriesInstance> EventSeries::instanceAt(const QDateTime& occurrenceDate,
                                                      const QTimeZone& userZone) const {
    if (m_master && !m_master->repeats() && !overrideFor(m_master->start))
        return instanceOf(*m_master, false, userZone);
    for (const EventComponent& o : m_overrides) {
        if (o.recurrenceId->instant == occurrenceDate) {
            if (excluded(*o.recurrenceId))
                return std::nullopt;
            return instanceOf(o, true, userZone);
        }
    }
    if (!repeats())
        return std::nullopt;
    for (const Start& s : generate(occurrenceDate, occurrenceDate.addSecs(1), userZone)) {
        if (s.time.instant == occurrenceDate && !excluded(s.time))
            return SeriesInstance{&*m_master, s.time, s.time.instant, s.length.endFrom(s.time, userZone),
                                  false};
    }
    return std::nullopt;
}
