// Changing one occurrence at a time in the vdir items, and what the items look like afterwards.

#include "CalendarFixture.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ItemFile.h"
#include "core/calendar/LocalCalendars.h"

#include <QFile>
#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");
const QDateTime stamp = utc("2024-05-01T12:00:00Z");

LocalCalendars::Options optionsFor(const CalendarFixture& fixture) {
    LocalCalendars::Options o = fixture.options(berlin);
    o.clock = [] { return stamp; };
    return o;
}

std::optional<LocalOccurrence> find(LocalCalendars& calendars, const QString& title, const QDateTime& start) {
    for (const LocalOccurrence& o :
         calendars.occurrences(start.addDays(-1), start.addDays(1), calendars.calendars())) {
        if (o.title == title && o.start == start)
            return o;
    }
    return std::nullopt;
}

QStringList startsOf(LocalCalendars& calendars, const QString& uid, const QDateTime& from,
                     const QDateTime& to) {
    QStringList out;
    for (const LocalOccurrence& o : calendars.occurrences(from, to, calendars.calendars())) {
        if (o.uid == uid)
            out.append(o.start.toString(Qt::ISODate) + QLatin1Char(' ') + o.title.value_or(QString()));
    }
    return out;
}

// The content lines of the item's VEVENTs, one list per component, in order.
QList<QStringList> components(const QByteArray& text) {
    QList<QStringList> out;
    QStringList current;
    bool inside = false;
    const QString unfolded = QString::fromUtf8(text).replace(QLatin1String("\r\n "), QString());
    for (const QString& line : unfolded.split(QStringLiteral("\r\n"))) {
        if (line == QLatin1String("BEGIN:VEVENT")) {
            inside = true;
            current.clear();
        } else if (line == QLatin1String("END:VEVENT")) {
            inside = false;
            out.append(current);
        } else if (inside) {
            current.append(line);
        }
    }
    return out;
}

QString lineOf(const QStringList& component, const QString& name) {
    for (const QString& line : component) {
        if (line.startsWith(name + QLatin1Char(':')) || line.startsWith(name + QLatin1Char(';')))
            return line;
    }
    return {};
}

} // namespace

class TestLocalCalendarWrites : public QObject {
    Q_OBJECT

private slots:
    void retitleOneOccurrence();
    void moveOneOccurrence();
    void deleteOneOccurrenceWithItsOverride();
    void unchangedWritesNothing_data();
    void unchangedWritesNothing();
    void slotForms_data();
    void slotForms();
    void singleEventsAndSharedItems();
    void modeIsKept();
    void changesMadeMeanwhile();
    void staleStampIsRefused();
    void unreadablePartsAreNotWrittenBack();
    void createEvents();
};

void TestLocalCalendarWrites::retitleOneOccurrence() {
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    const QDateTime april8 = utc("2024-04-08T07:00:00Z");
    std::optional<LocalOccurrence> target = find(calendars, QStringLiteral("Weekly planning"), april8);
    QVERIFY(target);

    std::optional<LocalOccurrence> updated =
        calendars.update(*target, QStringLiteral("Quarterly planning"), {});
    QVERIFY(updated);
    QCOMPARE(updated->title, QStringLiteral("Quarterly planning"));
    QVERIFY(updated->isDetached);
    QCOMPARE(updated->occurrenceDate, april8);
    QCOMPARE(startsOf(calendars, QStringLiteral("weekly-dst@fixtures"), utc("2024-04-01T00:00:00Z"),
                      utc("2024-04-16T00:00:00Z")),
             (QStringList{"2024-04-01T07:00:00Z Weekly planning", "2024-04-08T07:00:00Z Quarterly planning",
                          "2024-04-15T07:00:00Z Weekly planning"}));

    // The override names its instance in the master's own form and carries fresh change stamps.
    QList<QStringList> events = components(fixture.read(QStringLiteral("Home/weekly-dst.ics")));
    QCOMPARE(events.size(), 2);
    QCOMPARE(lineOf(events[1], QStringLiteral("RECURRENCE-ID")),
             QStringLiteral("RECURRENCE-ID;TZID=Europe/Berlin:20240408T090000"));
    QCOMPARE(lineOf(events[1], QStringLiteral("DTSTAMP")), QStringLiteral("DTSTAMP:20240501T120000Z"));
    QCOMPARE(lineOf(events[1], QStringLiteral("LAST-MODIFIED")),
             QStringLiteral("LAST-MODIFIED:20240501T120000Z"));
    QCOMPARE(lineOf(events[1], QStringLiteral("SEQUENCE")), QStringLiteral("SEQUENCE:1"));
    QVERIFY(lineOf(events[1], QStringLiteral("RRULE")).isEmpty());
    QVERIFY(!lineOf(events[0], QStringLiteral("RRULE")).isEmpty());

    // A second edit of the same occurrence changes that override, not a new one.
    updated = calendars.update(*updated, QStringLiteral("Planning, again"), {});
    QVERIFY(updated);
    events = components(fixture.read(QStringLiteral("Home/weekly-dst.ics")));
    QCOMPARE(events.size(), 2);
    QCOMPARE(lineOf(events[1], QStringLiteral("SUMMARY")), QStringLiteral("SUMMARY:Planning\\, again"));
    QCOMPARE(lineOf(events[1], QStringLiteral("SEQUENCE")), QStringLiteral("SEQUENCE:2"));
}

