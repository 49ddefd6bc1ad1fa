#include "core/calendar/CalendarStore.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ItemJournal.h"
#include "core/calendar/LocalEventBuilder.h"
#include "core/calendar/ReadingThreads.h"
#include "core/model/DebugLog.h"
#include "core/remote/GoogleRecords.h"

#include <QCoro/QCoroFuture>
#include <QPointer>
#include <QPromise>

#include <algorithm>

namespace {

const QString goneMessage = QStringLiteral("That event is no longer in your calendar");
// An occurrence found within this distance of the event's start is the same occurrence.
constexpr qint64 sameStartMs = 60 * 1000;

LocalCalendars::Options watchedDefault() {
    LocalCalendars::Options options;
    options.watch = true;
    options.journal = ItemJournal::defaultFolder();
    return options;
}

QList<LocalCalendar> without(QList<LocalCalendar> calendars, const QSet<QString>& excludedIds) {
    calendars.removeIf([&](const LocalCalendar& c) { return excludedIds.contains(c.id); });
    return calendars;
}

// Runs a change of the event on a reading thread. An item that does not answer in time (a stalled
// mount) fails the change with the calendar's name: the file names mean little to the user.
template <typename Change> auto changeLater(const CalEvent& event, Change change) {
    return ReadingThreads::later([calendar = event.calendarName, change = std::move(change)]() mutable {
        try {
            return change();
        } catch (const ItemTimeoutError&) {
            throw CalendarFileError(
                QStringLiteral("%1 didn’t answer in time, so the event was left as it was.").arg(calendar));
        }
    });
}

} // namespace

CalendarStore::CalendarStore(QObject* parent)
    : CalendarStore(watchedDefault(), parent) {}

CalendarStore::CalendarStore(LocalCalendars::Options options, QObject* parent)
    : QObject(parent)
    , m_backend(std::make_unique<LocalCalendars>(std::move(options))) {
    m_status = m_backend->access();
    connect(m_backend.get(), &LocalCalendars::changed, this, [this] {
        reloadCalendars();
        if (onChange)
            onChange();
    });
    reloadCalendars();
}

CalendarStore::~CalendarStore() = default;

bool CalendarStore::isDenied() const {
    return m_status == CalendarAccess::denied || m_status == CalendarAccess::restricted ||
           m_status == CalendarAccess::writeOnly;
}

QCoro::Task<> CalendarStore::requestAccess() {
    QString error;
    if (m_backend->access() == CalendarAccess::notDetermined && !m_backend->createRoot(&error)) {
        m_lastError = error;
        emit lastErrorChanged();
        DebugLog::log([&] { return QStringLiteral("requestFullAccessToEvents failed: ") + error; });
    }
    const CalendarAccess status = m_backend->access();
    if (status != m_status) {
        m_status = status;
        emit statusChanged();
    }
    DebugLog::log([&] { return QStringLiteral("after request: status=%1").arg(int(m_status)); });
    reloadCalendars();
    co_return;
}

void CalendarStore::reloadCalendars() {
    QList<LocalCalendar> calendars;
    if (m_status == CalendarAccess::fullAccess)
        calendars = m_backend->calendars();
    if (calendars != m_calendars) {
        m_calendars = std::move(calendars);
        emit calendarsChanged();
    }
}

CalEvent CalendarStore::buildEvent(const LocalOccurrence& occurrence, const QList<LocalCalendar>& calendars,
                                   const QStringList& ownAddresses) {
    auto it = std::find_if(calendars.begin(), calendars.end(),
                           [&](const LocalCalendar& c) { return c.id == occurrence.calendarId; });
    LocalCalendar calendar;
    if (it != calendars.end())
        calendar = *it;
    else
        calendar.id = calendar.title = occurrence.calendarId;
    return LocalEventBuilder::build(occurrence, calendar, ownAddresses);
}

