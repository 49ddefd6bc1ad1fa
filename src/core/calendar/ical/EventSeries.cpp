#include "core/calendar/ical/EventSeries.h"

#include "core/calendar/ItemPatch.h"
#include "core/calendar/ical/IcalFile.h"

#include <QHash>

#include <algorithm>

namespace {

// An item of thousands of broken rules is told about once, not thousands of times.
constexpr qsizetype maxNotes = 20;
// libical reads at most this many values of one property line and drops the rest without a word.
constexpr qsizetype valuesPerLine = 500;

// The item's own text as content lines, looked at only for an event that libical may not have read
// in full: one where it left an error, or one with hundreds of dates.
class ItemText {
public:
    ItemText(const IcalFile& file, qsizetype events)
        : m_file(file)
        , m_events(events) {}

    // The text of the event libical read as its index-th one; absent when the two do not match.
    std::optional<ItemPatch::Component> event(qsizetype index, icalcomponent* ev) {
        if (!m_read) {
            m_read = true;
            m_patch = ItemPatch::read(m_file.text());
            if (m_patch)
                m_components = m_patch->components("VEVENT");
        }
        if (!m_patch || m_components.size() != m_events || index >= m_components.size())
            return std::nullopt;
        // UIDs compared without their escapes, which libical takes out.
        const QByteArray uid = m_patch->value(m_components[index], "UID").value_or(QByteArray()).trimmed();
        if (QByteArray(uid).replace('\\', "") != Ical::uid(ev).replace('\\', ""))
            return std::nullopt;
        return m_components[index];
    }
    const ItemPatch& patch() const { return *m_patch; }

private:
    const IcalFile& m_file;
    qsizetype m_events;
    bool m_read = false;
    std::optional<ItemPatch> m_patch;
    QList<ItemPatch::Component> m_components;
};

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

// Whether libical reads the text as a rule.
bool readsAsRule(const QByteArray& value) {
    icalrecurrencetype rule = icalrecurrencetype_from_string(value.constData());
    const bool read = rule.freq != ICAL_NO_RECURRENCE;
    if (rule.rscale)
        icalmemory_free_buffer(rule.rscale);
    return read;
}

// Reads the EXDATE and RDATE values of `holder` into the component; gives how many could not be read.
qsizetype readDates(icalcomponent* holder, IcalZoneResolver& zones, icalcomponent* vcalendar,
                    const QTimeZone& userZone, EventComponent& c) {
    qsizetype unread = 0;
    for (icalproperty* p = icalcomponent_get_first_property(holder, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(holder, ICAL_RDATE_PROPERTY)) {
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
        } else {
            ++unread;
        }
    }
    for (icalproperty* p = icalcomponent_get_first_property(holder, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(holder, ICAL_EXDATE_PROPERTY)) {
        if (validTime(icalproperty_get_exdate(p)))
            c.exdates.append(Ical::readTime(p, icalproperty_get_exdate(p), zones, vcalendar, userZone));
        else
            ++unread;
    }
    return unread;
}

// Reads every EXDATE and RDATE value the event's text lists, each on a line of its own (libical
// reads only the first 500 values of a line); gives how many could not be read.
qsizetype datesFromText(const ItemPatch& patch, ItemPatch::Component event, IcalZoneResolver& zones,
                        icalcomponent* vcalendar, const QTimeZone& userZone, EventComponent& c) {
    QByteArray lines = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n";
    for (const char* name : {"EXDATE", "RDATE"}) {
        for (const auto& [head, value] : patch.properties(event, name)) {
            for (const QByteArray& one : value.split(','))
                lines += head + ':' + one.trimmed() + "\r\n";
        }
    }
    lines += "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const IcalComponentPtr root(icalparser_parse_string(lines.constData()));
    icalcomponent* holder =
        root ? icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT) : nullptr;
    if (!holder)
        return 1;
    // A value libical cannot parse leaves an error in its place.
    return readDates(holder, zones, vcalendar, userZone, c) +
           icalcomponent_count_properties(holder, ICAL_XLICERROR_PROPERTY);
}

std::optional<EventComponent> readComponent(icalcomponent* ev, qsizetype index, ItemText& text,
                                            IcalZoneResolver& zones, icalcomponent* vcalendar,
                                            const QTimeZone& userZone, ExpansionBudget& budget,
                                            QStringList* notes) {
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

    // libical drops a rule it cannot parse and leaves an X-LIC-ERROR in its place.
    const bool libicalErred = icalcomponent_get_first_property(ev, ICAL_XLICERROR_PROPERTY);
    std::optional<ItemPatch::Component> own;
    if (libicalErred)
        own = text.event(index, ev);
    auto refuse = [&](const QString& reason, const QString& note) {
        c.refused.append(reason);
        if (notes && notes->size() < maxNotes)
            notes->append(note);
    };
    qsizetype rulesRead = 0;
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_RRULE_PROPERTY)) {
        ++rulesRead;
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        QString reason;
        if (std::optional<RecurrenceRule> checked = RecurrenceRule::make(rule, c.start, budget, &reason))
            c.rules.append(std::move(*checked));
        else
            refuse(reason, QStringLiteral("RRULE:%1 of %2 refused (%3): shown without it, read-only")
                               .arg(QString::fromUtf8(
                                        icalrecurrencetype_as_string(const_cast<icalrecurrencetype*>(&rule))),
                                    QString::fromUtf8(c.uid), reason));
        if (budget.exhausted())
            return std::nullopt;
    }
    if (libicalErred) {
        const QList<std::pair<QByteArray, QByteArray>> written =
            own ? text.patch().properties(*own, "RRULE") : QList<std::pair<QByteArray, QByteArray>>();
        qsizetype named = 0;
        for (const auto& [head, value] : written) {
            if (!readsAsRule(value)) {
                ++named;
                refuse(QStringLiteral("a rule libical cannot read"),
                       QStringLiteral("RRULE:%1 of %2 cannot be read: shown without it, read-only")
                           .arg(QString::fromUtf8(value), QString::fromUtf8(c.uid)));
            }
        }
        if (written.size() > rulesRead + named)
            refuse(QStringLiteral("a rule libical cannot read"),
                   QStringLiteral("an RRULE of %1 cannot be read: shown without it, read-only")
                       .arg(QString::fromUtf8(c.uid)));
        // Its text could not be matched: a rule may be missing.
        if (!own)
            refuse(
                QStringLiteral("parts libical cannot read"),
                QStringLiteral("%1 has parts libical cannot read: read-only").arg(QString::fromUtf8(c.uid)));
    }

    // An error may have cost dates, and a line of more than 500 values always does: the dates are
    // then read from the text, one value at a time, instead of from what libical kept.
    const bool fromText = libicalErred || icalcomponent_count_properties(ev, ICAL_RDATE_PROPERTY) +
                                                  icalcomponent_count_properties(ev, ICAL_EXDATE_PROPERTY) >=
                                              valuesPerLine;
    if (fromText && !own)
        own = text.event(index, ev);
    qsizetype unread = 0;
    if (fromText && own) {
        unread = datesFromText(text.patch(), *own, zones, vcalendar, userZone, c);
    } else {
        unread = readDates(ev, zones, vcalendar, userZone, c);
        // A line may have been cut, and the text cannot tell.
        if (fromText && !libicalErred)
            unread = std::max<qsizetype>(unread, 1);
    }
    if (unread > 0) {
        // Without all of its exceptions the series could show an occurrence that was deleted.
        c.rules.clear();
        c.rdates.clear();
        refuse(QStringLiteral("dates libical cannot read"),
               QStringLiteral("%1 of the EXDATE and RDATE values of %2 cannot be read: shown as its first "
                              "occurrence, read-only")
                   .arg(unread)
                   .arg(QString::fromUtf8(c.uid)));
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
    const QList<icalcomponent*> events = file.events();
    ItemText text(file, events.size());
    for (qsizetype i = 0; i < events.size(); ++i) {
        if (!budget.spend())
            break;
        std::optional<EventComponent> component =
            readComponent(events[i], i, text, zones, file.calendar(), userZone, budget, notes);
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
