#include "core/quickadd/DateDetector.h"
#include "core/quickadd/QuickAddParser.h"
#include "support/WallClock.h"

#include <QTest>

// Each kind of expression has its own table: the text, the span the detector should take, the wall
// time it names and its length in seconds, and what the span must read as to the parser ("t" a time,
// "d" a day, "td" both). "Now" is Saturday 5 December 2026, 10:00 in Berlin.
class TestDateDetector : public QObject {
    Q_OBJECT

    const Cal m_cal = WallClock::cal();
    const QDateTime m_now = WallClock::at(m_cal, "2026-12-05 10:00");

    static void columns() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("span");
        QTest::addColumn<QString>("when");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("reads");
    }

    static void row(const char* text, const char* span, const char* when, int length, const char* reads) {
        QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(span) << when << length << reads;
    }

    static void check(const Cal& cal, const QDateTime& now) {
        QFETCH(QString, text);
        QFETCH(QString, span);
        QFETCH(QString, when);
        QFETCH(int, length);
        QFETCH(QString, reads);
        const QList<DateMatch> found = DateDetector().matches(text, now, cal);
        QCOMPARE(found.size(), 1);
        QCOMPARE(text.mid(found[0].pos, found[0].len), span);
        QVERIFY(found[0].date);
        QCOMPARE(WallClock::show(cal, *found[0].date), when);
        QCOMPARE(qRound(found[0].durationSec), length);
        // The parser tells times from days by its own patterns; a span they misjudge gives a wrong draft.
        QCOMPARE(QuickAddParser::clock().match(span).hasMatch(), reads.contains(u't'));
        QCOMPARE(QuickAddParser::dayWords().match(span).hasMatch(), reads.contains(u'd'));
    }
    void check() const { check(m_cal, m_now); }

