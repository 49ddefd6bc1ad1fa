#pragma once

// Shared by the source files of LocalCalendars, one per concern: the folders and their watch
// (LocalCalendars.cpp), reading (LocalCalendarsRead.cpp) and writing (LocalCalendarsWrite.cpp).

#include "core/calendar/ItemFile.h"
#include "core/calendar/ItemJournal.h"
#include "core/calendar/LocalCalendars.h"
#include "core/calendar/ical/EventSeries.h"
#include "core/calendar/ical/IcalFile.h"
#include "core/calendar/ical/ItemEdit.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QTimer>

#include <atomic>

#include <fcntl.h>
#include <memory>
#include <mutex>

struct ParsedItem {
    QList<EventSeries> series;
    QStringList notes; // what of it cannot be shown in full, and why
};

struct CachedItem {
    FileStamp stamp;
    std::shared_ptr<const ParsedItem> parsed; // null: the item is skipped, for `problem`
    QString problem;
    // It ran out of time (not of steps): perhaps only because the machine was busy, so the next
    // query reads it again rather than skipping it for good.
    bool retry = false;
    // The occurrences of the widest range expanded so far: the agenda asks for the same weeks again
    // after every change, and the calendar report for ranges inside one another.
    QDateTime from;
    QDateTime to;
    std::shared_ptr<const QList<LocalOccurrence>> occurrences;
};

// What the reading threads share: the parsed items and the zones they use. A load, a look-up or a
// write that runs when its LocalCalendars goes keeps this alive until it ends, and so does an item
// stuck in its reading.
struct ItemCache : std::enable_shared_from_this<ItemCache> {
    QString root;
    QTimeZone zone;
    // Shared with the next cache, after a change of zone.
    std::shared_ptr<IcalZoneResolver> zones = std::make_shared<IcalZoneResolver>();
    std::shared_ptr<ItemJournal> journal; // null: none
    std::function<void(const QString&)> beforeReading;
    // What one item may cost to read, and to expand for one range.
    qint64 budgetSteps = ExpansionBudget::defaultSteps;
    std::chrono::milliseconds budgetTime = ExpansionBudget::defaultTime;
    // How long a query, a look-up or a write waits for one item before it goes on without it, and
    // what times a query's items (the steady clock when empty).
    std::chrono::milliseconds itemTimeLimit = ItemJournal::defaultTimeLimit;
    std::function<std::chrono::steady_clock::time_point()> itemClock;

    std::mutex mutex; // guards `folders`
    // Parsed items by folder, then file name.
    QHash<QString, QHash<QString, CachedItem>> folders;
    std::atomic<int> parseCount{0};
    // Items whose file a query or a refresh gave up on before it answered, each with the flag its
    // read sets once it does; under `mutex`. A read stuck on a dead mount stays here for good:
    // reading such an item again would only strand another thread.
    QHash<QString, std::shared_ptr<const std::atomic<bool>>> hanging;
    // By folder, the calls under way on its files (ReadingThreads::FileCall). Shared with the next
    // cache, after a change of zone: reads stuck on a dead mount stay counted.
    struct FileCalls {
        std::mutex mutex;
        QHash<QString, std::shared_ptr<std::atomic<int>>> byFolder;
    };
    std::shared_ptr<FileCalls> fileCalls = std::make_shared<FileCalls>();
    // The count of calls under way on the files of `folder`; its own small lock, taken once a folder
    // by a load, and once a file by a refresh or a write.
    std::shared_ptr<std::atomic<int>> callsIn(const QString& folder) const;

    // The cached entry of the item at that path, when it was read at that stamp.
    std::optional<CachedItem> cached(const QString& path, const FileStamp& stamp);
    // Caches the entry of the item at that path, leaving the rest of its folder as it is.
    void keep(const QString& path, CachedItem entry);

    // The item as the bytes hold it, read under one budget. Null, with the reason, when it cannot
    // be read safely.
    std::shared_ptr<const ParsedItem> parse(const QByteArray& bytes, const QString& path, QString* problem,
                                            bool* outOfTime = nullptr);
    // The item at that path as it is on disk now (the journal may skip it); from the open folder
    // `folder` by `name` when given. Absent when there is no such file (any more). With `again`, an
    // item the journal skips for not answering in time is read all the same, and no longer skipped
    // once its file answers. `answered` is set once the file has answered, before the item is parsed.
    // `calls` counts the calls under way in its folder (callsIn(); looked up when null).
    std::optional<CachedItem> read(const QString& path, int folder = AT_FDCWD, const QByteArray& name = {},
                                   bool again = false, std::atomic<bool>* answered = nullptr,
                                   std::atomic<int>* calls = nullptr);
    // The same on a reading thread, waited for at most the item time limit; throws ItemTimeoutError
    // past it. Only for a cache held by a shared pointer.
    std::optional<CachedItem> readWithin(const QString& path);
    // Parses what was just written to the item and caches it, so the next scan need not read it.
    std::shared_ptr<const ParsedItem> remember(const QString& path, const QByteArray& bytes,
                                               const FileStamp& stamp);
    // The entry with its occurrences in [from, to) expanded (or the entry skipped, if that costs too
    // much); `occurrences` receives them.
    CachedItem expand(CachedItem entry, const QString& path, const QString& calendarId, const QDateTime& from,
                      const QDateTime& to, QList<LocalOccurrence>& occurrences);
    // An item stuck in its reading is left behind, skipped until its file changes (or, when its file
    // did not answer, until readUnanswered()). Only for a cache held by a shared pointer.
    QList<LocalOccurrence> query(const QDateTime& from, const QDateTime& to,
                                 const QList<LocalCalendar>& calendars);
    // The entry of an item that a query or a retry gave up on; `answered` tells whether its file had
    // answered by then (else the file system stalled). Notes it in the journal when it is not yet.
    CachedItem stuckEntry(const QString& path, const std::optional<FileStamp>& stamp, bool answered);
    // Reads again the items of those calendars skipped for not answering in time, under the item
    // time limit, on the reading threads while this one waits; those that answer replace their
    // entries. How many did. Only for a cache held by a shared pointer.
    int readUnanswered(const QList<LocalCalendar>& calendars);

    // The id of the calendar that holds the item at that path.
    QString calendarIdOf(const QString& itemPath) const;
    // Item path inside the root, or empty when the identifier points elsewhere.
    QString itemPath(const QString& relativePath) const;
};

QString identifierFor(const QString& calendarId, const QString& fileName, qsizetype seriesInItem,
                      const QByteArray& uid);
LocalOccurrence toOccurrence(const QString& calendarId, const QString& identifier, const EventSeries& series,
                             const SeriesInstance& instance);

// The item's path relative to the root and the UID, from an event identifier.
struct ItemRef {
    QString relativePath;
    QString uid; // empty: the item's only event
};
ItemRef splitIdentifier(const QString& identifier);

struct LocalCalendars::Private {
    Options options;
    QString root;
    std::shared_ptr<ItemCache> items = std::make_shared<ItemCache>();

    std::unique_ptr<QFileSystemWatcher> watcher;
    QTimer coalesce;
    QElapsedTimer firstChange;

    // The folders and their watch (LocalCalendars.cpp).
    void refreshWatch();
};
