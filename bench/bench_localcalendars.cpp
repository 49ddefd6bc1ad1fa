// The local calendars over a folder of 10,000 items: the agenda's cold load (in a warm process, and
// as a fresh process's first, also over 50,000 items), its reload after a sync changed one item, and
// the "--list-calendars" report beside khal on the same folder.
#include "TenThousandItems.h"
#include "core/calendar/LocalCalendars.h"
#include "core/model/Cal.h"
#include "devtools/CalendarDiagnostics.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#include <sys/resource.h>

namespace {

using namespace TenThousandItems;

// Processor time of the whole process (every thread), in milliseconds.
double processCpuMs() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

const QDateTime kFrom(QDate(2024, 4, 1), QTime(0, 0), zone);
const QDateTime kTo(QDate(2024, 4, 29), QTime(0, 0), zone);

LocalCalendars::Options options(const QString& root = Folder::get().root()) {
    LocalCalendars::Options o;
    o.root = root;
    o.zone = zone;
    return o;
}

// Context switches of the whole process (every thread), voluntary and not: how often its reading
// threads waited for one another, or were put aside.
double processContextSwitches() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_nvcsw + usage.ru_nivcsw);
}

// One cold load of the four loaded weeks: what the agenda waits for at the app's start.
qsizetype coldLoad(const QString& root = Folder::get().root()) {
    LocalCalendars calendars(options(root));
    return calendars.occurrences(kFrom, kTo, calendars.calendars()).size();
}

void BM_ColdLoad(benchmark::State& state) {
    Folder::get(); // written once, outside the timing
    qsizetype found = 0;
    const double cpuBefore = processCpuMs();
    const double switchesBefore = processContextSwitches();
    for (auto _ : state)
        found = coldLoad();
    state.counters["occurrences"] = double(found);
    // All threads' processor time per load: the wall time on an idle machine of n cores is about
    // this over n.
    state.counters["cpu_ms_all_threads"] = (processCpuMs() - cpuBefore) / double(state.iterations());
    state.counters["context_switches"] =
        (processContextSwitches() - switchesBefore) / double(state.iterations());
}
BENCHMARK(BM_ColdLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same load as the first one of a fresh process, as at the app's start: BM_ColdLoad repeats it in
// a process whose threads, allocator, libraries and time zones are already warm. Each round runs
// this program again with kFirstLoad, which makes one load and prints its wall and processor times;
// starting that process is not timed.
constexpr auto kFirstLoad = "--first-load";

int firstLoad(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuMs();
    const double switchesBefore = processContextSwitches();
    const qsizetype found = coldLoad(QString::fromLocal8Bit(argv[2]));
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    printf("%.3f %.3f %lld %.0f\n", wallMs, processCpuMs() - cpuBefore, qlonglong(found),
           processContextSwitches() - switchesBefore);
    return ReadingThreads::beforeExit(0, std::chrono::seconds(10));
}

void BM_ColdLoadFreshProcess(benchmark::State& state) {
    const QString root = Folder::get(int(state.range(0))).root();
    double cpuMs = 0;
    double switches = 0;
    qlonglong found = 0;
    for (auto _ : state) {
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kFirstLoad), root});
        process.waitForFinished(-1);
        const QList<QByteArray> figures = process.readAllStandardOutput().trimmed().split(' ');
        if (process.exitCode() != 0 || figures.size() != 4) {
            state.SkipWithError("the first load in a fresh process failed");
            return;
        }
        state.SetIterationTime(figures[0].toDouble() / 1e3);
        cpuMs += figures[1].toDouble();
        found = figures[2].toLongLong();
        switches += figures[3].toDouble();
    }
    state.counters["occurrences"] = double(found);
    state.counters["cpu_ms_all_threads"] = cpuMs / double(state.iterations());
    state.counters["context_switches"] = switches / double(state.iterations());
}
BENCHMARK(BM_ColdLoadFreshProcess)
    ->Arg(TenThousandItems::count)
    ->Arg(5 * TenThousandItems::count)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

