// Writing the items: one occurrence at a time, atomically, after reading the item again.
#include "core/calendar/LocalCalendarsPrivate.h"

#include "core/calendar/CalendarFileError.h"

#include <QFileInfo>
#include <QUuid>

#include <algorithm>

namespace {

// Writes retry this often when another program keeps changing the same item.
constexpr int writeAttempts = 3;
const QString keepsChanging = QStringLiteral("The calendar file keeps changing; try again in a moment.");

icalcomponent* findComponent(const IcalFile& file, const QByteArray& uid,
                             const std::optional<ItemTime>& recurrenceId, IcalZoneResolver& zones,
                             const QTimeZone& userZone) {
    for (icalcomponent* c : file.events(uid)) {
        icalproperty* p = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        if (!recurrenceId && !p)
            return c;
        if (recurrenceId && p &&
            sameOccurrence(*recurrenceId, Ical::readTime(p, icalproperty_get_recurrenceid(p), zones,
                                                         file.calendar(), userZone)))
            return c;
    }
    return nullptr;
}

} // namespace

ItemTime LocalCalendars::Private::slotTime(const QDateTime& instant, bool allDay, QDate* day,
                                           IcalFile& file) const {
    const QTimeZone& zone = options.zone;
    if (allDay) {
        *day = instant.toTimeZone(zone).date();
        return ItemTime::make(*day, {}, true, {}, zone);
    }
    const QDateTime local = instant.toTimeZone(zone);
    // A timed slot always carries a zone, never floating: the user's zone when other programs
    // can know it by name, else UTC.
    const bool utcAnyway =
        (zone.offsetFromUtc(local) == 0 && zone.daylightTimeOffset(local) == 0 && !zone.hasDaylightTime()) ||
        !QTimeZone::isTimeZoneIdAvailable(zone.id());
    if (utcAnyway)
        return ItemTime::make(instant.toUTC().date(), instant.toUTC().time(), false, IcalZone::utc(), zone);
    file.ensureTimezone(zone, local.date().year());
    return ItemTime::make(local.date(), local.time(), false, IcalZone::named(zone, zone.id()), zone);
}

void LocalCalendars::Private::writeSlot(icalcomponent* event, const Slot& slot, IcalFile& file) const {
    Ical::removeProperties(event, ICAL_DURATION_PROPERTY);
    QDate startDay;
    const ItemTime start = slotTime(slot.start, slot.isAllDay, &startDay, file);
    Ical::replaceProperty(event, Ical::timeProperty(ICAL_DTSTART_PROPERTY, start));
    ItemTime end;
    if (slot.isAllDay) {
        // The day after the last day touched, so both "next midnight" and "23:59:59" ends work.
        QDate lastDay = slot.end.addSecs(-1).toTimeZone(options.zone).date();
        if (lastDay < startDay)
            lastDay = startDay;
        end = ItemTime::make(lastDay.addDays(1), {}, true, {}, options.zone);
    } else {
        QDate unused;
        end = slotTime(std::max(slot.end, slot.start), false, &unused, file);
    }
    Ical::replaceProperty(event, Ical::timeProperty(ICAL_DTEND_PROPERTY, end));
}

icalcomponent* LocalCalendars::Private::makeOverride(IcalFile& file, icalcomponent* master,
                                                     const SeriesInstance& instance) const {
    icalcomponent* o = icalcomponent_new_clone(master);
    for (icalproperty_kind kind : {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY,
                                   ICAL_EXRULE_PROPERTY, ICAL_DURATION_PROPERTY, ICAL_DTEND_PROPERTY})
        Ical::removeProperties(o, kind);
    // RECURRENCE-ID keeps the form of the master's DTSTART (date or zone), as the standard asks.
    const ItemTime& original = instance.originalStart;
    icalcomponent_add_property(o, Ical::timeProperty(ICAL_RECURRENCEID_PROPERTY, original));
    Ical::replaceProperty(o, Ical::timeProperty(ICAL_DTSTART_PROPERTY, original));
    const ItemTime end = original.isDate ? ItemTime::make(instance.end.toTimeZone(options.zone).date(), {},
                                                          true, {}, options.zone)
                                         : original.at(instance.end, options.zone);
    icalcomponent_add_property(o, Ical::timeProperty(ICAL_DTEND_PROPERTY, end));
    icalcomponent_add_component(file.calendar(), o);
    return o;
}

