#include "core/quickadd/QuickAddDerived.h"

#include "core/model/Fmt.h"
#include "core/model/TextRules.h"
#include "core/quickadd/EditPhrase.h"
#include "core/quickadd/QuickAddEnv.h"
#include "core/quickadd/QuickAddParser.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace QuickAdd {
namespace {

const QString separator = QStringLiteral(" · ");
// A move below a minute is the parser's rounding, not a change (the store does not write it either).
constexpr qint64 moveThresholdMs = 60000;
// The hint under the when-line reads the phrase with a one-hour default, whatever the settings say.
constexpr int hintMinutes = 60;
constexpr int workStart = 9;
constexpr int workEnd = 18;

bool isBlank(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), TextRules::isBlank);
}

// The edited event's guests as the editor counts them: everyone but the user who has an address.
QSet<QString> guestAddresses(const CalEvent& event) {
    QSet<QString> out;
    for (const Attendee& attendee : event.attendees) {
        if (!attendee.isMe && attendee.email)
            out.insert(attendee.email->toLower());
    }
    return out;
}

QSet<QString> addresses(const QList<Person>& people) {
    QSet<QString> out;
    for (const Person& person : people)
        out.insert(person.email.toLower());
    return out;
}

// A day's events as far as they are known: the agenda's when it has loaded the day, else those read
// for this showing; none when neither has them. The slot search and the same-day list ask alike, and
// each day is looked up once per state.
class KnownDays {
public:
    KnownDays(const State& s, const QuickAddEnv& env, const Cal& cal)
        : m_state(s)
        , m_env(env)
        , m_cal(cal) {}

    std::optional<QList<CalEvent>> operator()(const QDateTime& day) {
        const QDateTime start = m_cal.startOfDay(day);
        if (const auto seen = m_seen.constFind(start); seen != m_seen.cend())
            return *seen;
        std::optional<QList<CalEvent>> events = m_env.loadedEvents(day);
        if (!events) {
            if (const auto read = m_state.readDays.constFind(start); read != m_state.readDays.cend())
                events = *read;
        }
        m_seen.insert(start, events);
        return events;
    }

private:
    const State& m_state;
    const QuickAddEnv& m_env;
    const Cal& m_cal;
    QHash<QDateTime, std::optional<QList<CalEvent>>> m_seen;
};

bool timesChanged(const CalEvent& event, const QuickAddDraft& draft) {
    return std::abs(event.start.msecsTo(draft.start)) >= moveThresholdMs ||
           std::abs(event.end.msecsTo(draft.end)) >= moveThresholdMs || draft.isAllDay != event.isAllDay;
}

QString dayLabel(const QDateTime& start, const QDateTime& now, const Cal& cal) {
    const qint64 days = cal.daysBetween(now, start);
    if (days == 0)
        return QStringLiteral("Today");
    if (days == 1)
        return QStringLiteral("Tomorrow");
    return Fmt::dayShort(start, cal);
}

QString previewText(const QuickAddDraft& d, bool autoSlot, const Derived& v, const QDateTime& now,
                    const Cal& cal) {
    QStringList parts{d.title.isEmpty() ? QStringLiteral("(No title)") : TextRules::cutToScreen(d.title),
                      dayLabel(d.start, now, cal)};
    if (v.daysToRead) {
        parts << (v.findingSlot ? QStringLiteral("finding a free slot…") : QStringLiteral("add a time"));
    } else if (!d.isAllDay) {
        parts << Fmt::range(d.start, d.end, cal)
              << Fmt::minutes(std::llround(double(d.start.msecsTo(d.end)) / 60000.0));
    } else {
        const qint64 days = cal.daysBetween(d.start, d.end);
        parts << (days < 2 ? QStringLiteral("all day") : QString::number(days) + QStringLiteral(" days"));
        if (!d.hasDate)
            parts << QStringLiteral("add a time, e.g. “tomorrow 3pm”");
    }
    if (v.invitees.size() == 1)
        parts << QStringLiteral("1 invitee");
    else if (v.invitees.size() > 1)
        parts << QString::number(v.invitees.size()) + QStringLiteral(" invitees");
    if (v.meetOn)
        parts << QStringLiteral("Meet");
    if (autoSlot)
        parts.insert(1, QStringLiteral("Auto"));
    return parts.join(separator);
}

