#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What tells one version of a file from the next without reading it.
struct FileStamp {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 inode = 0;

    bool operator==(const FileStamp&) const = default;
};

struct stat;

// Reads and writes single vdir items. Writes are atomic (a temporary file renamed over the item),
// keep the item's permissions (a new item is readable only by the user), and are refused when the item
// changed since it was read, because a sync tool may write the same folder at any moment. An item
// that is a link is read and written through it, as editors do: the file it points to is replaced
// and the link stays (QSaveFile follows it); a removal removes the link only.
namespace ItemFile {

struct Contents {
    QByteArray bytes;
    FileStamp stamp;
};

FileStamp stampOf(const struct stat& st);
// Items larger than this are refused: a calendar item is a few kilobytes, and one read whole into
// memory must not take the memory of the machine.
constexpr qint64 maxSize = 16 * 1024 * 1024;

// Why a path of that mode (from stat) is no item: "a named pipe, not a file" and the like.
QString notAFile(unsigned mode);

// Absent when there is no regular file there (any more). The second names the file by its folder's
// descriptor (or AT_FDCWD) and its name.
std::optional<FileStamp> stamp(const QString& path);
std::optional<FileStamp> stampAt(int folder, const QByteArray& name);
// Absent when the file is missing, cannot be read or is larger than maxSize; `error` tells which.
std::optional<Contents> read(const QString& path, QString* error = nullptr);
// The same for the item `name` of the folder open as `folder`. `seen` receives the stamp of what was
// found, also when it could not be read; `missing` whether there was no such file at all.
std::optional<Contents> readAt(int folder, const QByteArray& name, QString* error, FileStamp* seen = nullptr,
                               bool* missing = nullptr);

enum class Outcome { done, changedMeanwhile };

// `expected` is the stamp of the version read, or absent for a new item. `written`, when given,
// receives the stamp of what was written, taken from the file itself before it replaces the item: a
// stamp read from the path afterwards could already be another program's next version. Throws
// CalendarFileError when the file system refuses.
Outcome write(const QString& path, const QByteArray& bytes, const std::optional<FileStamp>& expected,
              FileStamp* written = nullptr);
Outcome remove(const QString& path, const FileStamp& expected);

} // namespace ItemFile
