// Changing one occurrence at a time in the vdir items, and what the items look like afterwards.

#include "CalendarFixture.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ItemFile.h"

#include <QFile>
#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");

LocalCalendars::Options optionsFor(const CalendarFixture& fixture) {
    LocalCalendars::Options o = fixture.options(berlin);
    o.clock = [] { return utc("2024-05-01T12:00:00Z"); };
    return o;
}

QStringList startsOf(LocalCalendars& calendars, const QString& uid, const char* from, const char* to) {
    QStringList out;
    for (const LocalOccurrence& o : calendars.occurrences(utc(from), utc(to), calendars.calendars())) {
        if (o.uid == uid)
            out.append(o.start.toString(QStringLiteral("MM-ddTHH:mm ")) + o.title.value_or(QString()));
    }
    return out;
}

// The unfolded content lines of each VEVENT of an item.
QList<QStringList> components(const QByteArray& text) {
    QList<QStringList> out;
    const QString unfolded = QString::fromUtf8(text).replace(QLatin1String("\r\n "), QString());
    for (const QString& line : unfolded.split(QStringLiteral("\r\n"))) {
        if (line == QLatin1String("BEGIN:VEVENT"))
            out.append(QStringList());
        else if (!out.isEmpty() && !out.last().contains(QStringLiteral("END:VEVENT")))
            out.last().append(line);
    }
    return out;
}

// One VCALENDAR holding a VEVENT made of each list of lines.
QByteArray calendarObject(const QList<QStringList>& events) {
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\n";
    for (const QStringList& lines : events)
        text += "BEGIN:VEVENT\r\n" + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\nEND:VEVENT\r\n";
    return text + "END:VCALENDAR\r\n";
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
    void retitleAndMoveOneOccurrence();
    void deleteOneOccurrenceWithItsOverride();
    void unchangedWritesNothing_data();
    void unchangedWritesNothing();
    void slotForms_data();
    void slotForms();
    void singleEventsAndSharedItems();
    void changesMadeMeanwhile();
    void unsafeItemsAreLeftAlone_data();
    void unsafeItemsAreLeftAlone();
};

void TestLocalCalendarWrites::retitleAndMoveOneOccurrence() {
    CalendarFixture fixture;
    const QString path = fixture.path(QStringLiteral("Home/weekly-dst.ics"));
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, mode));
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> target =
        findOccurrence(calendars, "Weekly planning", "2024-04-08T07:00:00Z");
    QVERIFY(target);

    std::optional<LocalOccurrence> updated =
        calendars.update(*target, QStringLiteral("Quarterly planning"), {});
    QVERIFY(updated && updated->isDetached);
    QCOMPARE(updated->occurrenceDate, target->start);
    QCOMPARE(startsOf(calendars, QStringLiteral("weekly-dst@fixtures"), "2024-04-01T00:00:00Z",
                      "2024-04-16T00:00:00Z"),
             (QStringList{"04-01T07:00 Weekly planning", "04-08T07:00 Quarterly planning",
                          "04-15T07:00 Weekly planning"}));
    // The override names its instance in the master's own form and carries fresh change stamps; the
    // item keeps its permissions.
    QList<QStringList> events = components(fixture.read(QStringLiteral("Home/weekly-dst.ics")));
    QCOMPARE(events.size(), 2);
    QCOMPARE(lineOf(events[1], QStringLiteral("RECURRENCE-ID")),
             QStringLiteral("RECURRENCE-ID;TZID=Europe/Berlin:20240408T090000"));
    QCOMPARE(lineOf(events[1], QStringLiteral("DTSTAMP")), QStringLiteral("DTSTAMP:20240501T120000Z"));
    QCOMPARE(lineOf(events[1], QStringLiteral("LAST-MODIFIED")),
             QStringLiteral("LAST-MODIFIED:20240501T120000Z"));
    QCOMPARE(lineOf(events[1], QStringLiteral("SEQUENCE")), QStringLiteral("SEQUENCE:1"));
    QVERIFY(lineOf(events[1], QStringLiteral("RRULE")).isEmpty());
    QCOMPARE(QFile::permissions(path) &
                 ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             mode);

    // Moving it later edits the same override; it is still found by its original start.
    const LocalCalendars::Slot later{utc("2024-04-08T14:00:00Z"), utc("2024-04-08T14:30:00Z"), false};
    updated = calendars.update(*updated, {}, later);
    QVERIFY(updated);
    QCOMPARE(updated->start, later.start);
    QCOMPARE(updated->occurrenceDate, target->start);
    events = components(fixture.read(QStringLiteral("Home/weekly-dst.ics")));
    QCOMPARE(events.size(), 2);
    QCOMPARE(lineOf(events[1], QStringLiteral("SEQUENCE")), QStringLiteral("SEQUENCE:2"));
    QCOMPARE(lineOf(events[1], QStringLiteral("SUMMARY")), QStringLiteral("SUMMARY:Quarterly planning"));
}

