#pragma once

#include "core/calendar/ItemFile.h"

#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// Calendar items come from outside, and a crash inside libical cannot be caught: it must not happen
// twice. The journal notes which items the reader is working on, in a small file mapped into memory
// (no system call per item), so that the next start knows what a process was doing when it died.
// An item that took the process down, or ran past its time, is skipped from then on, until its file
// changes. An item that was merely being read when the process was killed for another reason is
// skipped only the second time that happens to it. A reader also notes here the files that did not
// answer in time (a stalled mount); those it may read again on request (a refresh), and it clears
// the note once one answers.
//
// One journal per folder and process; every process that reads calendars (the app, the calendar
// report) shares the folder.
class ItemJournal {
public:
    struct Entry {
        QString path;
        FileStamp stamp;
        QString reason; // what happened, as the debug log and the calendar report tell it
    };

    static constexpr std::chrono::milliseconds defaultTimeLimit{5000};

    // $XDG_STATE_HOME/Vorrindel/calendar-journal (default ~/.local/state/...).
    static QString defaultFolder();
    // The journal of that folder in this process, made on first use: it takes over what processes
    // that died left behind. `timeLimit` is how long one item may take before it counts as stuck;
    // it is fixed by the first caller.
    static std::shared_ptr<ItemJournal> open(const QString& folder,
                                             std::chrono::milliseconds timeLimit = defaultTimeLimit);
    ~ItemJournal();
    ItemJournal(const ItemJournal&) = delete;
    ItemJournal& operator=(const ItemJournal&) = delete;

    // The reason given for an item that ran past its time.
    static QString pastItsTimeReason();
    // The reason given for an item whose file did not answer in time.
    static QString notAnsweringReason();

    // Why the item, as it is now, is skipped; empty when it is not.
    QString skipReason(const QString& path, const FileStamp& stamp) const;
    // The entry that skips the item at that path while its file is as the entry's stamp says, whatever
    // the file is now: a reader compares that stamp with a stat before it opens the file.
    std::optional<Entry> skipping(const QString& path) const;
    // Every item skipped at present.
    QList<Entry> skipped() const;
    // Skips the item from now on, until its file changes (it cost more than the reader allows).
    void skip(const QString& path, const FileStamp& stamp, const QString& reason);
    // Skips the item no longer, when the journal skips it at that stamp for that reason.
    void unskip(const QString& path, const FileStamp& stamp, const QString& reason);

    // The item this thread is working on, until the scope ends.
    class Scope {
    public:
        Scope(Scope&& other) noexcept;
        Scope& operator=(Scope&&) = delete;
        ~Scope();
        // The item ran past the time limit meanwhile: it is skipped from now on.
        bool timedOut() const;

    private:
        friend class ItemJournal;
        Scope(ItemJournal* journal, int slot);
        ItemJournal* m_journal;
        int m_slot;
    };
    Scope begin(const QString& path, const FileStamp& stamp);

    struct Private;

private:
    ItemJournal(const QString& folder, std::chrono::milliseconds timeLimit);
    std::unique_ptr<Private> d;
};
