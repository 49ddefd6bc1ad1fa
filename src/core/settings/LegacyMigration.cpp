#include "core/settings/LegacyMigration.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"
#include "core/settings/JsonSettingsFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <optional>

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

// The whole content of a regular file; none for anything else. Opened without following a link and
// without waiting on a pipe, and checked on the open file itself.
std::optional<QByteArray> readRegular(const QString& path, mode_t* mode) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    std::optional<QByteArray> content;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            content = file.readAll();
            if (file.error() != QFileDevice::NoError)
                content.reset();
        }
        *mode = st.st_mode;
    }
    ::close(fd);
    return content;
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
        mode_t mode = 0;
        const std::optional<QByteArray> content = readRegular(source, &mode);
        // The tokens are the user's alone, whatever the former product left them as.
        const bool credential = top && (name == u"notion-token" || name == u"google.json");
        if (!content || !PrivateFile::write(target, *content, credential ? 0600 : mode & 0777).isEmpty())
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
    } else {
        mode_t mode = 0;
        const std::optional<QByteArray> content = readRegular(from, &mode);
        if (!content || !PrivateFile::write(to, *content, mode & 0777).isEmpty())
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
