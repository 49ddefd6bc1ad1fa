#include "core/quickadd/QuickAddModel.h"

#include "core/model/Tasks.h"
#include "core/model/TextRules.h"
#include "core/model/UserFacingError.h"
#include "core/quickadd/EditPhrase.h"
#include "core/quickadd/QuickAddGuests.h"
#include "core/quickadd/QuickAddParser.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

using QuickAdd::Field;

namespace {

constexpr int focusDelayMs = 200;

QString messageOf(const std::exception& error) {
    if (const auto* userFacing = dynamic_cast<const UserFacingError*>(&error))
        return userFacing->message();
    return QString::fromUtf8(error.what());
}

bool sameGuest(const Person& a, const Person& b) {
    return a.email.compare(b.email, Qt::CaseInsensitive) == 0;
}

bool holds(const QList<Person>& people, const Person& person) {
    return std::any_of(people.cbegin(), people.cend(), [&](const Person& p) { return sameGuest(p, person); });
}

// Nobody waits for the sign-in: its outcome shows in the agenda's own state.
QCoro::Task<> signIn(QCoro::Task<bool> connect) {
    try {
        co_await connect;
    } catch (const std::exception&) {
    }
}

} // namespace

QuickAddModel::QuickAddModel(QuickAddEnv& env, QuickAddPanel& panel, QObject* parent)
    : QObject(parent)
    , m_env(env)
    , m_panel(panel) {
    connect(&env, &QuickAddEnv::changed, this, &QuickAddModel::update);
    connect(&panel, &QuickAddPanel::changed, this, &QuickAddModel::panelChanged);
    connect(&env.outbox(), &QuickAddOutbox::answered, this, &QuickAddModel::sendAnswered);
}

QuickAddModel::~QuickAddModel() = default;

const QuickAdd::Derived& QuickAddModel::view() const {
    if (!m_view)
        m_view = QuickAdd::derive(m_state, m_env);
    return *m_view;
}

void QuickAddModel::update() {
    m_view.reset();
    readDaysForSlot();
    emit changed();
}

void QuickAddModel::readDaysForSlot() {
    if (!isOpen() || !view().findingSlot)
        return;
    const QuickAdd::DayRange range = *view().daysToRead;
    if (m_reading.contains(range))
        return;
    m_reading << range;
    Tasks::startDetached(readDays(range), QStringLiteral("Reading days for a free slot"));
}

QCoro::Task<> QuickAddModel::readDays(QuickAdd::DayRange range) {
    QPointer self(this);
    std::optional<EventsByDay> days;
    std::optional<QString> failure;
    try {
        QCoro::Task<EventsByDay> call = m_env.readDays(range.first, range.second);
        days = co_await call;
    } catch (const CancelledError&) {
    } catch (const std::exception& error) {
        failure = messageOf(error);
    }
    if (!self)
        co_return;
    m_reading.removeOne(range);
    // The days belong to this showing: one that has ended takes nothing more. The line may have
    // moved on meanwhile; what was read stays for when it comes back.
    if (!isOpen() || (!days && !failure))
        co_return;
    if (days)
        m_state.readDays.insert(*days);
    else
        m_state.readFailure = std::pair(range, *failure);
    update();
}

QuickAddDraft QuickAddModel::parse(const QString& text) const {
    return QuickAdd::parseLine(text, m_env);
}

// ---- Showing

void QuickAddModel::appear() {
    if (m_appeared)
        return;
    m_appeared = true;
    const std::optional<CalEvent> editing = m_panel.editingEvent();
    m_seenEditingId = editing ? std::optional(editing->id) : std::nullopt;
    if (editing) {
        load(*editing);
    } else {
        // The oldest line not yet on Google comes back as it is (being sent, with its failure, or
        // waiting its turn), and a line handed over goes behind it; with none kept, it is taken.
        restoreHeldLine();
        consumePrefill();
    }
    QPointer self(this);
    m_escape = m_panel.handleEscape([self] { return self && self->isOpen() && self->dismissOverlays(); });
    // Unless the user has already put the keyboard somewhere (the guests button, a click in a field).
    QTimer::singleShot(focusDelayMs, this, [this] {
        if (isOpen() && !m_state.focus)
            requestFocus(Field::main);
    });
}

