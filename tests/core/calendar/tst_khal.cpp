// An independent reader agrees with what we write: after a round of edits through our code, khal
// lists the same occurrences over the same folder.

#include "CalendarFixture.h"

#include "core/calendar/LocalCalendars.h"
#include "support/Khal.h"

#include <QHash>
#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");

// With `offsets`, each time with its offset from UTC, which tells the two times of a repeated hour apart.
QString describe(const LocalOccurrence& o, bool offsets = false) {
    // khal names the last day of an all-day event, not the day after it.
    const QString format = o.isAllDay ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm");
    auto text = [&](const QDateTime& local) {
        return local.toString(format) +
               (offsets ? QString::asprintf("%+03d00", local.offsetFromUtc() / 3600) : QString());
    };
    return text(o.start.toTimeZone(berlin)) + u' ' +
           text(o.end.toTimeZone(berlin).addDays(o.isAllDay ? -1 : 0)) + u' ' + o.title.value_or(QString());
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
    // where it takes the second; it reads the items edited there, and places them as we do unless floating.
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
        fixture.writeEvent(QStringLiteral("Changes/floating.ics"),
                           {"UID:floating", "DTSTART:20271030T023000", "DURATION:PT30M",
                            "RRULE:FREQ=DAILY;COUNT=3", "SUMMARY:Floating"});
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
        for (const char* title : {"Overnight", "Floating"}) {
            const auto o = findOccurrence(calendars, title, "2027-10-31T00:30:00Z");
            QVERIFY(o && calendars.update(*o, QLatin1String(title) + QStringLiteral(" (renamed)"), {}));
        }
        const auto moved = findOccurrence(calendars, "Floating", "2027-10-30T00:30:00Z");
        QVERIFY(moved &&
                calendars.update(*moved, {}, {{utc("2027-10-30T08:00:00Z"), utc("2027-10-30T09:00:00Z")}}));
        // Wholly in the first pass of the repeated hour: both ends are written so that they stay there.
        const auto early = findOccurrence(calendars, "Overnight", "2027-11-01T01:30:00Z");
        QVERIFY(early &&
                calendars.update(*early, {}, {{utc("2027-10-31T00:10:00Z"), utc("2027-10-31T00:50:00Z")}}));

        QStringList ours;
        for (const LocalOccurrence& o :
             calendars.occurrences(utc("2027-03-25T00:00:00Z"), utc("2027-11-02T00:00:00Z"), list))
            ours.append(describe(o, true));
        for (const char* edited : {"2027-03-28 03:30+0200 2027-03-28 04:30+0200 Nightly (renamed)",
                                   "2027-10-31 02:30+0200 2027-10-31 02:00+0100 Overnight (renamed)",
                                   "2027-10-31 02:30+0200 2027-10-31 02:00+0100 Floating (renamed)",
                                   "2027-10-30 10:00+0200 2027-10-30 11:00+0200 Floating",
                                   "2027-10-31 02:10+0200 2027-10-31 02:50+0200 Overnight"})
            QVERIFY2(ours.contains(QLatin1String(edited)), edited);
        QStringList theirs;
        for (const QStringList& range :
             {QStringList{"2027-03-25", "2027-03-31"}, QStringList{"2027-10-30", "2027-11-01"}}) {
            const auto listing = Khal::list({list[0].path}, QStringLiteral("Europe/Berlin"), range[0],
                                            range[1], fixture.path(QStringLiteral("..")), true);
            QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
            theirs += listing.lines;
        }
        // khal lists those too, at the second of the repeated 02:30.
        for (const QString& title : {QStringLiteral(" Repeated"), QStringLiteral(" Floating (renamed)")}) {
            auto titled = [&](const QString& line) { return line.endsWith(title); };
            QCOMPARE(theirs.removeIf(titled), ours.removeIf(titled));
        }
        ours.sort();
        theirs.sort();
        QCOMPARE(ours, theirs);
    }
};

QTEST_GUILESS_MAIN(TestKhal)
#include "tst_khal.moc"
