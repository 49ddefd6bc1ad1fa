// An independent reader agrees with what we write: after a round of edits through our code, khal
// lists the same occurrences over the same folder.

#include "CalendarFixture.h"

#include "core/calendar/LocalCalendars.h"
#include "support/Khal.h"

#include <QHash>
#include <QRegularExpression>
#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");

QString describe(const LocalOccurrence& o) {
    // khal names the last day of an all-day event, not the day after it.
    const QString format = o.isAllDay ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm");
    const QDateTime end = o.end.toTimeZone(berlin).addDays(o.isAllDay ? -1 : 0);
    return o.start.toTimeZone(berlin).toString(format) + QLatin1Char(' ') + end.toString(format) +
           QLatin1Char(' ') + o.title.value_or(QString());
}

// As describe(), with each time's offset from UTC, which tells the two times of a repeated hour apart.
QString describeWithOffsets(const LocalOccurrence& o) {
    auto at = [](const QDateTime& instant) {
        const QDateTime local = instant.toTimeZone(berlin);
        return local.toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
               QString::asprintf("%+03d00", local.offsetFromUtc() / 3600);
    };
    return at(o.start) + QLatin1Char(' ') + at(o.end) + QLatin1Char(' ') + o.title.value_or(QString());
}

} // namespace

class TestKhal : public QObject {
    Q_OBJECT

private slots:
    void khalListsWhatWeWrote() {
        CalendarFixture fixture;
        // Items khal 0.10 cannot read at all (a PERIOD RDATE, a prefixed zone name, a broken file).
        for (const char* item :
             {"Home/garbage.ics", "Home/rdate.ics", "work@example.com/work/prefixed-zone.ics"})
            QVERIFY(QFile::remove(fixture.path(QString::fromLatin1(item))));
        LocalCalendars calendars(fixture.options(berlin));
        const QList<LocalCalendar> list = calendars.calendars();

        // Neither a title nor a slot: the occurrence is removed.
        using Slot = LocalCalendars::Slot;
        auto change = [&](const char* title, const char* start, std::optional<QString> to,
                          std::optional<Slot> slot) {
            std::optional<LocalOccurrence> o = findOccurrence(calendars, title, start);
            QVERIFY2(o, title);
            QVERIFY(to || slot ? bool(calendars.update(*o, to, slot)) : calendars.remove(*o));
        };
        change("Weekly planning", "2024-04-08T07:00:00Z", QStringLiteral("Quarterly planning"), {});
        change("Standup", "2024-04-02T08:00:00Z", {},
               Slot{utc("2024-04-02T14:00:00Z"), utc("2024-04-02T14:30:00Z")});
        change("Standup", "2024-04-10T08:00:00Z", {}, {});
        change("Standup (moved in)", "2024-04-12T13:00:00Z", {}, {});
        change("Trip", "2024-04-09T22:00:00Z", {},
               Slot{utc("2024-04-10T07:00:00Z"), utc("2024-04-10T08:00:00Z")});
        change("Dentist", "2024-04-02T12:00:00Z", {},
               Slot{utc("2024-04-02T22:00:00Z"), utc("2024-04-03T22:00:00Z"), true});
        // The series defined in a Windows zone gets its exception and its override in that zone.
        change("Design review", "2024-04-02T09:00:00Z", {}, {});
        change("Design review", "2024-04-09T09:00:00Z", QStringLiteral("Design review (short)"), {});
        change("Design review (short)", "2024-04-09T09:00:00Z", {},
               Slot{utc("2024-04-09T09:00:00Z"), utc("2024-04-09T09:30:00Z")});
        calendars.create(list[0], QStringLiteral("Lunch"),
                         {utc("2024-04-05T10:30:00Z"), utc("2024-04-05T11:30:00Z"), false});
        calendars.create(list[0], QStringLiteral("Holiday"),
                         {utc("2024-04-05T22:00:00Z"), utc("2024-04-07T22:00:00Z"), true});
        // Across the autumn change: written on one side, read back on the other.
        calendars.create(list[1], QStringLiteral("Late"),
                         {utc("2024-10-26T22:00:00Z"), utc("2024-10-27T02:00:00Z"), false});

        QStringList ours;
        const QDateTime from(QDate(2024, 3, 25), QTime(0, 0), berlin);
        const QDateTime to(QDate(2024, 4, 15), QTime(0, 0), berlin);
        for (const LocalOccurrence& o : calendars.occurrences(from, to, list))
            ours.append(describe(o));
        for (const LocalOccurrence& o :
             calendars.occurrences(utc("2024-10-26T00:00:00Z"), utc("2024-10-28T00:00:00Z"), list))
            ours.append(describe(o));

        QStringList theirs;
        for (const QStringList& range :
             {QStringList{"2024-03-25", "2024-04-14"}, QStringList{"2024-10-26", "2024-10-27"}}) {
            const Khal::Listing listing =
                Khal::list({list[0].path, list[1].path}, QStringLiteral("Europe/Berlin"), range[0], range[1],
                           fixture.path(QStringLiteral("..")));
            QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
            QVERIFY2(!listing.diagnostics.contains(QLatin1String("Skipping")),
                     qPrintable(listing.diagnostics));
            theirs += listing.lines; // a multi-day event is listed on each of its days
        }
        ours.removeDuplicates();
        theirs.removeDuplicates();
        ours.sort();
        theirs.sort();
        QCOMPARE(ours, theirs);
        QVERIFY(ours.contains(QStringLiteral("2024-10-27 00:00 2024-10-27 03:00 Late")));
    }