void QuickAddModel::load(const CalEvent& event) {
    // A meeting being sent goes on in the outbox; the edit is not busy with it.
    if (sending())
        m_state.busy = false;
    m_showedHeldLine = false;
    m_state.editing = event;
    m_state.text = QuickAdd::isUntitled(event.title) ? QString() : event.title;
    m_state.whenText = EditPhrase::canonical(event, m_env.now(), m_env.cal());
    m_state.editingCalendar =
        event.source == EventSource::calendar ? m_env.calendarOf(event) : std::optional<LocalCalendar>();
    m_state.manualInvitees.clear();
    m_state.organizers.clear();
    for (const Attendee& attendee : event.attendees) {
        if (attendee.isMe || !attendee.email)
            continue;
        if (attendee.isOrganizer)
            m_state.organizers.insert(attendee.email->toLower());
        const Person guest(*attendee.email, attendee.name == *attendee.email ? QString() : attendee.name);
        if (!holds(m_state.manualInvitees, guest))
            m_state.manualInvitees << guest;
    }
    m_state.meetChoice = event.hasGoogleMeet();
    m_state.error.reset();
    update();
}

void QuickAddModel::consumePrefill() {
    const QStringList handed = m_panel.prefill();
    if (handed.isEmpty())
        return;
    if (m_state.editing && !m_panel.editingEvent()) {
        reset(); // takes the prefill at its end
        return;
    }
    for (const QString& line : handed) {
        if (!m_state.editing && m_env.outbox().held())
            // Quick add shows the oldest line not yet on Google: this one waits its turn behind the
            // others.
            m_env.outbox().add({line, {}, std::nullopt, QString()});
        else
            m_state.text = line; // the field is idle: a later line replaces it
    }
    update();
    m_panel.clearPrefill();
}

void QuickAddModel::reset() {
    m_state.editing.reset();
    m_state.editingCalendar.reset();
    m_state.text.clear();
    m_state.whenText.clear();
    m_state.manualInvitees.clear();
    m_state.organizers.clear();
    m_state.meetChoice.reset();
    m_state.error.reset();
    m_state.readFailure.reset();
    restoreHeldLine();
    update();
    consumePrefill();
}

bool QuickAddModel::dismissOverlays() {
    if (m_state.busy)
        return true;
    if (m_state.showCalendars) {
        m_state.showCalendars = false;
        update();
        return true;
    }
    if (view().showPeopleField) {
        m_state.showPeople = false;
        update();
        requestFocus(Field::main);
        return true;
    }
    if (!m_state.editing)
        return false;
    close();
    return true;
}

void QuickAddModel::panelChanged() {
    if (!isOpen())
        return;
    if (!m_panel.isQuickAddShown()) {
        // At once, not after the burst: a reply that arrives in between must already see it.
        m_ended = true;
        m_escape.reset();
        // A held line this showing had on screen and the user changed or cleared: let go of it. A
        // line handed in by a link goes where quick add puts it.
        const QuickAddOutbox::Held* held = m_env.outbox().held();
        QuickAddOutbox::Line shown = line();
        if (held && held->line.destinationID.isEmpty())
            shown.destinationID.clear();
        if (m_showedHeldLine && held && !held->sending && held->line != shown)
            m_env.outbox().drop();
        return;
    }
    if (!m_syncQueued) {
        m_syncQueued = true;
        QMetaObject::invokeMethod(this, &QuickAddModel::syncWithPanel, Qt::QueuedConnection);
    }
}

// One step for a whole burst of panel changes: opening quick add over an edit clears the edited
// event and hands over a line in either order, and the line must survive both.
void QuickAddModel::syncWithPanel() {
    m_syncQueued = false;
    if (!isOpen() || !m_panel.isQuickAddShown())
        return;
    const std::optional<CalEvent> editing = m_panel.editingEvent();
    const std::optional<QString> id = editing ? std::optional(editing->id) : std::nullopt;
    if (id != m_seenEditingId) {
        m_seenEditingId = id;
        if (editing)
            load(*editing);
        else if (m_state.editing)
            reset();
    }
    consumePrefill();
}

void QuickAddModel::close() {
    // Last thing: the panel may delete this model as quick add closes.
    m_panel.closeQuickAdd(false);
}

void QuickAddModel::requestFocus(Field field) {
    m_state.focus = field;
    emit focusRequested(field);
}

// ---- Typing

void QuickAddModel::setText(const QString& text) {
    if (sending())
        return;
    m_state.text = text;
    m_state.error.reset();
    m_state.readFailure.reset(); // a changed line tries the days again
    m_state.showCalendars = false;
    update();
}

void QuickAddModel::setWhenText(const QString& text) {
    m_state.whenText = text;
    m_state.error.reset();
    update();
}

void QuickAddModel::whenReturn() {
    requestFocus(Field::main);
}

void QuickAddModel::focused(Field field) {
    // Nothing derived depends on the focus: no new view, only the boxes' outlines change.
    m_state.focus = field;
    emit changed();
}

