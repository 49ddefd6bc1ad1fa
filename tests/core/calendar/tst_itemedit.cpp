// Edits of items other programs wrote: only the lines an edit means to change differ afterwards, an
// edit that would not read back is refused before the item is touched, and khal still reads the result.

#include "CalendarFixture.h"

#include "core/calendar/CalendarFileError.h"
#include "support/Khal.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>

namespace {

using Slot = LocalCalendars::Slot;
const QTimeZone berlin("Europe/Berlin");

LocalCalendars::Options optionsFor(const CalendarFixture& fixture) {
    LocalCalendars::Options o = fixture.options(berlin);
    o.clock = [] { return utc("2024-05-01T12:00:00Z"); };
    return o;
}

// The item's physical lines, each with its line ending, so that folds and endings count too.
QList<QByteArray> physicalLines(const QByteArray& item) {
    QList<QByteArray> out;
    for (qsizetype pos = 0; pos < item.size();) {
        qsizetype end = item.indexOf('\n', pos);
        end = end < 0 ? item.size() : end + 1;
        out.append(item.mid(pos, end - pos));
        pos = end;
    }
    return out;
}

// What a line is, for comparing diffs: a BEGIN or END line whole, else the property name (that of the
// line it continues, for a folded piece).
QStringList namesOf(const QList<QByteArray>& lines, const QList<qsizetype>& which) {
    QStringList out;
    for (qsizetype i : which) {
        qsizetype j = i;
        while (j > 0 && (lines[j].startsWith(' ') || lines[j].startsWith('\t')))
            --j;
        const QString line = QString::fromUtf8(lines[j]).trimmed();
        const bool boundary =
            line.startsWith(QLatin1String("BEGIN:")) || line.startsWith(QLatin1String("END:"));
        out.append(boundary ? line : line.section(QRegularExpression(QStringLiteral("[;:]")), 0, 0));
    }
    out.sort();
    return out;
}

// The lines taken out of `before` and put into `after`, by longest common subsequence.
struct Diff {
    QStringList removed; // names, sorted
    QStringList added;
    QList<QByteArray> addedLines;
};

Diff diff(const QByteArray& beforeText, const QByteArray& afterText) {
    const QList<QByteArray> a = physicalLines(beforeText);
    const QList<QByteArray> b = physicalLines(afterText);
    std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (qsizetype i = a.size() - 1; i >= 0; --i) {
        for (qsizetype j = b.size() - 1; j >= 0; --j)
            common[i][j] =
                a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
    QList<qsizetype> removed, added;
    qsizetype i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ++i, ++j;
        } else if (j < b.size() && (i == a.size() || common[i][j + 1] >= common[i + 1][j])) {
            added.append(j++);
        } else {
            removed.append(i++);
        }
    }
    Diff d{namesOf(a, removed), namesOf(b, added), {}};
    for (qsizetype k : added)
        d.addedLines.append(b[k].trimmed());
    return d;
}

// Every file under the folder with its content.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> out;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        out.insert(path, TestFiles::read(path));
    }
    return out;
}

QString describe(const LocalOccurrence& o) {
    // khal names the last day of an all-day event, not the day after it.
    const QString format = o.isAllDay ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm");
    const QDateTime end = o.end.toTimeZone(berlin).addDays(o.isAllDay ? -1 : 0);
    return o.start.toTimeZone(berlin).toString(format) + QLatin1Char(' ') + end.toString(format) +
           QLatin1Char(' ') + o.title.value_or(QString());
}

enum class Edit { retitle, move, remove };

} // namespace

class TestItemEdit : public QObject {
    Q_OBJECT

private slots:
    void editsChangeOnlyTheirOwnLines_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("title"); // the occurrence edited, and its start
        QTest::addColumn<QString>("start");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<Slot>("slot");            // where a move goes
        QTest::addColumn<QStringList>("removed");  // names of the lines the edit takes out
        QTest::addColumn<QStringList>("added");    // and of those it puts in
        QTest::addColumn<QByteArrayList>("lines"); // some of the lines put in, exactly

