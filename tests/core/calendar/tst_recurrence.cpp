// Recurrence expansion against the examples published with the iCalendar standard (RFC 5545,
// section 3.8.5.3), which all assume the Eastern United States zone.

#include "core/calendar/ical/EventSeries.h"
#include "core/calendar/ical/IcalFile.h"

#include <QTest>

namespace {

const QTimeZone newYork("America/New_York");

// "1997-09-02" or "1997-09-02 09:00" (9:00 when no time is given), New York wall clock.
QDateTime local(const QString& text) {
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    const QTime time =
        text.size() > 10 ? QTime::fromString(text.mid(11), QStringLiteral("HH:mm")) : QTime(9, 0);
    return QDateTime(date, time, newYork);
}

// Dates from..to every `step` days, as the standard's "September 2-30" ranges are written.
QStringList days(const QString& from, const QString& to, int step = 1) {
    QStringList out;
    const QDate last = QDate::fromString(to, Qt::ISODate);
    for (QDate d = QDate::fromString(from, Qt::ISODate); d <= last; d = d.addDays(step))
        out.append(d.toString(Qt::ISODate));
    return out;
}

// Dates of one year and month list: dates("1997", {"09-05", "10-03"}).
QStringList dates(const QString& year, const QStringList& monthDays) {
    QStringList out;
    for (const QString& md : monthDays)
        out.append(year + QLatin1Char('-') + md);
    return out;
}

QStringList times(const QString& day, const QStringList& hhmm) {
    QStringList out;
    for (const QString& t : hhmm)
        out.append(day + QLatin1Char(' ') + t);
    return out;
}

EventSeries readSeries(const QString& dtstart, const QString& rules) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\nBEGIN:VEVENT\r\nUID:rfc\r\n"
                      "DTSTAMP:19970101T000000Z\r\nDURATION:PT1M\r\n";
    text += "DTSTART;TZID=America/New_York:" + dtstart.toUtf8() + "\r\n";
    for (const QString& line : rules.split(QLatin1Char('|')))
        text += line.toUtf8() + "\r\n";
    text += "END:VEVENT\r\nEND:VCALENDAR\r\n";
    std::optional<IcalFile> file = IcalFile::parse(text);
    IcalZoneResolver zones;
    const QList<EventSeries> all = EventSeries::readAll(*file, zones, newYork);
    return all.first();
}

QStringList startsIn(const EventSeries& series, const QDateTime& from, const QDateTime& to) {
    QStringList out;
    for (const SeriesInstance& i : series.instances(from, to, newYork)) {
        const QDateTime t = i.start.toTimeZone(newYork);
        out.append(t.time() == QTime(9, 0) ? t.date().toString(Qt::ISODate)
                                           : t.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    }
    return out;
}

} // namespace

class TestRecurrence : public QObject {
    Q_OBJECT

private slots:
    void publishedExamples_data();
    void publishedExamples();
    void overridesAndExceptions();
    void lengthsOfInstances();
};

