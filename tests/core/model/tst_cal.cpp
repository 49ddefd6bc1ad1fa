#include "core/model/Cal.h"

#include <QTest>

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

Cal cal(const QString& zone, const QString& locale = QStringLiteral("en_US")) {
    return Cal(QTimeZone(zone.toLatin1()), QLocale(locale));
}

} // namespace

class TestCal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A skipped wall time lands on the first instant after the gap, a repeated one on the earlier of its
    // two instants (Berlin: 02:00-03:00 skipped on 29 March, 02:00-03:00 twice on 25 October 2026).
    void atWallTime_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QDateTime>("expected");
        const QDate spring(2026, 3, 29), autumn(2026, 10, 25);
        QTest::newRow("in the gap") << "Europe/Berlin" << spring << QTime(2, 30) << utc(2026, 3, 29, 1);
        QTest::newRow("repeated hour")
            << "Europe/Berlin" << autumn << QTime(2, 30) << utc(2026, 10, 25, 0, 30);
        QTest::newRow("half-hour gap")
            << "Australia/Lord_Howe" << QDate(2026, 10, 4) << QTime(2, 10) << utc(2026, 10, 3, 15, 30);
        QTest::newRow("skipped midnight")
            << "America/Sao_Paulo" << QDate(2018, 11, 4) << QTime(0, 0) << utc(2018, 11, 4, 3);
    }
    void atWallTime() {
        QFETCH(QString, zone);
        QFETCH(QDate, date);
        QFETCH(QTime, time);
        QFETCH(QDateTime, expected);
        QCOMPARE(cal(zone).atWallTime(date, time), expected);
    }

    // Calendar days keep the wall clock (a day is 23 or 25 hours across a change), and a day's start
    // stays a day's start even where a day begins at 01:00.
    void addDays_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<int>("days");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("noon across the change")
            << "Europe/Berlin" << utc(2026, 3, 28, 11) << 1 << utc(2026, 3, 29, 10);
        QTest::newRow("into the gap")
            << "Europe/Berlin" << utc(2026, 3, 28, 1, 30) << 1 << utc(2026, 3, 29, 1);
        QTest::newRow("off a day starting at 01:00")
            << "America/Sao_Paulo" << utc(2018, 11, 4, 3) << 1 << utc(2018, 11, 5, 2);
    }
    void addDays() {
        QFETCH(QString, zone);
        QFETCH(QDateTime, from);
        QFETCH(int, days);
        QFETCH(QDateTime, expected);
        QCOMPARE(cal(zone).addDays(from, days), expected);
    }

    void startOfWeek_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("Sunday-first, Wednesday") << "en_US" << utc(2026, 3, 4, 12) << utc(2026, 2, 28, 23);
        QTest::newRow("Monday-first, Sunday") << "de_DE" << utc(2026, 3, 1, 12) << utc(2026, 2, 22, 23);
        QTest::newRow("Monday-first, before the change")
            << "de_DE" << utc(2026, 3, 29, 20) << utc(2026, 3, 22, 23);
    }
    void startOfWeek() {
        QFETCH(QString, locale);
        QFETCH(QDateTime, instant);
        QFETCH(QDateTime, expected);
        QCOMPARE(cal(QStringLiteral("Europe/Berlin"), locale).startOfWeek(instant), expected);
    }

    void weekend_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QList<Qt::DayOfWeek>>("weekend");
        QTest::newRow("Saturday-Sunday") << "de_DE" << QList<Qt::DayOfWeek>{Qt::Saturday, Qt::Sunday};
        QTest::newRow("Friday-Saturday") << "he_IL" << QList<Qt::DayOfWeek>{Qt::Friday, Qt::Saturday};
    }
    void weekend() {
        QFETCH(QString, locale);
        QFETCH(QList<Qt::DayOfWeek>, weekend);
        const Cal c = cal(QStringLiteral("Asia/Jerusalem"), locale);
        QList<Qt::DayOfWeek> found;
        for (QDate day(2026, 3, 2); day < QDate(2026, 3, 9); day = day.addDays(1)) {
            // 23:30 local is already the next day in UTC: the zone's day counts.
            if (c.isWeekend(c.atWallTime(day, QTime(23, 30))))
                found.append(Qt::DayOfWeek(day.dayOfWeek()));
        }
        QCOMPARE(found, weekend);
    }
};

QTEST_GUILESS_MAIN(TestCal)
#include "tst_cal.moc"
