#pragma once

#include "core/calendar/LocalCalendar.h"
#include "core/model/CalEvent.h"
#include "core/model/Person.h"
#include "core/store/EventStore.h"

#include <QColor>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <utility>
#include <variant>

// The quick-add panel's own state, kept by QuickAddModel for one showing of the panel, and the
// destination type its derived values and actions speak of.
namespace QuickAdd {

// The fields that can hold the keyboard.
enum class Field { main, when, people };

// Days from the first up to (not including) the second, each a start of day.
using DayRange = std::pair<QDateTime, QDateTime>;

// Placeholder titles that count as no title: an edit of such an event starts with an empty line.
bool isUntitled(const QString& title);

// Where a new or edited event lives: a local calendar, or a Google calendar of a connected account.
class Destination {
public:
    explicit Destination(LocalCalendar calendar)
        : m_where(std::move(calendar)) {}
    explicit Destination(EventStore::MeetingTarget target)
        : m_where(std::move(target)) {}

    bool isGoogle() const { return std::holds_alternative<EventStore::MeetingTarget>(m_where); }
    // Null for the other kind.
    const LocalCalendar* calendar() const { return std::get_if<LocalCalendar>(&m_where); }
    const EventStore::MeetingTarget* target() const {
        return std::get_if<EventStore::MeetingTarget>(&m_where);
    }

    // "mac|" and the calendar id, or "g|", the account, "|" and the Google calendar id. Unique in a
    // destination list; the panel remembers a pick by it.
    QString id() const;
    // The calendar's colour; blue when it has none (or, for Google, none that parses).
    QColor color() const;
    // The local calendar's title; the account's address for its primary Google calendar, else the
    // Google calendar's name.
    QString title() const;
    // "Google · invites & Meet links", or the local calendar's account and " · on this computer".
    QString subtitle() const;

    friend bool operator==(const Destination&, const Destination&) = default;

private:
    std::variant<LocalCalendar, EventStore::MeetingTarget> m_where;
};

// Everything the user has typed and chosen in one showing of quick add. Plain data: the derived
// values (the draft, the guests, the destination, every text) are computed from it by derive().
struct State {
    QString text;                   // the typed line; the title when editing
    QList<Person> manualInvitees;   // added in the people field, or the edited event's guests
    std::optional<bool> meetChoice; // the user's Meet choice; absent: Meet follows the guests
    bool showPeople = false;        // the people field is open
    QString peopleQuery;
    std::optional<QString> destinationID; // a Destination::id() picked in this showing
    bool showCalendars = false;           // the destination list is open
    std::optional<QString> error;
    bool busy = false; // a Google add or a save is under way
    std::optional<CalEvent> editing;
    QString whenText;                             // the edited event's when-line
    std::optional<LocalCalendar> editingCalendar; // the local calendar of an edited local event
    std::optional<Field> focus;
    // Lower-cased addresses of the edited event's organisers. A Google write always keeps them, so
    // their chips cannot be removed.
    QSet<QString> organizers;
    // Days the agenda has not loaded, read in this showing to find a free slot on them: every day of
    // each range read, keyed by its start. The range whose read failed and why, until the line changes.
    EventsByDay readDays;
    std::optional<std::pair<DayRange, QString>> readFailure;
};

} // namespace QuickAdd
