// A process that reads a calendar folder once with the crash journal, for tst_itemjournal: it
// prints what it found, and an item marked for it hangs or crashes while it is read.
//
//   journal_child <root> <journal folder> <time limit in ms> [--debug]
//
// Output: "reading <file>" when a marked item is about to hang (then nothing more), one
// "event: <title>" per occurrence and one "skipped: <file> — <reason>" per skipped item.
#include "core/calendar/LocalCalendars.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    LocalCalendars::Options options;
    options.root = args.value(1);
    options.journal = args.value(2);
    options.itemTimeLimit = std::chrono::milliseconds(args.value(3).toInt());
    options.zone = QTimeZone("Europe/Berlin");
    options.beforeReading = [](const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray text = file.readAll();
        if (text.contains("X-TEST:HANG")) {
            std::printf("reading %s\n", qPrintable(QFileInfo(path).fileName()));
            std::fflush(stdout);
            for (;;)
                QThread::sleep(1);
        }
        if (text.contains("X-TEST:CRASH")) {
            // A jump to nowhere faults as a bad pointer inside libical would.
            void (*volatile nowhere)() = nullptr;
            nowhere();
        }
    };
    LocalCalendars calendars(options);
    const QList<LocalCalendar> all = calendars.calendars();
    const QDateTime from(QDate(2025, 10, 1), QTime(0, 0), Qt::UTC);
    for (const LocalOccurrence& o : calendars.occurrences(from, from.addDays(60), all))
        std::printf("event: %s\n", qPrintable(o.title.value_or(QString())));
    for (const LocalCalendars::SkippedItem& item : calendars.skippedItems(all))
        std::printf("skipped: %s — %s\n", qPrintable(item.fileName), qPrintable(item.reason));
    return 0;
}
