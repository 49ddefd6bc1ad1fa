#include "core/model/Cal.h"
#include "support/WallClock.h"

#include <QTest>

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

using WallClock::cal;

// The weekdays of one week that the calendar counts as weekend, asked at 23:30 local time, which is
// already the next day in UTC: the zone's day must count.
QList<Qt::DayOfWeek> weekendOf(const Cal& c) {
    QList<Qt::DayOfWeek> found;
    for (QDate day(2026, 3, 2); day < QDate(2026, 3, 9); day = day.addDays(1)) {
        if (c.isWeekend(c.atWallTime(day, QTime(23, 30))))
            found.append(Qt::DayOfWeek(day.dayOfWeek()));
    }
    return found;
}

} // namespace

class TestCal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Berlin skips 02:00-03:00 on 29 March and repeats it on 25 October 2026; São Paulo skipped
    // midnight on 4 November 2018, so that day began at 01:00.
    void instants_data() {
        QTest::addColumn<QDateTime>("actual");
        QTest::addColumn<QDateTime>("expected");
        const Cal berlin = cal("Europe/Berlin"), saoPaulo = cal("America/Sao_Paulo");
        const QDate spring(2026, 3, 29), autumn(2026, 10, 25);
        QTest::newRow("wall time in the gap: end of the gap")
            << berlin.atWallTime(spring, QTime(2, 30)) << utc(2026, 3, 29, 1);
        QTest::newRow("repeated wall time: the first")
            << berlin.atWallTime(autumn, QTime(2, 30)) << utc(2026, 10, 25, 0, 30);
        QTest::newRow("half-hour gap")
            << cal("Australia/Lord_Howe").atWallTime(QDate(2026, 10, 4), QTime(2, 10))
            << utc(2026, 10, 3, 15, 30);
        QTest::newRow("skipped midnight") << saoPaulo.startOfDay(QDate(2018, 11, 4)) << utc(2018, 11, 4, 3);
        QTest::newRow("a day later keeps noon across the change")
            << berlin.addDays(utc(2026, 3, 28, 11), 1) << utc(2026, 3, 29, 10);
        QTest::newRow("a day later lands in the gap")
            << berlin.addDays(utc(2026, 3, 28, 1, 30), 1) << utc(2026, 3, 29, 1);
        QTest::newRow("week start, Sunday-first")
            << cal("Europe/Berlin", "en_US").startOfWeek(utc(2026, 3, 4, 12)) << utc(2026, 2, 28, 23);
        QTest::newRow("week start, Monday-first, on a Sunday")
            << cal("Europe/Berlin", "de_DE").startOfWeek(utc(2026, 3, 1, 12)) << utc(2026, 2, 22, 23);
    }
    void instants() {
        QFETCH(QDateTime, actual);
        QFETCH(QDateTime, expected);
        QCOMPARE(actual, expected);
    }

    void weekend() {
        QCOMPARE(weekendOf(cal("Asia/Jerusalem", "de_DE")), (QList<Qt::DayOfWeek>{Qt::Saturday, Qt::Sunday}));
        QCOMPARE(weekendOf(cal("Asia/Jerusalem", "he_IL")), (QList<Qt::DayOfWeek>{Qt::Friday, Qt::Saturday}));
    }
};

QTEST_GUILESS_MAIN(TestCal)
#include "tst_cal.moc"
