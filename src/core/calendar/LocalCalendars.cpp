#include "core/calendar/LocalCalendars.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ItemFile.h"
#include "core/calendar/VdirCollection.h"
#include "core/calendar/ical/EventSeries.h"
#include "core/calendar/ical/IcalFile.h"
#include "core/model/DebugLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QStandardPaths>
#include <QTimer>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// A sync that touches many items should give one reload, yet a sync that never stops should not
// starve the app: a change is reported at the latest this many quiet periods after the first.
constexpr int maxCoalescedPeriods = 5;
// Writes retry this often when another program keeps changing the same item.
constexpr int writeAttempts = 3;
const QString keepsChanging = QStringLiteral("The calendar file keeps changing; try again in a moment.");

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
                      const QByteArray& uid) {
    QString id = calendarId + QLatin1Char('/') + fileName;
    if (seriesInItem > 1)
        id += QLatin1Char('#') + QString::fromUtf8(uid);
    return id;
}

LocalOccurrence toOccurrence(const QString& calendarId, const QString& identifier, const EventSeries& series,
                             const SeriesInstance& instance) {
    const EventComponent& c = *instance.component;
    LocalOccurrence o;
    o.calendarId = calendarId;
    o.eventIdentifier = identifier;
    o.uid = QString::fromUtf8(series.uid());
    o.title = c.summary;
    o.start = instance.start;
    o.end = instance.end;
    o.isAllDay = c.start.isDate;
    o.occurrenceDate = instance.originalStart.instant;
    o.location = c.location;
    o.notes = c.description;
    o.url = c.url;
    o.attendees = c.attendees;
    o.organizer = c.organizer;
    o.status = c.status;
    o.hasRecurrenceRules = series.repeats();
    o.isDetached = instance.isDetached;
    o.lastModified = c.lastModified;
    return o;
}

// The item's path relative to the root and the UID, from an event identifier.
struct ItemRef {
    QString relativePath;
    QString uid; // empty: the item's only event
};

