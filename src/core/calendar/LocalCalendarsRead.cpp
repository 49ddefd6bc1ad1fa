// Reading the items: parsed once per version of the file, expanded into occurrences per range, on
// the reading threads.
#include "core/calendar/LocalCalendarsPrivate.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ReadingThreads.h"
#include "core/calendar/VdirCollection.h"
#include "core/model/DebugLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <semaphore>
#include <vector>

namespace {

const QString tooCostlyToRead = QStringLiteral("reading it costs more than an item may");
const QString tooCostlyToExpand = QStringLiteral("expanding it costs more than an item may");
// libical takes about ten times an item's size in memory to parse it: items this large are parsed
// two at a time, so that a folder of them cannot take the memory of every reading thread at once.
constexpr qsizetype largeItem = 1024 * 1024;
std::counting_semaphore<2> largeItemsAtOnce(2);

// No agenda shows this many occurrences of one item in one range (an event every fifteen minutes
// has 17,280 in the calendar report's six months); an item that has more would flood it.
constexpr qsizetype maxOccurrences = 20000;

QString skippedSince(const QString& reason) {
    return QStringLiteral("skipped until the file changes, since %1").arg(reason);
}

void logSkipped(const QString& path, const QString& problem) {
    DebugLog::log([&] { return QStringLiteral("calendar: skipped %1: %2").arg(path, problem); });
}

// Appends the list; an empty one (as every caller's is) shares it instead of copying it, so that a
// load copies each cached occurrence once, into its result.
void appendAll(QList<LocalOccurrence>& to, const QList<LocalOccurrence>& from) {
    if (to.isEmpty())
        to = from;
    else
        to.append(from);
}

void sortByStart(QList<LocalOccurrence>& occurrences) {
    std::stable_sort(occurrences.begin(), occurrences.end(),
                     [](const LocalOccurrence& a, const LocalOccurrence& b) { return a.start < b.start; });
}

// The cached items of those calendars that `why` tells something of (a text that is not empty), by
// calendar, then file name.
template <typename Why>
QList<LocalCalendars::SkippedItem> cachedItems(ItemCache& items, const QList<LocalCalendar>& calendars,
                                               Why why) {
    QList<LocalCalendars::SkippedItem> out;
    const std::lock_guard lock(items.mutex);
    for (const LocalCalendar& calendar : calendars) {
        const QHash<QString, CachedItem> folder = items.folders.value(calendar.path);
        for (auto it = folder.constBegin(); it != folder.constEnd(); ++it) {
            if (QString reason = why(*it); !reason.isEmpty())
                out.append({calendar.id, it.key(), std::move(reason)});
        }
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return std::pair(a.calendarId, a.fileName) < std::pair(b.calendarId, b.fileName);
    });
    return out;
}

} // namespace

std::optional<CachedItem> ItemCache::cached(const QString& path, const FileStamp& stamp) {
    const QFileInfo info(path);
    const std::lock_guard lock(mutex);
    const auto folder = folders.constFind(info.absolutePath());
    if (folder == folders.constEnd())
        return std::nullopt;
    const auto it = folder->constFind(info.fileName());
    if (it == folder->constEnd() || it->stamp != stamp)
        return std::nullopt;
    return *it;
}

void ItemCache::keep(const QString& path, CachedItem entry) {
    const QFileInfo info(path);
    const std::lock_guard lock(mutex);
    folders[info.absolutePath()].insert(info.fileName(), std::move(entry));
}

std::shared_ptr<const ParsedItem> ItemCache::parse(const QByteArray& bytes, const QString& path,
                                                   QString* problem, bool* outOfTime) {
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
    item->series = EventSeries::readAll(*file, *zones, zone, budget, &notes);
    for (const QString& note : std::as_const(notes))
        DebugLog::log([&] { return QStringLiteral("calendar: partly read %1: %2").arg(path, note); });
    item->notes = std::move(notes);
    if (budget.exhausted()) {
        *problem = tooCostlyToRead;
        if (outOfTime)
            *outOfTime = !budget.outOfSteps();
        return nullptr;
    }
    return item;
}