QList<CalEvent> CalendarStore::buildEvents(const QList<LocalOccurrence>& occurrences,
                                           const QList<LocalCalendar>& calendars,
                                           const QStringList& ownAddresses) {
    QList<CalEvent> out;
    out.reserve(occurrences.size());
    for (const LocalOccurrence& o : occurrences) {
        if (o.status != LocalOccurrence::Status::cancelled)
            out.append(buildEvent(o, calendars, ownAddresses));
    }
    return out;
}

QList<CalEvent> CalendarStore::events(const QDateTime& from, const QDateTime& to,
                                      const QSet<QString>& excludedCalendarIds) {
    if (m_status != CalendarAccess::fullAccess)
        return {};
    const QList<LocalCalendar> visible = without(m_backend->calendars(), excludedCalendarIds);
    if (visible.isEmpty())
        return {};
    return buildEvents(m_backend->occurrences(from, to, visible), visible, m_ownAddresses);
}

QFuture<QList<CalEvent>> CalendarStore::loadEvents(const QDateTime& from, const QDateTime& to,
                                                   const QSet<QString>& excludedCalendarIds) {
    auto promise = std::make_shared<QPromise<QList<CalEvent>>>();
    QFuture<QList<CalEvent>> future = promise->future();
    promise->start();
    const QList<LocalCalendar> visible = m_status == CalendarAccess::fullAccess
                                             ? without(m_calendars, excludedCalendarIds)
                                             : QList<LocalCalendar>();
    if (visible.isEmpty()) {
        promise->addResult(QList<CalEvent>());
        promise->finish();
        return future;
    }
    m_backend->occurrencesLater(from, to, visible,
                                [promise, visible, own = m_ownAddresses](QList<LocalOccurrence> occurrences) {
                                    promise->addResult(buildEvents(occurrences, visible, own));
                                    promise->finish();
                                });
    return future;
}

QCoro::Task<> CalendarStore::readUnansweredAgain() {
    if (m_status != CalendarAccess::fullAccess || m_calendars.isEmpty())
        co_return;
    auto promise = std::make_shared<QPromise<int>>();
    QFuture<int> read = promise->future();
    promise->start();
    m_backend->readUnansweredLater(m_calendars, [promise](int answered) {
        promise->addResult(answered);
        promise->finish();
    });
    QPointer self(this);
    const int answered = co_await read;
    if (!self || answered == 0)
        co_return;
    reloadCalendars();
    if (onChange)
        onChange();
}

QList<LocalCalendar> CalendarStore::writableCalendars() {
    if (m_status != CalendarAccess::fullAccess)
        return {};
    QList<LocalCalendar> out = m_backend->calendars();
    out.removeIf([](const LocalCalendar& c) { return !c.allowsModifications; });
    return out;
}

std::optional<LocalCalendar> CalendarStore::calendarForNewEvents(const QString& preferredId) {
    const QList<LocalCalendar> writable = writableCalendars();
    for (const LocalCalendar& c : writable) {
        if (c.id == preferredId)
            return c;
    }
    for (const LocalCalendar& c : writable) {
        if (c.sourceType == LocalCalendar::SourceType::calDAV && c.title.contains(QLatin1Char('@')))
            return c;
    }
    const QString fallback = m_backend->defaultCalendarPath();
    for (const LocalCalendar& c : writable) {
        if (c.path == fallback)
            return c;
    }
    if (!writable.isEmpty())
        return writable.first();
    return std::nullopt;
}