QString editSummary(const CalEvent& event, const Derived& v, const Cal& cal) {
    if (!v.isDirty)
        return QStringLiteral("No changes yet — edit the title, the when-line or the guests.");
    QStringList parts;
    if (timesChanged(event, v.draft))
        parts << QStringLiteral("was ") + Fmt::dayShort(event.start, cal) + separator +
                     (event.isAllDay ? QStringLiteral("All day") : Fmt::range(event.start, event.end, cal));
    const QSet<QString> before = guestAddresses(event);
    const QSet<QString> after = addresses(v.invitees);
    if (const qsizetype added = (after - before).size(); added > 0)
        parts << u'+' + QString::number(added) + QStringLiteral(" invited");
    if (const qsizetype removed = (before - after).size(); removed > 0)
        parts << u'\u2212' + QString::number(removed) + QStringLiteral(" removed");
    if (v.meetOn != event.hasGoogleMeet())
        parts << (v.meetOn ? QStringLiteral("Meet link added") : QStringLiteral("Meet link removed"));
    if (v.notifiesGuests) {
        const qsizetype n = (before | after).size();
        parts << QStringLiteral("Google will email ") + QString::number(n) +
                     (n == 1 ? QStringLiteral(" person") : QStringLiteral(" people"));
    }
    if (parts.isEmpty())
        return QStringLiteral("Title change only.");
    return parts.join(separator);
}