// ---- Adding and saving

void QuickAddModel::add() {
    const QuickAdd::Derived& v = view();
    if (!v.canAdd || !v.destination)
        return;
    if (m_state.editing) {
        const CalEvent event = *m_state.editing;
        // Runs on by itself; it checks its model after the wait.
        Tasks::startDetached(save(event, v.draft, v.invitees, v.meetOn), QStringLiteral("Saving an event"));
        return;
    }
    const QuickAddDraft draft = v.scheduled;
    if (v.destination->calendar()) {
        // A copy: the write makes the agenda change, which replaces the view it came from.
        const LocalCalendar calendar = *v.destination->calendar();
        try {
            m_env.addEvent(draft, calendar);
        } catch (const CancelledError&) {
            return;
        } catch (const std::exception& error) {
            m_state.error = messageOf(error);
            update();
            return;
        }
        finish();
        return;
    }
    // What is sent is taken now, and the line takes no changes until Google has answered. The outbox
    // follows the send, so that its line outlives this showing until the meeting is known to be on
    // Google.
    const QuickAddOutbox::Line sent = line();
    m_state.busy = true;
    m_showedHeldLine = true;
    m_env.outbox().send(
        sent, [&env = m_env, draft, invitees = v.invitees, meet = v.meetOn,
               target = *v.destination->target()](GoogleAPI::InsertIds ids, QuickAddOutbox::Renewed renewed) {
            return env.createMeeting(draft, invitees, meet, target, std::move(ids), std::move(renewed));
        });
    update();
}

void QuickAddModel::sendAnswered(bool taken) {
    // The held send is the one any sending showing waits for; a showing that ended only stops waiting.
    if (!sending())
        return;
    m_state.busy = false;
    if (!isOpen() || !m_panel.isQuickAddShown()) {
        update();
        return;
    }
    const QuickAddOutbox::Held* held = m_env.outbox().held();
    if (!taken) {
        // The failure shows with its own line; the lines handed over meanwhile wait behind it.
        if (held && held->failure)
            m_state.error = held->failure;
        update();
        return;
    }
    // On Google. The next line waiting takes the sent one's place; else quick add is done.
    if (!held) {
        finish();
        return;
    }
    clearLine();
    restoreHeldLine();
}

QuickAddOutbox::Line QuickAddModel::line() const {
    const QuickAdd::Derived& v = view();
    return {m_state.text, m_state.manualInvitees, m_state.meetChoice,
            v.destination ? v.destination->id() : QString()};
}

void QuickAddModel::restoreHeldLine() {
    const QuickAddOutbox::Held* held = m_env.outbox().held();
    if (!held)
        return;
    m_state.text = held->line.text;
    m_state.manualInvitees = held->line.manualInvitees;
    m_state.meetChoice = held->line.meetChoice;
    if (!held->line.destinationID.isEmpty())
        m_state.destinationID = held->line.destinationID;
    m_state.busy = held->sending;
    m_state.error = held->failure;
    m_showedHeldLine = true;
    update();
}

bool QuickAddModel::sending() const {
    return m_state.busy && !m_state.editing;
}

QCoro::Task<> QuickAddModel::save(CalEvent event, QuickAddDraft draft, QList<Person> invitees, bool meet) {
    m_state.busy = true;
    update();
    QPointer self(this);
    std::optional<QString> failure;
    std::optional<CalEvent> saved;
    bool cancelled = false;
    try {
        QCoro::Task<CalEvent> call = m_env.updateEvent(event, std::move(draft), std::move(invitees), meet);
        saved = co_await call;
    } catch (const CancelledError&) {
        cancelled = true;
    } catch (const std::exception& error) {
        failure = messageOf(error);
    }
    if (!self)
        co_return;
    // Another event taken into quick add meanwhile is not this reply's: neither its success nor its
    // failure shows there.
    const bool sameEvent = m_state.editing && m_state.editing->id == event.id;
    if (!answered(failure, cancelled || !sameEvent) || !saved)
        co_return;
    m_panel.setSelectedEvent(*saved);
    if (self)
        finish();
}

bool QuickAddModel::answered(const std::optional<QString>& failure, bool cancelled) {
    m_state.busy = false;
    // Only while quick add is still on screen: a newer showing keeps its line, a closed one stays closed.
    const bool shown = !cancelled && isOpen() && m_panel.isQuickAddShown();
    if (shown && failure)
        m_state.error = failure;
    if (shown && !failure)
        return true;
    update();
    return false;
}

