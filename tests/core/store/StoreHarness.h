#pragma once

#include "StoreFakes.h"

#include "core/settings/AppSettings.h"
#include "core/store/AlertSound.h"
#include "core/store/EventStore.h"
#include "core/store/WakeNotifier.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"

#include <QStringList>

#include <memory>

// The store with its remote refreshes counted (and, unless runRefreshes, not run), and the protected
// state that the Google and Notion syncs set opened up, so tests can feed the sources directly.
class TestableStore : public EventStore {
public:
    using EventStore::EventStore;

    QCoro::Task<> refreshGoogle() override {
        ++googleRefreshes;
        return runRefreshes ? EventStore::refreshGoogle() : nothing();
    }
    QCoro::Task<> refreshNotion() override {
        ++notionRefreshes;
        return runRefreshes ? EventStore::refreshNotion() : nothing();
    }

    // The events as if Google had just delivered them.
    void showGoogle(QList<CalEvent> events) {
        setGoogleEvents(std::move(events));
        rebuild();
    }

    using EventStore::setGoogleLastSync;
    using EventStore::setNotionLastSync;
    using EventStore::setSyncingGoogle;
    using EventStore::setSyncingNotion;

    bool runRefreshes = false;
    int googleRefreshes = 0;
    int notionRefreshes = 0;

private:
    static QCoro::Task<> nothing() { co_return; }
};

class CountingSound final : public AlertSound {
public:
    void play() override { ++plays; }
    int plays = 0;
};

// One store in a world of its own: a temporary home with settings and a local calendar folder (one
// collection, "Work"), a manual clock, the user's calendar (whose zone must be the one in TZ), a
// counted sound, a wake signal the test raises, fake Google and Notion sources, and a debug log from
// which reloads of the local events are counted.
class StoreHarness {
public:
    static Cal berlin(const char* locale = "de_DE");
    // The clock starts at the wall time "yyyy-MM-dd HH:mm[:ss]" of the calendar's zone; by default on
    // Wednesday 4 March 2026 at 10:00 in Berlin, weeks starting on Monday.
    explicit StoreHarness(const QString& wallStart = QStringLiteral("2026-03-04 10:00"),
                          const Cal& cal = berlin());
    ~StoreHarness();

    // Makes the store and runs its start-up. With `remote` (or sources of the test's own), the Google
    // and Notion refreshes run; otherwise they are only counted.
    TestableStore& start(bool remote = false);

    QDateTime at(const QString& wall) const;
    // Moves the clock on, firing the store's timers on the way, then runs the queued work.
    void advance(qint64 seconds);
    // Runs what the store queued for the next turn of the event loop.
    void settle();

    // Writes one timed event into the "Work" collection. Extra lines go into the VEVENT as they are
    // (ATTENDEE lines, say).
    void writeLocalEvent(const QString& uid, const QString& title, const QDateTime& start,
                         const QDateTime& end, const QStringList& extraLines = {});
    // How often the store has loaded the local events so far.
    int reloads() const;

    // A Google account in the settings, with a fresh token, its primary calendar (named by the
    // address) and these others, allowed to write unless told otherwise.
    void connect(const QString& email, const QList<GoogleCalendarInfo>& others = {}, bool canWrite = true);
    // A half-hour Google event from the wall time; its id is the title without blanks, lower-cased.
    void addGoogle(const QString& calendar, const QString& title, const QString& wall);
    // The store's copy of a Google event, by title.
    CalEvent googleEvent(const QString& title) const;
    // The account as the settings hold it now; an empty one when it is not connected.
    GoogleAccount stored(const QString& email) const;

    static QStringList titles(const QList<CalEvent>& events);
    // The id of the event whose alert shows; empty when none shows.
    QString alerted() const { return store->alert() ? store->alert()->event.id : QString(); }
    // The titles the agenda lists on the day "yyyy-MM-dd".
    QStringList titlesOn(const QString& day) const;

    TempHome home;
    Cal cal;
    ManualClock clock;
    std::unique_ptr<AppSettings> settings;
    std::shared_ptr<CountingSound> sound = std::make_shared<CountingSound>();
    WakeNotifier wake;
    QList<QUrl> opened;
    std::shared_ptr<GoogleState> google = std::make_shared<GoogleState>();
    std::shared_ptr<NotionState> notion = std::make_shared<NotionState>();
    // Sources in place of the fakes: the real clients, for tests that reach fake servers over HTTP.
    std::unique_ptr<GoogleSource> googleSource;
    std::unique_ptr<NotionSource> notionSource;
    // Forces the calendar store's access state; the folder decides when unset.
    std::optional<CalendarAccess> access;
    // The folder of the journal of skipped calendar items; none when empty.
    QString journal;
    std::unique_ptr<TestableStore> store;
    QString root;       // the local calendar folder, not watched: tests reload through the store
    QString collection; // its one collection, "Work"
    QString logFile;
};