std::optional<LocalOccurrence> CalendarStore::ekEvent(const LocalCalendars::Items& items,
                                                      const CalEvent& event) {
    if (!event.ekIdentifier)
        return std::nullopt;
    // Only the event's own item is read: the identifier names it.
    const QList<LocalOccurrence> kept =
        items.occurrencesOf(*event.ekIdentifier, event.start.addSecs(-1), event.end.addSecs(1));
    if (!kept.isEmpty()) {
        // Two occurrences of a series can share a start once one was moved onto the other's slot;
        // the occurrence date in the event's id tells them apart.
        for (const LocalOccurrence& o : kept) {
            if (CalEvent::localId(o.eventIdentifier, o.occurrenceDate) == event.id)
                return o;
        }
        for (const LocalOccurrence& o : kept) {
            if (qAbs(o.start.msecsTo(event.start)) < sameStartMs)
                return o;
        }
        // Another occurrence of a series is a different day of it: editing it would change the wrong
        // day. Only a non-repeating event may have moved and still be this one.
        if (!kept.first().isRecurring())
            return kept.first();
        return std::nullopt;
    }
    std::optional<LocalOccurrence> found = items.event(*event.ekIdentifier);
    if (!found)
        return std::nullopt;
    if (!found->isRecurring() || qAbs(found->start.msecsTo(event.start)) <= sameStartMs)
        return found;
    return std::nullopt;
}

std::optional<LocalCalendar> CalendarStore::calendarOf(const CalEvent& event) const {
    if (!event.ekIdentifier)
        return std::nullopt;
    const QString id = LocalCalendars::calendarIdOfEvent(*event.ekIdentifier);
    for (const LocalCalendar& calendar : m_calendars) {
        if (calendar.id == id)
            return calendar;
    }
    return std::nullopt;
}

std::pair<LocalOccurrence, LocalCalendar> CalendarStore::editable(const LocalCalendars::Items& items,
                                                                  const CalEvent& event) {
    std::optional<LocalOccurrence> occurrence = ekEvent(items, event);
    if (!occurrence)
        throw GoogleError(goneMessage);
    const QList<LocalCalendar> calendars = items.calendars();
    auto it = std::find_if(calendars.begin(), calendars.end(),
                           [&](const LocalCalendar& c) { return c.id == occurrence->calendarId; });
    if (it == calendars.end())
        throw GoogleError(goneMessage);
    if (!it->allowsModifications)
        throw GoogleError(it->title + QStringLiteral(" is read-only"));
    return {*occurrence, *it};
}

QCoro::Task<CalEvent> CalendarStore::updateEvent(CalEvent event, std::optional<QString> title,
                                                 std::optional<Slot> slot) {
    QFuture<CalEvent> change =
        changeLater(event, [items = m_backend->items(), event, title, slot, own = m_ownAddresses] {
            const auto [occurrence, calendar] = editable(items, event);
            std::optional<LocalOccurrence> updated = items.update(occurrence, title, slot);
            if (!updated)
                throw GoogleError(goneMessage);
            return LocalEventBuilder::build(*updated, calendar, own);
        });
    co_return co_await change;
}

QCoro::Task<> CalendarStore::deleteEvent(CalEvent event) {
    QFuture<void> change = changeLater(event, [items = m_backend->items(), event] {
        if (!items.remove(editable(items, event).first))
            throw GoogleError(goneMessage);
    });
    co_await change;
}

CalEvent CalendarStore::createEvent(const QuickAddDraft& draft, const LocalCalendar& calendar) {
    if (!calendar.allowsModifications)
        throw CalendarFileError(calendar.title + QStringLiteral(" is read-only"));
    const LocalOccurrence created =
        m_backend->create(calendar, draft.title, {draft.start, draft.end, draft.isAllDay});
    return LocalEventBuilder::build(created, calendar, m_ownAddresses);
}

void CalendarStore::setOwnAddresses(const QStringList& addresses) {
    m_ownAddresses = addresses;
}

void CalendarStore::setZone(const QTimeZone& zone) {
    m_backend->setZone(zone);
}

void CalendarStore::openPrivacySettings(const std::function<bool(const QUrl&)>& open) {
    const QString root = LocalCalendars::defaultRoot();
    if (root.isEmpty() || !open)
        return;
    open(QUrl::fromLocalFile(root));
}
