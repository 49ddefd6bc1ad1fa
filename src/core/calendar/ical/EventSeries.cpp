#include "core/calendar/ical/EventSeries.h"

#include "core/calendar/ical/IcalFile.h"

#include <QHash>

#include <algorithm>

namespace {

// An item of thousands of broken rules is told about once, not thousands of times.
constexpr qsizetype maxNotes = 20;
// libical reads at most this many values of one property line and drops the rest without a word.
constexpr qsizetype valuesPerLine = 500;

// Whether an RDATE line of the item's text lists more values than libical reads.
bool rdateValuesCut(const QByteArray& text) {
    qsizetype values = 0;
    bool atLineStart = true, inRdate = false, inValue = false, quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            // A line break followed by a blank continues the line (folding).
            const qsizetype next = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
            if (next < text.size() && (text[next] == ' ' || text[next] == '\t')) {
                i = next;
                continue;
            }
            atLineStart = true;
            inRdate = inValue = quoted = false;
            continue;
        }
        if (atLineStart) {
            atLineStart = false;
            inRdate = text.mid(i, 6).toUpper() == "RDATE:" || text.mid(i, 6).toUpper() == "RDATE;";
            values = 1;
        }
        if (!inRdate)
            continue;
        if (!inValue) {
            if (c == '"')
                quoted = !quoted;
            else if (c == ':' && !quoted)
                inValue = true;
        } else if (c == ',' && ++values > valuesPerLine) {
            return true;
        }
    }
    return false;
}

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
    if (start.isDate)
        return EventLength::clamped(std::max<qint64>(1, start.date.daysTo(end.date)), 0);
    return EventLength::clamped(0, std::max<qint64>(0, start.instant.secsTo(end.instant)));
}

EventLength lengthOf(const icaldurationtype& d, bool allDay) {
    if (icaldurationtype_is_bad_duration(d) || d.is_neg)
        return allDay ? EventLength{1, 0} : EventLength{};
    // The fields are unsigned and as large as the text claims: add them up wide.
    const qint64 days = qint64(d.weeks) * 7 + qint64(d.days);
    const qint64 seconds = qint64(d.hours) * 3600 + qint64(d.minutes) * 60 + qint64(d.seconds);
    if (allDay) {
        // A day-long event cannot end inside a day: round up to whole days.
        return EventLength::clamped(std::max<qint64>(1, days + (seconds + 86399) / 86400), 0);
    }
    return EventLength::clamped(days, seconds);
}

bool validTime(const icaltimetype& t) {
    return !icaltime_is_null_time(t) && QDate::isValid(t.year, t.month, t.day) &&
           (t.is_date || QTime::isValid(t.hour, t.minute, t.second));
}

std::optional<EventComponent> readComponent(icalcomponent* ev, IcalZoneResolver& zones,
                                            icalcomponent* vcalendar, const QTimeZone& userZone,
                                            ExpansionBudget& budget, QStringList* notes) {
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
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        if (rule.freq == ICAL_NO_RECURRENCE)
            continue;
        QString reason;
        if (std::optional<RecurrenceRule> checked = RecurrenceRule::make(rule, c.start, budget, &reason)) {
            c.rules.append(std::move(*checked));
        } else {
            c.refused.append(reason);
            if (notes && notes->size() < maxNotes)
                notes->append(QStringLiteral("RRULE:%1 of %2 refused (%3): shown without it, read-only")
                                  .arg(QString::fromUtf8(icalrecurrencetype_as_string(
                                           const_cast<icalrecurrencetype*>(&rule))),
                                       QString::fromUtf8(c.uid), reason));
        }
        if (budget.exhausted())
            return std::nullopt;
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

} // namespace

EventLength EventLength::clamped(qint64 days, qint64 seconds) {
    days = std::clamp<qint64>(days, 0, longestDays);
    return EventLength{int(days), std::clamp<qint64>(seconds, 0, (longestDays - days) * 86400)};
}

QDateTime EventLength::endFrom(const ItemTime& start, const QTimeZone& userZone) const {
    if (start.isDate)
        return ItemTime::make(start.date.addDays(days), QTime(0, 0), true, {}, userZone)
            .instant.addSecs(seconds);
    if (days == 0)
        return start.instant.addSecs(seconds);
    // A zone an item defines may step its clock back by more than the days the event lasts: it never
    // ends before it starts.
    return std::max(start.instant,
                    start.zone.toInstant(start.date.addDays(days), start.time, userZone).addSecs(seconds));
}

bool sameOccurrence(const ItemTime& a, const ItemTime& b) {
    if (a.isDate || b.isDate)
        return a.date == b.date;
    return a.instant == b.instant;
}