void TestRecurrence::publishedExamples_data() {
    QTest::addColumn<QString>("dtstart");
    QTest::addColumn<QString>("rules"); // property lines joined by "|"
    QTest::addColumn<QString>("until"); // end of the expanded range (exclusive), New York
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("daily for 10 occurrences") << "19970902T090000"
                                              << "RRULE:FREQ=DAILY;COUNT=10"
                                              << "1998-01-01" << days("1997-09-02", "1997-09-11");
    QTest::newRow("daily until December 24, 1997 (across the end of summer time)")
        << "19970902T090000"
        << "RRULE:FREQ=DAILY;UNTIL=19971224T000000Z"
        << "1998-01-01" << days("1997-09-02", "1997-12-23");
    QTest::newRow("every other day, forever") << "19970902T090000"
                                              << "RRULE:FREQ=DAILY;INTERVAL=2"
                                              << "1997-12-04" << days("1997-09-02", "1997-12-03", 2);
    QTest::newRow("every 10 days, 5 occurrences")
        << "19970902T090000"
        << "RRULE:FREQ=DAILY;INTERVAL=10;COUNT=5"
        << "1998-01-01" << dates("1997", {"09-02", "09-12", "09-22", "10-02", "10-12"});
    const QStringList januaries = days("1998-01-01", "1998-01-31") + days("1999-01-01", "1999-01-31") +
                                  days("2000-01-01", "2000-01-31");
    QTest::newRow("every day in January for 3 years, yearly form")
        << "19980101T090000"
        << "RRULE:FREQ=YEARLY;UNTIL=20000131T140000Z;BYMONTH=1;BYDAY=SU,MO,TU,WE,TH,FR,SA"
        << "2001-01-01" << januaries;
    QTest::newRow("every day in January for 3 years, daily form")
        << "19980101T090000"
        << "RRULE:FREQ=DAILY;UNTIL=20000131T140000Z;BYMONTH=1"
        << "2001-01-01" << januaries;
    QTest::newRow("weekly for 10 occurrences") << "19970902T090000"
                                               << "RRULE:FREQ=WEEKLY;COUNT=10"
                                               << "1998-01-01" << days("1997-09-02", "1997-11-04", 7);
    QTest::newRow("weekly until December 24, 1997") << "19970902T090000"
                                                    << "RRULE:FREQ=WEEKLY;UNTIL=19971224T000000Z"
                                                    << "1998-01-01" << days("1997-09-02", "1997-12-23", 7);
    QTest::newRow("every other week, forever") << "19970902T090000"
                                               << "RRULE:FREQ=WEEKLY;INTERVAL=2;WKST=SU"
                                               << "1998-02-18" << days("1997-09-02", "1998-02-17", 14);
    const QStringList tuesdaysThursdays = dates(
        "1997", {"09-02", "09-04", "09-09", "09-11", "09-16", "09-18", "09-23", "09-25", "09-30", "10-02"});
    QTest::newRow("weekly on Tuesday and Thursday for five weeks, until form")
        << "19970902T090000"
        << "RRULE:FREQ=WEEKLY;UNTIL=19971007T000000Z;WKST=SU;BYDAY=TU,TH"
        << "1998-01-01" << tuesdaysThursdays;
    QTest::newRow("weekly on Tuesday and Thursday for five weeks, count form")
        << "19970902T090000"
        << "RRULE:FREQ=WEEKLY;COUNT=10;WKST=SU;BYDAY=TU,TH"
        << "1998-01-01" << tuesdaysThursdays;
    QTest::newRow("every other week on Monday, Wednesday and Friday until December 24")
        << "19970901T090000"
        << "RRULE:FREQ=WEEKLY;INTERVAL=2;UNTIL=19971224T000000Z;WKST=SU;BYDAY=MO,WE,FR"
        << "1998-01-01"
        << dates("1997", {"09-01", "09-03", "09-05", "09-15", "09-17", "09-19", "09-29", "10-01", "10-03",
                          "10-13", "10-15", "10-17", "10-27", "10-29", "10-31", "11-10", "11-12", "11-14",
                          "11-24", "11-26", "11-28", "12-08", "12-10", "12-12", "12-22"});
    QTest::newRow("every other week on Tuesday and Thursday, 8 occurrences")
        << "19970902T090000"
        << "RRULE:FREQ=WEEKLY;INTERVAL=2;COUNT=8;WKST=SU;BYDAY=TU,TH"
        << "1998-01-01"
        << dates("1997", {"09-02", "09-04", "09-16", "09-18", "09-30", "10-02", "10-14", "10-16"});
    QTest::newRow("monthly on the first Friday for 10 occurrences")
        << "19970905T090000"
        << "RRULE:FREQ=MONTHLY;COUNT=10;BYDAY=1FR"
        << "1999-01-01"
        << dates("1997", {"09-05", "10-03", "11-07", "12-05"}) +
               dates("1998", {"01-02", "02-06", "03-06", "04-03", "05-01", "06-05"});
    QTest::newRow("monthly on the first Friday until December 24")
        << "19970905T090000"
        << "RRULE:FREQ=MONTHLY;UNTIL=19971224T000000Z;BYDAY=1FR"
        << "1999-01-01" << dates("1997", {"09-05", "10-03", "11-07", "12-05"});
    QTest::newRow("every other month on the first and last Sunday, 10 occurrences")
        << "19970907T090000"
        << "RRULE:FREQ=MONTHLY;INTERVAL=2;COUNT=10;BYDAY=1SU,-1SU"
        << "1999-01-01"
        << dates("1997", {"09-07", "09-28", "11-02", "11-30"}) +
               dates("1998", {"01-04", "01-25", "03-01", "03-29", "05-03", "05-31"});
    QTest::newRow("monthly on the second-to-last Monday for 6 months")
        << "19970922T090000"
        << "RRULE:FREQ=MONTHLY;COUNT=6;BYDAY=-2MO"
        << "1999-01-01"
        << dates("1997", {"09-22", "10-20", "11-17", "12-22"}) + dates("1998", {"01-19", "02-16"});
    QTest::newRow("monthly on the third-to-last day, forever")
        << "19970928T090000"
        << "RRULE:FREQ=MONTHLY;BYMONTHDAY=-3"
        << "1998-02-27"
        << dates("1997", {"09-28", "10-29", "11-28", "12-29"}) + dates("1998", {"01-29", "02-26"});
    QTest::newRow("monthly on the 2nd and 15th, 10 occurrences")
        << "19970902T090000"
        << "RRULE:FREQ=MONTHLY;COUNT=10;BYMONTHDAY=2,15"
        << "1999-01-01"
        << dates("1997", {"09-02", "09-15", "10-02", "10-15", "11-02", "11-15", "12-02", "12-15"}) +
               dates("1998", {"01-02", "01-15"});
    QTest::newRow("monthly on the first and last day, 10 occurrences")
        << "19970930T090000"
        << "RRULE:FREQ=MONTHLY;COUNT=10;BYMONTHDAY=1,-1"
        << "1999-01-01"
        << dates("1997", {"09-30", "10-01", "10-31", "11-01", "11-30", "12-01", "12-31"}) +
               dates("1998", {"01-01", "01-31", "02-01"});
    QTest::newRow("every 18 months on the 10th to 15th, 10 occurrences")
        << "19970910T090000"
        << "RRULE:FREQ=MONTHLY;INTERVAL=18;COUNT=10;BYMONTHDAY=10,11,12,13,14,15"
        << "2000-01-01" << days("1997-09-10", "1997-09-15") + days("1999-03-10", "1999-03-13");
    QTest::newRow("every Tuesday, every other month")
        << "19970902T090000"
        << "RRULE:FREQ=MONTHLY;INTERVAL=2;BYDAY=TU"
        << "1998-04-01"
        << days("1997-09-02", "1997-09-30", 7) + days("1997-11-04", "1997-11-25", 7) +
               days("1998-01-06", "1998-01-27", 7) + days("1998-03-03", "1998-03-31", 7);
    QTest::newRow("yearly in June and July, 10 occurrences")
        << "19970610T090000"
        << "RRULE:FREQ=YEARLY;COUNT=10;BYMONTH=6,7"
        << "2003-01-01"
        << dates("1997", {"06-10", "07-10"}) + dates("1998", {"06-10", "07-10"}) +
               dates("1999", {"06-10", "07-10"}) + dates("2000", {"06-10", "07-10"}) +
               dates("2001", {"06-10", "07-10"});
    QTest::newRow("every other year in January, February and March, 10 occurrences")
        << "19970310T090000"
        << "RRULE:FREQ=YEARLY;INTERVAL=2;COUNT=10;BYMONTH=1,2,3"
        << "2004-01-01"
        << dates("1997", {"03-10"}) + dates("1999", {"01-10", "02-10", "03-10"}) +
               dates("2001", {"01-10", "02-10", "03-10"}) + dates("2003", {"01-10", "02-10", "03-10"});
    QTest::newRow("every third year on days 1, 100 and 200, 10 occurrences")
        << "19970101T090000"
        << "RRULE:FREQ=YEARLY;INTERVAL=3;COUNT=10;BYYEARDAY=1,100,200"
        << "2007-01-01"
        << dates("1997", {"01-01", "04-10", "07-19"}) + dates("2000", {"01-01", "04-09", "07-18"}) +
               dates("2003", {"01-01", "04-10", "07-19"}) + dates("2006", {"01-01"});
    QTest::newRow("every 20th Monday of the year, forever")
        << "19970519T090000"
        << "RRULE:FREQ=YEARLY;BYDAY=20MO"
        << "2000-01-01" << QStringList{"1997-05-19", "1998-05-18", "1999-05-17"};
    QTest::newRow("Monday of week number 20, forever")
        << "19970512T090000"
        << "RRULE:FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO"
        << "2000-01-01" << QStringList{"1997-05-12", "1998-05-11", "1999-05-17"};
    QTest::newRow("every Thursday in March, forever")
        << "19970313T090000"
        << "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=TH"
        << "2000-01-01"
        << days("1997-03-13", "1997-03-27", 7) + days("1998-03-05", "1998-03-26", 7) +
               days("1999-03-04", "1999-03-25", 7);
    QTest::newRow("every Thursday in June, July and August, forever")
        << "19970605T090000"
        << "RRULE:FREQ=YEARLY;BYDAY=TH;BYMONTH=6,7,8"
        << "2000-01-01"
        << days("1997-06-05", "1997-08-28", 7) + days("1998-06-04", "1998-08-27", 7) +
               days("1999-06-03", "1999-08-26", 7);
    QTest::newRow("every Friday the 13th, forever, DTSTART excluded")
        << "19970902T090000"
        << "EXDATE;TZID=America/New_York:19970902T090000|RRULE:FREQ=MONTHLY;BYDAY=FR;BYMONTHDAY=13"
        << "2001-01-01" << QStringList{"1998-02-13", "1998-03-13", "1998-11-13", "1999-08-13", "2000-10-13"};
    QTest::newRow("the first Saturday after the first Sunday of the month, forever")
        << "19970913T090000"
        << "RRULE:FREQ=MONTHLY;BYDAY=SA;BYMONTHDAY=7,8,9,10,11,12,13"
        << "1998-07-01"
        << dates("1997", {"09-13", "10-11", "11-08", "12-13"}) +
               dates("1998", {"01-10", "02-07", "03-07", "04-11", "05-09", "06-13"});
    QTest::newRow("every 4 years, the first Tuesday after a Monday in November")
        << "19961105T090000"
        << "RRULE:FREQ=YEARLY;INTERVAL=4;BYMONTH=11;BYDAY=TU;BYMONTHDAY=2,3,4,5,6,7,8"
        << "2005-01-01" << QStringList{"1996-11-05", "2000-11-07", "2004-11-02"};
    QTest::newRow("the third Tuesday, Wednesday or Thursday, for 3 months")
        << "19970904T090000"
        << "RRULE:FREQ=MONTHLY;COUNT=3;BYDAY=TU,WE,TH;BYSETPOS=3"
        << "1998-01-01" << dates("1997", {"09-04", "10-07", "11-06"});
    QTest::newRow("the second-to-last weekday of the month")
        << "19970929T090000"
        << "RRULE:FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-2"
        << "1998-04-01"
        << dates("1997", {"09-29", "10-30", "11-27", "12-30"}) + dates("1998", {"01-29", "02-26", "03-30"});
    // The published "every 3 hours until 17:00Z" list is known to be wrong (17:00Z is 13:00 EDT, yet
    // 15:00 is listed), so it is left out.
    QTest::newRow("every 15 minutes for 6 occurrences")
        << "19970902T090000"
        << "RRULE:FREQ=MINUTELY;INTERVAL=15;COUNT=6"
        << "1997-09-03"
        << QStringList{"1997-09-02"} + times("1997-09-02", {"09:15", "09:30", "09:45", "10:00", "10:15"});
    QTest::newRow("every hour and a half for 4 occurrences")
        << "19970902T090000"
        << "RRULE:FREQ=MINUTELY;INTERVAL=90;COUNT=4"
        << "1997-09-03" << QStringList{"1997-09-02"} + times("1997-09-02", {"10:30", "12:00", "13:30"});
    QStringList twenties{"1997-09-02"};
    for (int h = 9; h <= 16; ++h) {
        for (int m : {0, 20, 40}) {
            if (h > 9 || m > 0)
                twenties.append(QStringLiteral("1997-09-02 %1:%2")
                                    .arg(h, 2, 10, QLatin1Char('0'))
                                    .arg(m, 2, 10, QLatin1Char('0')));
        }
    }
    QTest::newRow("every 20 minutes from 9:00 to 16:40, daily form")
        << "19970902T090000"
        << "RRULE:FREQ=DAILY;BYHOUR=9,10,11,12,13,14,15,16;BYMINUTE=0,20,40"
        << "1997-09-03" << twenties;
    QTest::newRow("every 20 minutes from 9:00 to 16:40, minutely form")
        << "19970902T090000"
        << "RRULE:FREQ=MINUTELY;INTERVAL=20;BYHOUR=9,10,11,12,13,14,15,16"
        << "1997-09-03" << twenties;
    QTest::newRow("week start Monday decides the days generated")
        << "19970805T090000"
        << "RRULE:FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=MO"
        << "1998-01-01" << dates("1997", {"08-05", "08-10", "08-19", "08-24"});
    QTest::newRow("week start Sunday decides the days generated")
        << "19970805T090000"
        << "RRULE:FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=SU"
        << "1998-01-01" << dates("1997", {"08-05", "08-17", "08-19", "08-31"});
    QTest::newRow("February 30 is skipped")
        << "20070115T090000"
        << "RRULE:FREQ=MONTHLY;BYMONTHDAY=15,30;COUNT=5"
        << "2008-01-01" << dates("2007", {"01-15", "01-30", "02-15", "03-15", "03-30"});
}

