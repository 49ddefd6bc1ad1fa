// Quick add recomputes everything it shows on each keystroke: the parse (or the when-line merge), the
// guests, the free slot, the destinations, the same-day list and every text. Measured on the real
// store with 200 events on the day typed and 500 people in the directory. The widgets add layout and
// paint on top of this.
#include "BenchMain.h"
#include "BusyThursday.h"
#include "core/quickadd/QuickAddDerived.h"

#include <QCoreApplication>

namespace {

using World = BusyThursday::Store;

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
    return runBenchmarks<QCoreApplication>(argc, argv);
}
