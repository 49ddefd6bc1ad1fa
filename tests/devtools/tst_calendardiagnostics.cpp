// The "--list-calendars" report over a fixture folder, at Wednesday 3 April 2024, 9:30 in Berlin, in
// an English locale.

#include "devtools/CalendarDiagnostics.h"

#include "core/calendar/CalendarFixture.h"
#include "core/calendar/LocalCalendars.h"
#include "support/WallClock.h"

#include "core/model/DebugLog.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

    // Only files are items. A named pipe, a socket or a folder named like an item is named in the
    // report and the trace, never opened (opening a pipe waits for a writer): the report ends.
    void onlyFilesAreItems() {
        CalendarFixture fixture = CalendarFixture::empty();
        fixture.writeEvent(QStringLiteral("Work/ordinary.ics"),
                           {"UID:o", "DTSTART:20240403T120000Z", "DURATION:PT1H", "SUMMARY:Ordinary"});
        const QByteArray pipe = QFile::encodeName(fixture.path(QStringLiteral("Work/pipe.ics")));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = QFile::encodeName(fixture.path(QStringLiteral("Work/socket.ics")));
        QVERIFY(size_t(socketPath.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(listener); // the socket file stays
        QVERIFY(QDir().mkpath(fixture.path(QStringLiteral("Work/folder.ics"))));

        const QString log = fixture.path(QStringLiteral("../debug.log"));
        DebugLog::overrideForTesting(true, log);
        const auto logOff = qScopeGuard([] { DebugLog::overrideForTesting(false, QString()); });
        LocalCalendars calendars(fixture.options(m_cal.zone()));
        const QString report = run({"--list-calendars"}, calendars).out;
        QCOMPARE(report.split(QLatin1Char('\n')).filter(QStringLiteral("  - Work")),
                 QStringList{"  - Work — 1 in the next 7 days, 1 between -60 and +120 days"});
        QCOMPARE(report.split(QLatin1Char('\n')).filter(QStringLiteral("skipped: ")),
                 (QStringList{"skipped: Work/folder.ics — a folder, not a file",
                              "skipped: Work/pipe.ics — a named pipe, not a file",
                              "skipped: Work/socket.ics — a socket, not a file"}));
        QVERIFY(TestFiles::read(log).contains("calendar: skipped " + pipe + ": a named pipe, not a file"));
        // Once known, they are named again, and still not opened.
        QCOMPARE(run({"--list-calendars"}, calendars).out, report);
    }

    // So are items shown only in part, in one line per item and in the trace: a rule that cannot be
    // expanded, one that libical cannot read at all, and dates that cannot be read. (Each such event
    // is read-only.) A line of more than 500 dates, of which libical reads 500, is read in full.
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
        fixture.writeEvent(
            QStringLiteral("Hostile/dropped.ics"),
            {"UID:dropped", "DTSTART:20240401T090000Z", "RRULE:FREQ=WEEKLY;INTERVAL=-5", "SUMMARY:Dropped"});
        fixture.writeEvent(QStringLiteral("Hostile/unreadable.ics"),
                           {"UID:unreadable", "DTSTART:20240401T090000Z", "RRULE:FREQ=DAILY",
                            "EXDATE:20240402T090000Z,someday", "SUMMARY:Unreadable"});
        const QString log = fixture.path(QStringLiteral("../debug.log"));
        DebugLog::overrideForTesting(true, log);
        const auto logOff = qScopeGuard([] { DebugLog::overrideForTesting(false, QString()); });
        LocalCalendars calendars(fixture.options(m_cal.zone()));
        const QStringList lines = run({"--list-calendars"}, calendars).out.split(QLatin1Char('\n'));
        const QString readOnly = QStringLiteral(": shown without it, read-only");
        const QString dropped =
            QStringLiteral("RRULE:FREQ=WEEKLY;INTERVAL=-5 of dropped cannot be read") + readOnly;
        QCOMPARE(lines.filter(QStringLiteral("partly read: ")),
                 (QStringList{
                     "partly read: Hostile/dates.ics — RRULE:FREQ=YEARLY;BYMONTHDAY=30;BYMONTH=2 of "
                     "dates refused (never matches a date)" +
                         readOnly,
                     "partly read: Hostile/dropped.ics — " + dropped,
                     "partly read: Hostile/never-matches.ics — RRULE:FREQ=MINUTELY;BYMONTHDAY=30;BYMONTH=2 "
                     "of never-matches refused (never matches a date)" +
                         readOnly,
                     "partly read: Hostile/unreadable.ics — 1 of the EXDATE and RDATE values of "
                     "unreadable cannot be read: shown as its first occurrence, read-only"}));
        QVERIFY(TestFiles::read(log).contains(
            ("calendar: partly read " + fixture.path(QStringLiteral("Hostile/dropped.ics")) + ": " + dropped)
                .toUtf8()));
        // All 501 dates are there.
        const QList<LocalOccurrence> all =
            calendars.occurrences(QDateTime(QDate(2023, 12, 1), QTime(0, 0), Qt::UTC),
                                  QDateTime(QDate(2025, 6, 1), QTime(0, 0), Qt::UTC), calendars.calendars());
        QCOMPARE(
            std::count_if(all.begin(), all.end(), [](const LocalOccurrence& o) { return o.uid == "dates"; }),
            502);
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