void TestLocalCalendarWrites::moveOneOccurrence() {
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    const QDateTime april2 = utc("2024-04-02T08:00:00Z");
    std::optional<LocalOccurrence> target = find(calendars, QStringLiteral("Standup"), april2);
    QVERIFY(target);

    const LocalCalendars::Slot later{utc("2024-04-02T14:00:00Z"), utc("2024-04-02T14:30:00Z"), false};
    std::optional<LocalOccurrence> moved = calendars.update(*target, {}, later);
    QVERIFY(moved);
    QCOMPARE(moved->start, later.start);
    QCOMPARE(moved->end, later.end);
    QCOMPARE(moved->occurrenceDate, april2);
    QCOMPARE(startsOf(calendars, QStringLiteral("standup@fixtures"), utc("2024-04-01T00:00:00Z"),
                      utc("2024-04-03T00:00:00Z")),
             (QStringList{"2024-04-01T08:00:00Z Standup", "2024-04-02T14:00:00Z Standup"}));

    // Found again by its original start, wherever it went.
    std::optional<LocalOccurrence> again = calendars.update(*moved, QStringLiteral("Late standup"), {});
    QVERIFY(again);
    QCOMPARE(again->start, later.start);
    QCOMPARE(again->title, QStringLiteral("Late standup"));
}

void TestLocalCalendarWrites::deleteOneOccurrenceWithItsOverride() {
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    // The instance of 18 April was moved to 12 April 15:00 Berlin by an override.
    std::optional<LocalOccurrence> movedIn =
        find(calendars, QStringLiteral("Standup (moved in)"), utc("2024-04-12T13:00:00Z"));
    QVERIFY(movedIn);
    QVERIFY(calendars.remove(*movedIn));
    std::optional<LocalOccurrence> plain =
        find(calendars, QStringLiteral("Standup"), utc("2024-04-10T08:00:00Z"));
    QVERIFY(plain);
    QVERIFY(calendars.remove(*plain));

    const QStringList left = startsOf(calendars, QStringLiteral("standup@fixtures"),
                                      utc("2024-04-09T00:00:00Z"), utc("2024-04-21T00:00:00Z"));
    QCOMPARE(left, (QStringList{"2024-04-09T08:00:00Z Standup", "2024-04-11T08:00:00Z Standup",
                                "2024-04-12T08:00:00Z Standup", "2024-04-13T08:00:00Z Standup",
                                "2024-04-14T08:00:00Z Standup", "2024-04-15T08:00:00Z Standup",
                                "2024-04-16T08:00:00Z Standup", "2024-04-16T08:00:00Z Standup (moved out)",
                                "2024-04-17T08:00:00Z Standup", "2024-04-19T08:00:00Z Standup",
                                "2024-04-20T08:00:00Z Standup"}));

    const QList<QStringList> events = components(fixture.read(QStringLiteral("Home/standup.ics")));
    QCOMPARE(events.size(), 3); // the moved-in override is gone with its instance
    QVERIFY(events[0].contains(QStringLiteral("EXDATE;TZID=Europe/Berlin:20240418T100000")));
    QVERIFY(events[0].contains(QStringLiteral("EXDATE;TZID=Europe/Berlin:20240410T100000")));
    // A deleted occurrence cannot be deleted twice.
    QVERIFY(!calendars.remove(*plain));
}