void TestLocalCalendarWrites::deleteOneOccurrenceWithItsOverride() {
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    // The instance of 18 April was moved to 12 April by an override.
    std::optional<LocalOccurrence> movedIn =
        findOccurrence(calendars, "Standup (moved in)", "2024-04-12T13:00:00Z");
    std::optional<LocalOccurrence> plain = findOccurrence(calendars, "Standup", "2024-04-10T08:00:00Z");
    QVERIFY(movedIn && plain);
    QVERIFY(calendars.remove(*movedIn));
    QVERIFY(calendars.remove(*plain));
    QVERIFY(!calendars.remove(*plain));

    QCOMPARE(startsOf(calendars, QStringLiteral("standup@fixtures"), "2024-04-09T00:00:00Z",
                      "2024-04-21T00:00:00Z"),
             (QStringList{"04-09T08:00 Standup", "04-11T08:00 Standup", "04-12T08:00 Standup",
                          "04-13T08:00 Standup", "04-14T08:00 Standup", "04-15T08:00 Standup",
                          "04-16T08:00 Standup", "04-16T08:00 Standup (moved out)", "04-17T08:00 Standup",
                          "04-19T08:00 Standup", "04-20T08:00 Standup"}));
    const QList<QStringList> events = components(fixture.read(QStringLiteral("Home/standup.ics")));
    QCOMPARE(events.size(), 3); // the moved-in override went with its instance
    QVERIFY(events[0].contains(QStringLiteral("EXDATE;TZID=Europe/Berlin:20240418T100000")));
    QVERIFY(events[0].contains(QStringLiteral("EXDATE;TZID=Europe/Berlin:20240410T100000")));
}

void TestLocalCalendarWrites::unchangedWritesNothing_data() {
    QTest::addColumn<std::optional<QString>>("title");
    QTest::addColumn<int>("shiftMs"); // -1: no slot
    QTest::newRow("same title") << std::optional<QString>(QStringLiteral("Dentist")) << -1;
    QTest::newRow("same slot") << std::optional<QString>() << 0;
    QTest::newRow("same title and slot") << std::optional<QString>(QStringLiteral("Dentist")) << 0;
    QTest::newRow("moved by less than a second") << std::optional<QString>() << 900;
    QTest::newRow("nothing given") << std::optional<QString>() << -1;
}

void TestLocalCalendarWrites::unchangedWritesNothing() {
    QFETCH(std::optional<QString>, title);
    QFETCH(int, shiftMs);
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> target = findOccurrence(calendars, "Dentist", "2024-04-02T12:00:00Z");
    QVERIFY(target);
    const std::optional<FileStamp> before =
        ItemFile::stamp(fixture.path(QStringLiteral("Home/duration.ics")));

    std::optional<LocalCalendars::Slot> slot;
    if (shiftMs >= 0)
        slot = LocalCalendars::Slot{target->start.addMSecs(shiftMs), target->end.addMSecs(shiftMs), false};
    std::optional<LocalOccurrence> result = calendars.update(*target, title, slot);
    QVERIFY(result);
    QCOMPARE(result->start, target->start);
    QCOMPARE(ItemFile::stamp(fixture.path(QStringLiteral("Home/duration.ics"))), before);
}

