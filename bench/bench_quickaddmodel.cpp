// Quick add recomputes everything it shows on each keystroke: the parse (or the when-line merge), the
// guests, the free slot, the destinations, the same-day list and every text. Measured on the real
// store with 200 events on the day typed and 500 people in the directory. The widgets add layout and
// paint on top of this.
#include "core/model/UserCal.h"
#include "core/quickadd/QuickAddDerived.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "core/settings/AppSettings.h"
#include "core/settings/SettingsLocations.h"
#include "core/store/EventStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QTimeZone berlin("Europe/Berlin");
constexpr int people = 500;

QDateTime wall(const QDate& day, int hour, int minute) {
    return QDateTime(day, QTime(hour, minute), berlin).toUTC();
}

Attendee guest(int i) {
    Attendee a;
    a.name =
        i == 0 ? QStringLiteral("Ondrea Lindqvist") : QStringLiteral("Person%1 Family%2").arg(i).arg(i % 37);
    a.email = QStringLiteral("person%1@corp.io").arg(i);
    a.status = Attendee::Status::accepted;
    return a;
}

// Thursday 5 March 2026: 200 meetings of 15 to 45 minutes from 7:00 on, three guests each, which
// between them name all 500 people.
QList<CalEvent> busyThursday() {
    QList<CalEvent> events;
    const QDate day(2026, 3, 5);
    for (int i = 0; i < 200; ++i) {
        CalEvent e;
        e.id = QStringLiteral("g:me@corp.io:primary:%1").arg(i);
        e.title = QStringLiteral("Meeting %1").arg(i);
        e.start = wall(day, 7 + (i * 3) / 60, (i * 3) % 60);
        e.end = e.start.addSecs(60 * (15 + i % 31));
        e.source = EventSource::google;
        e.calendarName = QStringLiteral("Work");
        for (int g = 0; g < 3; ++g)
            e.attendees.append(guest((i * 5 + g * 2) % people));
        events.append(e);
    }
    return events;
}

struct World {
    World() {
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        qputenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8());
        qputenv("VORRINDEL_CALENDARS", (dir.path() + "/calendars").toUtf8());
        settings = std::make_unique<AppSettings>(SettingsLocations::standard());
        UserCal::use(Cal(berlin, QLocale(QLocale::English, QLocale::UnitedStates)));
        EventStore::Environment environment;
        environment.settings = settings.get();
        environment.clock = [] { return wall(QDate(2026, 3, 4), 8, 0); };
        store = std::make_unique<EventStore>(std::move(environment));
        store->installSampleEvents(busyThursday());
        env = std::make_unique<QuickAddStoreEnv>(*store);
    }
    QTemporaryDir dir;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<EventStore> store;
    std::unique_ptr<QuickAddStoreEnv> env;
};

// One keystroke: the view of the whole line.
void keystroke(benchmark::State& state, const QString& line) {
    World world;
    QuickAdd::State s;
    s.text = line;
    const QuickAdd::Derived first = QuickAdd::derive(s, *world.env);
    for (auto _ : state)
        benchmark::DoNotOptimize(QuickAdd::derive(s, *world.env));
    state.counters["sameDayRows"] = double(first.sameDayRows.size());
    state.counters["guests"] = double(first.invitees.size());
}
BENCHMARK_CAPTURE(keystroke, meetingWithARange, QStringLiteral("Design sync with Ondrea thu 3-4pm"))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(keystroke, meetingWithoutATime, QStringLiteral("Coffee with Ondrea thu"))
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(keystroke, plainEvent, QStringLiteral("Lunch thu 1pm"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(keystroke, guestByAddress, QStringLiteral("Review with person42@corp.io thu 4pm"))
    ->Unit(benchmark::kMicrosecond);

// Typing a line from its first letter to its last: the figure is the time per keystroke.
void typing(benchmark::State& state) {
    World world;
    const QString line = QStringLiteral("Design sync with Ondrea and person7@corp.io thu 3-4pm");
    QuickAdd::State s;
    for (auto _ : state) {
        for (qsizetype n = 1; n <= line.size(); ++n) {
            s.text = line.left(n);
            benchmark::DoNotOptimize(QuickAdd::derive(s, *world.env));
        }
    }
    state.counters["perKeystroke"] = benchmark::Counter(
        double(line.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(typing)->Unit(benchmark::kMillisecond);

// A keystroke in the open people field: the suggestions come from the 500 people.
void peopleField(benchmark::State& state) {
    World world;
    QuickAdd::State s;
    s.text = QStringLiteral("Design sync thu 3-4pm");
    s.showPeople = true;
    s.peopleQuery = QStringLiteral("family3");
    for (auto _ : state)
        benchmark::DoNotOptimize(QuickAdd::derive(s, *world.env));
}
BENCHMARK(peopleField)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
