#include "core/model/Cal.h"
#include "core/quickadd/QuickAddParser.h"

#include <QTimeZone>

#include <benchmark/benchmark.h>

// Quick add parses the whole line on every keystroke, several times per render. Each typical line is
// its own benchmark, so that the median over lines can be read off the report.
namespace {

const char* const kLines[] = {
    "Design sync with Ondrea fri 3-4pm",
    "Offsite all day friday",
    "call at 11",
    "lunch tomorrow 12:30 with bob@corp.io",
    "Dinner tonight at 9",
    "Standup tomorrow 9:30am for 15 min",
    "Coffee with Ondrea and Oskel next tuesday at 10",
    "Conference Dec 24 - 26",
    "Sat 5 Dec 2026 3:00 pm – 4:00 pm",
    "Buy milk",
    "Planning w/ Ondrea & Bo, ann@corp.io, carl@corp.io in 3 days 2pm",
    "Review budget",
};

std::optional<Person> directory(const QString& typed) {
    if (typed.compare(QLatin1String("Ondrea"), Qt::CaseInsensitive) == 0)
        return Person(QStringLiteral("ondrea@corp.io"), QStringLiteral("Ondrea Vask"));
    return std::nullopt;
}

void parseLine(benchmark::State& state, const QString& line) {
    const Cal cal(QTimeZone("Europe/Berlin"), QLocale(QStringLiteral("en_US")));
    const QDateTime now = cal.atWallTime(QDate(2026, 12, 5), QTime(10, 0));
    const QuickAddParser::Resolver resolve = directory;
    QuickAddParser::parse(line, now, 60, cal, resolve); // builds the vocabulary outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(QuickAddParser::parse(line, now, 60, cal, resolve));
}

void BM_TypicalLine(benchmark::State& state) {
    const QString line = QString::fromUtf8(kLines[state.range(0)]);
    state.SetLabel(kLines[state.range(0)]);
    parseLine(state, line);
}
BENCHMARK(BM_TypicalLine)->DenseRange(0, int(std::size(kLines)) - 1)->Unit(benchmark::kMicrosecond);

// A pasted wall of text: the parse stays linear in the length of the line. Every 55 characters bring
// an address, a date and a name, so that a step that goes over the whole line once per address, date
// or guest shows. BM_LongLine_BigO is the time per character (in ns); a small BM_LongLine_RMS says
// that the three lengths fit that straight line.
void BM_LongLine(benchmark::State& state) {
    QString line;
    while (line.size() < state.range(0))
        line += QStringLiteral("Sync with Ondrea friday 3pm, bob@corp.io and \"notes\" ");
    parseLine(state, line);
    state.SetComplexityN(line.size());
}
BENCHMARK(BM_LongLine)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