std::optional<CachedItem> ItemCache::read(const QString& path, int folder, const QByteArray& name) {
    CachedItem entry{{}, nullptr, {}, {}, {}, {}};
    const QByteArray fileName = name.isEmpty() ? QFile::encodeName(path) : name;
    // An item the journal skips is not opened again until its file changes: opening it is what may
    // hang (a stalled mount) or take the app down. A stat tells.
    if (const std::optional<ItemJournal::Entry> skipped = journal ? journal->skipping(path) : std::nullopt) {
        if (ItemFile::stampAt(folder, fileName) == skipped->stamp) {
            entry.stamp = skipped->stamp;
            entry.problem = skippedSince(skipped->reason);
            logSkipped(path, entry.problem);
            return entry;
        }
    }
    bool missing = false;
    std::optional<ItemFile::Contents> contents =
        ItemFile::readAt(folder, fileName, &entry.problem, &entry.stamp, &missing);
    if (missing)
        return std::nullopt;
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
        const bool large = contents->bytes.size() > largeItem;
        if (large)
            largeItemsAtOnce.acquire();
        entry.parsed = parse(contents->bytes, path, &entry.problem, &entry.retry);
        if (large)
            largeItemsAtOnce.release();
        timedOut = scope && scope->timedOut();
    }
    if (timedOut) {
        entry.parsed = nullptr;
        entry.problem = tooCostlyToRead; // the journal has it already
        entry.retry = false;
    } else if (!entry.parsed && entry.problem == tooCostlyToRead && !entry.retry && journal) {
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
            appendAll(occurrences, *entry.occurrences);
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
    if (timedOut || budget.outOfSteps()) {
        // Skipped until the file changes (the journal noted one that timed out already).
        if (journal && !timedOut)
            journal->skip(path, entry.stamp, tooCostlyToExpand);
        entry.parsed = nullptr;
        entry.occurrences.reset();
        entry.problem = tooCostlyToExpand;
        logSkipped(path, entry.problem);
        return entry;
    }
    if (budget.exhausted()) {
        // Out of time only: skipped by this query, expanded again by the next.
        entry.occurrences.reset();
        entry.problem = tooCostlyToExpand;
        logSkipped(path, entry.problem);
        return entry;
    }
    if (found->size() > maxOccurrences) {
        // Skipped by this query only: a narrower range may hold few enough.
        entry.occurrences.reset();
        entry.problem = QStringLiteral("more than %1 occurrences in the range").arg(maxOccurrences);
        logSkipped(path, entry.problem);
        return entry;
    }
    entry.problem.clear();
    entry.from = from;
    entry.to = to;
    entry.occurrences = found;
    appendAll(occurrences, *found);
    return entry;
}

