// Recurrence expansion against the examples published with the iCalendar standard, which assume
// the Eastern United States zone, and the lengths of repeated instances.

#include "core/calendar/ical/EventSeries.h"
#include "core/calendar/ical/IcalFile.h"

#include <QFile>
#include <QTest>

namespace {

const QTimeZone newYork("America/New_York");

QList<EventSeries> read(const QStringList& lines) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\n";
    for (const QString& line : lines)
        text += line.toUtf8() + "\r\n";
    text += "END:VCALENDAR\r\n";
    IcalZoneResolver zones;
    return EventSeries::readAll(*IcalFile::parse(text), zones, newYork);
}

// "1997-09-02" for 09:00 New York time, else "1997-09-02T09:15".
QStringList startsIn(const EventSeries& series, const QDateTime& from, const QDateTime& to) {
    QStringList out;
    for (const SeriesInstance& i : series.instances(from, to, newYork)) {
        const QDateTime t = i.start.toTimeZone(newYork);
        out.append(t.toString(t.time() == QTime(9, 0) ? QStringLiteral("yyyy-MM-dd")
                                                      : QStringLiteral("yyyy-MM-ddTHH:mm")));
    }
    return out;
}

QDateTime at(const QString& text) {
    const QDateTime t =
        QDateTime::fromString(text.size() == 10 ? text + QStringLiteral("T09:00") : text, Qt::ISODate);
    return QDateTime(t.date(), t.time(), newYork);
}

// "first..last[/step]" runs of dates, as the standard writes "September 2-30".
QStringList expand(const QStringList& tokens) {
    QStringList out;
    for (const QString& token : tokens) {
        if (!token.contains(QLatin1String(".."))) {
            out.append(token);
            continue;
        }
        const QStringList run = token.split(QRegularExpression(QStringLiteral("\\.\\.|/")));
        const int step = run.size() > 2 ? run[2].toInt() : 1;
        for (QDate d = QDate::fromString(run[0], Qt::ISODate); d <= QDate::fromString(run[1], Qt::ISODate);
             d = d.addDays(step))
            out.append(d.toString(Qt::ISODate));
    }
    return out;
}

} // namespace

class TestRecurrence : public QObject {
    Q_OBJECT

private slots:
    void publishedExamples_data();
    void publishedExamples();
    void exactAndNominalLengths();
};

void TestRecurrence::publishedExamples_data() {
    QTest::addColumn<QStringList>("properties");
    QTest::addColumn<QString>("until");
    QTest::addColumn<QStringList>("expected");

    QFile file(qEnvironmentVariable("VORRINDEL_SOURCE_DIR") +
               QStringLiteral("/tests/core/calendar/fixtures/rfc5545-recurrence-examples.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString title, until;
    QStringList properties, expected;
    bool inExpected = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& raw : lines + QStringList{QString()}) {
        const QString line = raw.trimmed();
        if (line.isEmpty() && !title.isEmpty()) {
            QTest::newRow(qPrintable(title)) << properties << until << expand(expected);
            title.clear();
            properties.clear();
            expected.clear();
            inExpected = false;
        } else if (line.startsWith(QLatin1Char('#')) || line.isEmpty()) {
            continue;
        } else if (!raw.startsWith(QLatin1Char(' '))) {
            title = line;
        } else if (line.startsWith(QLatin1String("until "))) {
            until = line.mid(6);
        } else if (line.startsWith(QLatin1String("=> ")) || inExpected) {
            inExpected = true;
            expected += line.mid(line.startsWith(QLatin1String("=> ")) ? 3 : 0)
                            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        } else {
            properties.append(line);
        }
    }
}

void TestRecurrence::publishedExamples() {
    QFETCH(QStringList, properties);
    QFETCH(QString, until);
    QFETCH(QStringList, expected);

    const QList<EventSeries> all = read(QStringList{"BEGIN:VEVENT", "UID:rfc", "DURATION:PT1M"} + properties +
                                        QStringList{"END:VEVENT"});
    QCOMPARE(all.size(), 1);
    const QDateTime end = at(until).addSecs(-9 * 3600);
    QCOMPARE(startsIn(all[0], all[0].master()->start.instant, end), expected);

    // A range that begins late jumps ahead instead of walking from DTSTART; it must land on the
    // same instances.
    const qsizetype half = expected.size() / 2;
    QCOMPARE(startsIn(all[0], at(expected.at(half)).addSecs(-30), end), expected.mid(half));
}

void TestRecurrence::exactAndNominalLengths() {
    // DTEND gives every instance the same exact length, DURATION the same nominal one: over the
    // spring change of 10 March 2024 one day lasts 23 hours, while 24 hours end an hour later.
    const QList<EventSeries> all =
        read({"BEGIN:VEVENT", "UID:nominal", "DTSTART;TZID=America/New_York:20240308T120000", "DURATION:P1D",
              "RRULE:FREQ=DAILY;COUNT=2", "END:VEVENT", "BEGIN:VEVENT", "UID:exact",
              "DTSTART;TZID=America/New_York:20240308T120000", "DTEND;TZID=America/New_York:20240309T120000",
              "RRULE:FREQ=DAILY;COUNT=2", "END:VEVENT", "BEGIN:VEVENT", "UID:day",
              "DTSTART;VALUE=DATE:20240309", "END:VEVENT"});
    QCOMPARE(all.size(), 3);
    const QDateTime from = at(QStringLiteral("2024-03-09T00:00"));
    const QDateTime to = at(QStringLiteral("2024-03-31T00:00"));
    QCOMPARE(all[0].instances(from, to, newYork).last().end, at(QStringLiteral("2024-03-10T12:00")));
    QCOMPARE(all[1].instances(from, to, newYork).last().end, at(QStringLiteral("2024-03-10T13:00")));
    // An all-day event without an end lasts its one day, in the user's zone.
    QCOMPARE(all[2].instances(from, to, newYork).first().end, at(QStringLiteral("2024-03-10T00:00")));
}

QTEST_GUILESS_MAIN(TestRecurrence)
#include "tst_recurrence.moc"
