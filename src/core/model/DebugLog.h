#pragma once

#include <QString>

#include <concepts>

// A switchable trace for diagnosing a running app. Off unless the process was started with the exact
// argument "--debug"; when on, each line goes to standard error and is appended to the log file.
// When off, a call costs one Boolean test: the message is passed as a callable and never built.
//
//     DebugLog::log([&] { return QStringLiteral("collapse()"); });
namespace DebugLog {

// Fixed on first use from the process arguments.
bool enabled();
// $XDG_STATE_HOME/Vorrindel/Vorrindel.log (default ~/.local/state/Vorrindel/Vorrindel.log).
QString filePath();
// Writes one line with its timestamp; never fails.
void write(const QString& message);

template <typename F>
requires std::invocable<F&>
inline void log(F&& message) {
    if (enabled())
        write(message());
}

// Tests switch logging on or off and point the file elsewhere; never used by the app itself.
void overrideForTesting(bool enabled, const QString& filePath);

} // namespace DebugLog
