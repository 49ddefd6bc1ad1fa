#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Files that hold secrets (tokens, the debug log) and must never be readable by other users, not even
// for a moment.
namespace PrivateFile {

// Creates the folder and any missing parent, each new one with permissions 0700 whatever the umask.
// True when the folder exists afterwards.
bool makeFolder(const QString& path);

// Takes the group's and others' permissions away from an existing file or folder, such as a folder
// an earlier version created 0755. True when none are left, also when there is no such path. A
// symbolic link is never followed nor changed: false for a link.
bool makePrivate(const QString& path);

// Creates the file empty with permissions 0600 when it does not exist, else makes it private as
// makePrivate() does; so writers that keep a file's permissions (QSettings, QSaveFile) keep it private
// from its first content on. True when the file exists and is private afterwards.
bool createPrivate(const QString& path);

// Replaces the file's content atomically: a temporary file in the same folder, created with
// `permissions` from its first byte, written, flushed to disk and renamed over the file. A reader sees
// the old content or the new, never a mix; a symbolic link at `path` is replaced, never written through.
// Creates the folder as makeFolder() does. Returns an empty text on success, otherwise what went wrong (the
// file is then left as it was).
QString write(const QString& path, const QByteArray& content, unsigned permissions = 0600);

// Appends to the file, creating it (and its folder, as makeFolder() does) readable only by the user
// when it is missing. False when the file cannot be opened for appending (a symbolic link is never
// written through) or not all was written; a file that cannot be opened is left as it is.
bool append(const QString& path, const QByteArray& content);

// The whole content of the file; none when it is missing (a link to nothing included) or cannot be
// read. `error` then says which: empty for a missing file, else why it cannot be read ("Permission
// denied"), so that a caller can tell a file it must leave alone from one that is not there.
std::optional<QByteArray> read(const QString& path, QString& error);

// Renames a file that cannot be read to "<name>.unreadable" ("<name>.unreadable-2" and so on when that
// exists), readable only by the user, so that nothing written later replaces what it held. A symbolic
// link is renamed itself; what it points to keeps its name and permissions. Returns the new path, or
// an empty text when the file could not be renamed.
QString keepAside(const QString& path);

} // namespace PrivateFile
