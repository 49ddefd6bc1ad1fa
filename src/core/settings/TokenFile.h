#pragma once

#include <QString>

// The Notion integration token, kept in the file "notion-token" in the app folder, readable only by
// the user. The file exists only while the token is not empty.
namespace TokenFile {

// appFolder + "/notion-token".
QString path(const QString& appFolder);

// The stored token with white space and line breaks trimmed from both ends; empty when the file is
// missing, cannot be read or is not UTF-8. `unreadable`, when given, receives why a file that is there
// could not be read ("Permission denied"), and is emptied otherwise.
QString read(const QString& appFolder, QString* unreadable = nullptr);

// Stores the token exactly as given (0600 from the first byte, the folder 0700 when it is created),
// or deletes the file when the token is empty. Never fails visibly: a failure is only logged.
void write(const QString& appFolder, const QString& token);

} // namespace TokenFile
