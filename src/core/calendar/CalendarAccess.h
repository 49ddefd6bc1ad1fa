#pragma once

// Whether the app may use the calendar folder. The raw numbers are the ones written to the debug log
// and the calendar report, so they must not change.
enum class CalendarAccess {
    notDetermined = 0, // the calendar folder does not exist yet
    restricted = 1,
    denied = 2,     // the folder exists but can be neither read nor written
    fullAccess = 3, // the folder can be read
    writeOnly = 4,  // the folder can be written but not read
};