// The values of the new line or the edit: draft, guests, Meet, slot, destination, dirty, can-add.
void deriveValues(const State& s, const QuickAddEnv& env, const Cal& cal, const QDateTime& now,
                  KnownDays& days, Derived& v, std::optional<EditPhrase::Merge>& merge) {
    v.isEditing = s.editing.has_value();
    const int minutes = env.defaultEventMinutes();

    if (const std::optional<CalEvent>& e = s.editing) {
        v.originalTitle = isUntitled(e->title) ? QString() : e->title;
        merge = EditPhrase::merge(s.whenText, *e, now, minutes, cal);
        v.draft.title = s.text.trimmed();
        v.draft.start = merge->start;
        v.draft.end = merge->end;
        v.draft.isAllDay = merge->isAllDay;
        v.draft.hasDate = merge->ok;
        v.draft.hasTime = !merge->isAllDay;
        v.draft.hasDay = true;
    } else {
        v.draft = parseLine(s.text, env);
    }

    QSet<QString> seen;
    for (const QList<Person>* list : {&std::as_const(v.draft.invitees), &s.manualInvitees}) {
        for (const Person& person : *list) {
            if (!seen.contains(person.email.toLower())) {
                seen.insert(person.email.toLower());
                v.invitees << person;
            }
        }
    }

    const EventSource source = s.editing ? s.editing->source : EventSource::calendar;
    if (s.editing && source == EventSource::calendar)
        v.meetOn = s.editing->hasGoogleMeet();
    else if (s.meetChoice)
        v.meetOn = *s.meetChoice;
    else
        v.meetOn = !s.editing && !v.invitees.isEmpty();
    v.isMeeting = !v.invitees.isEmpty() || v.meetOn;
    v.notifiesGuests = s.editing && source == EventSource::google &&
                       (!guestAddresses(*s.editing).isEmpty() || !v.invitees.isEmpty());
    v.guestsEditable = !s.editing || source == EventSource::google;
    v.lineLocked = s.busy && !s.editing;

    v.scheduled = v.draft;
    if (!s.editing && v.isMeeting && !v.draft.hasTime && !isBlank(s.text)) {
        const FreeSlots::DayEvents events = [&days](const QDateTime& day) { return days(day); };
        const QDateTime from = cal.startOfDay(v.draft.hasDate ? v.draft.start : now);
        // The Default length stands in only for a length nobody typed.
        const int length = v.draft.typedLengthSec ? int((*v.draft.typedLengthSec + 59) / 60) : minutes;
        FreeSlots::Search found;
        if (v.draft.hasDate)
            found = FreeSlots::searchDay(events, v.draft.start, now, length, workStart, workEnd, cal);
        if (!found.slot && !found.unknownDay)
            found = FreeSlots::searchDays(events, from, now, length, cal);
        if (const std::optional<FreeSlot>& slot = found.slot) {
            v.scheduled.start = slot->start;
            v.scheduled.end = slot->end;
            v.scheduled.isAllDay = false;
            v.scheduled.hasTime = true;
            v.scheduled.hasDate = true;
            v.autoSlot = true;
        } else if (found.unknownDay) {
            // Read at once up to the end of the search, so that a full day costs no second wait.
            v.daysToRead = DayRange{*found.unknownDay, cal.addDays(from, 14)};
            v.findingSlot = !s.readFailure || s.readFailure->first != *v.daysToRead;
        }
    }

    if (const std::optional<CalEvent>& e = s.editing) {
        if (source == EventSource::calendar && s.editingCalendar) {
            v.destination = Destination(*s.editingCalendar);
        } else if (source == EventSource::google) {
            for (const EventStore::MeetingTarget& target : env.meetingTargets()) {
                if (e->googleAccount && target.account == *e->googleAccount && e->googleCalendarID &&
                    target.calendar.id == *e->googleCalendarID) {
                    v.destination = Destination(target);
                    break;
                }
            }
        }
        if (v.destination)
            v.destinations << *v.destination;
    } else {
        if (!v.isMeeting) {
            for (const LocalCalendar& calendar : env.writableCalendars())
                v.destinations << Destination(calendar);
        }
        for (const EventStore::MeetingTarget& target : env.meetingTargets())
            v.destinations << Destination(target);

        if (s.destinationID) {
            for (const Destination& d : std::as_const(v.destinations)) {
                if (d.id() == *s.destinationID) {
                    v.destination = d;
                    break;
                }
            }
        }
        if (!v.destination && !v.isMeeting) {
            if (const std::optional<LocalCalendar> calendar = env.calendarForNewEvents())
                v.destination = Destination(*calendar);
            else if (!v.destinations.isEmpty())
                v.destination = v.destinations.first();
        } else if (!v.destination) {
            if (const std::optional<EventStore::MeetingTarget> target = env.defaultMeetingTarget())
                v.destination = Destination(*target);
        }
    }

    if (const std::optional<CalEvent>& e = s.editing) {
        v.isDirty = v.draft.title != v.originalTitle || timesChanged(*e, v.draft) ||
                    guestAddresses(*e) != addresses(v.invitees) || v.meetOn != e->hasGoogleMeet();
        v.canAdd = v.isDirty && !s.busy && v.destination && v.draft.hasDate;
    } else {
        v.isDirty = true;
        v.canAdd = !isBlank(s.text) && v.destination && !s.busy &&
                   (!v.isMeeting || v.destination->isGoogle()) && !v.daysToRead;
    }
}

void deriveGuests(const State& s, const QuickAddEnv& env, Derived& v) {
    for (const Person& person : std::as_const(v.invitees)) {
        Chip chip{person, displayName(person), person.email, false, {}};
        chip.removable = v.guestsEditable && !v.lineLocked && !s.organizers.contains(person.email.toLower());
        if (chip.removable)
            chip.removeTooltip = QStringLiteral("Remove ") + chip.label;
        v.chips << chip;
    }
    v.showInviteButton = v.guestsEditable;
    v.inviteTitle = v.invitees.isEmpty() ? QStringLiteral("Invite people") : QStringLiteral("Add");
    v.inviteSymbol = s.showPeople ? Symbol::inviteOpen : Symbol::inviteClosed;
    v.inviteDashed = v.invitees.isEmpty();
    v.inviteActive = s.showPeople;
    if (!v.guestsEditable && v.invitees.isEmpty())
        v.guestsNote = s.editing && s.editing->source == EventSource::calendar
                           ? QStringLiteral("Guests are managed in your calendar app")
                           : QStringLiteral("Guests are managed in Google Calendar");
    v.showMeetToggle = v.guestsEditable;
    v.meetSymbol = v.meetOn ? Symbol::meetOn : Symbol::meetOff;
    v.meetTooltip = v.meetOn ? QStringLiteral("A Google Meet link will be added — click to leave it out")
                             : QStringLiteral("Add a Google Meet link");

    // A people field left open by a new line stays closed over an edit whose guests are fixed.
    v.showPeopleField = s.showPeople && v.guestsEditable;
    if (!v.showPeopleField)
        return;
    const QString query = TextRules::trimBlanks(s.peopleQuery);
    const QList<Person> found = env.suggestions(s.peopleQuery, v.invitees);
    if (TextRules::isEmailAddress(query) && std::none_of(found.cbegin(), found.cend(), [&](const Person& p) {
            return p.email.compare(query, Qt::CaseInsensitive) == 0;
        }))
        v.suggestions << Suggestion{Person(query), query, Text::inviteAddress, true};
    for (const Person& person : found) {
        v.suggestions << Suggestion{person, displayName(person),
                                    person.name.isEmpty() ? std::nullopt : std::optional(person.email),
                                    false};
    }
}

