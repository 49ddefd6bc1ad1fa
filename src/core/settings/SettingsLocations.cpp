#include "core/settings/SettingsLocations.h"

#include <QCoreApplication>
#include <QStandardPaths>

SettingsLocations SettingsLocations::standard() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    SettingsLocations locations;
    locations.settingsFile = config + QStringLiteral("/Vorrindel/Vorrindel.json");
    locations.legacySettingsFile = config + QStringLiteral("/Vorrindel/com.tessmoor.Saffrick.json");
    locations.appFolder = data + QStringLiteral("/Vorrindel");
    locations.legacyAppFolder = data + QStringLiteral("/Saffrick");
    locations.autostartFile = config + QStringLiteral("/autostart/vorrindel.desktop");
    if (QCoreApplication::instance())
        locations.executable = QCoreApplication::applicationFilePath();
    return locations;
}
