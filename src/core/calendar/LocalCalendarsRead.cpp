// Reading the items: parsed once per version of the file, expanded into occurrences per range, on
// the reading threads.
#include "core/calendar/LocalCalendarsPrivate.h"

#include "core/calendar/ReadingThreads.h"
#include "core/calendar/VdirCollection.h"
#include "core/model/DebugLog.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace {

const QString tooCostlyToRead = QStringLiteral("reading it costs more than an item may");
const QString tooCostlyToExpand = QStringLiteral("expanding it costs more than an item may");

void logSkipped(const QString& path, const QString& problem) {
    DebugLog::log([&] { return QStringLiteral("calendar: skipped %1: %2").arg(path, problem); });
}

void sortByStart(QList<LocalOccurrence>& occurrences) {
    std::stable_sort(occurrences.begin(), occurrences.end(),
                     [](const LocalOccurrence& a, const LocalOccurrence& b) { return a.start < b.start; });
}

} // namespace

std::shared_ptr<const ParsedItem> ItemCache::parse(const QByteArray& bytes, const QString& path,
                                                   QString* problem) {
    ++parseCount;
    QString error;
    std::optional<IcalFile> file = IcalFile::parse(bytes, &error);
    if (!file) {
        *problem = error;
        return nullptr;
    }
    ExpansionBudget budget(budgetSteps, budgetTime);
    QStringList notes;
    auto item = std::make_shared<ParsedItem>();
    item->series = EventSeries::readAll(*file, zones, zone, budget, &notes);
    for (const QString& note : std::as_const(notes))
        DebugLog::log([&] { return QStringLiteral("calendar: %1: %2").arg(path, note); });
    if (budget.exhausted()) {
        *problem = tooCostlyToRead;
        return nullptr;
    }
    return item;
}

CachedItem ItemCache::read(const QString& path, const FileStamp& stamp) {
    CachedItem entry{stamp, nullptr, {}, {}, {}, {}};
    if (journal) {
        const QString reason = journal->skipReason(path, stamp);
        if (!reason.isEmpty()) {
            entry.problem = QStringLiteral("skipped until the file changes, since %1").arg(reason);
            logSkipped(path, entry.problem);
            return entry;
        }
    }
    std::optional<ItemFile::Contents> contents = ItemFile::read(path, &entry.problem);
    if (!contents) {
        logSkipped(path, entry.problem);
        return entry;
    }
    entry.stamp = contents->stamp;
    bool timedOut = false;
    {
        std::optional<ItemJournal::Scope> scope;
        if (journal)
            scope.emplace(journal->begin(path, entry.stamp));
        if (beforeReading)
            beforeReading(path);
        entry.parsed = parse(contents->bytes, path, &entry.problem);
        timedOut = scope && scope->timedOut();
    }
    if (timedOut) {
        entry.parsed = nullptr;
        entry.problem = tooCostlyToRead; // the journal has it already
    } else if (!entry.parsed && entry.problem == tooCostlyToRead && journal) {
        journal->skip(path, entry.stamp, entry.problem);
    }
    if (!entry.parsed)
        logSkipped(path, entry.problem);
    return entry;
}

