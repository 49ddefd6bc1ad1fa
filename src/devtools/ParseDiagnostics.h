#pragma once

#include <QDateTime>
#include <QIODevice>
#include <QStringList>

class Cal;

// The "--parse" and "--merge" developer modes: what the quick-add parser makes of given phrases.
//
//   vorrindel --parse "lunch tomorrow 12:30 with bob@corp.io" "Offsite all day friday"
//   vorrindel --merge "lunch 3pm" "tomorrow" "4pm" "all day"
namespace ParseDiagnostics {

// Runs a mode when the arguments (the program path first) ask for one, printing to standard output
// with the current time and the user's calendar. True when a mode ran.
bool runIfRequested(const QStringList& arguments);

// The same with a given time and calendar, writing to `out`.
bool run(const QStringList& arguments, const QDateTime& now, const Cal& cal, QIODevice& out);

} // namespace ParseDiagnostics