void TestLocalCalendarWrites::unchangedWritesNothing_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("withTitle");
    QTest::addColumn<int>("shiftMs");
    QTest::addColumn<bool>("withSlot");
    QTest::newRow("same title") << "Dentist" << true << 0 << false;
    QTest::newRow("same slot") << QString() << false << 0 << true;
    QTest::newRow("same title and slot") << "Dentist" << true << 0 << true;
    QTest::newRow("moved by less than a second") << QString() << false << 900 << true;
    QTest::newRow("nothing given") << QString() << false << 0 << false;
}

void TestLocalCalendarWrites::unchangedWritesNothing() {
    QFETCH(QString, title);
    QFETCH(bool, withTitle);
    QFETCH(int, shiftMs);
    QFETCH(bool, withSlot);
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> target =
        find(calendars, QStringLiteral("Dentist"), utc("2024-04-02T12:00:00Z"));
    QVERIFY(target);
    const QString path = fixture.path(QStringLiteral("Home/duration.ics"));
    const std::optional<FileStamp> before = ItemFile::stamp(path);
    const QByteArray content = fixture.read(QStringLiteral("Home/duration.ics"));

    std::optional<QString> newTitle;
    if (withTitle)
        newTitle = title;
    std::optional<LocalCalendars::Slot> slot;
    if (withSlot)
        slot = LocalCalendars::Slot{target->start.addMSecs(shiftMs), target->end.addMSecs(shiftMs), false};
    std::optional<LocalOccurrence> result = calendars.update(*target, newTitle, slot);
    QVERIFY(result);
    QCOMPARE(result->start, target->start);
    QCOMPARE(result->title, target->title);
    QCOMPARE(ItemFile::stamp(path), before);
    QCOMPARE(fixture.read(QStringLiteral("Home/duration.ics")), content);
}

void TestLocalCalendarWrites::slotForms_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("newStart");
    QTest::addColumn<QDateTime>("newEnd");
    QTest::addColumn<bool>("allDay");
    QTest::addColumn<QString>("dtstart");
    QTest::addColumn<QString>("dtend");

    QTest::newRow("all-day to timed is written with the user's zone")
        << "Home/trip.ics"
        << "Trip" << utc("2024-04-09T22:00:00Z") << utc("2024-04-10T07:00:00Z") << utc("2024-04-10T08:00:00Z")
        << false << "DTSTART;TZID=Europe/Berlin:20240410T090000"
        << "DTEND;TZID=Europe/Berlin:20240410T100000";
    QTest::newRow("floating to timed gains a zone")
        << "Home/floating.ics"
        << "Call home" << utc("2024-04-09T12:00:00Z") << utc("2024-04-09T13:00:00Z")
        << utc("2024-04-09T14:00:00Z") << false << "DTSTART;TZID=Europe/Berlin:20240409T150000"
        << "DTEND;TZID=Europe/Berlin:20240409T160000";
    QTest::newRow("timed to all day, ending at the next midnight")
        << "Home/duration.ics"
        << "Dentist" << utc("2024-04-02T12:00:00Z") << utc("2024-04-02T22:00:00Z")
        << utc("2024-04-04T22:00:00Z") << true << "DTSTART;VALUE=DATE:20240403"
        << "DTEND;VALUE=DATE:20240405";
    QTest::newRow("all day ending at 23:59:59 of its last day")
        << "Home/duration.ics"
        << "Dentist" << utc("2024-04-02T12:00:00Z") << utc("2024-04-02T22:00:00Z")
        << utc("2024-04-03T21:59:59Z") << true << "DTSTART;VALUE=DATE:20240403"
        << "DTEND;VALUE=DATE:20240404";
}

