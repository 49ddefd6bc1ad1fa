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

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

struct ItemCache;

// The user's local calendars: vdir collections of iCalendar items under one root folder, read and
// written through libical. This is the calendar database the calendar store wraps; the calendar
// report opens an instance of its own.
//
// Reading expands recurring events into occurrences for a time range, on the reading threads (one
// per core). Items are parsed once and kept until their size, modification time or inode changes,
// so a reload after a sync only parses what the sync touched. Items come from outside and are read
// as a hostile sender may have written them: a malformed item, one over 16 MB, one that would cost
// more than an item may to read or expand and one with more occurrences in a range than an agenda
// can show are skipped (and logged with "--debug"); rules and time zones that libical cannot expand
// safely never reach it. With a journal, an item that took the process down, ran past its time or
// always costs too much is skipped from the next start on, until its file changes: a stat tells, and
// the item is not opened before then. One whose file did not answer in time is skipped the same way,
// until its file changes or it is read again on request.
//
// Writes change one occurrence at a time: a non-repeating event in place, one instance of a series
// through an override in the same item, a deleted instance through an EXDATE. Every write is atomic
// and re-reads the item first, so a change made meanwhile by another program is kept. A series with
// a rule that cannot be expanded is never written.
//
// A file system may stall (a hung network mount, a cloud folder fetching a file on demand): every read
// of an item runs on a reading thread and is given up on once it has taken the item time limit. Items
// that stall do so side by side, whatever their number. A load goes on without them, and skips them
// until their files change or they are read again on request (a refresh); a look-up or a write throws
// ItemTimeoutError, having written nothing.
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
        // The folder of the crash journal (ItemJournal::defaultFolder() for the app and the calendar
        // report); empty: no journal.
        QString journal;
        // How long one item may take to be read before it counts as stuck.
        std::chrono::milliseconds itemTimeLimit{5000};
        // Times a load's items against that limit (tests move it by hand); the steady clock when empty.
        std::function<std::chrono::steady_clock::time_point()> itemClock;
        // Runs on the reading thread before an item is parsed, with its path: tests make an item
        // hang or crash there.
        std::function<void(const QString&)> beforeReading;
    };

    // An item that reading skips, and why.
    struct SkippedItem {
        QString calendarId;
        QString fileName;
        QString reason;
    };

    struct Slot {
        QDateTime start;
        QDateTime end;
        bool isAllDay = false;
    };

    // $VORRINDEL_CALENDARS, else ~/.calendars when it exists, else $XDG_DATA_HOME/Vorrindel/calendars.
    static QString defaultRoot();
    // The id of the calendar that holds the event with that identifier, from the identifier alone.
    static QString calendarIdOfEvent(const QString& eventIdentifier);

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

    // The occurrences in those calendars that overlap [from, to), sorted by start. Read on the
    // reading threads and on this one, which waits.
    QList<LocalOccurrence> occurrences(const QDateTime& from, const QDateTime& to,
                                       const QList<LocalCalendar>& calendars);
    // The same without waiting: `done` runs on a reading thread with the occurrences, also when this
    // object is gone by then.
    void occurrencesLater(const QDateTime& from, const QDateTime& to, const QList<LocalCalendar>& calendars,
                          std::function<void(QList<LocalOccurrence>)> done);
    // Reads again the items of those calendars that the last reads skipped for not answering in time
    // (the journal's among them), on the reading threads, each under the item time limit: one that
    // still does not answer is given up on again, and nothing waits for it. `done` runs on a reading
    // thread with how many answered, also when this object is gone by then; the next load shows them.
    void readUnansweredLater(const QList<LocalCalendar>& calendars, std::function<void(int)> done);
    // The occurrences of one event (by its identifier) that overlap [from, to): only its item is read.
    // Throws ItemTimeoutError.
    QList<LocalOccurrence> occurrencesOf(const QString& eventIdentifier, const QDateTime& from,
                                         const QDateTime& to);
    // The items of those calendars that the last reads skipped, and why (the journal's among them),
    // by calendar, then file name.
    QList<SkippedItem> skippedItems(const QList<LocalCalendar>& calendars) const;
    // The items of those calendars that the last reads showed only in part (a rule that cannot be
    // expanded, RDATE values libical dropped), and why, in the same order.
    QList<SkippedItem> partlyReadItems(const QList<LocalCalendar>& calendars) const;
    // The event with that identifier as its first occurrence (a series' DTSTART instance). Throws
    // ItemTimeoutError.
    std::optional<LocalOccurrence> event(const QString& eventIdentifier);
    using QObject::event;

    // New item in the calendar. Throws CalendarFileError.
    LocalOccurrence create(const LocalCalendar& calendar, const QString& title, const Slot& slot);
    // Changes the title and/or time of that occurrence. Absent when the occurrence no longer exists.
    // An unchanged title and slot writes nothing. Throws CalendarFileError.
    std::optional<LocalOccurrence> update(const LocalOccurrence& occurrence,
                                          const std::optional<QString>& title,
                                          const std::optional<Slot>& slot);
    // Removes that occurrence; false when it no longer exists. Throws CalendarFileError.
    bool remove(const LocalOccurrence& occurrence);

    // The calendars, look-ups and changes of single items above, for any thread: a copy of what they
    // need, which stays valid when this object goes or changes its zone. The calling thread waits for
    // the files: a view's thread hands them to a reading thread (ReadingThreads::later).
    class Items {
    public:
        QList<LocalCalendar> calendars() const;
        QList<LocalOccurrence> occurrencesOf(const QString& eventIdentifier, const QDateTime& from,
                                             const QDateTime& to) const;
        std::optional<LocalOccurrence> event(const QString& eventIdentifier) const;
        std::optional<LocalOccurrence> update(const LocalOccurrence& occurrence,
                                              const std::optional<QString>& title,
                                              const std::optional<Slot>& slot) const;
        bool remove(const LocalOccurrence& occurrence) const;

    private:
        friend class LocalCalendars;
        CalendarAccess access() const;

        std::shared_ptr<ItemCache> m_items;
        Clock m_clock;
        std::optional<CalendarAccess> m_access;
    };
    Items items() const;

    // Items parsed since creation (misses of the parse cache).
    int parseCount() const;

signals:
    // Something under the root changed; many changes in a row give one signal.
    void changed();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
