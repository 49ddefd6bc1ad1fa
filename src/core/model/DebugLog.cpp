#include "core/model/DebugLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <unistd.h>

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
        s.enabled = QCoreApplication::arguments().contains(QStringLiteral("--debug"));
        QString base = qEnvironmentVariable("XDG_STATE_HOME");
        if (base.isEmpty() || !QDir::isAbsolutePath(base))
            base = QDir::homePath() + QStringLiteral("/.local/state");
        s.file = base + QStringLiteral("/Vorrindel/Vorrindel.log");
        return s;
    }();
    return state;
}

const State& state() {
    return overridden() ? *overridden() : fixedState();
}

} // namespace

bool enabled() {
    return state().enabled;
}

QString filePath() {
    return state().file;
}

void write(const QString& message) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QByteArray line = (stamp + QStringLiteral(" +0000 ") + message + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);

    // Append, creating the file private to the user; any other failure skips the file.
    const QString path = filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + written, size_t(line.size() - written));
        if (n <= 0)
            break;
        written += n;
    }
    ::close(fd);
}

void overrideForTesting(bool enabled, const QString& filePath) {
    overridden() = State{enabled, filePath};
}

} // namespace DebugLog