    // A rule's lists are sets, as the standard reads them: neither a value named twice nor the order
    // changes the starts. Weeks by number, which libical gets wrong around the new year, and weekly
    // positions, which libical ignores, are stepped as khal steps them.
    void rulesWithRepeatsAndWeekNumbersAsKhalReadsThem() {
        const struct {
            const char* title;
            const char* start;
            const char* rule;
            int count;
        } items[] = {
            {"Hour twice", "DTSTART:20251020T090000", "FREQ=DAILY;COUNT=5;BYHOUR=9,9", 5},
            {"Days twice", "DTSTART;VALUE=DATE:20251020", "FREQ=WEEKLY;COUNT=3;BYDAY=MO,MO,TU,TU", 3},
            {"Month days twice", "DTSTART:20251101T100000", "FREQ=MONTHLY;COUNT=4;BYMONTHDAY=1,15,1", 4},
            {"Months twice", "DTSTART:20251103T080000", "FREQ=YEARLY;COUNT=3;BYMONTH=11,11,12;BYDAY=1MO", 3},
            {"Minutes twice", "DTSTART:20251020T080000", "FREQ=HOURLY;COUNT=4;BYMINUTE=0,30,0", 4},
            {"Hours late first", "DTSTART:20251020T090000", "FREQ=WEEKLY;COUNT=4;BYDAY=WE,MO;BYHOUR=17,9", 4},
            {"Week one", "DTSTART:20241230T100000", "FREQ=YEARLY;COUNT=6;BYWEEKNO=1;BYDAY=MO,WE,SU", 6},
            {"Last week", "DTSTART:20251226T100000", "FREQ=YEARLY;COUNT=2;BYWEEKNO=-1;BYDAY=FR", 2},
            {"Sunday weeks", "DTSTART:20250105T100000",
             "FREQ=YEARLY;COUNT=4;BYWEEKNO=2,-2;BYDAY=SU,SA;WKST=SU", 4},
            {"Mixed signs", "DTSTART:20251020T100000", "FREQ=YEARLY;COUNT=3;BYWEEKNO=43,-35;BYDAY=MO", 3},
            {"First of three days", "DTSTART:20261207T090000",
             "FREQ=WEEKLY;UNTIL=20261231T235959Z;BYDAY=MO,WE,FR;BYSETPOS=1", 4},
            {"Last workday", "DTSTART:20261211T090000",
             "FREQ=WEEKLY;COUNT=4;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", 4},
            {"Weeks from Thursday", "DTSTART;VALUE=DATE:20261205",
             "FREQ=WEEKLY;COUNT=3;BYDAY=WE,SA;BYSETPOS=1;WKST=TH", 3},
            {"Days and hours", "DTSTART:20261208T170000",
             "FREQ=WEEKLY;COUNT=5;BYDAY=TU,TH;BYHOUR=9,17;BYSETPOS=2,-1", 5},
            {"New year's week", "DTSTART:20270101T090000",
             "FREQ=WEEKLY;COUNT=7;BYDAY=MO,FR;BYMONTH=1;BYSETPOS=1", 5},
        };
        CalendarFixture fixture = CalendarFixture::empty();
        QDir().mkpath(fixture.path(QStringLiteral("Rules")));
        int n = 0;
        for (const auto& item : items) {
            ++n;
            fixture.writeEvent(QStringLiteral("Rules/%1.ics").arg(n),
                               {QStringLiteral("UID:rule-%1").arg(n), QString::fromLatin1(item.start),
                                QString::fromLatin1(item.start).contains(QLatin1String("DATE:"))
                                    ? QStringLiteral("DURATION:P1D")
                                    : QStringLiteral("DURATION:PT30M"),
                                QStringLiteral("RRULE:") + QLatin1String(item.rule),
                                QStringLiteral("SUMMARY:") + QLatin1String(item.title)});
        }
        LocalCalendars calendars(fixture.options(berlin));
        QStringList ours;
        QHash<QString, int> counts;
        for (const LocalOccurrence& o : calendars.occurrences(
                 utc("2024-11-30T00:00:00Z"), utc("2027-02-01T00:00:00Z"), calendars.calendars())) {
            ours.append(describe(o));
            ++counts[o.title.value_or(QString())];
        }
        for (const auto& item : items)
            QVERIFY2(counts.value(QLatin1String(item.title)) == item.count, item.title);
        QVERIFY(calendars.partlyReadItems(calendars.calendars()).isEmpty());

        const Khal::Listing listing = Khal::list(
            {fixture.path(QStringLiteral("Rules"))}, QStringLiteral("Europe/Berlin"),
            QStringLiteral("2024-11-30"), QStringLiteral("2027-01-31"), fixture.path(QStringLiteral("..")));
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QStringList theirs = listing.lines;
        ours.sort();
        theirs.sort();
        QCOMPARE(ours, theirs);
    }