void deriveSameDay(const State& s, const Cal& cal, KnownDays& days, Derived& v) {
    const QuickAddDraft& d = v.scheduled;
    if (isBlank(s.text) || v.showPeopleField)
        return;
    // A day nobody has read (or whose read failed) is not known to be free: no "nothing else" for it.
    std::optional<QList<CalEvent>> known = days(d.start);
    v.showSameDay = known.has_value();
    if (!known)
        return;
    QList<CalEvent> others = std::move(*known);
    others.removeIf([&](const CalEvent& e) { return e.isAllDay || (s.editing && e.id == s.editing->id); });
    v.sameDayHeading =
        others.isEmpty() ? QStringLiteral("NOTHING ELSE THAT DAY") : QStringLiteral("ALSO THAT DAY");
    const qsizetype shown = std::min<qsizetype>(others.size(), v.isMeeting ? 3 : 5);
    for (qsizetype i = 0; i < shown; ++i) {
        const CalEvent& e = others[i];
        const bool overlaps = !d.isAllDay && e.start < d.end && e.end > d.start;
        v.sameDayRows << DayRow{e.id, Fmt::range(e.start, e.end, cal), e.color, e.title, overlaps};
    }
}

void deriveFooter(const State& s, Derived& v) {
    if (const std::optional<Destination>& d = v.destination) {
        v.destinationTitle = d->title();
        v.destinationIsGoogle = d->isGoogle();
        v.destinationColor = d->color();
        if (s.editing)
            v.routeHint = QString();
        else if (!d->isGoogle())
            v.routeHint = QStringLiteral("→ Google → Notion Calendar");
        else if (!v.invitees.isEmpty())
            v.routeHint = QStringLiteral("Google sends the invites");
        else if (v.meetOn)
            v.routeHint = QStringLiteral("Google adds the Meet link");
        else
            v.routeHint = QStringLiteral("→ Notion Calendar");
    } else {
        v.destinationTitle =
            v.isMeeting ? QStringLiteral("No Google calendar") : QStringLiteral("No calendar");
        v.destinationColor = CalEvent::systemBlue();
    }
    v.showChevron = !s.editing;
    v.chevronFlipped = s.showCalendars;
    v.destinationButtonActive = s.showCalendars;
    v.destinationTooltip = v.isMeeting
                               ? QStringLiteral("Meetings go to a Google calendar so invites can be sent")
                               : QStringLiteral("Which calendar the event goes to");

    v.cancelEnabled = !s.busy;
    v.primaryEnabled = v.canAdd;
    v.primarySpinner = s.busy;
    if (s.busy)
        v.primaryTitle = s.editing ? QStringLiteral("Saving…") : QStringLiteral("Sending…");
    else if (s.editing)
        v.primaryTitle = v.notifiesGuests ? QStringLiteral("Save & notify") : QStringLiteral("Save");
    else if (!v.invitees.isEmpty())
        v.primaryTitle = QStringLiteral("Send invites");
    else if (v.meetOn)
        v.primaryTitle = QStringLiteral("Add with Meet");
    else
        v.primaryTitle = QStringLiteral("Add event");

    v.showCalendarList = s.showCalendars && !s.editing;
    if (v.showCalendarList) {
        const QString chosen = v.destination ? v.destination->id() : QString();
        for (const Destination& d : std::as_const(v.destinations))
            v.destinationRows << DestinationRow{d,         d.title(),    d.subtitle(),
                                                d.color(), d.isGoogle(), d.id() == chosen};
    }
}

} // namespace

