#include "core/settings/LegacyMigration.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"
#include "core/settings/JsonSettingsFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LegacyMigration {

namespace {

// The settings the former product had; later ones ("recentInvitees", "defaultMeetingTarget",
// "googlePromptDismissed") never existed there.
const char* const keys[] = {"expandOnHover",       "showPeek",      "peekMinutes", "hiddenCalendarIDs",
                            "notionDatabases",     "alertMinutes",  "alertSound",  "defaultCalendarID",
                            "defaultEventMinutes", "quickAddHotkey"};

bool existsAt(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Copies a regular file and its permissions (0600 for a credential file); false for anything else. The
// source is opened without following a link and without waiting on a pipe, and checked on the open
// file itself.
bool copyRegular(const QString& from, const QString& to, bool credential) {
    const int fd =
        ::open(QFile::encodeName(from).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat st;
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return false;
    const QByteArray content = file.readAll();
    return file.error() == QFileDevice::NoError &&
           PrivateFile::write(to, content, credential ? 0600 : st.st_mode & 0777).isEmpty();
}

// Copies the folders and regular files under `from`. Links stay behind, as do pipes, sockets and
// devices: a copied link would lead the credential files' later writes and permission changes to
// wherever it points. What stays behind is added to `skipped`.
void copyEntries(const QString& from, const QString& to, bool top, QStringList& skipped) {
    const QStringList names = QDir(from).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString source = from + QLatin1Char('/') + name;
        const QString target = to + QLatin1Char('/') + name;
        struct stat st;
        if (::lstat(QFile::encodeName(source).constData(), &st) != 0 ||
            !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
            skipped << source;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (PrivateFile::makeFolder(target))
                copyEntries(source, target, false, skipped);
            else
                skipped << source;
            continue;
        }
        // The tokens are the user's alone, whatever the former product left them as.
        const bool credential = top && (name == u"notion-token" || name == u"google.json");
        if (!copyRegular(source, target, credential))
            skipped << source;
    }
}

void copyFolder(const QString& from, const QString& to) {
    QStringList skipped;
    // The former folder itself may be a link (into a folder of dotfiles, say): only what is in it is
    // looked at link by link.
    if (QFileInfo(from).isDir()) {
        // The folder holds the credential files: it is private from the start.
        if (PrivateFile::makeFolder(to))
            copyEntries(from, to, true, skipped);
        else
            skipped << from;
    } else if (!copyRegular(from, to, false)) {
        skipped << from;
    }
    if (!skipped.isEmpty())
        DebugLog::log([&] {
            return QStringLiteral(
                       "former folder: not copied (not a regular file or folder, or unreadable): ") +
                   skipped.join(QStringLiteral(", "));
        });
}

} // namespace

void run(QSettings& settings, const SettingsLocations& locations) {
    if (settings.contains(QLatin1String(flagKey)))
        return;
    settings.setValue(QLatin1String(flagKey), true);
    settings.sync();

    if (QFileInfo::exists(locations.legacySettingsFile)) {
        QSettings former(locations.legacySettingsFile, JsonSettingsFormat::format());
        if (former.status() == QSettings::NoError) {
            for (const char* key : keys) {
                const QString name = QLatin1String(key);
                if (!settings.contains(name) && former.contains(name))
                    settings.setValue(name, former.value(name));
            }
            settings.sync();
        }
    }

    if (existsAt(locations.legacyAppFolder) && !existsAt(locations.appFolder))
        copyFolder(locations.legacyAppFolder, locations.appFolder);
}

} // namespace LegacyMigration