void BM_ReloadAfterOneChange(benchmark::State& state) {
    LocalCalendars calendars(options());
    calendars.occurrences(kFrom, kTo, calendars.calendars());
    const int parsedCold = calendars.parseCount();
    const QString path = Folder::get().collection(1) + QStringLiteral("/bench-1.ics");
    int round = 0;
    qsizetype found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(item(1).replace("Event 1\r\n",
                                   QByteArray("Event 1, change ") + QByteArray::number(++round) + "\r\n"));
        file.close();
        state.ResumeTiming();
        found = calendars.occurrences(kFrom, kTo, calendars.calendars()).size();
    }
    state.counters["occurrences"] = double(found);
    state.counters["parsed"] =
        benchmark::Counter(double(calendars.parseCount() - parsedCold) / double(round));
}
BENCHMARK(BM_ReloadAfterOneChange)->Unit(benchmark::kMillisecond)->UseRealTime();

const Cal kCal(zone, QLocale(QLocale::English, QLocale::UnitedStates));
const QDateTime kNow(QDate(2024, 4, 3), QTime(9, 30), zone);

// The report as "--list-calendars" makes it, from a cold start.
void BM_ListCalendars(benchmark::State& state) {
    Folder::get();
    for (auto _ : state) {
        LocalCalendars calendars(options());
        benchmark::DoNotOptimize(CalendarDiagnostics::report(
            calendars, [] { return kNow; }, kCal));
    }
}
BENCHMARK(BM_ListCalendars)->Unit(benchmark::kMillisecond)->UseRealTime();

// khal listing the same folder over the report's wide window (-60 to +120 days), the first time
// (building its cache, as the report always starts) and again (its cache filled).
void BM_KhalList(benchmark::State& state) {
    const QString khal = QStandardPaths::findExecutable(QStringLiteral("khal"));
    if (khal.isEmpty()) {
        state.SkipWithError("khal is not installed");
        return;
    }
    const bool warm = state.range(0) == 1;
    const QString work = Folder::get().work();
    QString config = QStringLiteral("[calendars]\n");
    for (int c = 0; c < 4; ++c)
        config +=
            QStringLiteral("[[c%1]]\npath = %2\ntype = calendar\n").arg(c).arg(Folder::get().collection(c));
    config +=
        QStringLiteral("[sqlite]\npath = %1/khal.db\n[locale]\nlocal_timezone = Europe/Berlin\n"
                       "default_timezone = Europe/Berlin\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n"
                       "timeformat = %H:%M\ndatetimeformat = %Y-%m-%d %H:%M\n"
                       "longdatetimeformat = %Y-%m-%d %H:%M\n")
            .arg(work);
    QFile file(work + QStringLiteral("/khal.conf"));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(config.toUtf8());
    file.close();
    auto run = [&] {
        QProcess process;
        process.start(khal, {"-c", work + QStringLiteral("/khal.conf"), "list", "--format", "{start} {title}",
                             kNow.addDays(-60).toString(QStringLiteral("yyyy-MM-dd")),
                             kNow.addDays(120).toString(QStringLiteral("yyyy-MM-dd"))});
        process.waitForFinished(-1);
        const qsizetype count = process.readAllStandardOutput().count('\n');
        if (count == 0)
            state.SkipWithError(process.readAllStandardError().left(300).constData());
        return count;
    };
    if (warm)
        run();
    qsizetype lines = 0;
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            QFile::remove(work + QStringLiteral("/khal.db"));
            state.ResumeTiming();
        }
        lines = run();
    }
    state.counters["lines"] = double(lines);
}
BENCHMARK(BM_KhalList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], kFirstLoad) == 0)
        return firstLoad(argc, argv);
    // The folder for bench/idle.sh, which measures the idle app over it.
    if (argc == 3 && qstrcmp(argv[1], "--write-items") == 0) {
        TenThousandItems::write(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    return runBenchmarks<QCoreApplication>(argc, argv);
}