        // Names are given as one text, separated by blanks.
        const auto row = [](const char* name, const char* item, const char* title, const char* start,
                            Edit edit, Slot slot, const char* removed, const char* added,
                            const QByteArrayList& lines) {
            auto names = [](const char* text) {
                return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
            };
            QTest::newRow(name) << item << title << start << edit << slot << names(removed) << names(added)
                                << lines;
        };
        // A retitle keeps the title's language and alternative text. SEQUENCE is at its top already and
        // stays there; the empty DESCRIPTION and LOCATION, which libical cannot read, do not stop it.
        row("retitle", "review.ics", "Besprechung", "2024-04-10T08:00:00Z", Edit::retitle, {},
            "DTSTAMP SUMMARY", "DTSTAMP LAST-MODIFIED SUMMARY",
            {"SUMMARY;LANGUAGE=de;ALTREP=\"cid:summary@example.org\":Planung\\, Teil 2",
             "LAST-MODIFIED:20240501T120000Z"});
        row("move", "review.ics", "Besprechung", "2024-04-10T08:00:00Z", Edit::move,
            {utc("2024-04-12T13:00:00Z"), utc("2024-04-12T14:00:00Z")}, "DTEND DTSTAMP DTSTART",
            "DTEND DTSTAMP DTSTART LAST-MODIFIED",
            {"DTSTART;TZID=Europe/Berlin:20240412T150000", "DTEND;TZID=Europe/Berlin:20240412T160000"});
        // A timed event written in UTC becomes all day: no zone is needed.
        row("move to all day", "lunch.ics", "Lunch", "2024-04-11T11:00:00Z", Edit::move,
            {utc("2024-04-11T22:00:00Z"), utc("2024-04-12T22:00:00Z"), true}, "DTEND DTSTAMP DTSTART",
            "DTEND DTSTAMP DTSTART LAST-MODIFIED SEQUENCE", {"DTSTART;VALUE=DATE:20240412", "SEQUENCE:1"});
        // One instance of a series gets an override: a copy of the series' event, byte for byte,
        // without its rule and with the instance's times; the series itself is left alone.
        row("retitle one instance", "weekly.ics", "Weekly sync", "2024-04-08T07:00:00Z", Edit::retitle, {},
            "",
            "BEGIN:VEVENT UID DTSTAMP DTSTART DTEND RECURRENCE-ID SUMMARY DESCRIPTION "
            "CATEGORIES X-VENDOR-NOTE SEQUENCE LAST-MODIFIED BEGIN:X-VENDOR-DATA X-FIELD "
            "END:X-VENDOR-DATA BEGIN:VALARM ACTION DESCRIPTION TRIGGER END:VALARM END:VEVENT",
            {"RECURRENCE-ID;TZID=Europe/Berlin:20240408T090000", "DTEND;TZID=Europe/Berlin:20240408T093000",
             "X-VENDOR-NOTE:a\\,b", "CATEGORIES:Team,Sync", "SEQUENCE:5", "SUMMARY:Planung\\, Teil 2"});
        row("remove one instance", "weekly.ics", "Weekly sync", "2024-04-15T07:00:00Z", Edit::remove, {},
            "DTSTAMP SEQUENCE", "DTSTAMP EXDATE LAST-MODIFIED SEQUENCE",
            {"EXDATE;TZID=Europe/Berlin:20240415T090000", "SEQUENCE:5"});
    }

    void editsChangeOnlyTheirOwnLines() {
        QFETCH(QString, item);
        QFETCH(QString, title);
        QFETCH(QString, start);
        QFETCH(Edit, edit);
        QFETCH(Slot, slot);
        QFETCH(QStringList, removed);
        QFETCH(QStringList, added);
        QFETCH(QByteArrayList, lines);
        CalendarFixture fixture(QStringLiteral("foreign"));
        const QString path = QStringLiteral("Shared/") + item;
        const QByteArray before = fixture.read(path);
        LocalCalendars calendars(optionsFor(fixture));
        std::optional<LocalOccurrence> o = findOccurrence(calendars, title, start);
        QVERIFY(o);
        switch (edit) {
        case Edit::retitle:
            QVERIFY(calendars.update(*o, QStringLiteral("Planung, Teil 2"), {}));
            break;
        case Edit::move:
            QVERIFY(calendars.update(*o, {}, slot));
            break;
        case Edit::remove:
            QVERIFY(calendars.remove(*o));
            break;
        }

        const Diff d = diff(before, fixture.read(path));
        removed.sort();
        added.sort();
        QCOMPARE(d.removed, removed);
        QCOMPARE(d.added, added);
        for (const QByteArray& line : std::as_const(lines))
            QVERIFY2(d.addedLines.contains(line), line.constData());

        // An independent reader sees what we see.
        const QString collection = fixture.path(QStringLiteral("Shared"));
        LocalCalendars fresh(fixture.options(berlin));
        QStringList ours;
        for (const LocalOccurrence& occurrence :
             fresh.occurrences(utc("2024-03-31T22:00:00Z"), utc("2024-04-20T22:00:00Z"), fresh.calendars()))
            ours.append(describe(occurrence));
        const Khal::Listing listing =
            Khal::list({collection}, QStringLiteral("Europe/Berlin"), QStringLiteral("2024-04-01"),
                       QStringLiteral("2024-04-20"), fixture.path(QStringLiteral("..")));
        QVERIFY2(listing.ran && !listing.diagnostics.contains(QLatin1String("Skipping")),
                 qPrintable(listing.diagnostics));
        ours.removeDuplicates();
        ours.sort();
        QStringList theirs = listing.lines;
        theirs.sort();
        QCOMPARE(ours, theirs);
    }

    // Each refused write throws before anything reaches the folder.
    void refusedWritesLeaveTheFolderAsItWas_data() {
        QTest::addColumn<bool>("create"); // else Lunch is changed
        QTest::addColumn<QString>("title");
        QTest::addColumn<QDateTime>("start"); // an hour long
        const QDateTime lunch = utc("2024-04-11T11:00:00Z");
        // "in 999999999 days" once gave DTSTART:00000000T000000.
        const QDateTime farOff(QDate(2024, 5, 1).addDays(999999999), QTime(9, 0), Qt::UTC);
        QTest::newRow("a new event in a far-off year") << true << "Far" << farOff;
        QTest::newRow("a new event over a century ago") << true << "Old" << utc("1920-04-01T09:00:00Z");
        QTest::newRow("a move past a century") << false << "Lunch" << utc("2130-06-01T09:00:00Z");
        // libical ends text at a NUL: the title would not read back as given.
        const QString cut = QStringLiteral("Lunch") + QChar(0) + QStringLiteral(" with Ann");
        QTest::newRow("a title that would be cut short") << false << cut << lunch;
        QTest::newRow("a new event whose title would be cut short") << true << cut << lunch;
    }

    void refusedWritesLeaveTheFolderAsItWas() {
        QFETCH(bool, create);
        QFETCH(QString, title);
        QFETCH(QDateTime, start);
        CalendarFixture fixture(QStringLiteral("foreign"));
        LocalCalendars calendars(optionsFor(fixture));
        const QMap<QString, QByteArray> before = snapshot(fixture.root());
        const Slot slot{start, start.addSecs(3600)};
        if (create) {
            QVERIFY_THROWS_EXCEPTION(CalendarFileError,
                                     calendars.create(calendars.calendars().first(), title, slot));
        } else {
            std::optional<LocalOccurrence> lunch = findOccurrence(calendars, "Lunch", "2024-04-11T11:00:00Z");
            QVERIFY(lunch);
            QVERIFY_THROWS_EXCEPTION(
                CalendarFileError,
                calendars.update(*lunch, title, start == lunch->start ? std::nullopt : std::optional(slot)));
        }
        QCOMPARE(snapshot(fixture.root()), before);
    }

    // Dates near either end of what is written read back in khal as written.
    void datesWithinReachReadElsewhere() {
        CalendarFixture fixture = CalendarFixture::empty();
        QDir().mkpath(fixture.path(QStringLiteral("Home")));
        LocalCalendars calendars(optionsFor(fixture));
        const LocalCalendar home = calendars.calendars().first();
        QStringList ours;
        for (const char* start : {"2123-07-01T09:00:00Z", "1925-03-02T09:00:00Z"}) {
            const LocalOccurrence o =
                calendars.create(home, QStringLiteral("Far"), {utc(start), utc(start).addSecs(5400)});
            ours.append(describe(o));
            const QString day = o.start.toTimeZone(berlin).toString(QStringLiteral("yyyy-MM-dd"));
            const Khal::Listing listing = Khal::list({home.path}, QStringLiteral("Europe/Berlin"), day, day,
                                                     fixture.path(QStringLiteral("..")));
            QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
            QCOMPARE(listing.lines, QStringList{ours.last()});
        }
        QCOMPARE(ours, (QStringList{"2123-07-01 11:00 2123-07-01 12:30 Far",
                                    "1925-03-02 10:00 1925-03-02 11:30 Far"}));
    }

    // Created as sync tools create items: readable only by the user. Blanks around a title, which
    // libical does not read back, are not written, nor the milliseconds of a slot taken from the
    // clock ("Tea in 20 min").
    void newItemsArePrivate() {
        CalendarFixture fixture(QStringLiteral("foreign"));
        LocalCalendars calendars(optionsFor(fixture));
        const LocalOccurrence created =
            calendars.create(calendars.calendars().first(), QStringLiteral("  Retro\r "),
                             {utc("2024-04-12T13:00:00Z").addMSecs(750), utc("2024-04-12T14:00:00Z")});
        QCOMPARE(created.title, QStringLiteral("Retro"));
        QCOMPARE(created.start, utc("2024-04-12T13:00:00Z"));
        QCOMPARE(TestFiles::mode(fixture.path(created.eventIdentifier)), 0600u);
        const QByteArray text = fixture.read(created.eventIdentifier);
        QVERIFY(text.contains("\r\nDTSTART;TZID=Europe/Berlin:20240412T150000\r\n"));
        QVERIFY(text.contains("\r\nBEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestItemEdit)
#include "tst_itemedit.moc"
