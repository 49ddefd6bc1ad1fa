#include "core/calendar/VdirCollection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool looksLikeCollection(const QDir& dir) {
    if (dir.exists(QStringLiteral("displayname")) || dir.exists(QStringLiteral("color")))
        return true;
    if (!dir.entryList({QStringLiteral("*.ics")}, QDir::Files).isEmpty())
        return true;
    // An empty folder is an empty calendar; a folder of folders is an account.
    return dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty();
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

QFileInfoList subfolders(const QString& path) {
    return QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
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

QList<Item> items(const QString& folder) {
    QList<Item> out;
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name);
    out.reserve(names.size());
    for (const QString& name : names) {
        QString path = folder + QLatin1Char('/') + name;
        if (std::optional<FileStamp> stamp = ItemFile::stamp(path))
            out.append({name, std::move(path), *stamp});
    }
    return out;
}

QColor parseColor(const QString& text) {
    QString hex = text.trimmed();
    if (!hex.startsWith(QLatin1Char('#')) || (hex.size() != 7 && hex.size() != 9))
        return {};
    bool ok = false;
    const uint rgb = hex.mid(1, 6).toUInt(&ok, 16);
    if (!ok || (hex.size() == 9 && (hex.mid(7, 2).toUInt(&ok, 16), !ok)))
        return {};
    return QColor::fromRgb(QRgb(rgb));
}

} // namespace VdirCollection
