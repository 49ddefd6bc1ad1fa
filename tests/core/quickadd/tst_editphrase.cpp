#include "core/model/CalEvent.h"
#include "core/quickadd/EditPhrase.h"
#include "core/quickadd/QuickAddParser.h"
#include "support/WallClock.h"

#include <QTest>

namespace {

CalEvent makeEvent(const Cal& cal, const QString& start, const QString& end, bool allDay) {
    CalEvent e;
    e.id = QStringLiteral("e1");
    e.title = QStringLiteral("Review");
    e.start = WallClock::at(cal, start);
    e.end = WallClock::at(cal, end);
    e.isAllDay = allDay;
    return e;
}

} // namespace

class TestEditPhrase : public QObject {
    Q_OBJECT

private slots:
    void canonical_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QString>("line");
        const auto row = [](const char* name, const char* locale, const char* start, const char* end,
                            bool allDay, const char* line) {
            QTest::newRow(name) << locale << start << end << allDay << QString::fromUtf8(line);
        };
        const char *three = "2026-12-05 15:00", *four = "2026-12-05 16:00";
        row("12-hour clock", "en_US", three, four, false, "Sat 5 Dec 2026 3:00 pm – 4:00 pm");
        row("24-hour clock", "en_GB", three, four, false, "Sat 5 Dec 2026 15:00 – 16:00");
        row("English day, Latin digits", "ar_EG", three, four, false, "Sat 5 Dec 2026 3:00 pm – 4:00 pm");
        row("end on the next day", "en_US", "2026-12-05 22:00", "2026-12-06 01:00", false,
            "Sat 5 Dec 2026 10:00 pm – 1:00 am");
        row("one day", "en_US", "2026-12-05 00:00", "2026-12-06 00:00", true, "Sat 5 Dec 2026");
        row("three days", "en_US", "2026-12-05 00:00", "2026-12-08 00:00", true,
            "Sat 5 Dec 2026 – Mon 7 Dec 2026");
        row("the 25-hour day", "de_DE", "2026-10-25 00:00", "2026-10-26 00:00", true, "Sun 25 Oct 2026");
    }
    void canonical() {
        QFETCH(QString, locale);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, allDay);
        QFETCH(QString, line);
        const Cal cal = WallClock::cal("Europe/Berlin", locale.toLatin1().constData());
        const CalEvent e = makeEvent(cal, start, end, allDay);
        QCOMPARE(EditPhrase::canonical(e, QDateTime(), cal), line);
        // What the edit line shows must read back as the same times, not only compare equal as text.
        const QuickAddDraft d = QuickAddParser::parse(line, WallClock::at(cal, "2026-12-01 09:00"), 60, cal);
        QCOMPARE(WallClock::show(cal, d.start), start);
        QCOMPARE(WallClock::show(cal, d.end), end);
        QCOMPARE(d.isAllDay, allDay);
    }

    // "Now" is Wednesday 2 December 2026, 10:00; the event is on Friday 4 December; an all-day event
    // given a time lasts 30 minutes.
    void merge_data() {
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QString>("merged"); // the new span, then what holds of "all day", "ok", "kept day"
        const auto row = [](const char* name, const char* phrase, const char* merged, const char* start,
                            const char* end, bool allDay = false) {
            QTest::newRow(name) << QString::fromUtf8(phrase) << start << end << allDay
                                << QString::fromUtf8(merged);
        };
        const char *from = "2026-12-04 10:00", *to = "2026-12-04 10:45";
        const char *day = "2026-12-04 00:00", *nextDay = "2026-12-05 00:00";
        row("unchanged line", "Fri 4 Dec 2026 10:00 am – 10:45 am", "2026-12-04 10:00 → 10:45 | ok", from,
            to);
        row("all day keeps the day", "all day", "2026-12-04 00:00 → 12-05 00:00 | all day, ok, kept day",
            from, to);
        row("unreadable", "blah", "2026-12-04 10:00 → 10:45 | ", from, to);
        row("time only keeps day and length", "3pm", "2026-12-04 15:00 → 15:45 | ok, kept day", from, to);
        row("five minutes at least", "3pm", "2026-12-04 15:00 → 15:05 | ok, kept day", from,
            "2026-12-04 10:03");
        row("all-day event given a time", "3pm", "2026-12-04 15:00 → 15:30 | ok, kept day", day, nextDay,
            true);
        row("day and time", "fri 3pm", "2026-12-04 15:00 → 15:45 | ok", "2026-12-03 10:00",
            "2026-12-03 10:45");
        row("day typed all day", "tomorrow all day", "2026-12-03 00:00 → 12-04 00:00 | all day, ok", from,
            to);
        // The first 02:30 of the day the clocks go back, and an hour later the second one.
        row("repeated hour on the new day", "Oct 25 2026", "2026-10-25 02:30 → 02:30 | ok",
            "2026-10-24 02:30", "2026-10-24 03:30");
    }
    void merge() {
        QFETCH(QString, phrase);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, allDay);
        QFETCH(QString, merged);
        const Cal cal = WallClock::cal();
        const EditPhrase::Merge m = EditPhrase::merge(phrase, makeEvent(cal, start, end, allDay),
                                                      WallClock::at(cal, "2026-12-02 10:00"), 30, cal);
        QStringList held;
        for (const auto& [holds, name] :
             {std::pair(m.isAllDay, "all day"), {m.ok, "ok"}, {m.keptDay, "kept day"}}) {
            if (holds)
                held.append(QString::fromLatin1(name));
        }
        QCOMPARE(WallClock::span(cal, m.start, m.end) + QStringLiteral(" | ") +
                     held.join(QStringLiteral(", ")),
                 merged);
    }
};

QTEST_GUILESS_MAIN(TestEditPhrase)
#include "tst_editphrase.moc"