void TestLocalCalendarWrites::slotForms() {
    QFETCH(QString, item);
    QFETCH(QString, title);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, newStart);
    QFETCH(QDateTime, newEnd);
    QFETCH(bool, allDay);
    QFETCH(QString, dtstart);
    QFETCH(QString, dtend);
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> target = find(calendars, title, start);
    QVERIFY(target);
    std::optional<LocalOccurrence> moved =
        calendars.update(*target, {}, LocalCalendars::Slot{newStart, newEnd, allDay});
    QVERIFY(moved);
    QCOMPARE(moved->isAllDay, allDay);
    QCOMPARE(moved->start, newStart);

    const QByteArray text = fixture.read(item);
    const QList<QStringList> events = components(text);
    QCOMPARE(events.size(), 1);
    QCOMPARE(lineOf(events[0], QStringLiteral("DTSTART")), dtstart);
    QCOMPARE(lineOf(events[0], QStringLiteral("DTEND")), dtend);
    QVERIFY(lineOf(events[0], QStringLiteral("DURATION")).isEmpty());
    if (!allDay)
        QVERIFY(text.contains("BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"));
}

void TestLocalCalendarWrites::singleEventsAndSharedItems() {
    CalendarFixture fixture;
    fixture.write(
        QStringLiteral("Home/pair.ics"),
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\n"
        "BEGIN:VEVENT\r\nUID:one\r\nDTSTART:20240402T100000Z\r\nSUMMARY:One\r\nX-KEEP:me\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:two\r\nDTSTART:20240402T110000Z\r\nSUMMARY:Two\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n");
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> one = find(calendars, QStringLiteral("One"), utc("2024-04-02T10:00:00Z"));
    QVERIFY(one);
    // A non-repeating event is changed in place, its other properties kept.
    one = calendars.update(*one, QStringLiteral("One, renamed"), {});
    QVERIFY(one && !one->isDetached);
    QList<QStringList> events = components(fixture.read(QStringLiteral("Home/pair.ics")));
    QCOMPARE(events.size(), 2);
    QVERIFY(events[0].contains(QStringLiteral("X-KEEP:me")));
    QVERIFY(lineOf(events[0], QStringLiteral("RECURRENCE-ID")).isEmpty());

    // Deleting it keeps the other event of the item; deleting that one removes the item.
    QVERIFY(calendars.remove(*one));
    events = components(fixture.read(QStringLiteral("Home/pair.ics")));
    QCOMPARE(events.size(), 1);
    QCOMPARE(lineOf(events[0], QStringLiteral("UID")), QStringLiteral("UID:two"));
    std::optional<LocalOccurrence> two = find(calendars, QStringLiteral("Two"), utc("2024-04-02T11:00:00Z"));
    QVERIFY(two);
    QVERIFY(calendars.remove(*two));
    QVERIFY(!QFile::exists(fixture.path(QStringLiteral("Home/pair.ics"))));
}

void TestLocalCalendarWrites::modeIsKept() {
    CalendarFixture fixture;
    const QString path = fixture.path(QStringLiteral("Home/duration.ics"));
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, mode));
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> target =
        find(calendars, QStringLiteral("Dentist"), utc("2024-04-02T12:00:00Z"));
    QVERIFY(calendars.update(*target, QStringLiteral("Orthodontist"), {}));
    QVERIFY(fixture.read(QStringLiteral("Home/duration.ics")).contains("SUMMARY:Orthodontist"));
    QCOMPARE(QFile::permissions(path) &
                 ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             mode);
}

void TestLocalCalendarWrites::changesMadeMeanwhile() {
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> target =
        find(calendars, QStringLiteral("Dentist"), utc("2024-04-02T12:00:00Z"));
    QVERIFY(target);

    // A sync rewrites the item after we read it: the change is made on the new content.
    QByteArray synced = fixture.read(QStringLiteral("Home/duration.ics"));
    synced.replace("LOCATION:", "DESCRIPTION:Bring the card\r\nLOCATION:");
    fixture.write(QStringLiteral("Home/duration.ics"), synced);
    std::optional<LocalOccurrence> updated = calendars.update(*target, QStringLiteral("Dentist at 2"), {});
    QVERIFY(updated);
    QCOMPARE(updated->notes, QStringLiteral("Bring the card"));
    QCOMPARE(updated->title, QStringLiteral("Dentist at 2"));

    // An occurrence deleted elsewhere is gone, for edits and deletes alike.
    std::optional<LocalOccurrence> standup =
        find(calendars, QStringLiteral("Standup"), utc("2024-04-04T08:00:00Z"));
    QVERIFY(standup);
    QByteArray text = fixture.read(QStringLiteral("Home/standup.ics"));
    text.replace("EXDATE;TZID=Europe/Berlin:20240403T100000",
                 "EXDATE;TZID=Europe/Berlin:20240403T100000,20240404T100000");
    fixture.write(QStringLiteral("Home/standup.ics"), text);
    QVERIFY(!calendars.update(*standup, QStringLiteral("Ghost"), {}));
    QVERIFY(!calendars.remove(*standup));
    QFile::remove(fixture.path(QStringLiteral("Home/duration.ics")));
    QVERIFY(!calendars.update(*updated, QStringLiteral("Ghost"), {}));
}

