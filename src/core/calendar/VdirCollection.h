#pragma once

#include "core/calendar/ItemFile.h"
#include "core/calendar/LocalCalendar.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// The folder layout that khal and vdirsyncer share: root/<collection> for calendars made on this
// computer, root/<account>/<collection> for synced ones. A collection holds one .ics file per item
// and optional "displayname" and "color" files.
namespace VdirCollection {

// The source title of collections directly under the root.
inline const QString localSourceTitle = QStringLiteral("Local");

// Every collection under the root, in calendar order: by source title, then title, both by code
// point. Hidden folders are skipped.
QList<LocalCalendar> discover(const QString& root);
// The account folders and collection folders, for watching.
QStringList folders(const QString& root);

// A collection folder held open, for reading its items' stamps on several threads at once.
class OpenFolder {
public:
    explicit OpenFolder(const QString& folder);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    // The names of its .ics items, in name order (empty when the folder cannot be read).
    const QList<QByteArray>& names() const { return m_names; }
    // Why the item of that index is no file (see ItemFile::notAFile); empty for a file or a link to
    // one. Told from the listing and a stat, never by opening it: opening a named pipe waits for a
    // writer, and opening a device may act on it. When that stat (of a link, or of an entry the
    // listing did not type) finds a file, `stamp` receives its stamp.
    QString notAFile(qsizetype index, std::optional<FileStamp>* stamp = nullptr) const;
    // The stamp of the named item; absent when it is no regular file (any more).
    std::optional<FileStamp> stamp(const QByteArray& name) const;
    // For reading the items by name (openat).
    int descriptor() const { return m_fd; }

private:
    int m_fd = -1;
    QList<QByteArray> m_names;
    // The type the listing gave each name that is not plainly a file (DT_LNK, DT_FIFO, ...).
    QHash<QByteArray, unsigned char> m_notRegular;
};

// A "color" file's colour: "#RRGGBB" or "#RRGGBBAA" (the alpha ignored), read as Google's calendar
// colours are; invalid otherwise.
QColor parseColor(const QString& text);

} // namespace VdirCollection
