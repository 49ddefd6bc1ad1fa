#pragma once

#include "support/Patience.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// The command-line X tools the X11 tests drive the display with (xdotool, xwininfo, xprop).
namespace X11Tools {

// The tool's standard output, trimmed; empty when it hangs.
inline QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(Patience::ms))
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

inline QString xdotool(const QStringList& arguments) {
    return run(QStringLiteral("xdotool"), arguments);
}

} // namespace X11Tools