std::optional<LocalCalendars::Private::Target>
LocalCalendars::Private::locate(const LocalOccurrence& occurrence) {
    const QString path = itemPath(splitIdentifier(occurrence.eventIdentifier).relativePath);
    if (path.isEmpty())
        return std::nullopt;
    std::optional<ItemFile::Contents> contents = ItemFile::read(path);
    if (!contents)
        return std::nullopt;
    std::optional<IcalFile> file = IcalFile::parse(contents->bytes);
    if (!file)
        return std::nullopt;
    const QList<EventSeries> all = EventSeries::readAll(*file, zones, options.zone);
    const QByteArray uid = occurrence.uid.toUtf8();
    // Events without a UID cannot be told apart in the item: a change could hit the wrong one,
    // a removal all of them.
    if (uid.isEmpty() &&
        std::count_if(all.begin(), all.end(), [](const EventSeries& s) { return s.uid().isEmpty(); }) > 1)
        throw CalendarFileError(
            QStringLiteral("%1 holds several events without a UID, so it was left unchanged.")
                .arg(QFileInfo(path).fileName()));
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all.at(i).uid() != uid)
            continue;
        std::optional<SeriesInstance> instance =
            all.at(i).instanceAt(occurrence.occurrenceDate, options.zone);
        if (!instance)
            return std::nullopt;
        const QString calendarId = calendarIdOf(path);
        return Target{path, calendarId, std::move(*contents), std::move(*file), all, i, *instance};
    }
    return std::nullopt;
}

void LocalCalendars::Private::refuseUnreadable(const IcalFile& file, const QString& path) const {
    if (file.hasErrors())
        throw CalendarFileError(QStringLiteral("%1 has parts Vorrindel can’t read, so it was left unchanged.")
                                    .arg(QFileInfo(path).fileName()));
}

LocalOccurrence LocalCalendars::Private::occurrenceAfterWrite(const QString& path, const QByteArray& bytes,
                                                              const FileStamp& stamp, const QByteArray& uid,
                                                              const QDateTime& occurrenceDate) {
    const std::shared_ptr<const ParsedItem> parsed = remember(path, bytes, stamp);
    const QString calendarId = calendarIdOf(path);
    if (parsed) {
        for (const EventSeries& series : parsed->series) {
            if (series.uid() != uid)
                continue;
            if (std::optional<SeriesInstance> instance = series.instanceAt(occurrenceDate, options.zone))
                return toOccurrence(
                    calendarId,
                    identifierFor(calendarId, QFileInfo(path).fileName(), parsed->series.size(), uid), series,
                    *instance);
        }
    }
    throw CalendarFileError(
        QStringLiteral("%1 was saved but could not be read back.").arg(QFileInfo(path).fileName()));
}

LocalOccurrence LocalCalendars::create(const LocalCalendar& calendar, const QString& title,
                                       const Slot& slot) {
    const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString path = calendar.path + QLatin1Char('/') + uid + QStringLiteral(".ics");
    const QDateTime now = d->now();

    IcalFile file = IcalFile::create();
    icalcomponent* event = icalcomponent_new_vevent();
    icalcomponent_add_component(file.calendar(), event);
    icalcomponent_add_property(event, icalproperty_new_uid(uid.toUtf8().constData()));
    icalcomponent_add_property(event, icalproperty_new_summary(title.toUtf8().constData()));
    d->writeSlot(event, slot, file);
    Ical::touch(event, now);
    // A new event starts at SEQUENCE 0.
    Ical::replaceProperty(event, icalproperty_new_sequence(0));

    const QByteArray bytes = file.serialize();
    FileStamp written;
    if (ItemFile::write(path, bytes, std::nullopt, &written) != ItemFile::Outcome::done)
        throw CalendarFileError(QStringLiteral("Couldn’t save %1: the file already exists").arg(uid));
    return d->occurrenceAfterWrite(path, bytes, written, uid.toUtf8(), slot.start);
}

