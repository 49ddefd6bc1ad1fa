#pragma once

#include "core/calendar/ItemFile.h"
#include "core/calendar/LocalCalendar.h"

#include <QList>
#include <QString>

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

struct Item {
    QString fileName;
    QString path;
    FileStamp stamp;
};
// The .ics items of a collection folder.
QList<Item> items(const QString& folder);

// A "color" file's colour: "#RRGGBB" or "#RRGGBBAA" (the alpha ignored), read as Google's calendar
// colours are; invalid otherwise.
QColor parseColor(const QString& text);

} // namespace VdirCollection
