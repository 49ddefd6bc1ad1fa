// Writing the items: one occurrence at a time, atomically, after reading the item again. The edits
// themselves are made line by line on the item's text (ItemEdit).
#include "core/calendar/LocalCalendarsPrivate.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ReadingThreads.h"

#include <QFileInfo>
#include <QUuid>

#include <algorithm>

namespace {

// Writes retry this often when another program keeps changing the same item.
constexpr int writeAttempts = 3;
const QString keepsChanging = QStringLiteral("The calendar file keeps changing; try again in a moment.");

ItemEdit editor(const ItemCache& items, const Clock& clock) {
    return ItemEdit(*items.zones, items.zone, clock());
}

// The item and instance behind an occurrence, read from disk now.
struct Target {
    QString path;
    QString calendarId;
    ItemFile::Contents contents;
    IcalFile file;
    QList<EventSeries> all; // only read, so `instance` may point into it
    qsizetype seriesIndex = 0;
    SeriesInstance instance;

    const EventSeries& series() const { return all.at(seriesIndex); }
    ItemEdit::Item item() const { return {QFileInfo(path).fileName(), contents.bytes, &file, &all}; }
    QString identifier() const {
        return identifierFor(calendarId, QFileInfo(path).fileName(), all.size(), series().uid());
    }
};

std::optional<Target> locate(const ItemCache& items, const LocalOccurrence& occurrence) {
    const QString path = items.itemPath(splitIdentifier(occurrence.eventIdentifier).relativePath);
    if (path.isEmpty())
        return std::nullopt;
    auto notAnswering = [path] {
        return ItemTimeoutError(QStringLiteral("%1 didn’t answer in time, so it was left as it was.")
                                    .arg(QFileInfo(path).fileName()));
    };
    // Only the read is waited for within the limit: once the write has begun, it runs to its end.
    std::optional<std::optional<ItemFile::Contents>> read = ReadingThreads::runWithin(
        items.itemTimeLimit, [path, notAnswering, calls = items.callsIn(QFileInfo(path).path())] {
            const ReadingThreads::FileCall call(*calls);
            if (!call.admitted())
                throw notAnswering();
            return ItemFile::read(path);
        });
    if (!read)
        throw notAnswering();
    std::optional<ItemFile::Contents>& contents = *read;
    if (!contents)
        return std::nullopt;
    std::optional<IcalFile> file = IcalFile::parse(contents->bytes);
    if (!file)
        return std::nullopt;
    const QList<EventSeries> all = EventSeries::readAll(*file, *items.zones, items.zone);
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
                QStringLiteral("%1 repeats in a way Vorrindel can’t read in full, so it was left unchanged.")
                    .arg(QFileInfo(path).fileName()));
        std::optional<SeriesInstance> instance = all.at(i).instanceAt(occurrence.occurrenceDate, items.zone);
        if (!instance)
            return std::nullopt;
        const QString calendarId = items.calendarIdOf(path);
        return Target{path, calendarId, std::move(*contents), std::move(*file), all, i, *instance};
    }
    return std::nullopt;
}

// Caches what was just written and returns the occurrence that began at `occurrenceDate` (for a
// non-repeating event, its only occurrence).
LocalOccurrence occurrenceAfterWrite(ItemCache& items, const QString& path, const QByteArray& bytes,
                                     const FileStamp& stamp, const QByteArray& uid,
                                     const QDateTime& occurrenceDate) {
    const std::shared_ptr<const ParsedItem> parsed = items.remember(path, bytes, stamp);
    const QString calendarId = items.calendarIdOf(path);
    if (parsed) {
        for (const EventSeries& series : parsed->series) {
            if (series.uid() != uid)
                continue;
            if (std::optional<SeriesInstance> instance = series.instanceAt(occurrenceDate, items.zone))
                return toOccurrence(
                    calendarId,
                    identifierFor(calendarId, QFileInfo(path).fileName(), parsed->series.size(), uid), series,
                    *instance);
        }
    }
    throw CalendarFileError(
        QStringLiteral("%1 was saved but could not be read back.").arg(QFileInfo(path).fileName()));
}

} // namespace

LocalOccurrence LocalCalendars::create(const LocalCalendar& calendar, const QString& title,
                                       const Slot& slot) {
    const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString path = calendar.path + QLatin1Char('/') + uid + QStringLiteral(".ics");
    const Items items = this->items();
    const QByteArray bytes = editor(*items.m_items, items.m_clock).create(uid.toUtf8(), title, slot);
    FileStamp written;
    if (ItemFile::write(path, bytes, std::nullopt, &written) != ItemFile::Outcome::done)
        throw CalendarFileError(QStringLiteral("Couldn’t save %1: the file already exists").arg(uid));
    return occurrenceAfterWrite(*items.m_items, path, bytes, written, uid.toUtf8(), slot.start);
}

std::optional<LocalOccurrence> LocalCalendars::update(const LocalOccurrence& occurrence,
                                                      const std::optional<QString>& title,
                                                      const std::optional<Slot>& slot) {
    return items().update(occurrence, title, slot);
}

bool LocalCalendars::remove(const LocalOccurrence& occurrence) {
    return items().remove(occurrence);
}

std::optional<LocalOccurrence> LocalCalendars::Items::update(const LocalOccurrence& occurrence,
                                                             const std::optional<QString>& title,
                                                             const std::optional<Slot>& slot) const {
    for (int attempt = 0; attempt < writeAttempts; ++attempt) {
        std::optional<Target> target = locate(*m_items, occurrence);
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
            editor(*m_items, m_clock)
                .change(target->item(), target->series(), instance, titleChanged ? title : std::nullopt,
                        slotChanged ? slot : std::nullopt);
        FileStamp written;
        if (ItemFile::write(target->path, bytes, target->contents.stamp, &written) ==
            ItemFile::Outcome::changedMeanwhile)
            continue;
        return occurrenceAfterWrite(*m_items, target->path, bytes, written, uid,
                                    instance.originalStart.instant);
    }
    throw CalendarFileError(keepsChanging);
}

bool LocalCalendars::Items::remove(const LocalOccurrence& occurrence) const {
    for (int attempt = 0; attempt < writeAttempts; ++attempt) {
        std::optional<Target> target = locate(*m_items, occurrence);
        if (!target)
            return false;
        const std::optional<QByteArray> bytes =
            editor(*m_items, m_clock).remove(target->item(), target->series(), target->instance);
        ItemFile::Outcome outcome;
        if (!bytes) {
            outcome = ItemFile::remove(target->path, target->contents.stamp);
        } else {
            FileStamp written;
            outcome = ItemFile::write(target->path, *bytes, target->contents.stamp, &written);
            if (outcome == ItemFile::Outcome::done)
                m_items->remember(target->path, *bytes, written);
        }
        if (outcome == ItemFile::Outcome::done)
            return true;
    }
    throw CalendarFileError(keepsChanging);
}
