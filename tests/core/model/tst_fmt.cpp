#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/model/Fmt.h"

#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");

// A winter day in Berlin at the given wall time.
QDateTime at(int hour, int minute) {
    return QDateTime(QDate(2026, 1, 13), QTime(hour, minute), berlin).toUTC();
}

const QString dash = QStringLiteral(" \u2013 ");

} // namespace

class TestFmt : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void durations_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("compact");
        QTest::addColumn<QString>("spaced");
        QTest::newRow("negative") << -5 << "0 min"
                                  << "0 min";
        QTest::newRow("60") << 60 << "1h"
                            << "1 h";
        QTest::newRow("61") << 61 << "1h 1m"
                            << "1 h 1 min";
        QTest::newRow("125") << 125 << "2h 5m"
                             << "2 h 5 min";
    }
    void durations() {
        QFETCH(int, n);
        QFETCH(QString, compact);
        QFETCH(QString, spaced);
        QCOMPARE(Fmt::minutesShort(n), compact);
        QCOMPARE(Fmt::minutes(n), spaced);
    }

    // ko_KR uses a 12-hour clock with its own day-period words (오전, 오후); the app still writes am/pm.
    void timesAndRanges_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("rangeText");
        QTest::newRow("en_US, shared morning") << "en_US" << at(9, 5) << at(10, 30) << "9:05 am"
                                               << "9:05 \u2013 10:30 am";
        QTest::newRow("en_US, crossing noon") << "en_US" << at(11, 30) << at(13, 0) << "11:30 am"
                                              << "11:30 am \u2013 1:00 pm";
        QTest::newRow("de_DE, crossing noon") << "de_DE" << at(11, 30) << at(13, 0) << "11:30"
                                              << "11:30 \u2013 13:00";
        QTest::newRow("ko_KR, crossing noon") << "ko_KR" << at(11, 30) << at(13, 0) << "11:30 am"
                                              << "11:30 am \u2013 1:00 pm";
    }
    void timesAndRanges() {
        QFETCH(QString, locale);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QString, startText);
        QFETCH(QString, rangeText);
        const Cal cal(berlin, QLocale(locale));
        QCOMPARE(Fmt::time(start, cal), startText);
        QCOMPARE(Fmt::range(start, end, cal), rangeText);
    }

    void countdown_data() {
        QTest::addColumn<int>("startIn"); // seconds from now
        QTest::addColumn<int>("endIn");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QString>("expected"); // null: no text
        QTest::newRow("starts in 60 s") << 60 << 1800 << false << "starting now";
        QTest::newRow("starts in 61 s") << 61 << 1800 << false << "in 2 min";
        QTest::newRow("starts in 1,439 min") << 1439 * 60 << 1500 * 60 << false << "in 23 h 59 min";
        QTest::newRow("starts in 1,440 min") << 1440 * 60 << 1500 * 60 << false << QString();
        QTest::newRow("started now") << 0 << 3900 << false << "1 h 5 min left";
        QTest::newRow("61 s left") << -600 << 61 << false << "2 min left";
        QTest::newRow("60 s left") << -600 << 60 << false << "ending now";
        QTest::newRow("ended now") << -600 << 0 << false << "ended";
        QTest::newRow("all-day, running") << -3600 << 3600 << true << QString();
    }
    void countdown() {
        QFETCH(int, startIn);
        QFETCH(int, endIn);
        QFETCH(bool, allDay);
        QFETCH(QString, expected);
        const QDateTime now = at(10, 0).addMSecs(30'500);
        CalEvent e;
        e.start = now.addSecs(startIn);
        e.end = now.addSecs(endIn);
        e.isAllDay = allDay;
        QCOMPARE(Fmt::countdown(e, now).value_or(QString()), expected);
    }

    void dayTexts_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("shortText");
        QTest::newRow("en_US") << "en_US" << at(9, 0) << "Tuesday, Jan 13"
                               << "Tue, Jan 13";
        QTest::newRow("de_DE") << "de_DE" << at(9, 0) << "Dienstag, 13. Jan."
                               << "Di., 13. Jan.";
    }
    void dayTexts() {
        QFETCH(QString, locale);
        QFETCH(QDateTime, instant);
        QFETCH(QString, header);
        QFETCH(QString, shortText);
        const Cal cal(berlin, QLocale(locale));
        QCOMPARE(Fmt::dayHeader(instant, cal), header);
        QCOMPARE(Fmt::dayShort(instant, cal), shortText);
    }

    // This test runs in Europe/Berlin with LANG=en_US.UTF-8, which the overloads without a calendar follow.
    void userCalendarByDefault() {
        QCOMPARE(Fmt::range(at(11, 30), at(13, 0)), "11:30 am" + dash + "1:00 pm");
        QCOMPARE(Fmt::dayShort(at(0, 30)), "Tue, Jan 13");
    }
};

QTEST_GUILESS_MAIN(TestFmt)
#include "tst_fmt.moc"
