#include "core/calendar/VdirCollection.h"

#include "core/remote/HexColor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

QString readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

// The permission bits count as well as access(2): as root, access() grants everything, yet a folder
// whose write bits were all removed is meant to be read-only.
bool writableFolder(const QFileInfo& info) {
    const auto perms = info.permissions();
    return info.isWritable() &&
           (perms & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther));
}

// The folders in that folder that may be collections or accounts, by name. A folder named like an
// item is neither: sync tools carry only the files of a collection, so an event written into one
// would never leave this computer. A collection's listing names it as skipped.
QFileInfoList subfolders(const QString& path) {
    QFileInfoList out = QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    out.removeIf([](const QFileInfo& folder) { return folder.fileName().endsWith(QLatin1String(".ics")); });
    return out;
}

bool looksLikeCollection(const QDir& dir) {
    if (dir.exists(QStringLiteral("displayname")) || dir.exists(QStringLiteral("color")))
        return true;
    // Collections hold thousands of items: one is enough to tell.
    if (QDirIterator(dir.path(), {QStringLiteral("*.ics")}, QDir::Files).hasNext())
        return true;
    // An empty folder is an empty calendar; a folder of folders is an account.
    return subfolders(dir.path()).isEmpty();
}

LocalCalendar readCollection(const QString& root, const QFileInfo& folder, LocalCalendar::SourceType type,
                             const QString& sourceTitle) {
    LocalCalendar c;
    c.path = folder.absoluteFilePath();
    c.id = QDir(root).relativeFilePath(c.path);
    c.title = readSmallFile(c.path + QStringLiteral("/displayname"));
    if (c.title.isEmpty())
        c.title = folder.fileName();
    c.color = VdirCollection::parseColor(readSmallFile(c.path + QStringLiteral("/color")));
    c.sourceType = type;
    c.sourceTitle = sourceTitle;
    c.allowsModifications = writableFolder(folder);
    return c;
}

} // namespace

namespace VdirCollection {

QList<LocalCalendar> discover(const QString& root) {
    QList<LocalCalendar> out;
    for (const QFileInfo& top : subfolders(root)) {
        if (looksLikeCollection(QDir(top.absoluteFilePath()))) {
            out.append(readCollection(root, top, LocalCalendar::SourceType::local, localSourceTitle));
            continue;
        }
        for (const QFileInfo& sub : subfolders(top.absoluteFilePath()))
            out.append(readCollection(root, sub, LocalCalendar::SourceType::calDAV, top.fileName()));
    }
    std::stable_sort(out.begin(), out.end(), [](const LocalCalendar& a, const LocalCalendar& b) {
        if (a.sourceTitle != b.sourceTitle)
            return a.sourceTitle < b.sourceTitle;
        return a.title < b.title;
    });
    return out;
}

QStringList folders(const QString& root) {
    QStringList out;
    for (const QFileInfo& top : subfolders(root)) {
        out.append(top.absoluteFilePath());
        if (!looksLikeCollection(QDir(top.absoluteFilePath()))) {
            for (const QFileInfo& sub : subfolders(top.absoluteFilePath()))
                out.append(sub.absoluteFilePath());
        }
    }
    return out;
}

OpenFolder::OpenFolder(const QString& folder) {
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    // A second descriptor for the listing: closedir() closes the one it was given.
    DIR* dir = ::fdopendir(::dup(m_fd));
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.') || !name.endsWith(".ics"))
            continue;
        m_names.append(name);
        if (entry->d_type != DT_REG)
            m_notRegular.insert(name, entry->d_type);
    }
    ::closedir(dir);
    std::sort(m_names.begin(), m_names.end());
}

QString OpenFolder::notAFile(qsizetype index, std::optional<FileStamp>* stamp) const {
    if (m_notRegular.isEmpty())
        return {};
    const auto found = m_notRegular.constFind(m_names[index]);
    if (found == m_notRegular.constEnd())
        return {};
    const unsigned char type = *found;
    // A link (vdirsyncer users link items in) counts as what it points to.
    struct stat st;
    if (type == DT_LNK || type == DT_UNKNOWN) {
        if (::fstatat(m_fd, m_names[index].constData(), &st, 0) != 0)
            return {}; // gone, or a link to nowhere: as good as missing
        if (!S_ISREG(st.st_mode))
            return ItemFile::notAFile(st.st_mode);
        if (stamp)
            *stamp = ItemFile::stampOf(st);
        return {};
    }
    const unsigned mode = type == DT_FIFO   ? S_IFIFO
                          : type == DT_SOCK ? S_IFSOCK
                          : type == DT_CHR  ? S_IFCHR
                          : type == DT_BLK  ? S_IFBLK
                          : type == DT_DIR  ? S_IFDIR
                                            : 0;
    return ItemFile::notAFile(mode);
}

OpenFolder::~OpenFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<FileStamp> OpenFolder::stamp(const QByteArray& name) const {
    if (m_fd < 0)
        return std::nullopt;
    return ItemFile::stampAt(m_fd, name);
}

QColor parseColor(const QString& text) {
    return HexColor::colorIgnoringAlpha(text).value_or(QColor());
}

} // namespace VdirCollection
