#pragma once

#include <QStringList>

// The "--list-calendars" developer mode: a report of the calendars and events the app can see.
namespace CalendarDiagnostics {
bool runIfRequested(const QStringList& arguments);
}
