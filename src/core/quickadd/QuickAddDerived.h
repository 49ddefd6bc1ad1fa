#pragma once

#include "core/model/Person.h"
#include "core/quickadd/QuickAddDraft.h"
#include "core/quickadd/QuickAddState.h"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

class QuickAddEnv;

// Everything quick add shows, computed in one pass from its state and the agenda: the draft and its
// guests, Meet and destination, whether it can be added, and every text, flag and list the widgets
// draw. The widgets decide nothing themselves; they draw one of these.
namespace QuickAdd {

// Texts that never change with the state.
namespace Text {
inline const QString back = QStringLiteral("Back");
inline const QString cancel = QStringLiteral("Cancel");
inline const QString whenPlaceholder = QStringLiteral("When — e.g. tomorrow 3pm, fri 3-4pm, 18 Sep all day");
inline const QString peoplePlaceholder = QStringLiteral("Name or email, then Enter");
inline const QString peoplePlaceholderStatic = QStringLiteral("Name or email"); // snapshot mode
inline const QString peopleHint = QStringLiteral("Enter to add · Esc to close");
inline const QString inviteTooltip = QStringLiteral("Invite people — they get an email from Google");
inline const QString inviteAddress = QStringLiteral("Invite this address");
inline const QString googleNoticeSubtitle =
    QStringLiteral("Invitations and Google Meet links are created by Google.");
inline const QString overlaps = QStringLiteral("overlaps");
inline const QString googleMeet = QStringLiteral("Google Meet");
} // namespace Text

// Symbols, by the names the icon layer knows.
namespace Symbol {
inline const QString back = QStringLiteral("chevron.left");
inline const QString chevron = QStringLiteral("chevron.up");
inline const QString calendar = QStringLiteral("calendar");
inline const QString clock = QStringLiteral("clock");
inline const QString sparkles = QStringLiteral("sparkles");
inline const QString warning = QStringLiteral("exclamationmark.triangle.fill");
inline const QString checkmark = QStringLiteral("checkmark");
inline const QString remove = QStringLiteral("xmark");
inline const QString plus = QStringLiteral("plus");
inline const QString at = QStringLiteral("at");
inline const QString inviteClosed = QStringLiteral("person.crop.circle.badge.plus");
inline const QString inviteOpen = QStringLiteral("person.crop.circle.badge.checkmark");
inline const QString meetOn = QStringLiteral("video.fill");
inline const QString meetOff = QStringLiteral("video.slash");
} // namespace Symbol

// A name as the chips and rows show it: the name, else the address.
QString displayName(const Person& person);

// One guest chip.
struct Chip {
    Person person;
    QString label;   // displayName()
    QString tooltip; // the address
    bool removable = false;
    QString removeTooltip; // "Remove " and the label; empty when not removable
};

// One row of the people field's suggestion box.
struct Suggestion {
    Person person;
    QString label;                 // displayName()
    std::optional<QString> detail; // second line: the hint, else the address of a named person
    // "Invite this address": clicking it calls commitPerson(); any other row calls addPerson(person).
    bool invitesTypedAddress = false;
};

// One event of the same-day list.
struct DayRow {
    QString eventId;
    QString time; // the time range
    QColor color;
    QString title;
    bool overlaps = false; // the title is drawn bold with an "overlaps" badge
};

// One row of the destination list.
struct DestinationRow {
    Destination destination;
    QString title;
    QString subtitle;
    QColor color;
    bool isGoogle = false; // the Google Calendar mark instead of a coloured dot
    bool selected = false; // a checkmark; at most one row is selected
};

struct Derived {
    // ---- Values
    bool isEditing = false;
    QString originalTitle;       // the edited event's title, empty for a placeholder title
    QuickAddDraft draft;         // what the line or the edit says
    QList<Person> invitees;      // typed first, then added by hand; one per address
    bool meetOn = false;         // the event gets a Google Meet link
    bool isMeeting = false;      // guests or Meet
    bool notifiesGuests = false; // saving makes Google e-mail the guests
    bool guestsEditable = false; // a new line or a Google edit
    // The line is being sent: the main line, its guests, Meet and destination show what was sent and
    // take no changes until Google has answered.
    bool lineLocked = false;
    QuickAddDraft scheduled; // the draft with the free slot filled in, what add() sends
    bool autoSlot = false;   // the slot was chosen automatically
    // The slot search needs these days, which the agenda has not loaded, before it can choose: no
    // slot and nothing to add until they are read (or a time is typed).
    std::optional<DayRange> daysToRead;
    bool findingSlot = false; // they are being read (false once their read failed)
    QList<Destination> destinations;
    std::optional<Destination> destination;
    bool isDirty = false; // an edit would change something (always true for a new line)
    bool canAdd = false;  // the primary button and Return work

    // ---- Header
    QString headerTitle;      // "New event", "New meeting", "Edit event", "Edit meeting"
    QString headerHint;       // trailing: "Esc cancels", "Ctrl+Alt+N" or empty
    bool backEnabled = false; // drawn at 40 % when false

    // ---- Main line and when-line
    QString mainPlaceholder;
    bool showWhenLine = false;
    QString whenHint;
    bool whenHintWarns = false; // orange: the when-line could not be read

    // ---- Guests
    QList<Chip> chips;
    bool showInviteButton = false;
    QString inviteTitle;       // "Invite people" or "Add"
    QString inviteSymbol;      // inviteOpen while the people field is open
    bool inviteDashed = false; // dashed outline until the first guest
    bool inviteActive = false; // the people field is open: brighter fill
    QString guestsNote;        // why guests cannot be changed; empty when nothing to say
    bool showMeetToggle = false;
    QString meetSymbol;
    QString meetTooltip;

    // ---- People field (shown while showPeopleField)
    bool showPeopleField = false;
    QList<Suggestion> suggestions; // the box is shown when not empty

    // ---- Preview
    QString previewSymbol;           // Symbol::clock, sparkles or calendar
    bool previewHighlighted = false; // the symbol in yellow: an automatic slot
    bool previewEmpty = false;       // nothing typed: regular weight, dimmer
    QString previewText;
    QString helpText;

    // ---- Google notice
    bool showGoogleNotice = false;
    QString googleNoticeTitle;
    bool googleConnecting = false;             // a spinner in place of the button
    std::optional<QString> googleNoticeButton; // "Allow" or "Connect"; absent: no button

    // ---- Error line
    std::optional<QString> error;

    // ---- Same-day list
    bool showSameDay = false;
    QString sameDayHeading; // already in capitals
    QList<DayRow> sameDayRows;

    // ---- Footer
    QString destinationTitle;
    bool destinationIsGoogle = false;     // the Google Calendar mark instead of a dot
    QColor destinationColor;              // the dot's colour (blue when there is no destination)
    bool showChevron = false;             // not when editing
    bool chevronFlipped = false;          // the list is open: the chevron points down
    bool destinationButtonActive = false; // the list is open: brighter fill
    QString destinationTooltip;
    std::optional<QString> routeHint; // absent without a destination; empty text when editing
    bool cancelEnabled = false;
    QString primaryTitle;
    bool primaryEnabled = false;
    bool primarySpinner = false;

    // ---- Destination list (shown while showCalendarList)
    bool showCalendarList = false;
    QList<DestinationRow> destinationRows;
};

// The whole view of one state. Parses the line (or merges the when-line) once and asks the free-slot
// finder only for a meeting without a time.
Derived derive(const State& state, const QuickAddEnv& env);

// The line as the parser reads it with the agenda's clock, default length, calendar and people.
QuickAddDraft parseLine(const QString& text, const QuickAddEnv& env);

} // namespace QuickAdd
