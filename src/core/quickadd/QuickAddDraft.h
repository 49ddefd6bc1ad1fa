#pragma once

#include "core/model/Person.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// What quick add understood of one typed line: the event it would create and which parts of it were
// actually read from the text. The flags are independent facts; the quick-add view and the edit phrase
// combine them (a meeting without a time gets a free slot, an edit keeps what the phrase leaves out).
//
// Instants are UTC. An all-day draft runs from the start of its first day to the start of the day
// after its last day, both in the calendar the parse used.
struct QuickAddDraft {
    QString title;   // never empty when it comes from the parser ("New event" stands in)
    QDateTime start; // inclusive
    QDateTime end;   // exclusive
    bool isAllDay = false;
    bool hasDate = false;        // a date was read; otherwise start/end are today, all day
    bool hasTime = false;        // a time of day was read and "all day" was not typed
    bool hasDay = false;         // the date text names a day, not only a time
    bool explicitAllDay = false; // "all day", "all-day" or "allday" was typed
    // A length typed as such ("for 30 min"), five minutes at least; kept also where start and end cannot
    // show it, so that a free slot found for an untimed meeting has the length that was asked for.
    std::optional<qint64> typedLengthSec;
    QList<Person> invitees; // in the order they were typed

    // All ten fields; instants by the moment they name, invitees by e-mail and name, both exact.
    friend bool operator==(const QuickAddDraft&, const QuickAddDraft&) = default;
};
