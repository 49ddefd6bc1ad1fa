// Writing the items: one occurrence at a time, atomically, after reading the item again. The edits
// themselves are made line by line on the item's text (ItemEdit).
#include "core/calendar/LocalCalendarsPrivate.h"

#include "core/calendar/CalendarFileError.h"

#include <QFileInfo>
#include <QUuid>

#include <algorithm>

namespace {

// Writes retry this often when another program keeps changing the same item.
constexpr int writeAttempts = 3;
const QString keepsChanging = QStringLiteral("The calendar file keeps changing; try again in a moment.");

} // namespace

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
        // Without its rule the event would read as a single one, and a change to "this occurrence"
        // would be written to every occurrence.
        if (all.at(i).readOnly())
            throw CalendarFileError(
                QStringLiteral("%1 repeats by a rule Vorrindel can’t expand, so it was left unchanged.")
                    .arg(QFileInfo(path).fileName()));
        std::optional<SeriesInstance> instance =
            all.at(i).instanceAt(occurrence.occurrenceDate, options.zone);
        if (!instance)
            return std::nullopt;
        const QString calendarId = calendarIdOf(path);
        return Target{path, calendarId, std::move(*contents), std::move(*file), all, i, *instance};
    }
    return std::nullopt;
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
    const QByteArray bytes = d->editor().create(uid.toUtf8(), title, slot);
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
        const QByteArray uid = target->series().uid();
        const QByteArray bytes =
            d->editor().change(target->item(), target->series(), instance,
                               titleChanged ? title : std::nullopt, slotChanged ? slot : std::nullopt);
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
        const std::optional<QByteArray> bytes =
            d->editor().remove(target->item(), target->series(), target->instance);
        ItemFile::Outcome outcome;
        if (!bytes) {
            outcome = ItemFile::remove(target->path, target->contents.stamp);
        } else {
            FileStamp written;
            outcome = ItemFile::write(target->path, *bytes, target->contents.stamp, &written);
            if (outcome == ItemFile::Outcome::done)
                d->remember(target->path, *bytes, written);
        }
        if (outcome == ItemFile::Outcome::done)
            return true;
    }
    throw CalendarFileError(keepsChanging);
}
