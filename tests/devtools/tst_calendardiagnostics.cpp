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

private slots:
    void report_data() {
        QTest::addColumn<QString>("folder");        // a fixture folder, else an empty one
        QTest::addColumn<CalendarAccess>("access"); // injected unless full access
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const char* folder, CalendarAccess access, const char* expected) {
            QTest::newRow(name) << QString::fromUtf8(folder) << access << QString::fromUtf8(expected);
        };
        row("four calendars in three accounts", "report", CalendarAccess::fullAccess,
            "calendar access status: 3 (full access)\n"
            "account: Local [0]\n"
            "  - Birthdays — 1 in the next 7 days, 1 between -60 and +120 days\n"
            "  - Home — 7 in the next 7 days, 12 between -60 and +120 days\n"
            "account: Other [2]\n"
            "  - Holidays in Germany — 1 in the next 7 days, 1 between -60 and +120 days\n"
            "account: iCloud [2]\n"
            "  - Work — 1 in the next 7 days, 1 between -60 and +120 days\n"
            "next upcoming: Wed 3 Apr, 9:00 AM — Review [Work]; "
            "Wed 3 Apr, 10:00 AM — Standup [Home]; Wed 3 Apr, 12:00 PM — (untitled) [Home]\n");
        row("no calendars", "", CalendarAccess::fullAccess,
            "calendar access status: 3 (full access)\nnext upcoming: none\n");
        row("not determined", "", CalendarAccess::notDetermined, "calendar access status: 0 (NOT granted)\n");
        row("denied", "report", CalendarAccess::denied, "calendar access status: 2 (NOT granted)\n");
    }

    void report() {
        QFETCH(QString, folder);
        QFETCH(CalendarAccess, access);
        QFETCH(QString, expected);
        const CalendarFixture fixture = folder.isEmpty() ? CalendarFixture::empty() : CalendarFixture(folder);
        LocalCalendars::Options options = fixture.options(m_cal.zone());
        if (access != CalendarAccess::fullAccess)
            options.access = access;
        LocalCalendars calendars(options);
        QCOMPARE(run({"--list-calendars"}, calendars).out, expected);
    }

    // Items the app cannot read safely are named, with the reason, after the calendars.
    void skippedItemsAreNamed() {
        CalendarFixture fixture(QStringLiteral("hostile"));
        fixture.write(QStringLiteral("Hostile/garbage.ics"), "no calendar in here");
        LocalCalendars calendars(fixture.options(m_cal.zone()));
        const QStringList lines = run({"--list-calendars"}, calendars).out.split(QLatin1Char('\n'));
        QCOMPARE(lines.filter(QStringLiteral("skipped: ")),
                 (QStringList{"skipped: Hostile/garbage.ics — no iCalendar object",
                              "skipped: Hostile/many-rules.ics — reading it costs more than an item may"}));
    }

    // So are items shown only in part: a rule that cannot be expanded (the event is read-only), and
    // RDATE values libical dropped, in one line per item.
    void partlyReadItemsAreNamed() {
        CalendarFixture fixture(QStringLiteral("hostile"));
        QStringList dates;
        for (int day = 0; day < 501; ++day)
            dates << QDate(2024, 1, 1).addDays(day).toString(QStringLiteral("yyyyMMdd'T'090000'Z'"));
        // Folded as a writer folds so long a line.
        const QString rdate = QStringLiteral("RDATE:") + dates.join(QLatin1Char(','));
        QStringList folded;
        for (qsizetype at = 0; at < rdate.size(); at += 74)
            folded << rdate.mid(at, 74);
        fixture.writeEvent(QStringLiteral("Hostile/dates.ics"),
                           {"UID:dates", "DTSTART:20231231T090000Z",
                            "RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30", folded.join(QStringLiteral("\r\n ")),
                            "SUMMARY:Dates"});
        LocalCalendars calendars(fixture.options(m_cal.zone()));
        const QStringList lines = run({"--list-calendars"}, calendars).out.split(QLatin1Char('\n'));
        const QString readOnly = QStringLiteral(": shown without it, read-only");
        const QString cut =
            QStringLiteral("an RDATE line lists more than 500 dates, and libical read only the "
                           "first 500 of them");
        QCOMPARE(lines.filter(QStringLiteral("partly read: ")),
                 (QStringList{
                     "partly read: Hostile/dates.ics — " + cut +
                         "; RRULE:FREQ=YEARLY;BYMONTHDAY=30;BYMONTH=2 of dates refused (never matches a "
                         "date)" +
                         readOnly,
                     "partly read: Hostile/never-matches.ics — RRULE:FREQ=MINUTELY;BYMONTHDAY=30;BYMONTH=2 "
                     "of never-matches refused (never matches a date)" +
                         readOnly}));
    }

    void arguments_data() {
        QTest::addColumn<QStringList>("arguments"); // REPORT: a free path; BLOCKED: one under a file
        QTest::addColumn<bool>("ran");
        QTest::addColumn<bool>("written");
        QTest::newRow("no mode") << QStringList{"--debug", "report.txt"} << false << false;
        QTest::newRow("mode as the last argument")
            << QStringList{"--debug", "--list-calendars"} << true << false;
        QTest::newRow("mode followed by an option")
            << QStringList{"--list-calendars", "--debug"} << true << false;
        QTest::newRow("mode followed by a report path")
            << QStringList{"--debug", "--list-calendars", "REPORT"} << true << true;
        QTest::newRow("a report that cannot be written is told")
            << QStringList{"--list-calendars", "BLOCKED"} << true << false;
    }

    void arguments() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ran);
        QFETCH(bool, written);
        CalendarFixture fixture(QStringLiteral("report"));
        const QString report = fixture.path(QStringLiteral("../report.txt"));
        const QString blocked = fixture.path(QStringLiteral("Home/standup.ics/report.txt"));
        arguments.replaceInStrings(QStringLiteral("REPORT"), report)
            .replaceInStrings(QStringLiteral("BLOCKED"), blocked);
        LocalCalendars calendars(fixture.options(m_cal.zone()));
        const Result result = run(arguments, calendars);
        QCOMPARE(result.ran, ran);
        QCOMPARE(result.out.isEmpty(), !ran);
        QCOMPARE(fixture.read(QStringLiteral("../report.txt")), written ? result.out.toUtf8() : QByteArray());
        QCOMPARE(result.err.startsWith(QStringLiteral("list-calendars: could not write ") + blocked),
                 arguments.contains(blocked));
    }
};

QTEST_GUILESS_MAIN(TestCalendarDiagnostics)
#include "tst_calendardiagnostics.moc"
