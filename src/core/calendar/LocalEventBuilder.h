#pragma once

#include "core/calendar/LocalCalendar.h"
#include "core/calendar/LocalOccurrence.h"
#include "core/model/CalEvent.h"

#include <QStringList>

// Turns one occurrence of a local calendar event into the app's CalEvent.
namespace LocalEventBuilder {

// `ownAddresses` are the user's e-mail addresses (the connected Google accounts); a calendar titled
// with an e-mail address counts as one as well, for its own events.
CalEvent build(const LocalOccurrence& occurrence, const LocalCalendar& calendar,
               const QStringList& ownAddresses);

// The address of a calendar user address ("mailto:" in any letter case stripped), or nothing.
std::optional<QString> emailOf(const QString& calendarAddress);

} // namespace LocalEventBuilder