QString displayName(const Person& person) {
    return person.name.isEmpty() ? person.email : person.name;
}

QuickAddDraft parseLine(const QString& text, const QuickAddEnv& env) {
    return QuickAddParser::parse(text, env.now(), env.defaultEventMinutes(), env.cal(),
                                 [&env](const QString& typed) { return env.person(typed); });
}

Derived derive(const State& s, const QuickAddEnv& env) {
    Derived v;
    const Cal cal = env.cal();
    const QDateTime now = env.now();
    std::optional<EditPhrase::Merge> merge;
    KnownDays days(s, env, cal);
    deriveValues(s, env, cal, now, days, v, merge);

    v.headerTitle = s.editing ? (v.isMeeting ? QStringLiteral("Edit meeting") : QStringLiteral("Edit event"))
                              : (v.isMeeting ? QStringLiteral("New meeting") : QStringLiteral("New event"));
    v.headerHint = s.editing              ? QStringLiteral("Esc cancels")
                   : env.quickAddHotkey() ? QStringLiteral("Ctrl+Alt+N")
                                          : QString();
    v.backEnabled = !s.busy;
    v.mainPlaceholder =
        s.editing ? QStringLiteral("Title") : QStringLiteral("Lunch with Ondrea tomorrow 1pm");

    if (s.editing) {
        v.showWhenLine = true;
        const EditPhrase::Merge hint = env.defaultEventMinutes() == hintMinutes
                                           ? *merge
                                           : EditPhrase::merge(s.whenText, *s.editing, now, hintMinutes, cal);
        v.whenHintWarns = !hint.ok;
        if (!hint.ok)
            v.whenHint = QStringLiteral("Couldn’t read that — try “fri 3pm” or “tomorrow all day”");
        else if (hint.keptDay)
            v.whenHint =
                hint.isAllDay ? QStringLiteral("same day, all day") : QStringLiteral("same day, new time");
        else if (s.editing->isRecurring)
            v.whenHint = QStringLiteral("this occurrence only");
    }

    deriveGuests(s, env, v);

    v.previewEmpty = !s.editing && isBlank(s.text);
    v.previewHighlighted = v.autoSlot;
    if (v.previewEmpty) {
        v.previewSymbol = Symbol::clock;
        v.previewText = QStringLiteral("Type what, when and who");
    } else {
        v.previewSymbol = v.autoSlot || v.findingSlot ? Symbol::sparkles
                          : v.scheduled.isAllDay      ? Symbol::calendar
                                                      : Symbol::clock;
        v.previewText = previewText(v.scheduled, v.autoSlot, v, now, cal);
    }
    if (s.editing)
        v.helpText = editSummary(*s.editing, v, cal);
    else if (v.autoSlot)
        v.helpText = QStringLiteral("Picked the next free slot in your calendar — type a time to change it.");
    else
        v.helpText =
            QStringLiteral("Try “Standup tomorrow 9:30am”, “Design sync with Ondrea fri 3pm” or “Gym 6pm "
                           "for 45 min”. Type an email to invite someone.");

    v.showGoogleNotice = !s.editing && v.isMeeting && !(v.destination && v.destination->isGoogle());
    if (v.showGoogleNotice) {
        const bool needsWrite = env.googleNeedsWriteAccess();
        v.googleNoticeTitle = needsWrite ? QStringLiteral("Allow Vorrindel to create events")
                                         : QStringLiteral("Connect Google Calendar");
        v.googleConnecting = env.isConnectingGoogle();
        if (!v.googleConnecting && env.googleHasClient())
            v.googleNoticeButton = needsWrite ? QStringLiteral("Allow") : QStringLiteral("Connect");
    }

    v.error = s.error;
    if (!v.error && v.daysToRead && !v.findingSlot)
        v.error = QStringLiteral("Couldn’t read your calendars for ") +
                  Fmt::dayShort(v.daysToRead->first, cal) + QStringLiteral(" (") + s.readFailure->second +
                  QStringLiteral(") — type a time");
    deriveSameDay(s, cal, days, v);
    deriveFooter(s, v);
    return v;
}

} // namespace QuickAdd
