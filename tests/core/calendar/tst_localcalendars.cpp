// Reading the vdir folders: recurrence cases, broken items, collections and the parse cache.

#include "CalendarFixture.h"

#include "core/calendar/LocalCalendars.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

const QDateTime windowStart = utc("2024-03-25T00:00:00Z");
const QDateTime windowEnd = utc("2024-04-15T00:00:00Z");

// "MM-ddTHH:mm/HH:mm" in UTC (with the end's date when it differs), "x" for a cancelled one.
QString describe(const LocalOccurrence& o) {
    const QDateTime s = o.start.toUTC();
    const QDateTime e = o.end.toUTC();
    QString text = s.toString(QStringLiteral("MM-ddTHH:mm")) + QLatin1Char('/') +
                   e.toString(e.date() == s.date()                 ? QStringLiteral("HH:mm")
                              : e.date().year() == s.date().year() ? QStringLiteral("MM-ddTHH:mm")
                                                                   : QStringLiteral("yyyy-MM-ddTHH:mm"));
    if (o.status == LocalOccurrence::Status::cancelled)
        text += QLatin1Char('x');
    return text;
}

QStringList occurrencesOf(const QList<LocalOccurrence>& all, const QString& title) {
    QStringList out;
    for (const LocalOccurrence& o : all) {
        if (o.title == title)
            out.append(describe(o));
    }
    return out;
}

} // namespace

