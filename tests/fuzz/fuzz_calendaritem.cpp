// libFuzzer target: one calendar item, read and expanded as the app's reading threads do, over the
// ranges the agenda and the calendar report ask for. Any crash, hang, sanitizer report or runaway
// allocation is a finding.
#include "core/calendar/LocalCalendarsPrivate.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh cache for every input: its zones would otherwise pile up over millions of inputs.
    const auto cache = std::make_unique<ItemCache>();
    cache->zone = QTimeZone("Europe/Berlin");
    // The same limits, smaller: an input that reaches them reaches them sooner, and the fuzzer
    // tries more inputs.
    cache->budgetSteps = 20000;
    cache->budgetTime = std::chrono::milliseconds(100);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString problem;
    const std::shared_ptr<const ParsedItem> parsed =
        cache->parse(bytes, QStringLiteral("/fuzz/item.ics"), &problem);
    if (!parsed)
        return 0;
    const QDateTime now(QDate(2025, 10, 20), QTime(9, 30), Qt::UTC);
    // The agenda's four weeks, the report's wide window and one years ahead (before 2038, where Qt's
    // zone conversions slow to a crawl and every input would run into its time).
    const std::pair<QDateTime, QDateTime> ranges[] = {
        {now.addDays(-7), now.addDays(21)},
        {now.addDays(-60), now.addDays(120)},
        {QDateTime(QDate(2036, 1, 1), QTime(0, 0), Qt::UTC),
         QDateTime(QDate(2036, 2, 1), QTime(0, 0), Qt::UTC)},
    };
    CachedItem entry{{}, parsed, {}, {}, {}, {}};
    for (const auto& [from, to] : ranges) {
        QList<LocalOccurrence> found;
        entry =
            cache->expand(entry, QStringLiteral("/fuzz/item.ics"), QStringLiteral("fuzz"), from, to, found);
        for (const LocalOccurrence& o : found) {
            // What the agenda relies on: real instants, in order within the item.
            if (!o.start.isValid() || !o.end.isValid() || o.end < o.start)
                __builtin_trap();
        }
        if (!entry.parsed)
            break;
    }
    // A write looks its occurrence up by its original start.
    for (const EventSeries& series : parsed->series) {
        if (series.master())
            (void)series.instanceAt(series.master()->start.instant, cache->zone);
    }
    return 0;
}
