#pragma once

#include "core/remote/GoogleRecords.h"

#include <QString>

// The Google configuration (client identity and every connected account with its refresh token),
// kept in the file "google.json" in the app folder, readable only by the user: pretty-printed JSON,
// keys sorted at every level, dates as ISO 8601 text in UTC.
namespace GoogleConfigFile {

// appFolder + "/google.json".
QString path(const QString& appFolder);

// The stored configuration; the empty one when the file is missing, cannot be read or does not decode.
// A file that was read but does not decode is first moved aside to "google.json.unreadable" (or a
// numbered name when that exists), so that no later write can destroy the accounts in it. One that
// cannot be read (no permission, another owner) is left where it is, as it may well decode once it can
// be read: `unreadable`, when given, receives why, and is emptied otherwise.
GoogleConfig read(const QString& appFolder, QString* unreadable = nullptr);

// Stores the configuration (0600 from the first byte, the folder 0700 when it is created). Never fails
// visibly: a failure is only logged.
void write(const QString& appFolder, const GoogleConfig& config);

} // namespace GoogleConfigFile
