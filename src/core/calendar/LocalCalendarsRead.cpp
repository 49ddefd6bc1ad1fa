// Reading the items: parsed once per version of the file, expanded into occurrences per range.
#include "core/calendar/LocalCalendarsPrivate.h"

#include "core/calendar/VdirCollection.h"
#include "core/model/DebugLog.h"

#include <QFileInfo>

#include <algorithm>

std::shared_ptr<const ParsedItem> LocalCalendars::Private::parse(const QByteArray& bytes,
                                                                 const QString& path) {
    ++parseCount;
    QString error;
    std::optional<IcalFile> file = IcalFile::parse(bytes, &error);
    if (!file) {
        DebugLog::log([&] { return QStringLiteral("calendar: skipped %1: %2").arg(path, error); });
        return nullptr;
    }
    auto item = std::make_shared<ParsedItem>();
    item->series = EventSeries::readAll(*file, zones, options.zone);
    return item;
}

CachedItem LocalCalendars::Private::read(const QString& path, const FileStamp& stamp) {
    std::optional<ItemFile::Contents> contents = ItemFile::read(path);
    if (!contents) {
        DebugLog::log([&] { return QStringLiteral("calendar: skipped %1: cannot be read").arg(path); });
        return CachedItem{stamp, nullptr, {}, {}, {}};
    }
    return CachedItem{contents->stamp, parse(contents->bytes, path), {}, {}, {}};
}

CachedItem& LocalCalendars::Private::load(const QString& folder, const QString& fileName,
                                          const FileStamp& stamp, const QHash<QString, CachedItem>& known,
                                          QHash<QString, CachedItem>& fresh) {
    auto it = known.constFind(fileName);
    if (it != known.constEnd() && it->stamp == stamp)
        return fresh[fileName] = *it;
    return fresh[fileName] = read(folder + QLatin1Char('/') + fileName, stamp);
}

std::shared_ptr<const ParsedItem>
LocalCalendars::Private::remember(const QString& path, const QByteArray& bytes, const FileStamp& stamp) {
    std::shared_ptr<const ParsedItem> parsed = parse(bytes, path);
    const QFileInfo info(path);
    cache[info.absolutePath()].insert(info.fileName(), CachedItem{stamp, parsed, {}, {}, {}});
    return parsed;
}

QList<LocalOccurrence> LocalCalendars::occurrences(const QDateTime& from, const QDateTime& to,
                                                   const QList<LocalCalendar>& calendars) {
    QList<LocalOccurrence> out;
    if (access() != CalendarAccess::fullAccess)
        return out;
    for (const LocalCalendar& calendar : calendars) {
        const QHash<QString, CachedItem> known = d->cache.value(calendar.path);
        QHash<QString, CachedItem> fresh;
        fresh.reserve(known.size());
        for (const VdirCollection::Item& item : VdirCollection::items(calendar.path)) {
            CachedItem& entry = d->load(calendar.path, item.fileName, item.stamp, known, fresh);
            if (!entry.parsed)
                continue;
            if (entry.from != from || entry.to != to) {
                entry.occurrences.clear();
                for (const EventSeries& series : entry.parsed->series) {
                    const QList<SeriesInstance> instances = series.instances(from, to, d->options.zone);
                    if (instances.isEmpty())
                        continue;
                    const QString identifier =
                        identifierFor(calendar.id, item.fileName, entry.parsed->series.size(), series.uid());
                    for (const SeriesInstance& instance : instances)
                        entry.occurrences.append(toOccurrence(calendar.id, identifier, series, instance));
                }
                entry.from = from;
                entry.to = to;
            }
            out.append(entry.occurrences);
        }
        // Items that are gone leave the cache with their folder's next scan.
        d->cache.insert(calendar.path, std::move(fresh));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const LocalOccurrence& a, const LocalOccurrence& b) { return a.start < b.start; });
    return out;
}

std::optional<LocalOccurrence> LocalCalendars::event(const QString& eventIdentifier) {
    if (access() != CalendarAccess::fullAccess)
        return std::nullopt;
    const ItemRef ref = splitIdentifier(eventIdentifier);
    const QString path = d->itemPath(ref.relativePath);
    if (path.isEmpty())
        return std::nullopt;
    const std::optional<FileStamp> stamp = ItemFile::stamp(path);
    if (!stamp)
        return std::nullopt;
    // Only this item is looked at: the rest of its folder's cache stays as the last scan left it.
    const QFileInfo info(path);
    QHash<QString, CachedItem>& folder = d->cache[info.absolutePath()];
    auto entry = folder.find(info.fileName());
    if (entry == folder.end() || entry->stamp != *stamp)
        entry = folder.insert(info.fileName(), d->read(path, *stamp));
    const std::shared_ptr<const ParsedItem> parsed = entry->parsed;
    // An identifier without a UID names the item's only event; once the item holds more, it names
    // none of them.
    if (!parsed || (ref.uid.isEmpty() && parsed->series.size() > 1))
        return std::nullopt;
    const QString calendarId = d->calendarIdOf(path);
    for (const EventSeries& series : parsed->series) {
        if (!ref.uid.isEmpty() && series.uid() != ref.uid.toUtf8())
            continue;
        const EventComponent* first = series.master() ? &*series.master() : nullptr;
        const std::optional<SeriesInstance> instance =
            first ? series.instanceAt(first->start.instant, d->options.zone)
                  : (series.overrides().isEmpty()
                         ? std::nullopt
                         : series.instanceAt(series.overrides().first().recurrenceId->instant,
                                             d->options.zone));
        if (instance)
            return toOccurrence(calendarId, eventIdentifier, series, *instance);
        return std::nullopt;
    }
    return std::nullopt;
}
