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
        QTest::newRow("12-hour clock") << "en_US"
                                       << "2026-12-05 15:00"
                                       << "2026-12-05 16:00" << false << "Sat 5 Dec 2026 3:00 pm – 4:00 pm";
        QTest::newRow("24-hour clock") << "en_GB"
                                       << "2026-12-05 15:00"
                                       << "2026-12-05 16:00" << false << "Sat 5 Dec 2026 15:00 – 16:00";
        QTest::newRow("English day in any locale")
            << "ar_EG"
            << "2026-12-05 15:00"
            << "2026-12-05 16:00" << false << "Sat 5 Dec 2026 3:00 pm – 4:00 pm";
        QTest::newRow("end on the next day")
            << "en_US"
            << "2026-12-05 22:00"
            << "2026-12-06 01:00" << false << "Sat 5 Dec 2026 10:00 pm – 1:00 am";
        QTest::newRow("one day") << "en_US"
                                 << "2026-12-05 00:00"
                                 << "2026-12-06 00:00" << true << "Sat 5 Dec 2026";
        QTest::newRow("three days") << "en_US"
                                    << "2026-12-05 00:00"
                                    << "2026-12-08 00:00" << true << "Sat 5 Dec 2026 – Mon 7 Dec 2026";
        QTest::newRow("the 25-hour day") << "de_DE"
                                         << "2026-10-25 00:00"
                                         << "2026-10-26 00:00" << true << "Sun 25 Oct 2026";
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

    // "Now" is Wednesday 2 December 2026, 10:00; the event is on Friday 4 December.
    void merge_data() {
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QString>("newStart");
        QTest::addColumn<QString>("newEnd");
        QTest::addColumn<QString>("result"); // "all day", "ok", "kept day" as far as they hold
        const auto row = [](const char* name, const char* phrase, const char* start, const char* end,
                            bool allDay, const char* newStart, const char* newEnd, const char* result) {
            QTest::newRow(name) << QString::fromUtf8(phrase) << start << end << allDay << newStart << newEnd
                                << result;
        };
        const char *from = "2026-12-04 10:00", *to = "2026-12-04 10:45";
        row("unchanged line", "Fri 4 Dec 2026 10:00 am – 10:45 am", from, to, false, from, to, "ok");
        row("blank", " \t ", from, to, false, from, to, "ok");
        row("all day keeps the day", "all day", from, to, false, "2026-12-04 00:00", "2026-12-05 00:00",
            "all day, ok, kept day");
        row("unreadable", "blah", from, to, false, from, to, "");
        row("time only keeps day and length", "3pm", from, to, false, "2026-12-04 15:00", "2026-12-04 15:45",
            "ok, kept day");
        row("five minutes at least", "3pm", from, "2026-12-04 10:03", false, "2026-12-04 15:00",
            "2026-12-04 15:05", "ok, kept day");
        row("a time already past today", "9am", from, to, false, "2026-12-04 09:00", "2026-12-04 09:45",
            "ok, kept day");
        row("all-day event given a time", "3pm", "2026-12-04 00:00", "2026-12-05 00:00", true,
            "2026-12-04 15:00", "2026-12-04 15:30", "ok, kept day");
        row("day and time", "fri 3pm", "2026-12-03 10:00", "2026-12-03 10:45", false, "2026-12-04 15:00",
            "2026-12-04 15:45", "ok");
        row("day typed all day", "tomorrow all day", from, to, false, "2026-12-03 00:00", "2026-12-04 00:00",
            "all day, ok");
        row("all-day event given a day", "tuesday", "2026-12-04 00:00", "2026-12-05 00:00", true,
            "2026-12-08 00:00", "2026-12-09 00:00", "all day, ok");
        row("day only keeps clock and length", "tomorrow", from, to, false, "2026-12-03 10:00",
            "2026-12-03 10:45", "ok");
    }
    void merge() {
        QFETCH(QString, phrase);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, allDay);
        QFETCH(QString, newStart);
        QFETCH(QString, newEnd);
        QFETCH(QString, result);
        const Cal cal = WallClock::cal();
        const EditPhrase::Merge m = EditPhrase::merge(phrase, makeEvent(cal, start, end, allDay),
                                                      WallClock::at(cal, "2026-12-02 10:00"), 30, cal);
        QCOMPARE(WallClock::show(cal, m.start), newStart);
        QCOMPARE(WallClock::show(cal, m.end), newEnd);
        QStringList held;
        if (m.isAllDay)
            held.append(QStringLiteral("all day"));
        if (m.ok)
            held.append(QStringLiteral("ok"));
        if (m.keptDay)
            held.append(QStringLiteral("kept day"));
        QCOMPARE(held.join(QStringLiteral(", ")), result);
    }

    // A clock time that the target day repeats takes its first reading; the length stays absolute.
    void repeatedHourOnTheNewDay() {
        const Cal cal = WallClock::cal();
        const CalEvent e =
            makeEvent(cal, QStringLiteral("2026-10-24 02:30"), QStringLiteral("2026-10-24 03:30"), false);
        const EditPhrase::Merge m =
            EditPhrase::merge(QStringLiteral("oct 25"), e, WallClock::at(cal, "2026-10-20 10:00"), 60, cal);
        QCOMPARE(m.start, QDateTime::fromString(QStringLiteral("2026-10-25T00:30:00Z"), Qt::ISODate));
        QCOMPARE(m.end, QDateTime::fromString(QStringLiteral("2026-10-25T01:30:00Z"), Qt::ISODate));
    }
};

QTEST_GUILESS_MAIN(TestEditPhrase)
#include "tst_editphrase.moc"