    // A time the clock skips in spring is read with the offset before the change (02:30 is 03:30
    // summer time), one it repeats in autumn is the first of the two; so for single events and for
    // every occurrence of a rule, and so they are written. khal agrees, but for the repeated hour,
    // where it takes the second.
    void timesInAClockChange() {
        CalendarFixture fixture = CalendarFixture::empty();
        const QString zoned = QStringLiteral("DTSTART;TZID=Europe/Berlin:");
        fixture.writeEvent(QStringLiteral("Changes/gap.ics"),
                           {"UID:gap", zoned + "20270328T023000", "DURATION:PT30M", "SUMMARY:Gap"});
        fixture.writeEvent(QStringLiteral("Changes/nightly.ics"),
                           {"UID:nightly", zoned + "20270326T023000",
                            "DTEND;TZID=Europe/Berlin:20270326T033000", "RRULE:FREQ=DAILY;COUNT=4",
                            "SUMMARY:Nightly"});
        fixture.writeEvent(QStringLiteral("Changes/repeated.ics"),
                           {"UID:repeated", zoned + "20271031T023000", "DURATION:PT30M", "SUMMARY:Repeated"});
        fixture.writeEvent(QStringLiteral("Changes/overnight.ics"),
                           {"UID:overnight", zoned + "20271030T023000", "DURATION:PT30M",
                            "RRULE:FREQ=DAILY;COUNT=3", "SUMMARY:Overnight"});
        LocalCalendars calendars(fixture.options(berlin));
        const QList<LocalCalendar> list = calendars.calendars();
        auto startOf = [&](const char* title, const char* day) {
            for (const LocalOccurrence& o : calendars.occurrences(utc(day), utc(day).addDays(1), list)) {
                if (o.title == QLatin1String(title))
                    return o.start.toString(Qt::ISODate) + QLatin1Char(' ') + o.end.toString(Qt::ISODate);
            }
            return QString();
        };
        QCOMPARE(startOf("Gap", "2027-03-28T00:00:00Z"), "2027-03-28T01:30:00Z 2027-03-28T02:00:00Z");
        QCOMPARE(startOf("Nightly", "2027-03-28T00:00:00Z"), "2027-03-28T01:30:00Z 2027-03-28T02:30:00Z");
        QCOMPARE(startOf("Repeated", "2027-10-31T00:00:00Z"), "2027-10-31T00:30:00Z 2027-10-31T01:00:00Z");
        QCOMPARE(startOf("Overnight", "2027-10-31T00:00:00Z"), "2027-10-31T00:30:00Z 2027-10-31T01:00:00Z");

        // Renaming the occurrence in the gap writes its start as the time it stands for; the second
        // 02:30 is written so that it stays the second.
        const std::optional<LocalOccurrence> night =
            findOccurrence(calendars, "Nightly", "2027-03-28T01:30:00Z");
        QVERIFY(night && calendars.update(*night, QStringLiteral("Nightly (renamed)"), {}));
        const QByteArray renamed = fixture.read(QStringLiteral("Changes/nightly.ics"));
        QVERIFY(renamed.contains("\r\nDTSTART;TZID=Europe/Berlin:20270328T033000\r\n"));
        QVERIFY(renamed.contains("\r\nRECURRENCE-ID;TZID=Europe/Berlin:20270328T023000\r\n"));
        const LocalOccurrence second =
            calendars.create(list[0], QStringLiteral("Second"),
                             {utc("2027-10-31T01:30:00Z"), utc("2027-10-31T02:00:00Z"), false});
        QCOMPARE(second.start, utc("2027-10-31T01:30:00Z"));
        QCOMPARE(startOf("Second", "2027-10-31T00:00:00Z"), "2027-10-31T01:30:00Z 2027-10-31T02:00:00Z");

        QStringList ours;
        for (const LocalOccurrence& o :
             calendars.occurrences(utc("2027-03-25T00:00:00Z"), utc("2027-11-02T00:00:00Z"), list)) {
            if (o.title != QLatin1String("Repeated") && o.title != QLatin1String("Overnight"))
                ours.append(describe(o));
        }
        QStringList theirs;
        for (const QStringList& range :
             {QStringList{"2027-03-25", "2027-03-31"}, QStringList{"2027-10-30", "2027-11-01"}}) {
            const Khal::Listing listing = Khal::list({list[0].path}, QStringLiteral("Europe/Berlin"),
                                                     range[0], range[1], fixture.path(QStringLiteral("..")));
            QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
            theirs += listing.lines.filter(QRegularExpression(QStringLiteral("(?<!Repeated|Overnight)$")));
        }
        ours.sort();
        theirs.sort();
        QCOMPARE(ours, theirs);
        QVERIFY(ours.contains(QStringLiteral("2027-03-28 03:30 2027-03-28 04:30 Nightly (renamed)")));
    }

