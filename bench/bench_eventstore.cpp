// The store's hot paths: its start over a calendar folder of 10,000 items, the merge of every
// source into days after each change of a source, and the free-slot search that quick add runs as
// the user types.
#include "TenThousandItems.h"
#include "core/model/UserCal.h"
#include "core/settings/AppSettings.h"
#include "core/settings/SettingsLocations.h"
#include "core/store/EventStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <optional>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

namespace {

const QTimeZone berlin("Europe/Berlin");

class BenchStore : public EventStore {
public:
    using EventStore::EventStore;
    using EventStore::mergeSources;
    using EventStore::setGoogleEvents;
    using EventStore::setNotionEvents;
};

QDateTime wall(const QDate& day, int hour, int minute) {
    return QDateTime(day, QTime(hour, minute), berlin).toUTC();
}

CalEvent event(const QString& id, const QString& title, const QDateTime& start, int minutes,
               EventSource source) {
    CalEvent e;
    e.id = id;
    e.title = title;
    e.start = start;
    e.end = start.addSecs(minutes * 60);
    e.source = source;
    e.calendarName = QStringLiteral("Work");
    for (int g = 0; g < 3; ++g) {
        Attendee a;
        a.name = QStringLiteral("Guest %1").arg((title.size() + g) % 40);
        a.email = QStringLiteral("guest%1@corp.io").arg((title.size() + g) % 40);
        a.status = Attendee::Status::accepted;
        e.attendees.append(a);
    }
    return e;
}

// A temporary home, settings and calendar folder (or the given one) for one store on a fixed clock.
struct World {
    explicit World(const QString& calendars = {}, const QDateTime& now = wall(QDate(2026, 3, 4), 8, 0)) {
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        qputenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8());
        qputenv("VORRINDEL_CALENDARS",
                (calendars.isEmpty() ? dir.path() + "/calendars" : calendars).toUtf8());
        settings = std::make_unique<AppSettings>(SettingsLocations::standard());
        UserCal::use(Cal(berlin, QLocale(QLocale::German, QLocale::Germany)));
        EventStore::Environment environment;
        environment.settings = settings.get();
        environment.clock = [now] { return now; };
        store = std::make_unique<BenchStore>(std::move(environment));
    }
    QTemporaryDir dir;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<BenchStore> store;
};

// The app's start-up over 10,000 local items: from its start until the agenda holds the local events
// of the four loaded weeks. A timer that fires whenever the GUI thread is free measures how long the
// GUI thread was held: as the thread's own processor time between two beats (what our code did on
// it), and as the wall-clock time (which also counts the system running other threads instead).
void startWithTenThousandLocalItems(benchmark::State& state) {
    const QString root = TenThousandItems::Folder::get().root();
    auto threadCpuNs = [] {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    qint64 worstBusyNs = 0;
    qint64 worstWallNs = 0;
    qsizetype days = 0;
    // Outside the loop, so that the last store is freed while the timing is paused.
    std::optional<World> world;
    for (auto _ : state) {
        state.PauseTiming();
        world.reset();
        world.emplace(root, wall(QDate(2024, 4, 3), 9, 30));
        // What making the store (and freeing the last one) queued runs first: only the start counts.
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QElapsedTimer beat;
        qint64 lastCpu = 0;
        auto mark = [&] {
            const qint64 cpu = threadCpuNs();
            worstBusyNs = std::max(worstBusyNs, cpu - lastCpu);
            worstWallNs = std::max(worstWallNs, beat.nsecsElapsed());
            lastCpu = cpu;
            beat.restart();
        };
        QTimer ticker;
        ticker.setInterval(0);
        QObject::connect(&ticker, &QTimer::timeout, mark);
        ticker.start();
        beat.start();
        lastCpu = threadCpuNs();
        QCoro::waitFor(world->store->start());
        mark();
        days = world->store->eventsByDay().size();
    }
    state.counters["gui_busy_ms"] = double(worstBusyNs) / 1e6;
    state.counters["gui_wall_gap_ms"] = double(worstWallNs) / 1e6;
    state.counters["days"] = double(days);
}
BENCHMARK(startWithTenThousandLocalItems)->Unit(benchmark::kMillisecond)->UseRealTime();

void rebuildTenThousandEvents(benchmark::State& state) {
    World world;
    const auto [from, to] = world.store->loadedRange();
    const int days = int(from.daysTo(to));
    QList<CalEvent> google, notion;
    for (int i = 0; i < 10000; ++i) {
        const QDate day = from.date().addDays(i % days);
        const QDateTime start = wall(day, 7 + (i / days) % 12, (i * 5) % 60);
        const QString title = QStringLiteral("Meeting %1").arg(i % 997);
        if (i % 2 == 0)
            google.append(event(QStringLiteral("g:me@corp.io:primary:%1").arg(i), title, start, 30 + i % 60,
                                EventSource::google));
        else
            notion.append(
                event(QStringLiteral("notion:%1").arg(i), title, start, 30 + i % 60, EventSource::notion));
        // One in ten is the same meeting read from a second source as well.
        if (i % 10 == 0)
            notion.append(event(QStringLiteral("notion:copy%1").arg(i), title.toUpper(), start, 30 + i % 60,
                                EventSource::notion));
    }
    world.store->setGoogleEvents(google);
    world.store->setNotionEvents(notion);
    QCoro::waitFor(world.store->mergeSources());
    int published = 0;
    QObject::connect(world.store.get(), &EventStore::eventsByDayChanged, [&] { ++published; });
    // Each round one event of one source is retitled, as a sync that found one change would, and the
    // merge runs to its end: the reading thread's merge and the publication on this one. Without the
    // change every merge after the first would find the agenda shown and publish nothing.
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QList<CalEvent>& source = round % 2 == 0 ? google : notion;
        CalEvent& changed = source[(round / 2 * 7919) % source.size()];
        changed.title = QStringLiteral("Meeting, change %1").arg(++round);
        if (&source == &google)
            world.store->setGoogleEvents(google);
        else
            world.store->setNotionEvents(notion);
        state.ResumeTiming();
        QCoro::waitFor(world.store->mergeSources());
    }
    state.counters["days"] = double(world.store->eventsByDay().size());
    // 1 when every merge published a changed agenda.
    state.counters["published_per_merge"] = double(published) / double(round);
}
BENCHMARK(rebuildTenThousandEvents)->Unit(benchmark::kMillisecond);

void nextFreeSlotOverFourteenBusyDays(benchmark::State& state) {
    World world;
    // Fifty-minute meetings on the hour from 8 to 19 every day: no free hour anywhere, so the search
    // walks all fourteen days.
    QList<CalEvent> google;
    const QDate first(2026, 3, 4);
    for (int d = 0; d < 14; ++d) {
        for (int h = 8; h < 19; ++h)
            google.append(event(QStringLiteral("g:%1:%2").arg(d).arg(h), QStringLiteral("Busy"),
                                wall(first.addDays(d), h, 0), 50, EventSource::google));
    }
    world.store->setGoogleEvents(google);
    QCoro::waitFor(world.store->mergeSources());
    for (auto _ : state)
        benchmark::DoNotOptimize(world.store->nextFreeSlot(world.store->now(), 60));
}
BENCHMARK(nextFreeSlotOverFourteenBusyDays)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QCoreApplication>(argc, argv);
}