QList<EventSeries> EventSeries::readAll(const IcalFile& file, IcalZoneResolver& zones,
                                        const QTimeZone& userZone, ExpansionBudget& budget,
                                        QStringList* notes) {
    QList<EventSeries> out;
    QHash<QByteArray, qsizetype> byUid;
    bool rdatesLooked = false;
    for (icalcomponent* ev : file.events()) {
        if (!budget.spend())
            break;
        // A cut line leaves its event with exactly as many RDATEs as libical reads, or more: only
        // then is the text worth a look.
        if (notes && !rdatesLooked &&
            icalcomponent_count_properties(ev, ICAL_RDATE_PROPERTY) >= valuesPerLine) {
            rdatesLooked = true;
            if (rdateValuesCut(file.text()))
                notes->append(
                    QStringLiteral("an RDATE line lists more than %1 dates, and libical read only the "
                                   "first %1 of them")
                        .arg(valuesPerLine));
        }
        std::optional<EventComponent> component =
            readComponent(ev, zones, file.calendar(), userZone, budget, notes);
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
    for (EventSeries& series : out)
        series.index();
    return out;
}

QList<EventSeries> EventSeries::readAll(const IcalFile& file, IcalZoneResolver& zones,
                                        const QTimeZone& userZone) {
    ExpansionBudget budget;
    return readAll(file, zones, userZone, budget);
}

void EventSeries::DateIndex::add(const ItemTime& time, qsizetype index) {
    if (time.isDate)
        m_byDate.insert(time.date.toJulianDay(), index);
    else
        m_byInstant.insert(time.instant.toMSecsSinceEpoch(), index);
    m_anyByDate.insert(time.date.toJulianDay(), index);
}

qsizetype EventSeries::DateIndex::find(const ItemTime& time) const {
    // A date names every instance on that day; a date-time only its own instant.
    const qint64 day = time.date.toJulianDay();
    if (time.isDate)
        return m_anyByDate.value(day, -1);
    const qsizetype exact = m_byInstant.value(time.instant.toMSecsSinceEpoch(), -1);
    const qsizetype onDay = m_byDate.value(day, -1);
    if (exact < 0 || onDay < 0)
        return std::max(exact, onDay);
    return std::min(exact, onDay);
}

void EventSeries::index() {
    // Added from the back, so that of equal keys the first one stays, as a search from the front
    // would find it.
    for (qsizetype i = m_overrides.size() - 1; i >= 0; --i)
        m_overrideIndex.add(*m_overrides[i].recurrenceId, i);
    if (m_master) {
        for (qsizetype i = m_master->exdates.size() - 1; i >= 0; --i)
            m_exdateIndex.add(m_master->exdates[i], i);
    }
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
                                                const QTimeZone& userZone, ExpansionBudget& budget) const {
    QList<Start> out;
    const EventComponent& m = *m_master;
    auto inRange = [&](const ItemTime& t) { return t.instant >= from && t.instant < to; };

    // DTSTART always belongs to the set, whether or not the rules produce it.
    if (inRange(m.start))
        out.append({m.start, m.length});

    QList<ItemTime> starts;
    for (const RecurrenceRule& rule : m.rules) {
        rule.startsIn(m.start, from, to, userZone, budget, starts);
        if (budget.exhausted())
            return out;
    }
    for (const ItemTime& start : starts)
        out.append({start, m.length});

    for (const auto& rdate : m.rdates) {
        if (!budget.spend())
            return out;
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
    return m_exdateIndex.find(start) >= 0;
}

const EventComponent* EventSeries::overrideFor(const ItemTime& start) const {
    const qsizetype i = m_overrideIndex.find(start);
    return i < 0 ? nullptr : &m_overrides[i];
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
                                             const QTimeZone& userZone, ExpansionBudget& budget) const {
    QList<SeriesInstance> out;
    auto overlaps = [&](const QDateTime& start, const QDateTime& end) {
        return overlapsRange(start, end, from, to);
    };
    if (m_master) {
        if (m_master->repeats()) {
            for (const Start& s : generate(from.addSecs(-longest()), to, userZone, budget)) {
                if (!budget.spend())
                    break;
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
        if (!budget.spend())
            break;
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

QList<SeriesInstance> EventSeries::instances(const QDateTime& from, const QDateTime& to,
                                             const QTimeZone& userZone) const {
    ExpansionBudget budget;
    return instances(from, to, userZone, budget);
}

std::optional<SeriesInstance> EventSeries::instanceAt(const QDateTime& occurrenceDate,
                                                      const QTimeZone& userZone,
                                                      ExpansionBudget& budget) const {
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
    for (const Start& s : generate(occurrenceDate, occurrenceDate.addSecs(1), userZone, budget)) {
        if (s.time.instant == occurrenceDate && !excluded(s.time))
            return SeriesInstance{&*m_master, s.time, s.time.instant, s.length.endFrom(s.time, userZone),
                                  false};
    }
    return std::nullopt;
}

std::optional<SeriesInstance> EventSeries::instanceAt(const QDateTime& occurrenceDate,
                                                      const QTimeZone& userZone) const {
    ExpansionBudget budget;
    return instanceAt(occurrenceDate, userZone, budget);
}
