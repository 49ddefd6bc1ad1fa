#include "core/calendar/LocalCalendars.h"

#include "core/calendar/LocalCalendarsPrivate.h"
#include "core/calendar/VdirCollection.h"
#include "core/model/PrivateFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A sync that touches many items should give one reload, yet a sync that never stops should not
// starve the app: a change is reported at the latest this many quiet periods after the first.
constexpr int maxCoalescedPeriods = 5;

// Missing root: not determined. Readable: full access. Writable only: write only. Else denied.
CalendarAccess accessOf(const QString& root, const std::optional<CalendarAccess>& forced) {
    if (forced)
        return *forced;
    struct stat st;
    const QByteArray path = QFile::encodeName(root);
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

} // namespace

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
    o.unexpandedRule = series.readOnly();
    o.hasRecurrenceRules = series.repeats() || o.unexpandedRule;
    o.isDetached = instance.isDetached;
    o.lastModified = c.lastModified;
    return o;
}

ItemRef splitIdentifier(const QString& identifier) {
    const qsizetype hash = identifier.indexOf(QLatin1String(".ics#"));
    if (hash < 0)
        return {identifier, {}};
    return {identifier.left(hash + 4), identifier.mid(hash + 5)};
}

QString ItemCache::calendarIdOf(const QString& itemPath) const {
    return QDir(root).relativeFilePath(QFileInfo(itemPath).absolutePath());
}

QString ItemCache::itemPath(const QString& relativePath) const {
    const QString path = QDir::cleanPath(root + QLatin1Char('/') + relativePath);
    if (!path.startsWith(root + QLatin1Char('/')) || !path.endsWith(QLatin1String(".ics")))
        return {};
    return path;
}

void LocalCalendars::Private::refreshWatch() {
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

QString LocalCalendars::calendarIdOfEvent(const QString& eventIdentifier) {
    const QString relativePath = splitIdentifier(eventIdentifier).relativePath;
    return relativePath.left(qMax(0, relativePath.lastIndexOf(QLatin1Char('/'))));
}

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
    d->items->root = d->root;
    d->items->zone = d->options.zone;
    d->items->beforeReading = d->options.beforeReading;
    d->items->itemTimeLimit = d->options.itemTimeLimit;
    d->items->itemClock = d->options.itemClock;
    if (!d->options.journal.isEmpty())
        d->items->journal = ItemJournal::open(d->options.journal, d->options.itemTimeLimit);
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
    // Floating times and dates were resolved in the old zone when the items were parsed: a new cache
    // reads them again. A load under way keeps the old one, and its results their old zone.
    auto fresh = std::make_shared<ItemCache>();
    const ItemCache& old = *d->items;
    fresh->root = old.root;
    fresh->zone = zone;
    fresh->zones = old.zones;
    fresh->journal = old.journal;
    fresh->fileCalls = old.fileCalls;
    fresh->beforeReading = old.beforeReading;
    fresh->budgetSteps = old.budgetSteps;
    fresh->budgetTime = old.budgetTime;
    fresh->itemTimeLimit = old.itemTimeLimit;
    d->items = std::move(fresh);
}

int LocalCalendars::parseCount() const {
    return d->items->parseCount.load();
}

CalendarAccess LocalCalendars::access() const {
    return accessOf(d->root, d->options.access);
}

CalendarAccess LocalCalendars::Items::access() const {
    return accessOf(m_items->root, m_access);
}

LocalCalendars::Items LocalCalendars::items() const {
    Items items;
    items.m_items = d->items;
    items.m_clock = d->options.clock ? d->options.clock : systemClock();
    items.m_access = d->options.access;
    return items;
}

bool LocalCalendars::createRoot(QString* error) {
    if (QFileInfo(d->root).isDir()) {
        d->refreshWatch();
        return true;
    }
    // Private like the app folder it is made in by default, which holds the credential files.
    if (!PrivateFile::makeFolder(defaultCalendarPath())) {
        if (error)
            *error = QStringLiteral("Couldn’t create the calendar folder %1").arg(d->root);
        return false;
    }
    d->refreshWatch();
    return true;
}

QList<LocalCalendar> LocalCalendars::calendars() {
    return items().calendars();
}

QList<LocalCalendar> LocalCalendars::Items::calendars() const {
    if (access() != CalendarAccess::fullAccess)
        return {};
    return VdirCollection::discover(m_items->root);
}

QString LocalCalendars::defaultCalendarPath() const {
    return d->root + QStringLiteral("/Calendar");
}
