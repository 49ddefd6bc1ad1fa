#include "core/model/PrivateFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFile {

namespace {

QString systemError(const QString& what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// Writes all of the content, going on after interrupted and partial writes; false on any failure.
bool writeAll(int fd, const QByteArray& content) {
    qsizetype written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + written, size_t(content.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace

bool makeFolder(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QFileInfo info(absolute);
    if (info.isDir())
        return true;
    if (info.exists() || absolute == QStringLiteral("/"))
        return false;
    if (!makeFolder(info.absolutePath()))
        return false;
    const QByteArray native = QFile::encodeName(absolute);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    // mkdir applies the umask, which may take away the owner's own rights.
    struct stat st;
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return (st.st_mode & 0700) == 0700 || ::chmod(native.constData(), 0700) == 0;
}

bool makePrivate(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0)
        return errno == ENOENT;
    // A link may lead anywhere, to a system file when run as root: its target is not ours to change.
    if (S_ISLNK(st.st_mode))
        return false;
    if ((st.st_mode & 077) == 0)
        return true;
    // Not following links here either: one may have taken the file's place since the lstat.
    return ::fchmodat(AT_FDCWD, native.constData(), st.st_mode & 07700, AT_SYMLINK_NOFOLLOW) == 0;
}

bool createPrivate(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST)
        return false;
    return makePrivate(path);
}

QString write(const QString& path, const QByteArray& content, unsigned permissions) {
    const QFileInfo info(path);
    if (!makeFolder(info.absolutePath()))
        return QStringLiteral("Couldn’t create the folder %1").arg(info.absolutePath());

    QByteArray temporary = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                             QStringLiteral(".XXXXXX"));
    // mkostemp creates the file 0600 (less under a strict umask); fchmod makes it exactly what is asked
    // before any content is there.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return systemError(QStringLiteral("Couldn’t create a file in %1").arg(info.absolutePath()));
    auto fail = [&](const QString& what) {
        const QString message = systemError(what);
        ::close(fd);
        ::unlink(temporary.constData());
        return message;
    };
    if (::fchmod(fd, mode_t(permissions)) != 0)
        return fail(QStringLiteral("Couldn’t protect %1").arg(path));
    if (!writeAll(fd, content) || ::fsync(fd) != 0)
        return fail(QStringLiteral("Couldn’t write %1").arg(path));
    if (::close(fd) != 0) {
        const QString message = systemError(QStringLiteral("Couldn’t write %1").arg(path));
        ::unlink(temporary.constData());
        return message;
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const QString message = systemError(QStringLiteral("Couldn’t replace %1").arg(path));
        ::unlink(temporary.constData());
        return message;
    }
    return QString();
}

bool append(const QString& path, const QByteArray& content) {
    makeFolder(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = writeAll(fd, content);
    return ::close(fd) == 0 && ok;
}

std::optional<QByteArray> read(const QString& path, QString& error) {
    error.clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    QByteArray content;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(buffer, n);
    }
    ::close(fd);
    return content;
}

QString keepAside(const QString& path) {
    QString aside = path + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = path + QStringLiteral(".unreadable-") + QString::number(n);
    // rename() moves a link itself, never what it points to; makePrivate() leaves a link alone.
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0)
        return QString();
    makePrivate(aside);
    return aside;
}

} // namespace PrivateFile
