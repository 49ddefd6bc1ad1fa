#pragma once

#include "core/model/UserFacingError.h"
#include "core/quickadd/QuickAddEnv.h"
#include "core/quickadd/QuickAddPanel.h"
#include "core/store/PeopleDirectory.h"

#include <QCoroSignal>
#include <QStringList>
#include <QTimeZone>

// An agenda for quick add in Berlin, on Wednesday 4 March 2026 at 10:00: people, two Google calendars
// of Ada's, two local calendars and a few events. The free-slot finder and the people directory are
// the app's own functions over these; every look at a day's events is recorded. Writes are recorded and
// answer with `writeError` (thrown) or success; with `holdWrites` they wait for release().
class FakeEnv : public QuickAddEnv {
    Q_OBJECT

public:
    // The wall time in Berlin, whatever the test's own zone.
    static QDateTime berlin(const QString& wall) {
        QDateTime t = QDateTime::fromString(wall, QStringLiteral("yyyy-MM-dd HH:mm"));
        t.setTimeZone(QTimeZone("Europe/Berlin"));
        return t.toUTC();
    }
    static CalEvent event(const QString& id, const QString& title, const QString& from, const QString& to,
                          bool allDay = false) {
        CalEvent e;
        e.id = id;
        e.title = title;
        e.start = berlin(from);
        e.end = berlin(to);
        e.isAllDay = allDay;
        e.color = QColor(0x30, 0xd1, 0x58);
        return e;
    }

    explicit FakeEnv(const char* locale = "en_US")
        : calendar(QTimeZone("Europe/Berlin"), QLocale(QString::fromLatin1(locale)), Qt::Monday,
                   {Qt::Saturday, Qt::Sunday}) {
        people = {Person("ondrea@corp.io", "Ondrea Lindqvist"), Person("oskel@corp.io", "Oskel Brandt"),
                  Person("pim@corp.io", "Pim Ode"), Person("bob@corp.io")};
        targets = {{"ada@corp.io", {"ada@corp.io", "ada@corp.io", QStringLiteral("#7986cb"), true, {}}},
                   {"ada@corp.io", {"team@group.corp.io", "Team", std::nullopt, false, {}}}};
        LocalCalendar work{"work", "Work", QColor(0xff, 0x9f, 0x0a), "Local"};
        LocalCalendar home{"fastmail/home", "Home", QColor(), "fastmail", LocalCalendar::SourceType::calDAV};
        work.allowsModifications = home.allowsModifications = true;
        calendars = {work, home};
        agenda = {event("plan", "Planning", "2026-03-04 11:00", "2026-03-04 12:00"),
                  event("stand", "Standup", "2026-03-05 09:00", "2026-03-05 09:30"),
                  event("hol", "Holiday", "2026-03-05 00:00", "2026-03-06 00:00", true),
                  event("rev", "Review", "2026-03-05 14:00", "2026-03-05 15:00")};
    }

    QDateTime now() const override { return clock; }
    Cal cal() const override { return calendar; }
    int defaultEventMinutes() const override { return minutes; }
    bool quickAddHotkey() const override { return hotkey; }
    bool googleHasClient() const override { return hasClient; }
    bool googleNeedsWriteAccess() const override { return needsWriteAccess; }
    bool isConnectingGoogle() const override { return connecting; }
    std::optional<Person> person(const QString& matching) const override {
        return PeopleDirectory::match(people, matching);
    }
    QList<Person> suggestions(const QString& text, const QList<Person>& excluding) const override {
        return PeopleDirectory::suggestions(people, text, excluding);
    }
    QList<CalEvent> events(const QDateTime& day) const override {
        QList<CalEvent> out;
        for (const CalEvent& e : agenda) {
            if (calendar.isSameDay(e.start, day))
                out << e;
        }
        return out;
    }
    std::optional<QList<CalEvent>> loadedEvents(const QDateTime& day) const override {
        lookups << calendar.dateOf(day).toString(Qt::ISODate);
        return events(day);
    }
    QList<MeetingTarget> meetingTargets() const override { return targets; }
    std::optional<MeetingTarget> defaultMeetingTarget() const override {
        for (const MeetingTarget& t : targets) {
            if (t.id() == defaultTarget)
                return t;
        }
        return targets.isEmpty() ? std::nullopt : std::optional(targets.first());
    }
    QList<LocalCalendar> writableCalendars() const override { return calendars; }
    std::optional<LocalCalendar> calendarForNewEvents() const override {
        for (const LocalCalendar& c : calendars) {
            if (c.id == defaultCalendar)
                return c;
        }
        return calendars.isEmpty() ? std::nullopt : std::optional(calendars.first());
    }
    std::optional<LocalCalendar> calendarOf(const CalEvent&) const override { return editedCalendar; }

