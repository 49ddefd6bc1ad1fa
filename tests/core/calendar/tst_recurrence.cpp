// Recurrence expansion against the examples published with the iCalendar standard, which assume
// the Eastern United States zone.

#include "core/calendar/ical/EventSeries.h"
#include "core/calendar/ical/IcalFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

const QTimeZone newYork("America/New_York");

// A date alone stands for 09:00 New York time.
QDateTime at(const QString& text) {
    const QDateTime t =
        QDateTime::fromString(text.size() == 10 ? text + QStringLiteral("T09:00") : text, Qt::ISODate);
    return QDateTime(t.date(), t.time(), newYork);
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

// "first..last[/step]" runs of dates, as the standard writes "September 2-30".
QStringList expand(const QStringList& tokens) {
    QStringList out;
    for (const QString& token : tokens) {
        const QStringList run = token.split(QRegularExpression(QStringLiteral("\\.\\.|/")));
        if (run.size() == 1) {
            out.append(token);
            continue;
        }
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
    void publishedExamples_data() {
        QTest::addColumn<QStringList>("properties");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QStringList>("expected");

        QFile file(qEnvironmentVariable("VORRINDEL_SOURCE_DIR") +
                   QStringLiteral("/tests/core/calendar/fixtures/rfc5545-recurrence-examples.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // Blocks apart by blank lines: a title, property lines, "until <date>", then "=>" and the dates.
        const QRegularExpression space(QStringLiteral("\\s+"));
        for (const QString& block :
             QString::fromUtf8(file.readAll()).split(QRegularExpression("\\n\\s*\\n"))) {
            const qsizetype arrow = block.indexOf(QStringLiteral("=> "));
            if (arrow < 0)
                continue;
            QStringList lines = block.left(arrow).trimmed().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            lines.removeIf([](const QString& line) { return line.startsWith(QLatin1Char('#')); });
            const QString title = lines.takeFirst();
            const QString until = lines.takeLast().trimmed().mid(6);
            QTest::newRow(qPrintable(title)) << lines.replaceInStrings(space, QString()) << until
                                             << expand(block.mid(arrow + 3).split(space, Qt::SkipEmptyParts));
        }
    }

    void publishedExamples() {
        QFETCH(QStringList, properties);
        QFETCH(QString, until);
        QFETCH(QStringList, expected);

        const QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\nBEGIN:VEVENT\r\nUID:rfc\r\n"
                                "DURATION:PT1M\r\n" +
                                properties.join(QStringLiteral("\r\n")).toUtf8() +
                                "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
        IcalZoneResolver zones;
        const QList<EventSeries> all = EventSeries::readAll(*IcalFile::parse(text), zones, newYork);
        QCOMPARE(all.size(), 1);
        const QDateTime end = at(until).addSecs(-9 * 3600);
        QCOMPARE(startsIn(all[0], all[0].master()->start.instant, end), expected);

        // A range that begins late jumps ahead instead of walking from DTSTART; it must land on the
        // same instances.
        const qsizetype half = expected.size() / 2;
        QCOMPARE(startsIn(all[0], at(expected.at(half)).addSecs(-30), end), expected.mid(half));
    }
};

QTEST_GUILESS_MAIN(TestRecurrence)
#include "tst_recurrence.moc"