CachedItem ItemCache::expand(CachedItem entry, const QString& path, const QString& calendarId,
                             const QDateTime& from, const QDateTime& to,
                             QList<LocalOccurrence>& occurrences) {
    if (!entry.parsed)
        return entry;
    if (entry.occurrences && entry.from <= from && to <= entry.to) {
        if (entry.from == from && entry.to == to) {
            occurrences.append(*entry.occurrences);
        } else {
            for (const LocalOccurrence& o : *entry.occurrences) {
                if (o.overlaps(from, to))
                    occurrences.append(o);
            }
        }
        return entry;
    }
    ExpansionBudget budget(budgetSteps, budgetTime);
    auto found = std::make_shared<QList<LocalOccurrence>>();
    bool timedOut = false;
    {
        std::optional<ItemJournal::Scope> scope;
        if (journal)
            scope.emplace(journal->begin(path, entry.stamp));
        const QString fileName = QFileInfo(path).fileName();
        const QList<EventSeries>& all = entry.parsed->series;
        for (const EventSeries& series : all) {
            const QList<SeriesInstance> instances = series.instances(from, to, zone, budget);
            if (budget.exhausted())
                break;
            if (instances.isEmpty())
                continue;
            const QString identifier = identifierFor(calendarId, fileName, all.size(), series.uid());
            for (const SeriesInstance& instance : instances)
                found->append(toOccurrence(calendarId, identifier, series, instance));
        }
        timedOut = scope && scope->timedOut();
    }
    if (budget.exhausted() || timedOut) {
        if (journal && !timedOut)
            journal->skip(path, entry.stamp, tooCostlyToExpand);
        entry.parsed = nullptr;
        entry.occurrences.reset();
        entry.problem = tooCostlyToExpand;
        logSkipped(path, entry.problem);
        return entry;
    }
    entry.from = from;
    entry.to = to;
    entry.occurrences = found;
    occurrences.append(*found);
    return entry;
}

QList<LocalOccurrence> ItemCache::query(const QDateTime& from, const QDateTime& to,
                                        const QList<LocalCalendar>& calendars) {
    struct Folder {
        const LocalCalendar* calendar = nullptr;
        QHash<QString, CachedItem> known;
        QList<VdirCollection::Item> items;
        std::vector<CachedItem> fresh;
        std::vector<QList<LocalOccurrence>> found;
    };
    std::vector<Folder> folderList(size_t(calendars.size()));
    {
        const QMutexLocker lock(&mutex);
        for (qsizetype i = 0; i < calendars.size(); ++i) {
            folderList[size_t(i)].calendar = &calendars[i];
            folderList[size_t(i)].known = folders.value(calendars[i].path);
        }
    }
    ReadingThreads::parallelFor(qsizetype(folderList.size()), 1, [&](qsizetype i) {
        Folder& f = folderList[size_t(i)];
        f.items = VdirCollection::items(f.calendar->path);
        f.fresh.resize(size_t(f.items.size()));
        f.found.resize(size_t(f.items.size()));
    });
    std::vector<std::pair<size_t, qsizetype>> work;
    for (size_t i = 0; i < folderList.size(); ++i) {
        for (qsizetype j = 0; j < folderList[i].items.size(); ++j)
            work.emplace_back(i, j);
    }
    ReadingThreads::parallelFor(qsizetype(work.size()), 16, [&](qsizetype n) {
        const auto [i, j] = work[size_t(n)];
        Folder& f = folderList[i];
        const VdirCollection::Item& item = f.items[j];
        const auto known = f.known.constFind(item.fileName);
        CachedItem entry =
            known != f.known.constEnd() && known->stamp == item.stamp ? *known : read(item.path, item.stamp);
        f.fresh[size_t(j)] =
            expand(std::move(entry), item.path, f.calendar->id, from, to, f.found[size_t(j)]);
    });
    QList<LocalOccurrence> out;
    {
        // Items that are gone leave the cache with their folder's scan.
        const QMutexLocker lock(&mutex);
        for (Folder& f : folderList) {
            QHash<QString, CachedItem> fresh;
            fresh.reserve(f.items.size());
            for (qsizetype j = 0; j < f.items.size(); ++j)
                fresh.insert(f.items[j].fileName, std::move(f.fresh[size_t(j)]));
            folders.insert(f.calendar->path, std::move(fresh));
        }
    }
    for (const Folder& f : folderList) {
        for (const QList<LocalOccurrence>& found : f.found)
            out.append(found);
    }
    sortByStart(out);
    return out;
}