class TestLocalCalendars : public QObject {
    Q_OBJECT

private slots:
    void recurrenceCases_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char* name, const char* title, const char* starts) {
            QTest::newRow(name) << QString::fromUtf8(title)
                                << QString::fromLatin1(starts).split(' ', Qt::SkipEmptyParts);
        };
        row("weekly series keeps 09:00 Berlin across the spring change", "Weekly planning",
            "03-25T08:00/08:30 04-01T07:00/07:30 04-08T07:00/07:30");
        row("daily COUNT series: EXDATE, one moved out, one cancelled", "Standup",
            "04-01T08:00/08:15 04-02T08:00/08:15 04-04T08:00/08:15 04-06T08:00/08:15 04-07T08:00/08:15 "
            "04-08T08:00/08:15x 04-09T08:00/08:15 04-10T08:00/08:15 04-11T08:00/08:15 04-12T08:00/08:15 "
            "04-13T08:00/08:15 04-14T08:00/08:15");
        row("override moved into the range from outside it", "Standup (moved in)", "04-12T13:00/13:30");
        row("override moved out of the range", "Standup (moved out)", "");
        row("DURATION instead of DTEND", "Dentist", "04-02T12:00/12:45");
        row("DTEND gives every instance the same exact length", "Exact day",
            "03-29T11:00/03-30T11:00 03-30T11:00/03-31T11:00");
        row("a DURATION of one day ends at the same local hour across the spring change", "Nominal day",
            "03-29T11:00/03-30T11:00 03-30T11:00/03-31T10:00");
        row("floating time read in the user's zone", "Call home", "04-09T18:00/19:00");
        row("RDATE with a zone and as a PERIOD", "Choir",
            "04-03T16:00/17:00 04-10T16:00/17:00 04-12T10:00/12:00");
        row("all-day with exclusive DTEND, in the user's zone", "Trip", "04-10T04:00/04-13T04:00");
        row("all-day without an end lasts its day", "Day off", "04-05T04:00/04-06T04:00");
        row("cancelled master", "Called off", "04-02T07:00/08:00x 04-03T07:00/08:00x");
        row("UNTIL in UTC is inclusive", "Running club", "03-28T06:30/07:00 04-04T05:30/06:00");
        row("Windows zone name defined by an embedded VTIMEZONE", "Design review",
            "03-26T10:00/11:00 04-02T09:00/10:00 04-09T09:00/10:00");
        row("zone known only by its VTIMEZONE", "Call with Pune", "04-05T03:30/04:30");
        row("prefixed zone name without a VTIMEZONE", "Breakfast", "04-04T13:00/14:00");
        row("a to-do is not an event", "Not an event", "");
        // Beside empty, binary and cut-off items.
        row("an unreadable event does not hide its neighbour", "Good neighbour", "04-02T10:00/10:00");
        row("an unreadable start is skipped", "Bad start", "");
        row("an impossible date is skipped", "Wrong date", "");
    }

    void recurrenceCases() {
        QFETCH(QString, title);
        QFETCH(QStringList, expected);
        QList<LocalOccurrence> all;
        for (const char* folder : {"vdir", "strays"}) {
            CalendarFixture fixture(QString::fromLatin1(folder));
            LocalCalendars calendars(fixture.options());
            all += calendars.occurrences(windowStart, windowEnd, calendars.calendars());
        }
        QCOMPARE(occurrencesOf(all, title), expected);
    }

    void collectionsAndIdentifiers() {
        CalendarFixture fixture;
        fixture.write(QStringLiteral("Errands/displayname"), "  Errands and chores \n");
        fixture.write(QStringLiteral("Errands/color"), "not a colour");
        fixture.write(
            QStringLiteral("Errands/pair.ics"),
            CalendarFixture::calendarObject({{"UID:one", "DTSTART:20240402T100000Z", "SUMMARY:One"},
                                             {"UID:two", "DTSTART:20240403T100000Z", "SUMMARY:Two"}}));
        LocalCalendars calendars(fixture.options());
        QStringList seen;
        for (const LocalCalendar& c : calendars.calendars()) {
            seen.append(QStringList{c.id, c.title,
                                    c.color.isValid() ? c.color.name() : QStringLiteral("none"),
                                    c.sourceTitle, QString::number(int(c.sourceType)),
                                    c.allowsModifications ? QStringLiteral("rw") : QStringLiteral("ro")}
                            .join(QStringLiteral(" | ")));
        }
        // By source title, then title, by code point ("Local" before "work@..."); "#RRGGBBAA", as CalDAV
        // servers publish it, keeps its colour.
        QCOMPARE(seen, (QStringList{"Errands | Errands and chores | none | Local | 0 | rw",
                                    "Home | Home | #ff2d55 | Local | 0 | rw",
                                    "work@example.com/work | Work | #34c759 | work@example.com | 2 | rw"}));

        // Identifiers lead back to the item; one item holding two events names the UID as well.
        QStringList identifiers;
        for (const LocalOccurrence& o :
             calendars.occurrences(windowStart, windowEnd, calendars.calendars())) {
            if (o.title == QStringLiteral("Dentist") || o.calendarId == QStringLiteral("Errands"))
                identifiers.append(o.eventIdentifier);
        }
        QCOMPARE(identifiers,
                 (QStringList{"Errands/pair.ics#one", "Home/duration.ics", "Errands/pair.ics#two"}));
        const std::optional<LocalOccurrence> two = calendars.event(QStringLiteral("Errands/pair.ics#two"));
        QVERIFY(two);
        QCOMPARE(two->title, QStringLiteral("Two"));
        // Identifiers never reach outside the root.
        QVERIFY(!calendars.event(QStringLiteral("../../etc/passwd.ics")));
    }

    // A folder named like an item is never a calendar or an account, wherever it sits: a collection
    // that holds only such a folder stays a calendar, names it skipped, and takes new events itself.
    void aFolderNamedLikeAnItemIsNoCalendar() {
        CalendarFixture fixture = CalendarFixture::empty();
        for (const char* folder : {"Solo/x.ics", "acct@example.com/Work", "acct@example.com/y.ics", "z.ics"})
            QVERIFY(QDir().mkpath(fixture.path(QString::fromLatin1(folder))));
        fixture.writeEvent(QStringLiteral("Solo/x.ics/inside.ics"),
                           {"UID:inside", "DTSTART:20240402T100000Z"});
        LocalCalendars calendars(fixture.options());
        const QList<LocalCalendar> all = calendars.calendars();
        QStringList seen;
        for (const LocalCalendar& c : all)
            seen << c.id + QStringLiteral(" | ") + c.sourceTitle;
        QCOMPARE(seen, (QStringList{"Solo | Local", "acct@example.com/Work | acct@example.com"}));
        QVERIFY(calendars.occurrences(windowStart, windowEnd, all).isEmpty());
        const QList<LocalCalendars::SkippedItem> skipped = calendars.skippedItems(all);
        QCOMPARE(skipped.size(), 1);
        QCOMPARE(QStringList({skipped[0].calendarId, skipped[0].fileName, skipped[0].reason}),
                 (QStringList{"Solo", "x.ics", "a folder, not a file"}));
        const LocalOccurrence created =
            calendars.create(all[0], QStringLiteral("Lunch"), {windowStart, windowStart.addSecs(3600)});
        QCOMPARE(LocalCalendars::calendarIdOfEvent(created.eventIdentifier), QStringLiteral("Solo"));
        QCOMPARE(QDir(fixture.path(QStringLiteral("Solo")))
                     .entryList({QStringLiteral("*.ics")}, QDir::Files)
                     .size(),
                 1);
    }

    // Items as a hostile sender may write them, beside an ordinary one: nothing crashes, the slow
    // ones end within their budget, each is either read safely or skipped with its reason.
    void hostileItems_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("expected"); // as describe() gives them; empty: skipped
        auto row = [](const char* name, const char* title, const char* occurrences) {
            QTest::newRow(name) << QString::fromUtf8(title)
                                << QString::fromLatin1(occurrences).split(' ', Qt::SkipEmptyParts);
        };
        // Week numbers crash libical: they are stepped here, and give nothing more in these weeks.
        row("yearly by week number with minutes", "Week numbers with minutes", "10-19T00:58/01:28");
        // Fifty rules of a hundred million starts each cost more than an item may: skipped. So is an
        // hourly rule that expands every hour into 3,600 starts, and a rule with more occurrences in
        // the range than an agenda can show.
        row("fifty huge rules", "Fifty rules of a hundred million", "");
        row("hours of 3,600 starts", "Every second, hour by hour", "");
        row("every minute", "Every minute", "");
        // A zone that changes every hour would take gigabytes: its times read as the user's.
        row("zone observed hourly", "In a zone that changes every hour", "10-21T07:00/08:00");
        // A length longer than dates can hold ends a century (36,525 days) after the start.
        row("endless duration", "Longer than dates hold", "10-22T09:00/2125-10-23T09:00");
        row("ordinary meeting beside them", "Ordinary meeting", "10-22T13:00/14:00");
    }

    void hostileItems() {
        QFETCH(QString, title);
        QFETCH(QStringList, expected);
        CalendarFixture fixture(QStringLiteral("hostile"));
        LocalCalendars calendars(fixture.options(QTimeZone("Europe/Berlin")));
        const QList<LocalOccurrence> all = calendars.occurrences(
            utc("2025-10-13T00:00:00Z"), utc("2025-11-10T00:00:00Z"), calendars.calendars());
        QCOMPARE(occurrencesOf(all, title), expected);
        QStringList skipped;
        for (const LocalCalendars::SkippedItem& item : calendars.skippedItems(calendars.calendars()))
            skipped << item.fileName + QStringLiteral(": ") + item.reason;
        QCOMPARE(skipped, (QStringList{"every-minute.ics: more than 20000 occurrences in the range",
                                       "every-second.ics: expanding it costs more than an item may",
                                       "many-rules.ics: reading it costs more than an item may"}));
    }

    void itemsBeyondTheLimitsOfSizeAndCount() {
        CalendarFixture fixture = CalendarFixture::empty();
        const QString work = fixture.path(QStringLiteral("Work"));
        QDir().mkpath(work);
        // Ten thousand overrides of one daily series, each moved by an hour: found by hash, not by a
        // search per instance.
        QStringList master{"UID:series", "DTSTART:20250101T090000Z", "DURATION:PT30M", "RRULE:FREQ=DAILY",
                           "SUMMARY:Daily"};
        QList<QStringList> events{master};
        for (int i = 0; i < 10000; ++i) {
            const QDateTime original = utc("2025-01-01T09:00:00Z").addDays(i);
            const auto stamp = [](const QDateTime& t) {
                return t.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
            };
            events.append({"UID:series", "RECURRENCE-ID:" + stamp(original),
                           "DTSTART:" + stamp(original.addSecs(3600)), "DURATION:PT30M", "SUMMARY:Moved"});
        }
        fixture.write(QStringLiteral("Work/series.ics"), CalendarFixture::calendarObject(events));
        // An item of 17 MB (sparse: it takes no room) is refused before it is read.
        fixture.writeEvent(QStringLiteral("Work/huge.ics"),
                           {"UID:huge", "DTSTART:20250301T090000Z", "SUMMARY:Huge"});
        QFile huge(fixture.path(QStringLiteral("Work/huge.ics")));
        QVERIFY(huge.resize(17 * 1024 * 1024));

        LocalCalendars calendars(fixture.options(QTimeZone("Europe/Berlin")));
        const QList<LocalOccurrence> march = calendars.occurrences(
            utc("2025-03-01T00:00:00Z"), utc("2025-03-29T00:00:00Z"), calendars.calendars());
        QCOMPARE(march.size(), 28);
        QVERIFY(std::all_of(march.begin(), march.end(), [](const LocalOccurrence& o) {
            return o.title == QStringLiteral("Moved") && o.isDetached && o.start.time() == QTime(10, 0);
        }));
        const QList<LocalCalendars::SkippedItem> skipped = calendars.skippedItems(calendars.calendars());
        QCOMPARE(skipped.size(), 1);
        QCOMPARE(skipped[0].fileName, QStringLiteral("huge.ics"));
        QVERIFY(skipped[0].reason.startsWith(QStringLiteral("larger than 16 MB")));
    }

    void reloadParsesOnlyChangedItems() {
        CalendarFixture fixture;
        LocalCalendars calendars(fixture.options());
        const QList<LocalCalendar> list = calendars.calendars();
        calendars.occurrences(windowStart, windowEnd, list);
        const int cold = calendars.parseCount();
        QCOMPARE(cold, 15); // every item, the broken one included

        calendars.occurrences(windowStart, windowEnd, list);
        QCOMPARE(calendars.parseCount(), cold);

        // Same size, new content: the modification time tells.
        QByteArray text = fixture.read(QStringLiteral("Home/duration.ics"));
        fixture.write(QStringLiteral("Home/duration.ics"), text.replace("Dentist", "Dentyst"));
        const QList<LocalOccurrence> after = calendars.occurrences(windowStart, windowEnd, list);
        QCOMPARE(calendars.parseCount(), cold + 1);
        QCOMPARE(occurrencesOf(after, QStringLiteral("Dentyst")).size(), 1);
        QVERIFY(occurrencesOf(after, QStringLiteral("Dentist")).isEmpty());

        // A removed item is gone at the next query.
        QFile::remove(fixture.path(QStringLiteral("Home/trip.ics")));
        QVERIFY(occurrencesOf(calendars.occurrences(windowStart, windowEnd, list), QStringLiteral("Trip"))
                    .isEmpty());
        QCOMPARE(calendars.parseCount(), cold + 1);

        // What we write ourselves is cached under the stamp of the file written: no parse at the next query.
        const auto dentist = std::find_if(after.begin(), after.end(), [](const LocalOccurrence& o) {
            return o.title == QStringLiteral("Dentyst");
        });
        QVERIFY(dentist != after.end());
        QVERIFY(calendars.update(*dentist, QStringLiteral("Dentist"), std::nullopt));
        const int written = calendars.parseCount();
        calendars.occurrences(windowStart, windowEnd, list);
        QCOMPARE(calendars.parseCount(), written);
    }
};

QTEST_GUILESS_MAIN(TestLocalCalendars)
#include "tst_localcalendars.moc"