std::optional<LocalOccurrence> LocalCalendars::update(const LocalOccurrence& occurrence,
                                                      const std::optional<QString>& title,
                                                      const std::optional<Slot>& slot) {
    for (int attempt = 0; attempt < writeAttempts; ++attempt) {
        std::optional<Private::Target> target = d->locate(occurrence);
        if (!target)
            return std::nullopt;
        const SeriesInstance& instance = target->instance;
        const EventComponent& component = *instance.component;

        const bool titleChanged = title && *title != component.summary.value_or(QString());
        const bool slotChanged = slot && !(slot->isAllDay == component.start.isDate &&
                                           qAbs(slot->start.msecsTo(instance.start)) < 1000 &&
                                           qAbs(slot->end.msecsTo(instance.end)) < 1000);
        if (!titleChanged && !slotChanged)
            return toOccurrence(target->calendarId, target->identifier(), target->series(), instance);
        d->refuseUnreadable(target->file, target->path);

        const QByteArray uid = target->series().uid();
        icalcomponent* event = nullptr;
        if (instance.isDetached) {
            event = findComponent(target->file, uid, component.recurrenceId, d->zones, d->options.zone);
        } else {
            icalcomponent* master = findComponent(target->file, uid, std::nullopt, d->zones, d->options.zone);
            event = master && target->series().repeats() ? d->makeOverride(target->file, master, instance)
                                                         : master;
        }
        if (!event)
            return std::nullopt;
        if (titleChanged)
            Ical::replaceProperty(event, icalproperty_new_summary(title->toUtf8().constData()));
        if (slotChanged)
            d->writeSlot(event, *slot, target->file);
        Ical::touch(event, d->now());

        const QByteArray bytes = target->file.serialize();
        FileStamp written;
        if (ItemFile::write(target->path, bytes, target->contents.stamp, &written) ==
            ItemFile::Outcome::changedMeanwhile)
            continue;
        return d->occurrenceAfterWrite(target->path, bytes, written, uid, instance.originalStart.instant);
    }
    throw CalendarFileError(keepsChanging);
}

bool LocalCalendars::remove(const LocalOccurrence& occurrence) {
    for (int attempt = 0; attempt < writeAttempts; ++attempt) {
        std::optional<Private::Target> target = d->locate(occurrence);
        if (!target)
            return false;
        const SeriesInstance& instance = target->instance;
        const QByteArray uid = target->series().uid();
        IcalFile& file = target->file;

        if (!target->series().repeats() && !instance.isDetached) {
            for (icalcomponent* c : file.events(uid))
                file.remove(c);
        } else if (!target->series().master()) {
            if (icalcomponent* c =
                    findComponent(file, uid, instance.component->recurrenceId, d->zones, d->options.zone))
                file.remove(c);
        } else {
            icalcomponent* master = findComponent(file, uid, std::nullopt, d->zones, d->options.zone);
            if (!master)
                return false;
            icalcomponent_add_property(master,
                                       Ical::timeProperty(ICAL_EXDATE_PROPERTY, instance.originalStart));
            if (icalcomponent* o =
                    findComponent(file, uid, instance.originalStart, d->zones, d->options.zone))
                file.remove(o);
            Ical::touch(master, d->now());
        }

        // Also before removing an emptied item: what we could not read would go with it.
        d->refuseUnreadable(file, target->path);
        ItemFile::Outcome outcome;
        if (file.itemCount() == 0) {
            outcome = ItemFile::remove(target->path, target->contents.stamp);
        } else {
            const QByteArray bytes = file.serialize();
            FileStamp written;
            outcome = ItemFile::write(target->path, bytes, target->contents.stamp, &written);
            if (outcome == ItemFile::Outcome::done)
                d->remember(target->path, bytes, written);
        }
        if (outcome == ItemFile::Outcome::done)
            return true;
    }
    throw CalendarFileError(keepsChanging);
}
