#pragma once

#include "core/model/Attendee.h"
#include "core/model/CalEvent.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class Cal;

// What the event detail view shows of an event and what it offers to do with it, as plain values:
// which actions the source and the user's role allow, the texts of the header, the detail lines, the
// attendee chips, the confirmation and the footer's links. The view reads nothing else, so these
// functions are where its rules live and are tested.
namespace EventDetailModel {

// The question asked before an event leaves the user's calendar.
enum class Confirm { deletion, decline };

// The header's action buttons. Notion pages, the alert preview and an event that repeats by a rule
// the app cannot expand offer none; the organiser of an event in a writable calendar may edit and
// delete it; a guest may decline (or, for a local
// calendar, remove) it. Never Delete and Decline together.
struct Actions {
    bool edit = false;
    bool deletion = false;
    bool decline = false;
    friend bool operator==(const Actions&, const Actions&) = default;
};
Actions actions(const CalEvent& event);

// The made-up event of the alert preview ("preview:…"): nothing can be done to it.
bool isPreview(const CalEvent& event);
// Someone besides the user is invited.
bool hasGuests(const CalEvent& event);
// Started and not yet ended at `now`.
bool isLive(const CalEvent& event, const QDateTime& now);

// The help texts (tooltips and accessible names) of the three action buttons.
QString editHelp(const CalEvent& event);
QString deleteHelp(const CalEvent& event);
QString declineHelp(const CalEvent& event);

// The inline confirmation: its question, the confirm button's title and what that button says while
// the call runs (ending in "…").
struct ConfirmText {
    QString message;
    QString button;
    QString busyLabel;
};
ConfirmText confirmText(Confirm confirm, const CalEvent& event);

// The time line, in the calendar's zone and locale:
//   "Wed, Mar 4 · 9:00 – 10:30 am · 1 h 30 min"       a timed event within one day
//   "Wed, Mar 4 11:00 pm – Thu, Mar 5 1:00 am"          a timed event over several days
//   "All day · Wed, Mar 4"  /  "All day · Wed, Mar 4 – Fri, Mar 6"
// An event that ends at midnight belongs to the day it started. The length is the real time between
// start and end (an hour less across the spring clock change), to the nearest minute.
QString timeText(const CalEvent& event, const Cal& cal);

// The location line, unless it is only the meeting link that Join opens anyway.
std::optional<QString> locationText(const CalEvent& event);
// Why nothing can be done to an event that repeats by a rule the app cannot expand.
std::optional<QString> unexpandedRuleText(const CalEvent& event);
// "Organized by …", for an event that lists no attendees.
std::optional<QString> organizerText(const CalEvent& event);
// "Edited in Notion 2 hr. ago", for a Notion page that says when it was edited.
std::optional<QString> notionEditedText(const CalEvent& event, const QDateTime& now, const Cal& cal);

// Notes as shown: Windows line ends made plain, never more than one blank line in a row, no blank
// space at either end. Nothing when that leaves nothing.
std::optional<QString> cleanNotes(const std::optional<QString>& notes);

// "5 attendees · 3 accepted" (always "attendees").
QString attendeeSummary(const CalEvent& event);

// At most this many attendees get a chip; the rest are counted in moreText().
inline constexpr int chipLimit = 12;

struct Chip {
    QString name; // "You", or the attendee's short name
    Attendee::Status status = Attendee::Status::unknown;
    bool organizer = false;
    friend bool operator==(const Chip&, const Chip&) = default;
};
QList<Chip> chips(const CalEvent& event);
// "+3 more" when there are more attendees than chips.
std::optional<QString> moreText(const CalEvent& event);
// An e-mail address shows as its local part ("ada" for "ada@corp.io"); other names as they are.
QString shortName(const QString& name);
// The symbol and colour of an answer.
QString statusSymbol(Attendee::Status status);
QColor statusColor(Attendee::Status status);

// "Join Zoom", for an event with a meeting link.
std::optional<QString> joinText(const CalEvent& event);

// The footer's buttons that hand the event over to another app or page, in their order.
enum class Link {
    notionCalendar, // "Notion Calendar"
    calendarApp,    // "Calendar": the user's calendar app, shown only when there is one
    googleCalendar, // "Google Calendar": the event's page on Google (http or https only)
    notionPage,     // "Open in Notion": in the Notion app, or the page on the web
};
QList<Link> links(const CalEvent& event);
QString linkTitle(Link link);

// The header badge: the store's message (a toast) when there is one, else the countdown.
struct Badge {
    QString text;
    bool toast = false;
    bool live = false;
    friend bool operator==(const Badge&, const Badge&) = default;
};
std::optional<Badge> badge(const CalEvent& event, const std::optional<QString>& toast, const QDateTime& now);

} // namespace EventDetailModel
