#pragma once

#include "core/calendar/CalendarAccess.h"
#include "core/calendar/LocalCalendar.h"
#include "core/calendar/LocalOccurrence.h"
#include "core/model/Clock.h"
#include "core/model/UserCal.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimeZone>

#include <memory>
#include <optional>

// The user's local calendars: vdir collections of iCalendar items under one root folder, read and
// written through libical. This is the calendar database the calendar store wraps; the calendar
// report opens an instance of its own.
//
// Reading expands recurring events into occurrences for a time range. Items are parsed once and kept
// until their size, modification time or inode changes, so a reload after a sync only parses what
// the sync touched; a malformed item is skipped (and logged with "--debug").
//
// Writes change one occurrence at a time: a non-repeating event in place, one instance of a series
// through an override in the same item, a deleted instance through an EXDATE. Every write is atomic
// and re-reads the item first, so a change made meanwhile by another program is kept.
class LocalCalendars : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString root; // empty: defaultRoot()
        // Forces the access state; the folder's permissions decide otherwise.
        std::optional<CalendarAccess> access;
        // The user's zone: floating times and all-day dates are read in it, timed slots written in it.
        QTimeZone zone = UserCal::current().zone();
        bool watch = false; // emit changed() when the folders change
        int coalesceMs = 300;
        Clock clock; // stamps written items; the system clock when empty
    };

    struct Slot {
        QDateTime start;
        QDateTime end;
        bool isAllDay = false;
    };

    // $VORRINDEL_CALENDARS, else ~/.calendars when it exists, else $XDG_DATA_HOME/Vorrindel/calendars.
    static QString defaultRoot();

    explicit LocalCalendars(Options options, QObject* parent = nullptr);
    ~LocalCalendars() override;

    const QString& root() const;
    const QTimeZone& zone() const;
    // Reads and writes in another zone from now on; items are parsed again when next read.
    void setZone(const QTimeZone& zone);

    // Missing root: not determined. Readable: full access. Writable only: write only. Else denied.
    CalendarAccess access() const;
    // Creates the root with one collection, "Calendar". False, with the reason, when that fails.
    bool createRoot(QString* error);

    // The collections as they are now on disk, in calendar order.
    QList<LocalCalendar> calendars();
    // Where new events go when nothing else is chosen: the "Calendar" collection under the root.
    QString defaultCalendarPath() const;

    // The occurrences in those calendars that overlap [from, to), sorted by start.
    QList<LocalOccurrence> occurrences(const QDateTime& from, const QDateTime& to,
                                       const QList<LocalCalendar>& calendars);
    // The event with that identifier as its first occurrence (a series' DTSTART instance).
    std::optional<LocalOccurrence> event(const QString& eventIdentifier);

    // New item in the calendar. Throws CalendarFileError.
    LocalOccurrence create(const LocalCalendar& calendar, const QString& title, const Slot& slot);
    // Changes the title and/or time of that occurrence. Absent when the occurrence no longer exists.
    // An unchanged title and slot writes nothing. Throws CalendarFileError.
    std::optional<LocalOccurrence> update(const LocalOccurrence& occurrence,
                                          const std::optional<QString>& title,
                                          const std::optional<Slot>& slot);
    // Removes that occurrence; false when it no longer exists. Throws CalendarFileError.
    bool remove(const LocalOccurrence& occurrence);

    // Items parsed since creation (misses of the parse cache).
    int parseCount() const;

signals:
    // Something under the root changed; many changes in a row give one signal.
    void changed();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
