#include "core/calendar/LocalCalendars.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <benchmark/benchmark.h>

// A calendar folder of 10,000 events, a tenth of them repeating, spread over four years around the
// queried four weeks: the agenda's load on a cold start and its reload after a sync changed one item.
namespace {

const QTimeZone kZone("Europe/Berlin");
const QDateTime kFrom(QDate(2024, 4, 1), QTime(0, 0), kZone);
const QDateTime kTo(QDate(2024, 4, 29), QTime(0, 0), kZone);
constexpr int kEvents = 10000;

QByteArray item(int n) {
    const QDate day = QDate(2022, 4, 1).addDays((n * 7919) % 1461);
    const QTime time(8 + n % 10, (n % 4) * 15);
    const QString start =
        day.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('T') + time.toString(QStringLiteral("HHmmss"));
    QString text = QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\nBEGIN:VEVENT\r\n"
                                  "UID:bench-%1\r\nDTSTAMP:20220101T000000Z\r\n"
                                  "DTSTART;TZID=Europe/Berlin:%2\r\nDURATION:PT45M\r\nSUMMARY:Event %1\r\n"
                                  "LOCATION:Room %3\r\nDESCRIPTION:Notes for event %1\r\n")
                       .arg(n)
                       .arg(start)
                       .arg(n % 40);
    if (n % 10 == 0) {
        // Repeating: daily, weekly on working days, or monthly, with an exception.
        static const char* const rules[] = {"FREQ=DAILY", "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR", "FREQ=MONTHLY"};
        text += QStringLiteral("RRULE:%1\r\nEXDATE;TZID=Europe/Berlin:%2\r\n")
                    .arg(QString::fromLatin1(rules[(n / 10) % 3]), start);
        text.replace(QStringLiteral("DTSTART;TZID=Europe/Berlin:") + start,
                     QStringLiteral("DTSTART;TZID=Europe/Berlin:") + QStringLiteral("2022") + start.mid(4));
    }
    text += QStringLiteral("END:VEVENT\r\nEND:VCALENDAR\r\n");
    return text.toUtf8();
}

class Folder {
public:
    Folder() {
        for (int c = 0; c < 4; ++c)
            QDir().mkpath(collection(c));
        for (int n = 0; n < kEvents; ++n) {
            QFile file(collection(n % 4) + QStringLiteral("/bench-%1.ics").arg(n));
            file.open(QIODevice::WriteOnly);
            file.write(item(n));
        }
    }
    QString root() const { return m_dir.path(); }
    QString collection(int c) const { return m_dir.path() + QStringLiteral("/calendar-%1").arg(c); }

private:
    QTemporaryDir m_dir;
};

const Folder& folder() {
    static const Folder f;
    return f;
}

LocalCalendars::Options options() {
    LocalCalendars::Options o;
    o.root = folder().root();
    o.zone = kZone;
    return o;
}

void BM_ColdLoad(benchmark::State& state) {
    folder(); // written once, outside the timing
    qsizetype found = 0;
    for (auto _ : state) {
        LocalCalendars calendars(options());
        found = calendars.occurrences(kFrom, kTo, calendars.calendars()).size();
    }
    state.counters["occurrences"] = double(found);
}
BENCHMARK(BM_ColdLoad)->Unit(benchmark::kMillisecond);

void BM_ReloadAfterOneChange(benchmark::State& state) {
    LocalCalendars calendars(options());
    calendars.occurrences(kFrom, kTo, calendars.calendars());
    const QString path = folder().collection(1) + QStringLiteral("/bench-1.ics");
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
    state.counters["parsed"] = benchmark::Counter(double(calendars.parseCount() - kEvents) / double(round));
}
BENCHMARK(BM_ReloadAfterOneChange)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