void TestRecurrence::publishedExamples() {
    QFETCH(QString, dtstart);
    QFETCH(QString, rules);
    QFETCH(QString, until);
    QFETCH(QStringList, expected);

    const EventSeries series = readSeries(dtstart, rules);
    const QDateTime start = series.master()->start.instant;
    const QDateTime end = local(until).addSecs(-9 * 3600);
    QCOMPARE(startsIn(series, start, end), expected);

    // A range that begins late skips ahead instead of walking from DTSTART; it must land on the
    // same instances.
    const qsizetype half = expected.size() / 2;
    const QDateTime lateStart = local(expected.at(half));
    QCOMPARE(startsIn(series, lateStart.addSecs(-30), end), expected.mid(half));
}

void TestRecurrence::overridesAndExceptions() {
    // A series of five daily instances: the second excluded by a date-only EXDATE, the third moved
    // to the following week, the fifth moved in front of the first.
    const EventSeries series = readSeries(
        "20240108T090000",
        "RRULE:FREQ=DAILY;COUNT=5|EXDATE;VALUE=DATE:20240109|END:VEVENT|BEGIN:VEVENT|UID:rfc|"
        "DTSTAMP:20240101T000000Z|RECURRENCE-ID;TZID=America/New_York:20240110T090000|"
        "DTSTART;TZID=America/New_York:20240117T090000|DURATION:PT1H|END:VEVENT|BEGIN:VEVENT|UID:rfc|"
        "DTSTAMP:20240101T000000Z|RECURRENCE-ID;TZID=America/New_York:20240112T090000|"
        "DTSTART;TZID=America/New_York:20240107T090000|DURATION:PT1H");
    const QStringList week = startsIn(series, local("2024-01-07 00:00"), local("2024-01-14 00:00"));
    QCOMPARE(week, (QStringList{"2024-01-07", "2024-01-08", "2024-01-11"}));
    const QStringList next = startsIn(series, local("2024-01-14 00:00"), local("2024-01-21 00:00"));
    QCOMPARE(next, QStringList{"2024-01-17"});

    // Each instance is found again by its original start, wherever it went.
    const auto moved = series.instanceAt(local("2024-01-10"), newYork);
    QVERIFY(moved && moved->isDetached);
    QCOMPARE(moved->start, local("2024-01-17").toUTC());
    QVERIFY(!series.instanceAt(local("2024-01-09"), newYork));
    QVERIFY(!series.instanceAt(local("2024-01-09 10:00"), newYork));
}

