#pragma once

#include "core/model/Clock.h"

#include <QStringList>

class Cal;
class LocalCalendars;
class QIODevice;

// The "--list-calendars" developer mode: a report of the calendars and events the app can see.
namespace CalendarDiagnostics {

// Runs the mode on the user's calendar folder when the arguments ask for it.
bool runIfRequested(const QStringList& arguments);

// The mode on given calendars, clock and calendar: prints the report to `out` and, when the argument
// after "--list-calendars" names a file, writes it there too (a failure is told on `err`). False,
// with no effect, when the arguments hold no "--list-calendars".
bool run(const QStringList& arguments, LocalCalendars& calendars, const Clock& clock, const Cal& cal,
         QIODevice& out, QIODevice& err);

// The report's lines, each ended by a line feed. Never asks for access.
QString report(LocalCalendars& calendars, const Clock& clock, const Cal& cal);

} // namespace CalendarDiagnostics
