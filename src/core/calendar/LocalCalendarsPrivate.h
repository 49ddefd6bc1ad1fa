#pragma once

// Shared by the source files of LocalCalendars, one per concern: the folders and their watch
// (LocalCalendars.cpp), reading (LocalCalendarsRead.cpp) and writing (LocalCalendarsWrite.cpp).

#include "core/calendar/ItemFile.h"
#include "core/calendar/LocalCalendars.h"
#include "core/calendar/ical/EventSeries.h"
#include "core/calendar/ical/IcalFile.h"
#include "core/calendar/ical/ItemEdit.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QTimer>

#include <memory>

struct ParsedItem {
    QList<EventSeries> series;
};

struct CachedItem {
    FileStamp stamp;
    std::shared_ptr<const ParsedItem> parsed; // null: the item could not be read
    // The occurrences of the last range asked for: the agenda asks for the same weeks again after
    // every change, and expanding every series each time would cost more than reading the folder.
    QDateTime from;
    QDateTime to;
    QList<LocalOccurrence> occurrences;
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
    IcalZoneResolver zones;
    // Parsed items by folder, then file name.
    QHash<QString, QHash<QString, CachedItem>> cache;
    int parseCount = 0;

    std::unique_ptr<QFileSystemWatcher> watcher;
    QTimer coalesce;
    QElapsedTimer firstChange;

    QDateTime now() const { return options.clock ? options.clock() : systemClock()(); }

    // ---- Folders (LocalCalendars.cpp) ----

    // The id of the calendar that holds the item at that path.
    QString calendarIdOf(const QString& itemPath) const;
    // Folder path inside the root, or empty when the identifier points elsewhere.
    QString itemPath(const QString& relativePath) const;
    void refreshWatch();

    // ---- Reading (LocalCalendarsRead.cpp) ----

    std::shared_ptr<const ParsedItem> parse(const QByteArray& bytes, const QString& path);
    // The item as it is on disk now, parsed.
    CachedItem read(const QString& path, const FileStamp& stamp);
    // The cache entry of the item at that path, read again only when its stamp changed; moved into
    // `fresh`, the folder's cache after this scan.
    CachedItem& load(const QString& folder, const QString& fileName, const FileStamp& stamp,
                     const QHash<QString, CachedItem>& known, QHash<QString, CachedItem>& fresh);
    // Parses what was just written to the item and caches it, so the next scan need not read it.
    std::shared_ptr<const ParsedItem> remember(const QString& path, const QByteArray& bytes,
                                               const FileStamp& stamp);

    // ---- Writing (LocalCalendarsWrite.cpp) ----

    ItemEdit editor() { return ItemEdit(zones, options.zone, now()); }

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

    // The item and instance behind an occurrence, read from disk now.
    std::optional<Target> locate(const LocalOccurrence& occurrence);
    // Caches what was just written and returns the occurrence that began at `occurrenceDate` (for a
    // non-repeating event, its only occurrence).
    LocalOccurrence occurrenceAfterWrite(const QString& path, const QByteArray& bytes, const FileStamp& stamp,
                                         const QByteArray& uid, const QDateTime& occurrenceDate);
};
