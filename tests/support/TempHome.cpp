#include "support/TempHome.h"

#include <QDir>
#include <QStandardPaths>

TempHome::TempHome() {
    QStandardPaths::setTestModeEnabled(false);
    for (const QString& sub : {QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("state"),
                               QStringLiteral("runtime"), QStringLiteral("cache")})
        QDir(m_dir.path()).mkpath(sub);
    QFile::setPermissions(runtimeDir(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    set("HOME", m_dir.path());
    set("XDG_CONFIG_HOME", configHome());
    set("XDG_DATA_HOME", dataHome());
    set("XDG_STATE_HOME", stateHome());
    set("XDG_RUNTIME_DIR", runtimeDir());
    set("XDG_CACHE_HOME", m_dir.path() + QStringLiteral("/cache"));
    set("VORRINDEL_CALENDARS", QString());
}

TempHome::~TempHome() {
    for (const auto& [name, old] : m_saved) {
        if (old.first)
            qputenv(name.constData(), old.second);
        else
            qunsetenv(name.constData());
    }
}

void TempHome::set(const char* name, const QString& value) {
    if (!m_saved.count(name))
        m_saved[name] = {qEnvironmentVariableIsSet(name), qgetenv(name)};
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value.toUtf8());
}
