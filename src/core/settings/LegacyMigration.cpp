#include "core/settings/LegacyMigration.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"
#include "core/settings/JsonSettingsFormat.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <filesystem>
#include <system_error>

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

void copyFolder(const QString& from, const QString& to) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path source(QFile::encodeName(from).toStdString());
    const fs::path target(QFile::encodeName(to).toStdString());
    if (fs::is_directory(source, error)) {
        // The folder holds the credential files: it is private from the start, and each file keeps
        // the permissions it had.
        if (!PrivateFile::makeFolder(to))
            return;
        fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    } else {
        fs::copy(source, target, fs::copy_options::copy_symlinks, error);
    }
    if (error)
        DebugLog::log([&] {
            return QStringLiteral("former folder not fully copied: ") +
                   QString::fromStdString(error.message());
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