private slots:
    void clockTimes_data() {
        columns();
        row("Standup 9:30am", "9:30am", "2026-12-05 09:30", 0, "t"); // past, and still today
        row("at 12am", "at 12am", "2026-12-05 00:00", 0, "t");
        row("at midnight", "at midnight", "2026-12-06 00:00", 0, "t");
        row("tonight", "tonight", "2026-12-05 20:00", 0, "td");
        row("in 2 hours", "in 2 hours", "2026-12-05 12:00", 0, "t");
    }
    void clockTimes() { check(); }

    void dayWords_data() {
        columns();
        row("today", "today", "2026-12-05 12:00", 0, "d");
        row("tomorrow", "tomorrow", "2026-12-06 12:00", 0, "d");
        row("friday", "friday", "2026-12-11 12:00", 0, "d");
        row("this saturday", "this saturday", "2026-12-05 12:00", 0, "d");
        row("next sunday", "next sunday", "2026-12-13 12:00", 0, "d");
    }
    void dayWords() { check(); }

    void dates_data() {
        columns();
        row("Dec 5", "Dec 5", "2026-12-05 12:00", 0, "d");
        row("Dec 4", "Dec 4", "2027-12-04 12:00", 0, "d");
        row("the 3rd", "the 3rd", "2027-01-03 12:00", 0, "d");
        row("12/24", "12/24", "2026-12-24 12:00", 0, "d");
        row("in 3 days", "in 3 days", "2026-12-08 12:00", 0, "d");
        row("Sat 5 Dec 2026", "Sat 5 Dec 2026", "2026-12-05 12:00", 0, "d");
    }
    void dates() { check(); }

    void ranges_data() {
        columns();
        row("11-1pm", "11-1pm", "2026-12-05 11:00", 7200, "t");
        row("Dinner at 10-11pm", "at 10-11pm", "2026-12-05 22:00", 3600, "t");
        row("9am-5", "9am-5", "2026-12-05 09:00", 8 * 3600, "t");
        row("Dec 24 - 26", "Dec 24 - 26", "2026-12-24 12:00", 2 * 86400, "d");
        row("Sat 5 Dec 2026 – Mon 7 Dec 2026", "Sat 5 Dec 2026 – Mon 7 Dec 2026", "2026-12-05 12:00",
            2 * 86400, "d");
        row("Dec 30 - Jan 2", "Dec 30 - Jan 2", "2026-12-30 12:00", 3 * 86400, "d");
        row("Dec 24 3pm - Dec 25 11am", "Dec 24 3pm - Dec 25 11am", "2026-12-24 15:00", 20 * 3600, "td");
    }
    void ranges() { check(); }

    // A day and a time side by side are one expression, or the parser would keep only the time.
    void dayWithTime_data() {
        columns();
        row("3pm friday", "3pm friday", "2026-12-11 15:00", 0, "td");
        row("friday at 3pm", "friday at 3pm", "2026-12-11 15:00", 0, "td");
        row("at noon tomorrow", "at noon tomorrow", "2026-12-06 12:00", 0, "td");
        row("tomorrow 3-4pm", "tomorrow 3-4pm", "2026-12-06 15:00", 3600, "td");
        // What the edit line writes, in both clock styles.
        row("Sat 5 Dec 2026 3:00 pm – 4:00 pm", "Sat 5 Dec 2026 3:00 pm – 4:00 pm", "2026-12-05 15:00", 3600,
            "td");
        row("Saturday 5 Dec 2026 15:00 – 16:00", "Saturday 5 Dec 2026 15:00 – 16:00", "2026-12-05 15:00",
            3600, "td");
    }
    void dayWithTime() { check(); }

    // "at 9" reaches the detector as "at 9am": the day part decides which half of the day is meant.
    void dayParts_data() {
        columns();
        row("tonight at 9am", "tonight at 9am", "2026-12-05 21:00", 0, "td");
        row("afternoon at 3am", "afternoon at 3am", "2026-12-05 15:00", 0, "t");
        row("tomorrow morning at 7pm", "tomorrow morning at 7pm", "2026-12-06 07:00", 0, "td");
        // A range's end goes with its start: moved along with it, or not at all.
        row("tonight at 9am-11", "tonight at 9am-11", "2026-12-05 21:00", 2 * 3600, "td");
    }
    void dayParts() { check(); }

    // Other zones and locales: wall times that a clock change skips or repeats, day ranges across a
    // change, and the order of a numeric date's parts.
    void otherCalendars_data() {
        columns();
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("now");
        const auto row = [](const char* name, const char* zone, const char* locale, const char* now,
                            const char* text, const char* when, int length, const char* reads) {
            QTest::newRow(name) << text << text << when << length << reads << zone << locale << now;
        };
        const char *berlin = "Europe/Berlin", *autumn = "2026-10-20 10:00";
        // The first 2:30 is 1.5 hours before 3:00, the second only half an hour.
        row("repeated hour takes the first", berlin, "en_US", autumn, "Oct 25 2:30am - 3am",
            "2026-10-25 02:30", 5400, "td");
        row("skipped hour moves on", berlin, "en_US", "2027-03-20 10:00", "Mar 28 2:30am", "2027-03-28 03:00",
            0, "td");
        row("time range over the change", berlin, "en_US", autumn, "Oct 24 11pm - 4am", "2026-10-24 23:00",
            6 * 3600, "td");
        row("midnight that does not exist", "America/Santiago", "en_US", "2026-09-05 10:00", "at midnight",
            "2026-09-06 01:00", 0, "t");
        row("month first", berlin, "en_US", "2026-12-05 10:00", "12/5", "2026-12-05 12:00", 0, "d");
        row("day first", berlin, "en_GB", "2026-12-05 10:00", "12/5", "2027-05-12 12:00", 0, "d");
    }
    void otherCalendars() {
        QFETCH(QString, zone);
        QFETCH(QString, locale);
        QFETCH(QString, now);
        const Cal cal = WallClock::cal(qPrintable(zone), qPrintable(locale));
        check(cal, WallClock::at(cal, now));
    }

    // Each of these would give a date that the parser cannot classify, or swallow a title word.
    void notRead_data() {
        QTest::addColumn<QString>("text");
        const QString texts =
            QStringLiteral("Coffee with May|June|three pm|in 5 m|9.30|9-10|42|for 3 days|weekend|"
                           "Christmas|25:00|13pm|Feb 30|12/5/26|at 9|Review 2nd draft|in an hour|"
                           "in 2.5 hours|10:30:15");
        for (const QString& text : texts.split(u'|'))
            QTest::newRow(qPrintable(text)) << text;
    }
    void notRead() {
        QFETCH(QString, text);
        QCOMPARE(DateDetector().matches(text, m_now, m_cal), QList<DateMatch>());
    }

    // Spans start at the date word or its "at"/"on"/"the"/"from"/"this"/"next"/"in" and take nothing
    // else, across the runs of blanks that the parser's removals leave behind.
    void spans_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("spans");
        QTest::newRow("two times") << "at 9am and at 3pm" << QStringList{"at 9am", "at 3pm"};
        QTest::newRow("blanks left by removals")
            << "Offsite  friday   at  3pm" << QStringList{"friday   at  3pm"};
        QTest::newRow("zone suffix") << "Call 3pm PST" << QStringList{"3pm"};
        QTest::newRow("abbreviation stops") << "Meet Dec. 5 or Dec. 7" << QStringList{"Dec. 5", "Dec. 7"};
        QTest::newRow("a name between") << "Call friday, Ondrea at 3pm" << QStringList{"friday", "at 3pm"};
    }
    void spans() {
        QFETCH(QString, text);
        QFETCH(QStringList, spans);
        QStringList found;
        for (const DateMatch& m : DateDetector().matches(text, m_now, m_cal))
            found.append(text.mid(m.pos, m.len));
        QCOMPARE(found, spans);
    }
};

QTEST_GUILESS_MAIN(TestDateDetector)
#include "tst_datedetector.moc"
