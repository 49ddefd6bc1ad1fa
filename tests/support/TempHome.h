#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>

// Points HOME and the XDG folders at a fresh temporary folder for the life of the object, so that
// tests never touch the real user's settings, calendars or tokens. Restores the old values after.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
    QString stateHome() const { return m_dir.path() + QStringLiteral("/state"); }
    QString runtimeDir() const { return m_dir.path() + QStringLiteral("/runtime"); }

private:
    void set(const char* name, const QString& value);

    QTemporaryDir m_dir;
    std::map<QByteArray, std::pair<bool, QByteArray>> m_saved;
};