    // An occurrence of a nightly series renamed or moved in a night the clocks change: we read it back
    // where we put it, and khal still reads the item and places every occurrence where we do. But for
    // a floating time in the repeated hour, which khal takes as the second instant and no floating
    // override can name otherwise: a renamed one stays where khal had it (`khalAsBefore`).
    void editsInAClockChange_data() {
        QTest::addColumn<QString>("start"); // the series' DTSTART
        QTest::addColumn<QString>("end");
        QTest::addColumn<QDateTime>("at"); // the occurrence edited
        QTest::addColumn<QDateTime>("to"); // where it moves; invalid: renamed only
        QTest::addColumn<QDateTime>("until");
        QTest::addColumn<bool>("khalAsBefore");
        const QString zoned = QStringLiteral("DTSTART;TZID=Europe/Berlin:20261020T023000");
        const QString own = QStringLiteral("DTSTART;TZID=W. Europe Standard Time:20261020T023000");
        const QString floating = QStringLiteral("DTSTART:20261020T023000");
        const QString halfHour = QStringLiteral("DURATION:PT30M");
        const QDateTime first = utc("2026-10-25T00:30:00Z");   // 02:30 summer time, before the change back
        const QDateTime skipped = utc("2027-03-28T01:30:00Z"); // 02:30 winter time, there 03:30
        const QDateTime none;
        QTest::newRow("zone, repeated, duration") << zoned << halfHour << first << none << none << false;
        QTest::newRow("zone, moved into the first of the repeated hours")
            << zoned << "DTEND;TZID=Europe/Berlin:20261020T030000" << first << utc("2026-10-25T00:00:00Z")
            << utc("2026-10-25T00:45:00Z") << false;
        QTest::newRow("zone, moved across the repeated hours")
            << zoned << halfHour << first << utc("2026-10-25T00:15:00Z") << utc("2026-10-25T01:45:00Z")
            << false;
        QTest::newRow("own zone, repeated start, plain end")
            << own << "DTEND;TZID=W. Europe Standard Time:20261020T040000" << first << none << none << false;
        QTest::newRow("floating, repeated, duration")
            << floating << halfHour << first << none << none << true;
        QTest::newRow("floating, repeated, end")
            << floating << "DTEND:20261020T030000" << first << none << none << true;
        QTest::newRow("floating, moved from the repeated hour")
            << floating << halfHour << first << utc("2026-10-25T02:30:00Z") << utc("2026-10-25T03:00:00Z")
            << false;
        QTest::newRow("zone, skipped, duration")
            << "DTSTART;TZID=Europe/Berlin:20270324T023000" << halfHour << skipped << none << none << false;
        QTest::newRow("floating, moved across the skipped hour")
            << "DTSTART:20270324T023000" << halfHour << skipped << utc("2027-03-28T00:30:00Z")
            << utc("2027-03-28T01:30:00Z") << false;
    }

