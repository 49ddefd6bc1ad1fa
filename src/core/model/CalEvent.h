#pragma once

#include "core/model/Attendee.h"
#include "core/model/EventSource.h"

#include <QColor>
#include <QDateTime>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class Cal;

// One calendar entry from any source, as every part of the app sees it. A plain value: copy it freely.
// Instants are UTC QDateTimes. Builders set the fields from `id` to `webLink` once; the Google fields and
// the three flags at the end may be filled in afterwards.
//
// `==` compares only what identifies a version of an event (id, start, end, title, lastEdited,
// notionStatus): two values differing in location, attendees, colour or flags are equal. Never use it
// to decide whether something must be redrawn.
class CalEvent {
public:
    // The id forms. Every builder makes its ids through these so that the forms cannot drift apart.
    // Local calendar events: the item's identifier, ":" and the occurrence's whole seconds since 1970
    // (truncated toward zero), so each occurrence of a repeating event has its own id.
    static QString localId(const QString& identifier, const QDateTime& occurrence);
    static QString googleId(const QString& accountEmail, const QString& calendarId, const QString& eventId);
    static QString notionId(const QString& pageId);
    static QString sampleId(const QString& title);
    static QString previewAlertId();

    // The one colour of events whose calendar has none of its own.
    static QColor systemBlue() { return QColor(0, 122, 255); }

    QString id;
    QString title;
    QDateTime start;
    QDateTime end;
    bool isAllDay = false;
    QColor color; // systemBlue() when the source names none
    QString calendarName;
    std::optional<QString> location;
    std::optional<QString> notes;
    std::optional<QUrl> url; // the event's own URL field, not necessarily a meeting link
    QList<Attendee> attendees;
    std::optional<QString> organizer;
    EventSource source = EventSource::calendar;
    std::optional<QString> ekIdentifier; // the local item's identifier (local calendar events only)
    std::optional<QUrl> notionURL;
    std::optional<QString> notionStatus;
    std::optional<QString> notionIcon;
    std::optional<QDateTime> lastEdited;
    std::optional<QUrl> webLink;

    std::optional<QString> googleAccount;
    std::optional<QString> googleCalendarID;
    std::optional<QString> googleEventID;
    bool organizerIsMe = false;
    bool calendarEditable = false;
    bool isRecurring = false;
    // A local event that repeats by a rule the app cannot expand: it shows without the rule (as its
    // first occurrence) and is read-only, whatever its calendar allows.
    bool unexpandedRule = false;

    // The video-meeting link found in the URL field, the location and the notes, in that order.
    std::optional<QUrl> meetingURL() const;
    bool hasGoogleMeet() const;
    // The user is a guest (not the organiser) of a writable, non-Notion event.
    bool canDecline() const;
    // The start-of-day instants of every day the event touches, ascending: an end at midnight does not
    // reach the next day, a zero-length event touches its start day, and at most 62 days are listed.
    QList<QDateTime> days(const Cal& cal) const;

    friend bool operator==(const CalEvent& a, const CalEvent& b);
    // Every field equal: what decides whether anything shown of an event has changed.
    friend bool identical(const CalEvent& a, const CalEvent& b);
};

bool identical(const QList<CalEvent>& a, const QList<CalEvent>& b);

// Combines id and start only, so that equal values hash alike.
size_t qHash(const CalEvent& event, size_t seed = 0) noexcept;
