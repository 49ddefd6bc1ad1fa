#include "core/calendar/ItemFile.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ReadingThreads.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <QScopeGuard>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ItemFile {

FileStamp stampOf(const struct stat& st) {
    return FileStamp{qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
                     quint64(st.st_ino)};
}

QString notAFile(unsigned mode) {
    const QString kind = S_ISFIFO(mode)                   ? QStringLiteral("a named pipe")
                         : S_ISSOCK(mode)                 ? QStringLiteral("a socket")
                         : S_ISCHR(mode) || S_ISBLK(mode) ? QStringLiteral("a device")
                         : S_ISDIR(mode)                  ? QStringLiteral("a folder")
                                                          : QStringLiteral("something else");
    return kind + QStringLiteral(", not a file");
}

std::optional<FileStamp> stamp(const QString& path) {
    return stampAt(AT_FDCWD, QFile::encodeName(path));
}

std::optional<FileStamp> stampAt(int folder, const QByteArray& name) {
    struct stat st;
    if (::fstatat(folder, name.constData(), &st, 0) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return stampOf(st);
}

std::optional<Contents> read(const QString& path, QString* error) {
    return readAt(AT_FDCWD, QFile::encodeName(path), error);
}

std::optional<Contents> readAt(int folder, const QByteArray& name, QString* error, FileStamp* seen,
                               bool* missing) {
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    auto tooLarge = [&] {
        return fail(QStringLiteral("larger than %1 MB, the most a calendar item may hold")
                        .arg(maxSize / (1024 * 1024)));
    };
    // On a hung mount, or a cloud folder that fetches the file first, the open and the reads may
    // never return.
    const ReadingThreads::MayStall mayStall;
    // Only regular files are items. The caller looked before, but the name may have become a pipe
    // or a device since: the open must not wait for a writer nor make the file our terminal, and
    // what was opened is looked at again below.
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (missing)
        *missing = fd < 0 && (errno == ENOENT || errno == ENOTDIR);
    if (fd < 0)
        return fail(QStringLiteral("cannot be read: ") + QString::fromLocal8Bit(std::strerror(errno)));
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    // A writer that rewrites the file while we read it shows as a changed stamp: read again. One
    // that replaces it leaves this one as it was.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat before;
        if (::fstat(fd, &before) != 0)
            return fail(QStringLiteral("cannot be read"));
        if (!S_ISREG(before.st_mode))
            return fail(notAFile(before.st_mode));
        if (seen)
            *seen = stampOf(before);
        if (before.st_size > maxSize)
            return tooLarge();
        // One byte more than the size seen tells a file that grew meanwhile.
        QByteArray bytes(qsizetype(before.st_size) + 1, Qt::Uninitialized);
        qsizetype filled = 0;
        while (filled < bytes.size()) {
            const ssize_t n =
                ::pread(fd, bytes.data() + filled, size_t(bytes.size() - filled), off_t(filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail(QStringLiteral("cannot be read: ") +
                            QString::fromLocal8Bit(std::strerror(errno)));
            if (n == 0)
                break;
            filled += n;
        }
        struct stat after;
        if (filled > before.st_size || ::fstat(fd, &after) != 0 || stampOf(after) != stampOf(before)) {
            if (filled > maxSize)
                return tooLarge();
            continue;
        }
        bytes.truncate(filled);
        return Contents{std::move(bytes), stampOf(before)};
    }
    return fail(QStringLiteral("keeps changing"));
}

Outcome write(const QString& path, const QByteArray& bytes, const std::optional<FileStamp>& expected,
              FileStamp* written) {
    const QString name = QFileInfo(path).fileName();
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw CalendarFileError(QStringLiteral("Couldn’t save %1: %2").arg(name, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw CalendarFileError(QStringLiteral("Couldn’t save %1: %2").arg(name, reason));
    }
    // A changed item keeps its permissions; a new one is private, as sync tools create them.
    file.setPermissions(expected ? QFile::permissions(path)
                                 : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The rename keeps the inode, size and modification time of the temporary file.
    struct stat st;
    if (written && (!file.flush() || ::fstat(file.handle(), &st) != 0)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw CalendarFileError(QStringLiteral("Couldn’t save %1: %2").arg(name, reason));
    }
    if (stamp(path) != expected) {
        file.cancelWriting(); // the temporary file goes with the object
        return Outcome::changedMeanwhile;
    }
    if (!file.commit())
        throw CalendarFileError(QStringLiteral("Couldn’t save %1: %2").arg(name, file.errorString()));
    if (written)
        *written = stampOf(st);
    return Outcome::done;
}

Outcome remove(const QString& path, const FileStamp& expected) {
    if (stamp(path) != expected)
        return Outcome::changedMeanwhile;
    QFile file(path);
    if (!file.remove())
        throw CalendarFileError(
            QStringLiteral("Couldn’t remove %1: %2").arg(QFileInfo(path).fileName(), file.errorString()));
    return Outcome::done;
}

} // namespace ItemFile
