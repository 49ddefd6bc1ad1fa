#include "core/model/DebugLog.h"

#include "core/model/PrivateFile.h"
#include "core/model/ProcessArguments.h"

#include <QDir>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace DebugLog {

namespace {

struct State {
    bool enabled = false;
    QString file;
};

std::optional<State>& overridden() {
    static std::optional<State> state;
    return state;
}

const State& fixedState() {
    static const State state = [] {
        State s;
        s.enabled = ProcessArguments::contains(QStringLiteral("--debug"));
        s.file = stateFolder() + QStringLiteral("/Vorrindel.log");
        return s;
    }();
    return state;
}

const State& state() {
    return overridden() ? *overridden() : fixedState();
}

} // namespace

QString stateFolder() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Vorrindel");
}

bool enabled() {
    return state().enabled;
}

QString filePath() {
    return state().file;
}

void write(const QString& message) {
    const QByteArray line = (describe(QDateTime::currentDateTimeUtc()) + u' ' + message + u'\n').toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);

    // Appended, and created private to the user: the log names calendars and accounts. A file that
    // cannot be opened for appending is skipped, never replaced.
    PrivateFile::append(filePath(), line);
}

QString describe(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString describe(double value) {
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    // Plain digits for the usual magnitudes, an exponent beyond them; always a decimal point.
    const double magnitude = std::abs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (plain && !text.contains(u'.'))
        text += QStringLiteral(".0");
    return text;
}

QString describe(const QRectF& frame) {
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(describe(frame.x()), describe(frame.y()), describe(frame.width()), describe(frame.height()));
}

QString describe(const QSizeF& size) {
    return QStringLiteral("(%1, %2)").arg(describe(size.width()), describe(size.height()));
}

QString describe(const QDateTime& instant) {
    return instant.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

void overrideForTesting(bool enabled, const QString& filePath) {
    overridden() = State{enabled, filePath};
}

} // namespace DebugLog