void QuickAddModel::clearLine() {
    m_state.text.clear();
    m_state.manualInvitees.clear();
    m_state.meetChoice.reset();
    m_state.showPeople = false;
}

void QuickAddModel::finish() {
    clearLine();
    update();
    close();
}

void QuickAddModel::cancel() {
    // An add or a save holds quick add until it is answered (the request's time-out bounds the wait).
    if (!m_state.busy)
        close();
}

void QuickAddModel::back() {
    cancel();
}

void QuickAddModel::toggleCalendars() {
    if (m_state.editing || sending())
        return;
    m_state.showCalendars = !m_state.showCalendars;
    update();
}

void QuickAddModel::pickDestination(const QString& destinationId) {
    if (m_state.editing || sending())
        return;
    const QList<QuickAdd::Destination> destinations = view().destinations;
    const auto it = std::find_if(destinations.cbegin(), destinations.cend(),
                                 [&](const QuickAdd::Destination& d) { return d.id() == destinationId; });
    if (it == destinations.cend())
        return;
    m_state.destinationID = destinationId;
    m_state.showCalendars = false;
    update();
    if (const EventStore::MeetingTarget* target = it->target())
        m_env.setDefaultMeetingTarget(target->id());
    else
        m_env.setDefaultCalendarID(it->calendar()->id);
}

void QuickAddModel::connectGoogle() {
    Tasks::startDetached(signIn(m_env.connectGoogle()), QStringLiteral("Google sign-in"));
}

// ---- Guests

void QuickAddModel::toggleInvite() {
    if (!view().guestsEditable || view().lineLocked)
        return;
    m_state.showPeople = !m_state.showPeople;
    update();
    requestFocus(m_state.showPeople ? Field::people : Field::main);
}

void QuickAddModel::setPeopleQuery(const QString& text) {
    m_state.peopleQuery = text;
    update();
}

void QuickAddModel::commitPerson() {
    if (!view().guestsEditable || view().lineLocked)
        return;
    const QString query = TextRules::trimBlanks(m_state.peopleQuery);
    if (query.isEmpty()) {
        m_state.showPeople = false;
        update();
        requestFocus(Field::main);
        return;
    }
    if (TextRules::isEmailAddress(query)) {
        addPerson(m_env.person(query).value_or(Person(query)));
        return;
    }
    const QList<Person> found = m_env.suggestions(query, view().invitees);
    if (found.isEmpty()) {
        m_state.error = u'“' + query +
                        QStringLiteral("” isn’t an email address and isn’t someone from your calendar yet");
        update();
        return;
    }
    addPerson(found.first());
}

void QuickAddModel::addPerson(const Person& person) {
    const QuickAdd::Derived& v = view();
    if (!v.guestsEditable || v.lineLocked || holds(v.invitees, person))
        return;
    m_state.manualInvitees << person;
    m_state.peopleQuery.clear();
    m_state.error.reset();
    update();
    requestFocus(Field::people);
}

bool QuickAddModel::remove(const Person& person) {
    const QuickAdd::Derived& v = view();
    if (!v.guestsEditable || v.lineLocked || m_state.organizers.contains(person.email.toLower()))
        return false;
    const bool typed = holds(v.draft.invitees, person) && !m_state.editing;
    const bool manual = holds(m_state.manualInvitees, person);
    if (typed) {
        const std::optional<QString> line = QuickAdd::lineWithoutGuest(
            m_state.text, person, [this](const QString& text) { return parse(text); },
            [this](const QString& text) { return m_env.person(text); });
        if (!line) {
            const auto guest = std::find_if(v.draft.invitees.cbegin(), v.draft.invitees.cend(),
                                            [&](const Person& p) { return sameGuest(p, person); });
            m_state.error = QuickAdd::guestStaysMessage(*guest);
            update();
            return false;
        }
        m_state.text = *line;
    } else if (!manual) {
        return false;
    }
    m_state.manualInvitees.removeIf([&](const Person& p) { return sameGuest(p, person); });
    update();
    return true;
}

bool QuickAddModel::backspaceInPeopleField() {
    if (!m_state.peopleQuery.isEmpty())
        return false;
    const QuickAdd::Derived& v = view();
    if (!v.guestsEditable || v.lineLocked)
        return false;
    for (auto chip = v.chips.crbegin(); chip != v.chips.crend(); ++chip) {
        if (chip->removable) {
            const Person guest = chip->person;
            return remove(guest);
        }
    }
    return false;
}

void QuickAddModel::toggleMeet() {
    const QuickAdd::Derived& v = view();
    if (!v.guestsEditable || v.lineLocked)
        return;
    m_state.meetChoice = !v.meetOn;
    update();
}