    void editsInAClockChange() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QDateTime, at);
        QFETCH(QDateTime, to);
        QFETCH(QDateTime, until);
        QFETCH(bool, khalAsBefore);
        CalendarFixture fixture = CalendarFixture::empty();
        QByteArray text = CalendarFixture::calendarObject(
            {{"UID:nightly", start, end, "RRULE:FREQ=DAILY;COUNT=10", "SUMMARY:Nightly"}});
        if (start.contains(QLatin1String("W. Europe"))) {
            // The zone as Outlook defines it.
            const QByteArray outlook =
                CalendarFixture().read(QStringLiteral("work@example.com/work/outlook.ics"));
            const qsizetype from = outlook.indexOf("BEGIN:VTIMEZONE");
            text.replace("BEGIN:VEVENT",
                         outlook.mid(from, outlook.indexOf("BEGIN:VEVENT") - from) + "BEGIN:VEVENT");
        }
        QVERIFY(QDir().mkpath(fixture.path(QStringLiteral("Nightly"))));
        fixture.write(QStringLiteral("Nightly/nightly.ics"), text);
        auto khal = [&](const QString& workFolder) {
            auto day = [](const QDateTime& instant) {
                return instant.toTimeZone(berlin).date().toString(Qt::ISODate);
            };
            QDir().mkpath(workFolder);
            Khal::Listing listing =
                Khal::list({fixture.path(QStringLiteral("Nightly"))}, QStringLiteral("Europe/Berlin"),
                           day(at.addDays(-7)), day(at.addDays(7)), workFolder, true);
            listing.lines.sort();
            return listing;
        };
        const Khal::Listing before = khal(fixture.path(QStringLiteral("../before")));
        QVERIFY2(before.ran, qPrintable(before.diagnostics));

        QDateTime wantStart = to;
        QDateTime wantEnd = until;
        {
            LocalCalendars calendars(fixture.options(berlin));
            const std::optional<LocalOccurrence> o =
                findOccurrence(calendars, "Nightly", at.toString(Qt::ISODate));
            QVERIFY(o);
            const std::optional<LocalCalendars::Slot> slot =
                to.isValid() ? std::optional(LocalCalendars::Slot{to, until}) : std::nullopt;
            QVERIFY(calendars.update(*o, QStringLiteral("Nightly (changed)"), slot));
            if (!to.isValid()) {
                wantStart = o->start;
                wantEnd = o->end;
            }
        }

        LocalCalendars calendars(fixture.options(berlin));
        QStringList ours;
        for (const LocalOccurrence& o :
             calendars.occurrences(at.addDays(-7), at.addDays(7), calendars.calendars())) {
            if (o.title == QLatin1String("Nightly (changed)")) {
                QCOMPARE(o.start, wantStart);
                QCOMPARE(o.end, wantEnd);
            }
            ours.append(describeWithOffsets(o));
        }
        QCOMPARE(ours.size(), 10);
        QCOMPARE(ours.filter(QStringLiteral("(changed)")).size(), 1);
        ours.sort();

        const Khal::Listing after = khal(fixture.path(QStringLiteral("..")));
        QVERIFY2(after.ran, qPrintable(after.diagnostics));
        if (khalAsBefore) {
            QCOMPARE(after.lines.filter(QStringLiteral("(changed)")).size(), 1);
            QCOMPARE(QStringList(after.lines).replaceInStrings(QStringLiteral(" (changed)"), QString()),
                     before.lines);
        } else {
            QCOMPARE(after.lines, ours);
        }
    }
};

QTEST_GUILESS_MAIN(TestKhal)
#include "tst_khal.moc"