ItemRef splitIdentifier(const QString& identifier) {
    const qsizetype hash = identifier.indexOf(QLatin1String(".ics#"));
    if (hash < 0)
        return {identifier, {}};
    return {identifier.left(hash + 4), identifier.mid(hash + 5)};
}

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

    std::shared_ptr<const ParsedItem> parse(const QByteArray& bytes, const QString& path) {
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

    // The item as it is on disk now, parsed.
    CachedItem read(const QString& path, const FileStamp& stamp) {
        std::optional<ItemFile::Contents> contents = ItemFile::read(path);
        if (!contents) {
            DebugLog::log([&] { return QStringLiteral("calendar: skipped %1: cannot be read").arg(path); });
            return CachedItem{stamp, nullptr, {}, {}, {}};
        }
        return CachedItem{contents->stamp, parse(contents->bytes, path), {}, {}, {}};
    }

    // The cache entry of the item at that path, read again only when its stamp changed; moved into
    // `fresh`, the folder's cache after this scan.
    CachedItem& load(const QString& folder, const QString& fileName, const FileStamp& stamp,
                     const QHash<QString, CachedItem>& known, QHash<QString, CachedItem>& fresh) {
        auto it = known.constFind(fileName);
        if (it != known.constEnd() && it->stamp == stamp)
            return fresh[fileName] = *it;
        return fresh[fileName] = read(folder + QLatin1Char('/') + fileName, stamp);
    }

    // Parses what was just written to the item and caches it, so the next scan need not read it.
    std::shared_ptr<const ParsedItem> remember(const QString& path, const QByteArray& bytes,
                                               const FileStamp& stamp) {
        std::shared_ptr<const ParsedItem> parsed = parse(bytes, path);
        const QFileInfo info(path);
        cache[info.absolutePath()].insert(info.fileName(), CachedItem{stamp, parsed, {}, {}, {}});
        return parsed;
    }

    // The id of the calendar that holds the item at that path.
    QString calendarIdOf(const QString& itemPath) const {
        return QDir(root).relativeFilePath(QFileInfo(itemPath).absolutePath());
    }

    // Folder path inside the root, or empty when the identifier points elsewhere.
    QString itemPath(const QString& relativePath) const {
        const QString path = QDir::cleanPath(root + QLatin1Char('/') + relativePath);
        if (!path.startsWith(root + QLatin1Char('/')) || !path.endsWith(QLatin1String(".ics")))
            return {};
        return path;
    }

    void refreshWatch() {
        if (!watcher)
            return;
        QStringList wanted;
        if (QFileInfo(root).isDir())
            wanted = QStringList{root} + VdirCollection::folders(root);
        const QStringList watched = watcher->directories();
        auto notIn = [](const QStringList& paths, const QStringList& others) {
            QStringList out;
            for (const QString& path : paths) {
                if (!others.contains(path))
                    out.append(path);
            }
            return out;
        };
        if (const QStringList gone = notIn(watched, wanted); !gone.isEmpty())
            watcher->removePaths(gone);
        if (const QStringList added = notIn(wanted, watched); !added.isEmpty())
            watcher->addPaths(added);
    }

    ItemTime slotTime(const QDateTime& instant, bool allDay, QDate* day, IcalFile& file) const {
        const QTimeZone& zone = options.zone;
        if (allDay) {
            *day = instant.toTimeZone(zone).date();
            return ItemTime::make(*day, {}, true, {}, zone);
        }
        const QDateTime local = instant.toTimeZone(zone);
        // A timed slot always carries a zone, never floating: the user's zone when other programs
        // can know it by name, else UTC.
        const bool utcAnyway = (zone.offsetFromUtc(local) == 0 && zone.daylightTimeOffset(local) == 0 &&
                                !zone.hasDaylightTime()) ||
                               !QTimeZone::isTimeZoneIdAvailable(zone.id());
        if (utcAnyway)
            return ItemTime::make(instant.toUTC().date(), instant.toUTC().time(), false, IcalZone::utc(),
                                  zone);
        file.ensureTimezone(zone, local.date().year());
        return ItemTime::make(local.date(), local.time(), false, IcalZone::named(zone, zone.id()), zone);
    }

    void writeSlot(icalcomponent* event, const Slot& slot, IcalFile& file) const {
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

    icalcomponent* makeOverride(IcalFile& file, icalcomponent* master, const SeriesInstance& instance) const {
        icalcomponent* o = icalcomponent_new_clone(master);
        for (icalproperty_kind kind : {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY,
                                       ICAL_EXRULE_PROPERTY, ICAL_DURATION_PROPERTY, ICAL_DTEND_PROPERTY})
            Ical::removeProperties(o, kind);
        // RECURRENCE-ID keeps the form of the master's DTSTART (date or zone), as the standard asks.
        const ItemTime& original = instance.originalStart;
        icalcomponent_add_property(o, Ical::timeProperty(ICAL_RECURRENCEID_PROPERTY, original));
        Ical::replaceProperty(o, Ical::timeProperty(ICAL_DTSTART_PROPERTY, original));
        const ItemTime end = original.isDate ? ItemTime::make(instance.end.toTimeZone(options.zone).date(),
                                                              {}, true, {}, options.zone)
                                             : original.at(instance.end, options.zone);
        icalcomponent_add_property(o, Ical::timeProperty(ICAL_DTEND_PROPERTY, end));
        icalcomponent_add_component(file.calendar(), o);
        return o;
    }

    struct Target {
        QString path;
        QString calendarId;
        ItemFile::Contents contents;
        IcalFile file;
        QList<EventSeries> all; // only read, so `instance` may point into it
        qsizetype seriesIndex = 0;
        SeriesInstance instance;

        const EventSeries& series() const { return all.at(seriesIndex); }
        QString identifier() const {
            return identifierFor(calendarId, QFileInfo(path).fileName(), all.size(), series().uid());
        }
    };

    // The item and instance behind an occurrence, read from disk now.
    std::optional<Target> locate(const LocalOccurrence& occurrence) {
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

    void refuseUnreadable(const IcalFile& file, const QString& path) const {
        if (file.hasErrors())
            throw CalendarFileError(
                QStringLiteral("%1 has parts Vorrindel can’t read, so it was left unchanged.")
                    .arg(QFileInfo(path).fileName()));
    }

    // Caches what was just written and returns the occurrence that began at `occurrenceDate` (for a
    // non-repeating event, its only occurrence).
    LocalOccurrence occurrenceAfterWrite(const QString& path, const QByteArray& bytes, const FileStamp& stamp,
                                         const QByteArray& uid, const QDateTime& occurrenceDate) {
        const std::shared_ptr<const ParsedItem> parsed = remember(path, bytes, stamp);
        const QString calendarId = calendarIdOf(path);
        if (parsed) {
            for (const EventSeries& series : parsed->series) {
                if (series.uid() != uid)
                    continue;
                if (std::optional<SeriesInstance> instance = series.instanceAt(occurrenceDate, options.zone))
                    return toOccurrence(
                        calendarId,
                        identifierFor(calendarId, QFileInfo(path).fileName(), parsed->series.size(), uid),
                        series, *instance);
            }
        }
        throw CalendarFileError(
            QStringLiteral("%1 was saved but could not be read back.").arg(QFileInfo(path).fileName()));
    }
};

QString LocalCalendars::defaultRoot() {
    const QString configured = qEnvironmentVariable("VORRINDEL_CALENDARS");
    if (!configured.isEmpty())
        return QDir::cleanPath(QDir(configured).absolutePath());
    const QString khalDefault = QDir::homePath() + QStringLiteral("/.calendars");
    if (QFileInfo(khalDefault).isDir())
        return khalDefault;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Vorrindel/calendars");
}

LocalCalendars::LocalCalendars(Options options, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>()) {
    d->options = std::move(options);
    d->root =
        QDir::cleanPath(QDir(d->options.root.isEmpty() ? defaultRoot() : d->options.root).absolutePath());
    if (d->options.watch) {
        d->watcher = std::make_unique<QFileSystemWatcher>();
        d->coalesce.setSingleShot(true);
        connect(d->watcher.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
            if (!d->coalesce.isActive())
                d->firstChange.start();
            else if (d->firstChange.elapsed() >= qint64(d->options.coalesceMs) * maxCoalescedPeriods)
                return;
            d->coalesce.start(d->options.coalesceMs);
        });
        connect(&d->coalesce, &QTimer::timeout, this, [this] {
            d->refreshWatch();
            emit changed();
        });
        d->refreshWatch();
    }
}

LocalCalendars::~LocalCalendars() = default;

const QString& LocalCalendars::root() const {
    return d->root;
}

const QTimeZone& LocalCalendars::zone() const {
    return d->options.zone;
}

void LocalCalendars::setZone(const QTimeZone& zone) {
    if (zone == d->options.zone)
        return;
    d->options.zone = zone;
    // Floating times and dates were resolved in the old zone when the items were parsed.
    d->cache.clear();
}

int LocalCalendars::parseCount() const {
    return d->parseCount;
}

CalendarAccess LocalCalendars::access() const {
    if (d->options.access)
        return *d->options.access;
    struct stat st;
    const QByteArray path = QFile::encodeName(d->root);
    if (::stat(path.constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? CalendarAccess::notDetermined : CalendarAccess::denied;
    if (!S_ISDIR(st.st_mode))
        return CalendarAccess::denied;
    // The permission bits count as well as access(2), which grants everything to root.
    const bool canRead =
        ::access(path.constData(), R_OK | X_OK) == 0 && (st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH));
    const bool canWrite =
        ::access(path.constData(), W_OK | X_OK) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
    if (canRead)
        return CalendarAccess::fullAccess;
    return canWrite ? CalendarAccess::writeOnly : CalendarAccess::denied;
}

bool LocalCalendars::createRoot(QString* error) {
    if (QFileInfo(d->root).isDir()) {
        d->refreshWatch();
        return true;
    }
    if (!QDir().mkpath(defaultCalendarPath())) {
        if (error)
            *error = QStringLiteral("Couldn’t create the calendar folder %1").arg(d->root);
        return false;
    }
    d->refreshWatch();
    return true;
}

QList<LocalCalendar> LocalCalendars::calendars() {
    if (access() != CalendarAccess::fullAccess)
        return {};
    return VdirCollection::discover(d->root);
}

QString LocalCalendars::defaultCalendarPath() const {
    return d->root + QStringLiteral("/Calendar");
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
