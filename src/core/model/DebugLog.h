#pragma once

#include <QDateTime>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <concepts>

// A switchable trace for diagnosing a running app. Off unless the process was started with the exact
// argument "--debug"; when on, each line goes to standard error and is appended to the log file.
// When off, a call costs one Boolean test: the message is passed as a callable and never built.
//
//     DebugLog::log([&] { return QStringLiteral("expand(pinned: ") + DebugLog::describe(pinned) + u')'; });
namespace DebugLog {

// Fixed on first use from the process arguments.
bool enabled();
// The app's state folder: $XDG_STATE_HOME/Vorrindel (default ~/.local/state/Vorrindel).
QString stateFolder();
// Vorrindel.log in the state folder.
QString filePath();
// Writes one line: the time in UTC ("2026-03-02 14:05:09 +0000"), a blank, the message as it is and
// a line feed; first to standard error, then appended to the file (created 0600, in a folder created
// 0700). A file that cannot be opened for appending is skipped, never replaced. Never fails.
void write(const QString& message);

template <typename F>
requires std::invocable<F&>
inline void log(F&& message) {
    if (enabled())
        write(message());
}

// Values inside messages, rendered alike by every caller.
QString describe(bool value);               // "true" or "false"
QString describe(double value);             // the shortest text that reads back: "1512.0", "12.5"
QString describe(const QRectF& frame);      // "(x, y, width, height)": "(0.0, 0.0, 1512.0, 982.0)"
QString describe(const QSizeF& size);       // "(width, height)"
QString describe(const QDateTime& instant); // as the line's time

// Tests switch logging on or off and point the file elsewhere; never used by the app itself.
void overrideForTesting(bool enabled, const QString& filePath);

} // namespace DebugLog
