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
    if (reason == ItemJournal::notAnsweringReason())
        return QStringLiteral("skipped until you refresh or the file changes, since %1").arg(reason);
    return QStringLiteral("skipped until the file changes, since %1").arg(reason);
}

// Whether the entry is skipped because its file did not answer in time: a refresh reads it again.
bool unanswered(const CachedItem& entry) {
    static const QString problem = skippedSince(ItemJournal::notAnsweringReason());
    return !entry.parsed && entry.problem == problem;
}

// What a query that began before a refresh read an item again leaves in the cache for it: not its
// own skip for not answering, when the item has been read meanwhile as it still is.
CachedItem keptOver(const QHash<QString, CachedItem>& before, const QString& fileName, CachedItem ours) {
    if (unanswered(ours)) {
        const auto it = before.constFind(fileName);
        if (it != before.constEnd() && it->parsed && it->stamp == ours.stamp)
            return *it;
    }
    return ours;
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

std::shared_ptr<std::atomic<int>> ItemCache::callsIn(const QString& folder) const {
    const std::lock_guard lock(fileCalls->mutex);
    std::shared_ptr<std::atomic<int>>& calls = fileCalls->byFolder[folder];
    if (!calls)
        calls = std::make_shared<std::atomic<int>>(0);
    return calls;
}

std::optional<CachedItem> ItemCache::read(const QString& path, int folder, const QByteArray& name, bool again,
                                          std::atomic<bool>* answered, std::atomic<int>* calls) {
    CachedItem entry{{}, nullptr, {}, {}, {}, {}};
    const QByteArray fileName = name.isEmpty() ? QFile::encodeName(path) : name;
    // An item the journal skips is not opened again until its file changes: opening it is what may
    // hang (a stalled mount) or take the app down. A stat tells. One whose file did not answer is
    // opened again when asked to.
    std::optional<FileStamp> unansweredAt;
    if (const std::optional<ItemJournal::Entry> skipped = journal ? journal->skipping(path) : std::nullopt) {
        if (ItemFile::stampAt(folder, fileName) == skipped->stamp) {
            if (!again || skipped->reason != ItemJournal::notAnsweringReason()) {
                entry.stamp = skipped->stamp;
                entry.problem = skippedSince(skipped->reason);
                logSkipped(path, entry.problem);
                return entry;
            }
            unansweredAt = skipped->stamp;
        }
    }
    bool missing = false;
    std::optional<ItemFile::Contents> contents;
    {
        // Past as many files of its folder that hang, the others there are not opened: given up on as
        // not answering, but not known to hang themselves, so not noted in the journal.
        const std::shared_ptr<std::atomic<int>> looked = calls ? nullptr : callsIn(QFileInfo(path).path());
        const ReadingThreads::FileCall call(calls ? *calls : *looked);
        if (!call.admitted()) {
            entry.stamp = ItemFile::stampAt(folder, fileName).value_or(FileStamp{});
            entry.problem = skippedSince(ItemJournal::notAnsweringReason());
            logSkipped(path, entry.problem);
            return entry;
        }
        contents = ItemFile::readAt(folder, fileName, &entry.problem, &entry.stamp, &missing);
    }
    if (answered)
        answered->store(true, std::memory_order_relaxed);
    if (unansweredAt)
        journal->unskip(path, *unansweredAt, ItemJournal::notAnsweringReason());
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
        std::vector<char> givenUp;               // the query went on without it: its slots above are not ours
        std::shared_ptr<std::atomic<int>> calls; // the calls under way on its files
    };
    // Shared with the reading threads: an item that is stuck still writes here when it ends.
    struct Scan {
        std::vector<Folder> folders;
        std::vector<std::pair<size_t, qsizetype>> work;
        // By work item: its file answered (or it needed no reading), so that one given up on was
        // stuck in its parsing or expansion rather than on the file system.
        std::unique_ptr<std::atomic<bool>[]> answered;
        // By work item: it began (one given up on before is not read at all).
        std::unique_ptr<std::atomic<bool>[]> begun;
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
    for (Folder& folder : folderList)
        folder.calls = callsIn(folder.calendar.path);
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
    scan->answered = std::make_unique<std::atomic<bool>[]>(scan->work.size());
    scan->begun = std::make_unique<std::atomic<bool>[]>(scan->work.size());
    auto readOne = [self, scan, from, to](qsizetype n) {
        scan->begun[size_t(n)].store(true, std::memory_order_relaxed);
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
        if (entry)
            scan->answered[size_t(n)].store(true, std::memory_order_relaxed);
        else
            entry = self->read(path, f.open->descriptor(), name, false, &scan->answered[size_t(n)],
                               f.calls.get());
        if (!entry)
            return;
        f.fresh[size_t(j)] =
            self->expand(std::move(*entry), path, f.calendar.id, from, to, f.found[size_t(j)]);
        f.fileNames[size_t(j)] = fileName;
    };
    const QList<qsizetype> givenUp = ReadingThreads::parallelForWithin(qsizetype(scan->work.size()), 32,
                                                                       itemTimeLimit, readOne, itemClock);
    // An item that never ends its reading is skipped until its file changes, by this query and the
    // next ones, and by the journal from the next start on.
    std::vector<CachedItem> stuck;
    for (const qsizetype n : givenUp) {
        const auto [i, j] = scan->work[size_t(n)];
        Folder& f = folderList[i];
        f.givenUp[size_t(j)] = true;
        const QString path = f.calendar.path + QLatin1Char('/') + QFile::decodeName(f.open->names()[j]);
        stuck.push_back(stuckEntry(path, f.open->stamp(f.open->names()[j]),
                                   scan->answered[size_t(n)].load(std::memory_order_relaxed)));
    }
    {
        // Items that are gone leave the cache with their folder's scan.
        const std::lock_guard lock(mutex);
        std::vector<QHash<QString, CachedItem>> before;
        before.reserve(folderList.size());
        for (Folder& f : folderList) {
            before.push_back(folders.value(f.calendar.path));
            QHash<QString, CachedItem> fresh;
            fresh.reserve(qsizetype(f.fresh.size()));
            for (size_t j = 0; j < f.fresh.size(); ++j) {
                if (!f.givenUp[j] && !f.fileNames[j].isEmpty())
                    fresh.insert(f.fileNames[j],
                                 keptOver(before.back(), f.fileNames[j], std::move(f.fresh[j])));
            }
            folders.insert(f.calendar.path, std::move(fresh));
        }
        for (qsizetype k = 0; k < givenUp.size(); ++k) {
            const auto [i, j] = scan->work[size_t(givenUp[k])];
            const QString fileName = QFile::decodeName(folderList[i].open->names()[j]);
            const std::atomic<bool>& answered = scan->answered[size_t(givenUp[k])];
            if (scan->begun[size_t(givenUp[k])].load() && !answered.load(std::memory_order_relaxed))
                hanging.insert(folderList[i].calendar.path + QLatin1Char('/') + fileName,
                               std::shared_ptr<const std::atomic<bool>>(scan, &answered));
            folders[folderList[i].calendar.path].insert(
                fileName, keptOver(before[i], fileName, std::move(stuck[size_t(k)])));
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

CachedItem ItemCache::stuckEntry(const QString& path, const std::optional<FileStamp>& stamp, bool answered) {
    const QString reason = answered ? ItemJournal::pastItsTimeReason() : ItemJournal::notAnsweringReason();
    CachedItem entry{{}, nullptr, skippedSince(reason), {}, {}, {}, {}};
    if (stamp) {
        entry.stamp = *stamp;
        // Noted by the journal already when it got stuck parsing the file rather than reading it.
        if (journal && journal->skipReason(path, entry.stamp).isEmpty())
            journal->skip(path, entry.stamp, reason);
    }
    logSkipped(path, entry.problem);
    return entry;
}

int ItemCache::readUnanswered(const QList<LocalCalendar>& calendars) {
    // Shared with the reading threads: an item stuck again still writes here when it ends.
    struct Retry {
        std::vector<QString> paths;
        std::vector<std::optional<CachedItem>> read;
        std::unique_ptr<std::atomic<bool>[]> answered;
        std::unique_ptr<std::atomic<bool>[]> begun;
    };
    const auto retry = std::make_shared<Retry>();
    {
        const std::lock_guard lock(mutex);
        hanging.removeIf([](const auto& it) { return it.value()->load(std::memory_order_relaxed); });
        for (const LocalCalendar& calendar : calendars) {
            const QHash<QString, CachedItem> folder = folders.value(calendar.path);
            for (auto it = folder.constBegin(); it != folder.constEnd(); ++it) {
                const QString path = calendar.path + QLatin1Char('/') + it.key();
                // An earlier read still waiting on the file system would only be joined by another.
                if (unanswered(*it) && !hanging.contains(path))
                    retry->paths.push_back(path);
            }
        }
    }
    const qsizetype count = qsizetype(retry->paths.size());
    if (count == 0)
        return 0;
    retry->read.resize(size_t(count));
    retry->answered = std::make_unique<std::atomic<bool>[]>(size_t(count));
    retry->begun = std::make_unique<std::atomic<bool>[]>(size_t(count));
    const QList<qsizetype> stuck = ReadingThreads::parallelForWithin(
        count, 1, itemTimeLimit,
        [self = shared_from_this(), retry](qsizetype n) {
            retry->begun[size_t(n)].store(true);
            retry->read[size_t(n)] =
                self->read(retry->paths[size_t(n)], AT_FDCWD, {}, true, &retry->answered[size_t(n)]);
        },
        itemClock);
    int answered = 0;
    for (qsizetype n = 0; n < count; ++n) {
        const QString& path = retry->paths[size_t(n)];
        if (stuck.contains(n)) {
            // Still not answering, it stays as it was; one that answered and then got stuck in its
            // parsing is skipped for that from now on.
            const std::atomic<bool>& fileAnswered = retry->answered[size_t(n)];
            if (fileAnswered.load(std::memory_order_relaxed)) {
                keep(path, stuckEntry(path, ItemFile::stamp(path), true));
            } else if (retry->begun[size_t(n)].load()) {
                const std::lock_guard lock(mutex);
                hanging.insert(path, std::shared_ptr<const std::atomic<bool>>(retry, &fileAnswered));
            }
            continue;
        }
        if (std::optional<CachedItem>& entry = retry->read[size_t(n)]) {
            answered += !unanswered(*entry);
            keep(path, std::move(*entry));
        }
    }
    DebugLog::log([&] {
        return QStringLiteral("calendar: %1 of %2 files that did not answer in time answered when read again")
            .arg(answered)
            .arg(count);
    });
    return answered;
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

void LocalCalendars::readUnansweredLater(const QList<LocalCalendar>& calendars,
                                         std::function<void(int)> done) {
    if (access() != CalendarAccess::fullAccess) {
        ReadingThreads::start([done = std::move(done)] { done(0); });
        return;
    }
    ReadingThreads::start(
        [items = d->items, calendars, done = std::move(done)] { done(items->readUnanswered(calendars)); });
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
