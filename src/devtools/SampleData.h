#pragma once

#include "core/model/CalEvent.h"
#include "core/model/UserCal.h"

#include <QDateTime>
#include <QList>

// A made-up day of seven events around a moment, for the snapshots: an all-day Notion item, a block
// that is over, a stand-up about to start, a Google meeting with guests and an agenda, a Notion task,
// a Teams call and an evening at the gym. Every meeting link in it is one the app recognises, so each
// meeting shows its Join button.
namespace SampleData {

// The events in a fixed order, timed relative to `now`; the all-day item covers the calendar day of
// `now` in `cal`.
QList<CalEvent> events(const QDateTime& now, const Cal& cal = UserCal::current());

} // namespace SampleData
