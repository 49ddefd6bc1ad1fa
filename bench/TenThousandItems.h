#pragma once

// A calendar folder of 10,000 events in four collections, a tenth of them repeating (daily, weekly
// on working days or monthly, each with an exception), spread over four years around spring 2024:
// the load the benchmarks of the local calendars, the calendar report and the store share. The cold
// load is also measured over five times as many.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <map>

namespace TenThousandItems {

inline const QTimeZone zone{"Europe/Berlin"};
constexpr int count = 10000;

inline QByteArray item(int n) {
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
        static const char* const rules[] = {"FREQ=DAILY", "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR", "FREQ=MONTHLY"};
        text += QStringLiteral("RRULE:%1\r\nEXDATE;TZID=Europe/Berlin:%2\r\n")
                    .arg(QString::fromLatin1(rules[(n / 10) % 3]), start);
        text.replace(QStringLiteral("DTSTART;TZID=Europe/Berlin:") + start,
                     QStringLiteral("DTSTART;TZID=Europe/Berlin:") + QStringLiteral("2022") + start.mid(4));
    }
    text += QStringLiteral("END:VEVENT\r\nEND:VCALENDAR\r\n");
    return text.toUtf8();
}

inline QString collection(const QString& root, int c) {
    return root + QStringLiteral("/calendar-%1").arg(c);
}

// The four collections under `root`, of `items` events in all.
inline void write(const QString& root, int items = count) {
    for (int c = 0; c < 4; ++c)
        QDir().mkpath(collection(root, c));
    for (int n = 0; n < items; ++n) {
        QFile file(collection(root, n % 4) + QStringLiteral("/bench-%1.ics").arg(n));
        file.open(QIODevice::WriteOnly);
        file.write(item(n));
    }
}

// The folder of that many events, written once per process.
class Folder {
public:
    static const Folder& get(int items = count) {
        static std::map<int, Folder> folders;
        return folders.try_emplace(items, items).first->second;
    }
    explicit Folder(int items) { write(root(), items); }
    QString root() const { return m_dir.path() + QStringLiteral("/calendars"); }
    QString collection(int c) const { return TenThousandItems::collection(root(), c); }
    QString work() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace TenThousandItems