void TestLocalCalendarWrites::slotForms_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("start");
    QTest::addColumn<LocalCalendars::Slot>("slot");
    QTest::addColumn<QStringList>("expected"); // DTSTART and DTEND lines

    QTest::newRow("all-day to timed is written with the user's zone")
        << "Home/trip.ics"
        << "Trip"
        << "2024-04-09T22:00:00Z"
        << LocalCalendars::Slot{utc("2024-04-10T07:00:00Z"), utc("2024-04-10T08:00:00Z"), false}
        << QStringList{"DTSTART;TZID=Europe/Berlin:20240410T090000",
                       "DTEND;TZID=Europe/Berlin:20240410T100000"};
    QTest::newRow("floating to timed gains a zone")
        << "Home/floating.ics"
        << "Call home"
        << "2024-04-09T12:00:00Z"
        << LocalCalendars::Slot{utc("2024-04-09T13:00:00Z"), utc("2024-04-09T14:00:00Z"), false}
        << QStringList{"DTSTART;TZID=Europe/Berlin:20240409T150000",
                       "DTEND;TZID=Europe/Berlin:20240409T160000"};
    QTest::newRow("timed to all day, ending at the next midnight")
        << "Home/duration.ics"
        << "Dentist"
        << "2024-04-02T12:00:00Z"
        << LocalCalendars::Slot{utc("2024-04-02T22:00:00Z"), utc("2024-04-04T22:00:00Z"), true}
        << QStringList{"DTSTART;VALUE=DATE:20240403", "DTEND;VALUE=DATE:20240405"};
    QTest::newRow("all day ending at 23:59:59 of its last day")
        << "Home/duration.ics"
        << "Dentist"
        << "2024-04-02T12:00:00Z"
        << LocalCalendars::Slot{utc("2024-04-02T22:00:00Z"), utc("2024-04-03T21:59:59Z"), true}
        << QStringList{"DTSTART;VALUE=DATE:20240403", "DTEND;VALUE=DATE:20240404"};
}

void TestLocalCalendarWrites::slotForms() {
    QFETCH(QString, item);
    QFETCH(QString, title);
    QFETCH(QString, start);
    QFETCH(LocalCalendars::Slot, slot);
    QFETCH(QStringList, expected);
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> target = findOccurrence(calendars, title, start);
    QVERIFY(target);
    std::optional<LocalOccurrence> moved = calendars.update(*target, {}, slot);
    QVERIFY(moved);
    QCOMPARE(moved->isAllDay, slot.isAllDay);
    QCOMPARE(moved->start, slot.start);

    const QByteArray text = fixture.read(item);
    const QList<QStringList> events = components(text);
    QCOMPARE(events.size(), 1);
    QCOMPARE((QStringList{lineOf(events[0], QStringLiteral("DTSTART")),
                          lineOf(events[0], QStringLiteral("DTEND"))}),
             expected);
    QVERIFY(lineOf(events[0], QStringLiteral("DURATION")).isEmpty());
    QCOMPARE(text.contains("BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"), !slot.isAllDay);
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
    std::optional<LocalOccurrence> one = findOccurrence(calendars, "One", "2024-04-02T10:00:00Z");
    QVERIFY(one);
    // A non-repeating event is changed in place, with what we do not know of kept.
    one = calendars.update(*one, QStringLiteral("One, renamed"), {});
    QVERIFY(one && !one->isDetached);
    const QList<QStringList> events = components(fixture.read(QStringLiteral("Home/pair.ics")));
    QCOMPARE(events.size(), 2);
    QVERIFY(events[0].contains(QStringLiteral("X-KEEP:me")));

    // Deleting it keeps the other event of the item; deleting that one too removes the item.
    QVERIFY(calendars.remove(*one));
    QCOMPARE(components(fixture.read(QStringLiteral("Home/pair.ics"))).size(), 1);
    std::optional<LocalOccurrence> two = findOccurrence(calendars, "Two", "2024-04-02T11:00:00Z");
    QVERIFY(two && calendars.remove(*two));
    QVERIFY(!QFile::exists(fixture.path(QStringLiteral("Home/pair.ics"))));
}