std::shared_ptr<const ParsedItem>
LocalCalendars::Private::remember(const QString& path, const QByteArray& bytes, const FileStamp& stamp) {
    QString problem;
    std::shared_ptr<const ParsedItem> parsed = items->parse(bytes, path, &problem);
    const QFileInfo info(path);
    const QMutexLocker lock(&items->mutex);
    items->folders[info.absolutePath()].insert(info.fileName(),
                                               CachedItem{stamp, parsed, problem, {}, {}, {}});
    return parsed;
}

QList<LocalOccurrence> LocalCalendars::occurrences(const QDateTime& from, const QDateTime& to,
                                                   const QList<LocalCalendar>& calendars) {
    if (access() != CalendarAccess::fullAccess)
        return {};
    return d->items->query(from, to, calendars);
}

void LocalCalendars::occurrencesLater(const QDateTime& from, const QDateTime& to,
                                      const QList<LocalCalendar>& calendars,
                                      std::function<void(QList<LocalOccurrence>)> done) {
    if (access() != CalendarAccess::fullAccess) {
        ReadingThreads::start([done = std::move(done)] { done({}); });
        return;
    }
    ReadingThreads::start([items = d->items, from, to, calendars, done = std::move(done)] {
        done(items->query(from, to, calendars));
    });
}

QList<LocalOccurrence> LocalCalendars::occurrencesOf(const QString& eventIdentifier, const QDateTime& from,
                                                     const QDateTime& to) {
    if (access() != CalendarAccess::fullAccess)
        return {};
    const QString path = d->itemPath(splitIdentifier(eventIdentifier).relativePath);
    const std::optional<FileStamp> stamp = path.isEmpty() ? std::nullopt : ItemFile::stamp(path);
    if (!stamp)
        return {};
    const QFileInfo info(path);
    std::optional<CachedItem> entry;
    {
        const QMutexLocker lock(&d->items->mutex);
        const QHash<QString, CachedItem> folder = d->items->folders.value(info.absolutePath());
        if (auto it = folder.constFind(info.fileName()); it != folder.constEnd() && it->stamp == *stamp)
            entry = *it;
    }
    const bool fresh = !entry;
    if (fresh)
        entry = d->items->read(path, *stamp);
    QList<LocalOccurrence> found;
    // Only what was read anew is kept: the cached item keeps the agenda's wider range.
    CachedItem expanded = d->items->expand(*entry, path, d->calendarIdOf(path), from, to, found);
    if (fresh) {
        const QMutexLocker lock(&d->items->mutex);
        d->items->folders[info.absolutePath()].insert(info.fileName(), std::move(expanded));
    }
    found.removeIf([&](const LocalOccurrence& o) { return o.eventIdentifier != eventIdentifier; });
    sortByStart(found);
    return found;
}

QList<LocalCalendars::SkippedItem> LocalCalendars::skippedItems(const QList<LocalCalendar>& calendars) const {
    QList<SkippedItem> out;
    const QMutexLocker lock(&d->items->mutex);
    for (const LocalCalendar& calendar : calendars) {
        const QHash<QString, CachedItem> folder = d->items->folders.value(calendar.path);
        for (auto it = folder.constBegin(); it != folder.constEnd(); ++it) {
            if (!it->problem.isEmpty())
                out.append({calendar.id, it.key(), it->problem});
        }
    }
    std::sort(out.begin(), out.end(), [](const SkippedItem& a, const SkippedItem& b) {
        return std::pair(a.calendarId, a.fileName) < std::pair(b.calendarId, b.fileName);
    });
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
    std::shared_ptr<const ParsedItem> parsed;
    {
        const QMutexLocker lock(&d->items->mutex);
        const QHash<QString, CachedItem> folder = d->items->folders.value(info.absolutePath());
        if (auto it = folder.constFind(info.fileName()); it != folder.constEnd() && it->stamp == *stamp)
            parsed = it->parsed;
    }
    if (!parsed) {
        CachedItem entry = d->items->read(path, *stamp);
        parsed = entry.parsed;
        const QMutexLocker lock(&d->items->mutex);
        d->items->folders[info.absolutePath()].insert(info.fileName(), std::move(entry));
    }
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