void TestLocalCalendarWrites::staleStampIsRefused() {
    CalendarFixture fixture;
    const QString path = fixture.path(QStringLiteral("Home/trip.ics"));
    const std::optional<ItemFile::Contents> read = ItemFile::read(path);
    QVERIFY(read);
    // Another program replaces the item between our read and our write.
    fixture.write(QStringLiteral("Home/trip.ics"), read->bytes + "\r\n");
    QCOMPARE(ItemFile::write(path, "ours", read->stamp), ItemFile::Outcome::changedMeanwhile);
    QCOMPARE(ItemFile::remove(path, read->stamp), ItemFile::Outcome::changedMeanwhile);
    QCOMPARE(fixture.read(QStringLiteral("Home/trip.ics")), read->bytes + "\r\n");
    // A new item never replaces one that appeared meanwhile.
    QCOMPARE(ItemFile::write(path, "ours", std::nullopt), ItemFile::Outcome::changedMeanwhile);
    QCOMPARE(QDir(fixture.path(QStringLiteral("Home")))
                 .entryList(QDir::Files | QDir::Hidden)
                 .filter("trip")
                 .size(),
             1);
}

void TestLocalCalendarWrites::unreadablePartsAreNotWrittenBack() {
    CalendarFixture fixture;
    fixture.writeEvent(QStringLiteral("Home/odd.ics"),
                       {"UID:odd", "DTSTART:20240402T100000Z", "SUMMARY:Odd", "DUE:not-a-time"});
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> odd = find(calendars, QStringLiteral("Odd"), utc("2024-04-02T10:00:00Z"));
    QVERIFY(odd);
    const QByteArray before = fixture.read(QStringLiteral("Home/odd.ics"));
    QVERIFY_THROWS_EXCEPTION(CalendarFileError, calendars.update(*odd, QStringLiteral("Even"), {}));
    QCOMPARE(fixture.read(QStringLiteral("Home/odd.ics")), before);
}

void TestLocalCalendarWrites::createEvents() {
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    const LocalCalendar home = calendars.calendars()[0];
    const LocalOccurrence timed = calendars.create(
        home, QStringLiteral("Lunch"), {utc("2024-04-05T10:30:00Z"), utc("2024-04-05T11:30:00Z"), false});
    QCOMPARE(timed.title, QStringLiteral("Lunch"));
    QCOMPARE(timed.start, utc("2024-04-05T10:30:00Z"));
    QCOMPARE(timed.eventIdentifier, QStringLiteral("Home/") + timed.uid + QStringLiteral(".ics"));
    const QList<QStringList> events = components(fixture.read(QStringLiteral("Home/") + timed.uid + ".ics"));
    QCOMPARE(events.size(), 1);
    QCOMPARE(lineOf(events[0], QStringLiteral("DTSTART")),
             QStringLiteral("DTSTART;TZID=Europe/Berlin:20240405T123000"));
    QCOMPARE(lineOf(events[0], QStringLiteral("SEQUENCE")), QStringLiteral("SEQUENCE:0"));
    QCOMPARE(lineOf(events[0], QStringLiteral("DTSTAMP")), QStringLiteral("DTSTAMP:20240501T120000Z"));

    const LocalOccurrence day = calendars.create(
        home, QStringLiteral("Holiday"), {utc("2024-04-06T22:00:00Z"), utc("2024-04-07T22:00:00Z"), true});
    QVERIFY(day.isAllDay);
    QCOMPARE(day.start, utc("2024-04-06T22:00:00Z"));
    QCOMPARE(day.end, utc("2024-04-07T22:00:00Z"));
    QVERIFY(find(calendars, QStringLiteral("Holiday"), utc("2024-04-06T22:00:00Z")));
}

QTEST_GUILESS_MAIN(TestLocalCalendarWrites)
#include "tst_localcalendarwrites.moc"