void TestRecurrence::lengthsOfInstances() {
    // DTEND gives every instance the same exact length, DURATION the same nominal one: over the
    // spring change (10 March 2024) one day lasts 23 hours, while 24 hours end an hour later.
    QByteArray text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\n"
        "BEGIN:VEVENT\r\nUID:nominal\r\nDTSTART;TZID=America/New_York:20240308T120000\r\n"
        "DURATION:P1D\r\nRRULE:FREQ=DAILY;COUNT=2\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:exact\r\nDTSTART;TZID=America/New_York:20240308T120000\r\n"
        "DTEND;TZID=America/New_York:20240309T120000\r\nRRULE:FREQ=DAILY;COUNT=2\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:day\r\nDTSTART;VALUE=DATE:20240309\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n";
    std::optional<IcalFile> file = IcalFile::parse(text);
    IcalZoneResolver zones;
    const QList<EventSeries> all = EventSeries::readAll(*file, zones, newYork);
    QCOMPARE(all.size(), 3);
    const QDateTime from = local("2024-03-09 00:00");
    const QDateTime to = local("2024-03-31 00:00");
    QCOMPARE(all[0].instances(from, to, newYork).last().end, local("2024-03-10 12:00").toUTC());
    QCOMPARE(all[1].instances(from, to, newYork).last().end, local("2024-03-10 13:00").toUTC());
    // An all-day event without an end lasts its one day, in the user's zone.
    QCOMPARE(all[2].instances(from, to, newYork).first().end, local("2024-03-10 00:00").toUTC());
}

QTEST_GUILESS_MAIN(TestRecurrence)
#include "tst_recurrence.moc"
