// The "--list-calendars" report over a fixture folder, at Wednesday 3 April 2024, 9:30 in Berlin, in
// an English locale.

#include "devtools/CalendarDiagnostics.h"

#include "core/calendar/CalendarFixture.h"
#include "core/calendar/LocalCalendars.h"
#include "support/WallClock.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

class TestCalendarDiagnostics : public QObject {
    Q_OBJECT

    const Cal m_cal = WallClock::cal("Europe/Berlin", "en_US");
    const QDateTime m_now = WallClock::at(m_cal, "2024-04-03 09:30");

    struct Result {
        bool ran = false;
        QString out;
        QString err;
    };

    Result run(const QStringList& arguments, LocalCalendars& calendars) const {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const QDateTime now = m_now;
        const bool ran = CalendarDiagnostics::run(
            QStringList{QStringLiteral("vorrindel")} + arguments, calendars, [now] { return now; }, m_cal,
            out, err);
        return {ran, QString::fromUtf8(out.data()), QString::fromUtf8(err.data())};
    }

    LocalCalendars::Options options(const CalendarFixture& fixture) const {
        return fixture.options(m_cal.zone());
    }

private slots:
    void reportOfAFolder() {
        CalendarFixture fixture(QStringLiteral("report"));
        LocalCalendars calendars(options(fixture));
        QCOMPARE(CalendarDiagnostics::report(
                     calendars, [this] { return m_now; }, m_cal),
                 QStringLiteral(
                     "calendar access status: 3 (full access)\n"
                     "account: Local [0]\n"
                     "  - Birthdays — 1 in the next 7 days, 1 between -60 and +120 days\n"
                     "  - Home — 7 in the next 7 days, 12 between -60 and +120 days\n"
                     "account: Other [2]\n"
                     "  - Holidays in Germany — 1 in the next 7 days, 1 between -60 and +120 days\n"
                     "account: iCloud [2]\n"
                     "  - Work — 1 in the next 7 days, 1 between -60 and +120 days\n"
                     "next upcoming: Wed 3 Apr, 9:00 AM — Review [Work]; "
                     "Wed 3 Apr, 10:00 AM — Standup [Home]; Wed 3 Apr, 12:00 PM — (untitled) [Home]\n"));
    }

    void withoutAccessOrCalendars_data() {
        QTest::addColumn<int>("state"); // -1: the folder exists but holds no calendar
        QTest::addColumn<QString>("expected");
        QTest::newRow("not determined")
            << int(CalendarAccess::notDetermined) << "calendar access status: 0 (NOT granted)\n";
        QTest::newRow("restricted") << int(CalendarAccess::restricted)
                                    << "calendar access status: 1 (NOT granted)\n";
        QTest::newRow("denied") << int(CalendarAccess::denied) << "calendar access status: 2 (NOT granted)\n";
        QTest::newRow("write only") << int(CalendarAccess::writeOnly)
                                    << "calendar access status: 4 (NOT granted)\n";
        QTest::newRow("full access, no calendars")
            << -1 << "calendar access status: 3 (full access)\nnext upcoming: none\n";
    }

    void withoutAccessOrCalendars() {
        QFETCH(int, state);
        QFETCH(QString, expected);
        CalendarFixture fixture = CalendarFixture::empty();
        LocalCalendars::Options o = options(fixture);
        if (state >= 0)
            o.access = CalendarAccess(state);
        LocalCalendars calendars(o);
        QCOMPARE(run({"--list-calendars"}, calendars).out, expected);
    }

    void arguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ran");
        QTest::addColumn<bool>("written");
        QTest::newRow("no mode") << QStringList{"--debug", "report.txt"} << false << false;
        QTest::newRow("mode as the last argument")
            << QStringList{"--debug", "--list-calendars"} << true << false;
        QTest::newRow("mode followed by an option")
            << QStringList{"--list-calendars", "--debug"} << true << false;
        QTest::newRow("mode followed by a report path")
            << QStringList{"--debug", "--list-calendars", "REPORT"} << true << true;
    }

    void arguments() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ran);
        QFETCH(bool, written);
        CalendarFixture fixture(QStringLiteral("report"));
        const QString report = fixture.path(QStringLiteral("../report.txt"));
        arguments.replaceInStrings(QStringLiteral("REPORT"), report);
        LocalCalendars calendars(options(fixture));
        const Result result = run(arguments, calendars);
        QCOMPARE(result.ran, ran);
        QCOMPARE(result.out.isEmpty(), !ran);
        QCOMPARE(QFile::exists(report), written);
        if (written) {
            QFile file(report);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(file.readAll()), result.out);
        }
    }

    void unwritableReportIsToldButNotFatal() {
        CalendarFixture fixture(QStringLiteral("report"));
        LocalCalendars calendars(options(fixture));
        const QString report = fixture.path(QStringLiteral("Home/standup.ics/report.txt"));
        const Result result = run({"--list-calendars", report}, calendars);
        QVERIFY(result.ran);
        QVERIFY(result.out.startsWith(QStringLiteral("calendar access status: 3")));
        QVERIFY(result.err.startsWith(QStringLiteral("list-calendars: could not write ") + report));
    }
};

QTEST_GUILESS_MAIN(TestCalendarDiagnostics)
#include "tst_calendardiagnostics.moc"
