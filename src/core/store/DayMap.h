#pragma once

#include "core/model/CalEvent.h"

#include <QDateTime>
#include <QList>
#include <QMap>

class Cal;

// The merged agenda: each day's events, keyed by the day's first instant.
using EventsByDay = QMap<QDateTime, QList<CalEvent>>;

// Turns the sources' event lists into the agenda of days.
namespace DayMap {

// Merges the lists in the order given (Google, local calendars, Notion): an event whose lower-cased
// title and times match one seen before is the same meeting read twice and is dropped, so the first
// source wins; all-day events match by their start day. Each kept event is listed on every day it
// touches, and each day is sorted by comesBefore, keeping the merge order among equals.
EventsByDay merge(const QList<CalEvent>& google, const QList<CalEvent>& local, const QList<CalEvent>& notion,
                  const Cal& cal);

// A day's order: all-day events first, then by start, the longer of two events starting together
// first, then by title in code-point order (upper case before lower case).
bool comesBefore(const CalEvent& a, const CalEvent& b);

// The same days holding the same events, every field of them equal.
bool identical(const EventsByDay& a, const EventsByDay& b);

// The user is on the guest list and said no: such an event neither alerts nor blocks time.
bool declinedByMe(const CalEvent& event);

// `into` followed by the events of `more` whose id it does not hold yet: a source read over two
// ranges returns an event that touches both in each of the two reads.
QList<CalEvent> appendNew(QList<CalEvent> into, const QList<CalEvent>& more);

// The events as read in `to` instead of `from`: an all-day event keeps its days, now starting and
// ending at those days' starts in the new zone; a timed event keeps its instants.
QList<CalEvent> rezone(QList<CalEvent> events, const Cal& from, const Cal& to);

} // namespace DayMap
