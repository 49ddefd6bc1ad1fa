#pragma once

#include <QColor>
#include <QString>

// One local calendar: a vdir collection, a folder of .ics items under the calendar root, with the
// optional "displayname" and "color" files that khal and vdirsyncer use.
struct LocalCalendar {
    // The raw numbers appear in the debug log and the calendar report.
    enum class SourceType {
        local = 0,  // root/<collection>: made on this computer
        calDAV = 2, // root/<account>/<collection>: kept in sync by vdirsyncer or a similar tool
    };

    QString id;          // the collection's path relative to the root; stable across launches
    QString title;       // the "displayname" file, else the folder's name
    QColor color;        // the "color" file; invalid when missing or unreadable
    QString sourceTitle; // the account folder's name, or "Local"
    SourceType sourceType = SourceType::local;
    bool allowsModifications = false; // the folder can be written
    QString path;                     // absolute folder path

    bool operator==(const LocalCalendar&) const = default;
};
