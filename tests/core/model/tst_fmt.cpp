#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/model/Fmt.h"
#include "core/model/UserCal.h"

#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");

// A winter day in Berlin at the given wall time.
QDateTime at(int hour, int minute) {
    return QDateTime(QDate(2026, 1, 13), QTime(hour, minute), berlin).toUTC();
}

Cal in(const char* locale) {
    return Cal(berlin, QLocale(QString::fromLatin1(locale)));
}

// The countdown half a minute into 10:00 of an event that starts and ends the given seconds from then.
QString countdown(int startIn, int endIn, bool allDay = false) {
    const QDateTime now = at(10, 0).addMSecs(30'500);
    CalEvent e;
    e.start = now.addSecs(startIn);
    e.end = now.addSecs(endIn);
    e.isAllDay = allDay;
    return Fmt::countdown(e, now).value_or("(none)");
}

} // namespace

class TestFmt : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ko_KR uses a 12-hour clock with its own day-period words (오전, 오후); the app still writes am/pm.
    // This test runs in Europe/Berlin with LANG=en_US.UTF-8, which the overloads without a calendar follow.
    void texts_data() {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        QTest::newRow("compact, negative") << Fmt::minutesShort(-5) << "0 min";
        QTest::newRow("compact, whole hours") << Fmt::minutesShort(60) << "1h";
        QTest::newRow("compact, hours and minutes") << Fmt::minutesShort(125) << "2h 5m";
        QTest::newRow("spaced, negative") << Fmt::minutes(-5) << "0 min";
        QTest::newRow("spaced, whole hours") << Fmt::minutes(120) << "2 h";
        QTest::newRow("spaced, hours and minutes") << Fmt::minutes(61) << "1 h 1 min";

        QTest::newRow("en_US time") << Fmt::time(at(9, 5), in("en_US")) << "9:05 am";
        QTest::newRow("en_US half past noon") << Fmt::time(at(12, 30), in("en_US")) << "12:30 pm";
        QTest::newRow("en_US range from half past midnight")
            << Fmt::range(at(0, 30), at(1, 0), in("en_US")) << "12:30 \u2013 1:00 am";
        QTest::newRow("en_US range, shared morning")
            << Fmt::range(at(9, 5), at(10, 30), in("en_US")) << "9:05 \u2013 10:30 am";
        QTest::newRow("en_US range, crossing noon")
            << Fmt::range(at(11, 30), at(13, 0), in("en_US")) << "11:30 am \u2013 1:00 pm";
        QTest::newRow("de_DE time") << Fmt::time(at(9, 5), in("de_DE")) << "09:05";
        QTest::newRow("de_DE range") << Fmt::range(at(11, 30), at(13, 0), in("de_DE"))
                                     << "11:30 \u2013 13:00";
        QTest::newRow("ko_KR time") << Fmt::time(at(13, 0), in("ko_KR")) << "1:00 pm";
        QTest::newRow("ko_KR range") << Fmt::range(at(11, 30), at(13, 0), in("ko_KR"))
                                     << "11:30 am \u2013 1:00 pm";
        QTest::newRow("user's range") << Fmt::range(at(11, 30), at(13, 0)) << "11:30 am \u2013 1:00 pm";

        QTest::newRow("en_US day header") << Fmt::dayHeader(at(9, 0), in("en_US")) << "Tuesday, Jan 13";
        QTest::newRow("en_US short day") << Fmt::dayShort(at(9, 0), in("en_US")) << "Tue, Jan 13";
        QTest::newRow("de_DE day header") << Fmt::dayHeader(at(9, 0), in("de_DE")) << "Dienstag, 13. Jan.";
        QTest::newRow("de_DE short day") << Fmt::dayShort(at(9, 0), in("de_DE")) << "Di., 13. Jan.";
        QTest::newRow("user's day, just after midnight") << Fmt::dayShort(at(0, 30)) << "Tue, Jan 13";

        // Whole calendar units: 1 h 59 min is "1 hr.", and the 23-hour day of the clock change in
        // March is one day.
        const QDateTime noon = at(12, 0);
        const Cal us = in("en_US");
        QTest::newRow("relative, 1 h 59 min ago")
            << Fmt::relative(noon.addSecs(-7140), noon, us) << "1 hr. ago";
        QTest::newRow("relative, seconds ahead") << Fmt::relative(noon.addSecs(59), noon, us) << "in 59 sec.";
        const QDateTime beforeChange(QDate(2026, 3, 28), QTime(12, 0), berlin);
        const QDateTime afterChange(QDate(2026, 3, 29), QTime(12, 0), berlin);
        QTest::newRow("relative, day of the clock change")
            << Fmt::relative(beforeChange.toUTC(), afterChange.toUTC(), us) << "1 day ago";
        QTest::newRow("relative, a month short of a day")
            << Fmt::relative(at(12, 0), QDateTime(QDate(2026, 2, 13), QTime(11, 59), berlin).toUTC(), us)
            << "4 wk. ago";
        QTest::newRow("relative, years, German")
            << Fmt::relative(at(12, 0).addYears(-2), noon, in("de_DE")) << "vor 2 Jahren";

        QTest::newRow("starts in 60 s") << countdown(60, 1800) << "starting now";
        QTest::newRow("starts in 61 s") << countdown(61, 1800) << "in 2 min";
        QTest::newRow("starts in 1,439 min") << countdown(1439 * 60, 1500 * 60) << "in 23 h 59 min";
        QTest::newRow("starts in 1,440 min") << countdown(1440 * 60, 1500 * 60) << "(none)";
        QTest::newRow("started now") << countdown(0, 3900) << "1 h 5 min left";
        QTest::newRow("61 s left") << countdown(-600, 61) << "2 min left";
        QTest::newRow("60 s left") << countdown(-600, 60) << "ending now";
        QTest::newRow("ended now") << countdown(-600, 0) << "ended";
        QTest::newRow("all-day, running") << countdown(-3600, 3600, true) << "(none)";
    }
    void texts() {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    // The texts without a calendar of their own follow the user's as it changes.
    void followsTheUserCalendar() {
        const Cal before = UserCal::current();
        UserCal::use(in("de_DE"));
        QCOMPARE(Fmt::range(at(11, 30), at(13, 0)), QStringLiteral("11:30 \u2013 13:00"));
        UserCal::use(Cal(QTimeZone("America/New_York"), QLocale("en_US")));
        QCOMPARE(Fmt::time(at(13, 0)), QStringLiteral("7:00 am"));
        QCOMPARE(Fmt::dayShort(at(1, 0)), QStringLiteral("Mon, Jan 12"));
        UserCal::use(before);
    }
};

QTEST_GUILESS_MAIN(TestFmt)
#include "tst_fmt.moc"
