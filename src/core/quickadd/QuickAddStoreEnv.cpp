#include "core/quickadd/QuickAddStoreEnv.h"

#include "core/model/DebugLog.h"
#include "core/model/ProcessArguments.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"

QuickAddStoreEnv::QuickAddStoreEnv(EventStore& store, QObject* parent)
    : QuickAddEnv(parent)
    , m_store(store) {
    readCalendars();
    CalendarStore* calendars = &store.calendar();
    connect(calendars, &CalendarStore::calendarsChanged, this, &QuickAddStoreEnv::readCalendars);
    connect(calendars, &CalendarStore::statusChanged, this, &QuickAddStoreEnv::readCalendars);
    connect(&store.settings(), &AppSettings::defaultCalendarIDChanged, this,
            &QuickAddStoreEnv::readCalendars);
    connect(&store, &EventStore::changed, this, &QuickAddEnv::changed);
    connect(&store.settings(), &AppSettings::changed, this, &QuickAddEnv::changed);
}

void QuickAddStoreEnv::readCalendars() {
    CalendarStore& calendars = m_store.calendar();
    m_writable = calendars.writableCalendars();
    m_forNewEvents = calendars.calendarForNewEvents(m_store.settings().defaultCalendarID());
    emit changed();
}

QDateTime QuickAddStoreEnv::now() const {
    return m_store.now();
}

Cal QuickAddStoreEnv::cal() const {
    return m_store.cal();
}

int QuickAddStoreEnv::defaultEventMinutes() const {
    return m_store.settings().defaultEventMinutes();
}

bool QuickAddStoreEnv::quickAddHotkey() const {
    return m_store.settings().quickAddHotkey();
}

bool QuickAddStoreEnv::googleHasClient() const {
    return m_store.settings().google().hasClient();
}

bool QuickAddStoreEnv::googleNeedsWriteAccess() const {
    return m_store.googleNeedsWriteAccess();
}

bool QuickAddStoreEnv::isConnectingGoogle() const {
    return m_store.isConnectingGoogle();
}

std::optional<Person> QuickAddStoreEnv::person(const QString& matching) const {
    return m_store.person(matching);
}

QList<Person> QuickAddStoreEnv::suggestions(const QString& text, const QList<Person>& excluding) const {
    return m_store.suggestions(text, excluding);
}

QList<CalEvent> QuickAddStoreEnv::events(const QDateTime& day) const {
    return m_store.events(day);
}

std::optional<QList<CalEvent>> QuickAddStoreEnv::loadedEvents(const QDateTime& day) const {
    return m_store.loadedEvents(day);
}

QList<QuickAddEnv::MeetingTarget> QuickAddStoreEnv::meetingTargets() const {
    return m_store.meetingTargets();
}

std::optional<QuickAddEnv::MeetingTarget> QuickAddStoreEnv::defaultMeetingTarget() const {
    return m_store.defaultMeetingTarget();
}

QList<LocalCalendar> QuickAddStoreEnv::writableCalendars() const {
    return m_writable;
}

std::optional<LocalCalendar> QuickAddStoreEnv::calendarForNewEvents() const {
    return m_forNewEvents;
}

std::optional<LocalCalendar> QuickAddStoreEnv::calendarOf(const CalEvent& event) const {
    return m_store.calendar().calendarOf(event);
}

CalEvent QuickAddStoreEnv::addEvent(const QuickAddDraft& draft, const LocalCalendar& calendar) {
    return m_store.addEvent(draft, calendar);
}

QCoro::Task<CalEvent> QuickAddStoreEnv::createMeeting(QuickAddDraft draft, QList<Person> invitees, bool meet,
                                                      MeetingTarget target, GoogleAPI::InsertIds ids,
                                                      QuickAddOutbox::Renewed renewed) {
    return m_store.createMeeting(std::move(draft), std::move(invitees), meet, std::move(target),
                                 std::move(ids), std::move(renewed));
}

QCoro::Task<CalEvent> QuickAddStoreEnv::updateEvent(CalEvent event, QuickAddDraft draft,
                                                    QList<Person> invitees, bool meet) {
    return m_store.updateEvent(std::move(event), std::move(draft), std::move(invitees), meet);
}

QCoro::Task<EventsByDay> QuickAddStoreEnv::readDays(QDateTime from, QDateTime to) {
    return m_store.readDays(std::move(from), std::move(to));
}

QCoro::Task<bool> QuickAddStoreEnv::connectGoogle() {
    return m_store.connectGoogle();
}

void QuickAddStoreEnv::setDefaultMeetingTarget(const QString& target) {
    m_store.settings().setDefaultMeetingTarget(target);
}

void QuickAddStoreEnv::setDefaultCalendarID(const QString& id) {
    m_store.settings().setDefaultCalendarID(id);
}

QuickAddOutbox& QuickAddStoreEnv::outbox() {
    if (auto* existing = m_store.findChild<QuickAddOutbox*>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    const QString file = ProcessArguments::isSnapshotMode()
                             ? QString()
                             : DebugLog::stateFolder() + QStringLiteral("/quickadd-line.json");
    return *new QuickAddOutbox(file, &m_store);
}
