#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Whether [start, end) belongs to a query of [from, to): it overlaps the range, or, lasting no time
// at all, starts inside it.
inline bool overlapsRange(const QDateTime& start, const QDateTime& end, const QDateTime& from,
                          const QDateTime& to) {
    return start == end ? start >= from && start < to : start < to && end > from;
}

// A guest or the organizer of a local event, as written in the item.
struct LocalParticipant {
    enum class Status { unknown, pending, accepted, declined, tentative, delegated, completed, inProcess };

    QString name; // CN, empty when the item gives none
    QString url;  // the calendar address as written, usually "mailto:" and an address
    Status status = Status::unknown;
    bool isChair = false; // ROLE=CHAIR

    bool operator==(const LocalParticipant&) const = default;
};

// One occurrence of a local event inside a queried time range: a non-repeating event, one instance
// of a repeating series, or an instance changed on its own (an override).
struct LocalOccurrence {
    enum class Status { none, tentative, confirmed, cancelled };

    QString calendarId;
    // The item's path relative to the calendar root, followed by "#" and the UID when the item holds
    // more than one event. Identifies the event (the whole series for a repeating one).
    QString eventIdentifier;
    QString uid;
    std::optional<QString> title; // absent when the event has no SUMMARY at all
    QDateTime start;              // UTC
    QDateTime end;                // UTC; all-day events end at the following local midnight
    bool isAllDay = false;
    // The instance's original start (its RECURRENCE-ID) for an instance of a series, the start
    // otherwise. Stays put when one instance is moved.
    QDateTime occurrenceDate;
    QString location; // null when absent
    QString notes;    // null when absent
    QUrl url;
    QList<LocalParticipant> attendees;
    std::optional<LocalParticipant> organizer;
    Status status = Status::none;
    bool hasRecurrenceRules = false; // the series has RRULE or RDATE
    bool isDetached = false;         // this instance is an override with a RECURRENCE-ID
    // A rule of the series cannot be expanded: the series shows without it, and is read-only.
    bool unexpandedRule = false;
    QDateTime lastModified; // LAST-MODIFIED, invalid when absent

    // Part of a series: the event repeats, or this is an instance changed on its own.
    bool isRecurring() const { return hasRecurrenceRules || isDetached; }
    bool overlaps(const QDateTime& from, const QDateTime& to) const {
        return overlapsRange(start, end, from, to);
    }
};
