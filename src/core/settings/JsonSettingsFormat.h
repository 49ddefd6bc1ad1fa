#pragma once

#include <QSettings>

// A QSettings file format that keeps value types, as the app's settings need: booleans, integers,
// texts, lists and binary data read back as what was stored (the INI format turns everything into
// text). A file holds one JSON object, one member per key; binary data is stored as an object with
// the single member "@data" holding base64 text.
namespace JsonSettingsFormat {

// Registered with QSettings on first use.
QSettings::Format format();

} // namespace JsonSettingsFormat
