#pragma once

#include <QString>

// Where the settings store keeps its things. standard() gives the XDG locations the app uses; tests
// point every field into a temporary folder.
struct SettingsLocations {
    // The settings: $XDG_CONFIG_HOME/Vorrindel/Vorrindel.json.
    QString settingsFile;
    // The former product's preferences: $XDG_CONFIG_HOME/Vorrindel/com.tessmoor.Saffrick.json.
    QString legacySettingsFile;
    // The folder of the credential files: $XDG_DATA_HOME/Vorrindel.
    QString appFolder;
    // The former product's folder: $XDG_DATA_HOME/Saffrick.
    QString legacyAppFolder;
    // The autostart entry that launches the app at login: $XDG_CONFIG_HOME/autostart/vorrindel.desktop.
    QString autostartFile;
    // The program the autostart entry starts.
    QString executable;

    // Built from the environment on every call.
    static SettingsLocations standard();
};