    CalEvent addEvent(const QuickAddDraft& draft, const LocalCalendar& calendar) override {
        writes << QStringLiteral("add ") + draft.title + QStringLiteral(" to ") + calendar.title;
        if (writeError)
            throw UserFacingError(*writeError);
        return {};
    }
    QCoro::Task<CalEvent> createMeeting(QuickAddDraft draft, QList<Person> invitees, bool meet,
                                        MeetingTarget target, GoogleAPI::InsertIds ids,
                                        QuickAddOutbox::Renewed) override {
        QStringList guests;
        for (const Person& p : invitees)
            guests << p.email;
        writes << QStringLiteral("meeting %1 with [%2]%3 in %4")
                      .arg(draft.title, guests.join(u','), meet ? QStringLiteral(" and Meet") : QString(),
                           target.calendar.id);
        insertIds << ids.eventId;
        return answer(CalEvent{});
    }
    QCoro::Task<CalEvent> updateEvent(CalEvent event, QuickAddDraft draft, QList<Person>, bool) override {
        writes << QStringLiteral("save ") + draft.title;
        event.title = draft.title;
        return answer(event);
    }
    // Every day is loaded here: nothing is ever read.
    QCoro::Task<EventsByDay> readDays(QDateTime, QDateTime) override { co_return EventsByDay(); }
    QCoro::Task<bool> connectGoogle() override {
        writes << QStringLiteral("connect");
        co_return true;
    }
    void setDefaultMeetingTarget(const QString& target) override { defaultTarget = target; }
    void setDefaultCalendarID(const QString& id) override { defaultCalendar = id; }
    QuickAddOutbox& outbox() override { return sent; }

    void release() { emit released(); }
    void touch() { emit changed(); }

    Cal calendar;
    QDateTime clock = berlin(QStringLiteral("2026-03-04 10:00"));
    int minutes = 60;
    bool hotkey = true;
    bool hasClient = true;
    bool needsWriteAccess = false;
    bool connecting = false;
    QList<Person> people;
    QList<MeetingTarget> targets;
    QString defaultTarget;
    QList<LocalCalendar> calendars;
    QString defaultCalendar;
    std::optional<LocalCalendar> editedCalendar;
    QList<CalEvent> agenda;

    mutable QStringList lookups; // the days whose loaded events were asked for
    QStringList writes;
    QStringList insertIds; // of every meeting sent, in order
    QuickAddOutbox sent;
    std::optional<QString> writeError;
    bool holdWrites = false;

signals:
    void released();

private:
    QCoro::Task<CalEvent> answer(CalEvent result) {
        if (holdWrites)
            co_await qCoro(this, &FakeEnv::released);
        if (writeError)
            throw UserFacingError(*writeError);
        co_return result;
    }
};

// The panel as NotchState and NotchController show it to quick add: every field change is signalled
// on its own, in the order the controller makes them.
class FakePanel : public QuickAddPanel {
    Q_OBJECT

public:
    bool isQuickAddShown() const override { return shown; }
    QStringList prefill() const override { return lines; }
    void clearPrefill() override { set(lines, QStringList()); }
    std::optional<CalEvent> editingEvent() const override { return editing; }
    void setSelectedEvent(const CalEvent& event) override { set(selected, std::optional(event)); }
    void closeQuickAdd(bool) override {
        ++closes;
        set(shown, false);
        set(editing, std::optional<CalEvent>());
    }
    std::unique_ptr<EscapeHandler> handleEscape(std::function<bool()> handler) override {
        escape = std::move(handler);
        return std::make_unique<Registration>(this, ++registrations);
    }

    // The panel's Escape: quick add's handler first; false means the panel collapses.
    bool pressEscape() { return escape && escape(); }
    void openQuickAdd(const QString& prefill) {
        if (!prefill.isEmpty())
            set(lines, lines + QStringList{prefill});
        set(selected, std::optional<CalEvent>());
        set(editing, std::optional<CalEvent>());
        set(shown, true);
    }
    void openEditor(const CalEvent& event) {
        set(editing, std::optional(event));
        set(shown, true);
    }
    void collapse() {
        set(selected, std::optional<CalEvent>());
        set(shown, false);
        set(editing, std::optional<CalEvent>());
    }

    bool shown = false;
    QStringList lines;
    std::optional<CalEvent> editing;
    std::optional<CalEvent> selected;
    int closes = 0;
    std::function<bool()> escape;

private:
    struct Registration : EscapeHandler {
        Registration(FakePanel* panel, int id)
            : panel(panel)
            , id(id) {}
        ~Registration() override {
            if (panel->registrations == id)
                panel->escape = nullptr;
        }
        FakePanel* panel;
        int id;
    };
    template <typename T> void set(T& field, T value) {
        field = std::move(value);
        emit changed();
    }
    int registrations = 0;
};
