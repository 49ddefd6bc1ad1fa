// The local calendars over a folder of 10,000 items: the agenda's cold load and its reload after a
// sync changed one item, and the "--list-calendars" report beside khal on the same folder.
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

LocalCalendars::Options options() {
    LocalCalendars::Options o;
    o.root = Folder::get().root();
    o.zone = zone;
    return o;
}

void BM_ColdLoad(benchmark::State& state) {
    Folder::get(); // written once, outside the timing
    qsizetype found = 0;
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        LocalCalendars calendars(options());
        found = calendars.occurrences(kFrom, kTo, calendars.calendars()).size();
    }
    state.counters["occurrences"] = double(found);
    // All threads' processor time per load: the wall time on an idle machine of n cores is about
    // this over n.
    state.counters["cpu_ms_all_threads"] = (processCpuMs() - cpuBefore) / double(state.iterations());
}
BENCHMARK(BM_ColdLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    return runBenchmarks<QCoreApplication>(argc, argv);
}