QList<LocalOccurrence> ItemCache::query(const QDateTime& from, const QDateTime& to,
                                        const QList<LocalCalendar>& calendars) {
    struct Folder {
        LocalCalendar calendar;
        QHash<QString, CachedItem> known;
        std::unique_ptr<VdirCollection::OpenFolder> open;
        std::vector<QString> fileNames; // empty: the item is gone
        std::vector<CachedItem> fresh;
        std::vector<QList<LocalOccurrence>> found;
        std::vector<char> givenUp; // the query went on without it: its slots above are not ours
    };
    // Shared with the reading threads: an item that is stuck still writes here when it ends.
    struct Scan {
        std::vector<Folder> folders;
        std::vector<std::pair<size_t, qsizetype>> work;
    };
    const std::shared_ptr<ItemCache> self = shared_from_this();
    const auto scan = std::make_shared<Scan>();
    std::vector<Folder>& folderList = scan->folders;
    folderList.resize(size_t(calendars.size()));
    {
        const std::lock_guard lock(mutex);
        for (qsizetype i = 0; i < calendars.size(); ++i) {
            folderList[size_t(i)].calendar = calendars[i];
            folderList[size_t(i)].known = folders.value(calendars[i].path);
        }
    }
    // The listings first, folder by folder; then every item, whatever its folder, on every thread:
    // one large calendar is as quick to scan as many small ones.
    ReadingThreads::parallelFor(qsizetype(folderList.size()), 1, [&](qsizetype i) {
        Folder& f = folderList[size_t(i)];
        f.open = std::make_unique<VdirCollection::OpenFolder>(f.calendar.path);
        const size_t count = size_t(f.open->names().size());
        f.fileNames.resize(count);
        f.fresh.resize(count);
        f.found.resize(count);
        f.givenUp.resize(count);
    });
    for (size_t i = 0; i < folderList.size(); ++i) {
        for (qsizetype j = 0; j < folderList[i].open->names().size(); ++j)
            scan->work.emplace_back(i, j);
    }
    auto readOne = [self, scan, from, to](qsizetype n) {
        const auto [i, j] = scan->work[size_t(n)];
        Folder& f = scan->folders[i];
        const QByteArray& name = f.open->names()[j];
        const QString fileName = QFile::decodeName(name);
        const QString path = f.calendar.path + QLatin1Char('/') + fileName;
        const auto known = f.known.constFind(fileName);
        // A pipe, socket, device or folder named like an item is told, never opened. An entry the
        // listing did not type as a file (a link; any entry on some file systems) is stat'ed for
        // that, and the stat's stamp serves below.
        std::optional<FileStamp> stamp;
        if (QString notAFile = f.open->notAFile(j, &stamp); !notAFile.isEmpty()) {
            if (known == f.known.constEnd() || known->problem != notAFile)
                logSkipped(path, notAFile);
            f.fresh[size_t(j)] = CachedItem{{}, nullptr, std::move(notAFile), {}, {}, {}, {}};
            f.fileNames[size_t(j)] = fileName;
            return;
        }
        // An item read before is read again only when its stamp changed; a new one is read at once
        // (the read tells its stamp).
        std::optional<CachedItem> entry;
        if (known != f.known.constEnd()) {
            if (!stamp)
                stamp = f.open->stamp(name);
            if (!stamp)
                return;
            if (known->stamp == *stamp && !known->retry)
                entry = *known;
        }
        if (!entry)
            entry = self->read(path, f.open->descriptor(), name);
        if (!entry)
            return;
        f.fresh[size_t(j)] =
            self->expand(std::move(*entry), path, f.calendar.id, from, to, f.found[size_t(j)]);
        f.fileNames[size_t(j)] = fileName;
    };
    const QList<qsizetype> givenUp =
        ReadingThreads::parallelForWithin(qsizetype(scan->work.size()), 32, itemTimeLimit, readOne);
    // An item that never ends its reading is skipped until its file changes, by this query and the
    // next ones, and by the journal from the next start on.
    std::vector<CachedItem> stuck;
    for (const qsizetype n : givenUp) {
        const auto [i, j] = scan->work[size_t(n)];
        Folder& f = folderList[i];
        f.givenUp[size_t(j)] = true;
        const QString path = f.calendar.path + QLatin1Char('/') + QFile::decodeName(f.open->names()[j]);
        CachedItem entry{{}, nullptr, skippedSince(ItemJournal::pastItsTimeReason()), {}, {}, {}, {}};
        if (const std::optional<FileStamp> stamp = f.open->stamp(f.open->names()[j])) {
            entry.stamp = *stamp;
            // Noted by the journal already, unless it got stuck reading the file rather than parsing it.
            if (journal && journal->skipReason(path, entry.stamp).isEmpty())
                journal->skip(path, entry.stamp, ItemJournal::pastItsTimeReason());
        }
        logSkipped(path, entry.problem);
        stuck.push_back(std::move(entry));
    }
    {
        // Items that are gone leave the cache with their folder's scan.
        const std::lock_guard lock(mutex);
        for (Folder& f : folderList) {
            QHash<QString, CachedItem> fresh;
            fresh.reserve(qsizetype(f.fresh.size()));
            for (size_t j = 0; j < f.fresh.size(); ++j) {
                if (!f.givenUp[j] && !f.fileNames[j].isEmpty())
                    fresh.insert(f.fileNames[j], std::move(f.fresh[j]));
            }
            folders.insert(f.calendar.path, std::move(fresh));
        }
        for (qsizetype k = 0; k < givenUp.size(); ++k) {
            const auto [i, j] = scan->work[size_t(givenUp[k])];
            folders[folderList[i].calendar.path].insert(QFile::decodeName(folderList[i].open->names()[j]),
                                                        std::move(stuck[size_t(k)]));
        }
    }
    // In order of start, items in listing order among equals; sorted as keys, copied once.
    std::vector<std::pair<qint64, const LocalOccurrence*>> order;
    for (const Folder& f : folderList) {
        for (size_t j = 0; j < f.found.size(); ++j) {
            if (f.givenUp[j])
                continue;
            for (const LocalOccurrence& o : f.found[j])
                order.emplace_back(o.start.toMSecsSinceEpoch(), &o);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<LocalOccurrence> out;
    out.reserve(qsizetype(order.size()));
    for (const auto& entry : order)
        out.append(*entry.second);
    return out;
}

std::shared_ptr<const ParsedItem> ItemCache::remember(const QString& path, const QByteArray& bytes,
                                                      const FileStamp& stamp) {
    QString problem;
    std::shared_ptr<const ParsedItem> parsed = parse(bytes, path, &problem);
    keep(path, CachedItem{stamp, parsed, problem, {}, {}, {}});
    return parsed;
}

std::optional<CachedItem> ItemCache::readWithin(const QString& path) {
    std::optional<std::optional<CachedItem>> entry = ReadingThreads::runWithin(
        itemTimeLimit, [self = shared_from_this(), path] { return self->read(path); });
    if (!entry)
        throw ItemTimeoutError(QStringLiteral("%1 didn’t answer in time.").arg(QFileInfo(path).fileName()));
    return std::move(*entry);
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
    return items().occurrencesOf(eventIdentifier, from, to);
}

QList<LocalOccurrence> LocalCalendars::Items::occurrencesOf(const QString& eventIdentifier,
                                                            const QDateTime& from,
                                                            const QDateTime& to) const {
    if (access() != CalendarAccess::fullAccess)
        return {};
    const QString path = m_items->itemPath(splitIdentifier(eventIdentifier).relativePath);
    const std::optional<FileStamp> stamp = path.isEmpty() ? std::nullopt : ItemFile::stamp(path);
    if (!stamp)
        return {};
    std::optional<CachedItem> entry = m_items->cached(path, *stamp);
    const bool fresh = !entry;
    if (fresh)
        entry = m_items->readWithin(path);
    if (!entry)
        return {};
    QList<LocalOccurrence> found;
    // Only what was read anew is kept: the cached item keeps the agenda's wider range.
    CachedItem expanded = m_items->expand(*entry, path, m_items->calendarIdOf(path), from, to, found);
    if (fresh)
        m_items->keep(path, std::move(expanded));
    found.removeIf([&](const LocalOccurrence& o) { return o.eventIdentifier != eventIdentifier; });
    sortByStart(found);
    return found;
}

QList<LocalCalendars::SkippedItem> LocalCalendars::skippedItems(const QList<LocalCalendar>& calendars) const {
    return cachedItems(*d->items, calendars, [](const CachedItem& item) { return item.problem; });
}

QList<LocalCalendars::SkippedItem>
LocalCalendars::partlyReadItems(const QList<LocalCalendar>& calendars) const {
    return cachedItems(*d->items, calendars, [](const CachedItem& item) {
        return item.parsed ? item.parsed->notes.join(QStringLiteral("; ")) : QString();
    });
}

std::optional<LocalOccurrence> LocalCalendars::event(const QString& eventIdentifier) {
    return items().event(eventIdentifier);
}

std::optional<LocalOccurrence> LocalCalendars::Items::event(const QString& eventIdentifier) const {
    if (access() != CalendarAccess::fullAccess)
        return std::nullopt;
    const ItemRef ref = splitIdentifier(eventIdentifier);
    const QString path = m_items->itemPath(ref.relativePath);
    if (path.isEmpty())
        return std::nullopt;
    const std::optional<FileStamp> stamp = ItemFile::stamp(path);
    if (!stamp)
        return std::nullopt;
    // Only this item is looked at: the rest of its folder's cache stays as the last scan left it.
    std::shared_ptr<const ParsedItem> parsed;
    if (const std::optional<CachedItem> entry = m_items->cached(path, *stamp))
        parsed = entry->parsed;
    if (!parsed) {
        std::optional<CachedItem> entry = m_items->readWithin(path);
        if (!entry)
            return std::nullopt;
        parsed = entry->parsed;
        m_items->keep(path, std::move(*entry));
    }
    // An identifier without a UID names the item's only event; once the item holds more, it names
    // none of them.
    if (!parsed || (ref.uid.isEmpty() && parsed->series.size() > 1))
        return std::nullopt;
    const QString calendarId = m_items->calendarIdOf(path);
    const QTimeZone& zone = m_items->zone;
    for (const EventSeries& series : parsed->series) {
        if (!ref.uid.isEmpty() && series.uid() != ref.uid.toUtf8())
            continue;
        const EventComponent* first = series.master() ? &*series.master() : nullptr;
        const std::optional<SeriesInstance> instance =
            first ? series.instanceAt(first->start.instant, zone)
                  : (series.overrides().isEmpty()
                         ? std::nullopt
                         : series.instanceAt(series.overrides().first().recurrenceId->instant, zone));
        if (instance)
            return toOccurrence(calendarId, eventIdentifier, series, *instance);
        return std::nullopt;
    }
    return std::nullopt;
}