void TestLocalCalendarWrites::changesMadeMeanwhile() {
    CalendarFixture fixture;
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> dentist = findOccurrence(calendars, "Dentist", "2024-04-02T12:00:00Z");
    std::optional<LocalOccurrence> standup = findOccurrence(calendars, "Standup", "2024-04-04T08:00:00Z");
    QVERIFY(dentist && standup);

    // A sync rewrites an item after we read it: the change is made on the new content.
    QByteArray text = fixture.read(QStringLiteral("Home/duration.ics"));
    fixture.write(QStringLiteral("Home/duration.ics"),
                  text.replace("LOCATION:", "DESCRIPTION:Bring the card\r\nLOCATION:"));
    std::optional<LocalOccurrence> updated = calendars.update(*dentist, QStringLiteral("Dentist at 2"), {});
    QVERIFY(updated);
    QCOMPARE(updated->notes, QStringLiteral("Bring the card"));

    // An occurrence deleted elsewhere is gone, for edits and deletes alike.
    text = fixture.read(QStringLiteral("Home/standup.ics"));
    fixture.write(
        QStringLiteral("Home/standup.ics"),
        text.replace("T100000\r\nSUMMARY:Standup\r\n", "T100000,20240404T100000\r\nSUMMARY:Standup\r\n"));
    QVERIFY(!calendars.update(*standup, QStringLiteral("Ghost"), {}));
    QVERIFY(!calendars.remove(*standup));

    // Between our read and our rename another program replaces the item: ours is dropped.
    const QString path = fixture.path(QStringLiteral("Home/trip.ics"));
    const std::optional<ItemFile::Contents> read = ItemFile::read(path);
    fixture.write(QStringLiteral("Home/trip.ics"), read->bytes + "\r\n");
    QCOMPARE(ItemFile::write(path, "ours", read->stamp), ItemFile::Outcome::changedMeanwhile);
    QCOMPARE(ItemFile::remove(path, read->stamp), ItemFile::Outcome::changedMeanwhile);
    QCOMPARE(ItemFile::write(path, "ours", std::nullopt), ItemFile::Outcome::changedMeanwhile);
    QCOMPARE(fixture.read(QStringLiteral("Home/trip.ics")), read->bytes + "\r\n");
}

void TestLocalCalendarWrites::unsafeItemsAreLeftAlone_data() {
    QTest::addColumn<QByteArray>("item");
    const QStringList a{"UID:a", "DTSTART:20240402T100000Z", "SUMMARY:A"};
    QTest::newRow("a neighbour with a part libical cannot read")
        << calendarObject({a, {"UID:b", "DTSTART:20240403T100000Z", "DUE:not-a-time"}});
    QTest::newRow("a second calendar object after the first")
        << calendarObject({a}) + calendarObject({{"UID:b", "DTSTART:20240403T100000Z", "SUMMARY:B"}});
    QTest::newRow("several events without a UID") << calendarObject(
        {{"DTSTART:20240402T100000Z", "SUMMARY:A"}, {"DTSTART:20240403T100000Z", "SUMMARY:B"}});
}

void TestLocalCalendarWrites::unsafeItemsAreLeftAlone() {
    QFETCH(QByteArray, item);
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.write(QStringLiteral("Home/odd.ics"), item);
    LocalCalendars calendars(optionsFor(fixture));
    std::optional<LocalOccurrence> a = findOccurrence(calendars, "A", "2024-04-02T10:00:00Z");
    QVERIFY(a);
    QVERIFY_THROWS_EXCEPTION(CalendarFileError, calendars.update(*a, QStringLiteral("Changed"), {}));
    QVERIFY_THROWS_EXCEPTION(CalendarFileError, calendars.remove(*a));
    QCOMPARE(fixture.read(QStringLiteral("Home/odd.ics")), item);
}

QTEST_GUILESS_MAIN(TestLocalCalendarWrites)
#include "tst_localcalendarwrites.moc"
