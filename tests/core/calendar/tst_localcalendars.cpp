// Reading the vdir folders: collections, recurrence cases, access states, the parse cache and change
// notification.

#include "CalendarFixture.h"

#include "core/calendar/LocalCalendars.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

const QDateTime windowStart = utc("2024-03-25T00:00:00Z");
const QDateTime windowEnd = utc("2024-04-15T00:00:00Z");

// "MM-ddTHH:mm/HH:mm" in UTC (with the end's date when it differs), "x" for a cancelled one.
QString describe(const LocalOccurrence& o) {
    const QDateTime s = o.start.toUTC();
    const QDateTime e = o.end.toUTC();
    QString text = s.toString(QStringLiteral("MM-ddTHH:mm")) + QLatin1Char('/') +
                   e.toString(e.date() == s.date() ? QStringLiteral("HH:mm") : QStringLiteral("MM-ddTHH:mm"));
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
    void recurrenceCases_data();
    void recurrenceCases();
    void collectionsAndMetadata();
    void accessStates_data();
    void accessStates();
    void createRootMakesTheFirstCalendar();
    void reloadParsesOnlyChangedItems();
    void brokenItemsAreSkipped();
    void changesAreCoalesced();
};

void TestLocalCalendars::recurrenceCases_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("weekly series keeps 09:00 Berlin across the spring change")
        << "Weekly planning" << QStringList{"03-25T08:00/08:30", "04-01T07:00/07:30", "04-08T07:00/07:30"};
    QTest::newRow("daily COUNT series: EXDATE, one moved out, one cancelled")
        << "Standup"
        << QStringList{"04-01T08:00/08:15", "04-02T08:00/08:15",  "04-04T08:00/08:15", "04-06T08:00/08:15",
                       "04-07T08:00/08:15", "04-08T08:00/08:15x", "04-09T08:00/08:15", "04-10T08:00/08:15",
                       "04-11T08:00/08:15", "04-12T08:00/08:15",  "04-13T08:00/08:15", "04-14T08:00/08:15"};
    QTest::newRow("override moved into the range from outside it")
        << "Standup (moved in)" << QStringList{"04-12T13:00/13:30"};
    QTest::newRow("override moved out of the range") << "Standup (moved out)" << QStringList{};
    QTest::newRow("DURATION instead of DTEND") << "Dentist" << QStringList{"04-02T12:00/12:45"};
    QTest::newRow("floating time read in the user's zone") << "Call home" << QStringList{"04-09T18:00/19:00"};
    QTest::newRow("RDATE with a zone and as a PERIOD")
        << "Choir" << QStringList{"04-03T16:00/17:00", "04-10T16:00/17:00", "04-12T10:00/12:00"};
    QTest::newRow("all-day with exclusive DTEND, in the user's zone")
        << "Trip" << QStringList{"04-10T04:00/04-13T04:00"};
    QTest::newRow("cancelled master")
        << "Called off" << QStringList{"04-02T07:00/08:00x", "04-03T07:00/08:00x"};
    QTest::newRow("UNTIL in UTC is inclusive")
        << "Running club" << QStringList{"03-28T06:30/07:00", "04-04T05:30/06:00"};
    QTest::newRow("Windows zone name defined by an embedded VTIMEZONE")
        << "Design review" << QStringList{"03-26T10:00/11:00", "04-02T09:00/10:00", "04-09T09:00/10:00"};
    QTest::newRow("zone known only by its VTIMEZONE") << "Call with Pune" << QStringList{"04-05T03:30/04:30"};
    QTest::newRow("prefixed zone name without a VTIMEZONE")
        << "Breakfast" << QStringList{"04-04T13:00/14:00"};
    QTest::newRow("a to-do is not an event") << "Not an event" << QStringList{};
}

void TestLocalCalendars::recurrenceCases() {
    QFETCH(QString, title);
    QFETCH(QStringList, expected);
    CalendarFixture fixture;
    LocalCalendars calendars(fixture.options());
    const QList<LocalOccurrence> all = calendars.occurrences(windowStart, windowEnd, calendars.calendars());
    QCOMPARE(occurrencesOf(all, title), expected);
}

void TestLocalCalendars::collectionsAndMetadata() {
    CalendarFixture fixture;
    fixture.write(QStringLiteral("Errands/displayname"), "  Errands and chores \n");
    fixture.write(QStringLiteral("Errands/color"), "not a colour");
    LocalCalendars calendars(fixture.options());
    const QList<LocalCalendar> list = calendars.calendars();
    QCOMPARE(list.size(), 3);

    // Calendar order: source title, then title, by code point ("Local" before "work@...").
    QCOMPARE(list[0].title, QStringLiteral("Errands and chores"));
    QCOMPARE(list[0].id, QStringLiteral("Errands"));
    QVERIFY(!list[0].color.isValid());
    QCOMPARE(list[1].title, QStringLiteral("Home"));
    QCOMPARE(list[1].color, QColor(0xFF, 0x2D, 0x55));
    QCOMPARE(list[1].sourceTitle, QStringLiteral("Local"));
    QCOMPARE(list[1].sourceType, LocalCalendar::SourceType::local);
    QCOMPARE(list[2].id, QStringLiteral("work@example.com/work"));
    QCOMPARE(list[2].title, QStringLiteral("Work"));
    QCOMPARE(list[2].sourceTitle, QStringLiteral("work@example.com"));
    QCOMPARE(list[2].sourceType, LocalCalendar::SourceType::calDAV);
    // "#RRGGBBAA", as CalDAV servers publish it, keeps its colour.
    QCOMPARE(list[2].color, QColor(0x34, 0xC7, 0x59));
    QVERIFY(list[1].allowsModifications);

    // A folder whose write permission was taken away is read-only, even for root.
    QFile::setPermissions(fixture.path(QStringLiteral("Home")),
                          QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                              QFileDevice::ExeGroup);
    QVERIFY(!calendars.calendars()[1].allowsModifications);
    QFile::setPermissions(fixture.path(QStringLiteral("Home")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    // Identifiers lead back to the item; one item holding two events names the UID as well.
    fixture.write(QStringLiteral("Errands/pair.ics"),
                  "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\n"
                  "BEGIN:VEVENT\r\nUID:one\r\nDTSTART:20240402T100000Z\r\nSUMMARY:One\r\nEND:VEVENT\r\n"
                  "BEGIN:VEVENT\r\nUID:two\r\nDTSTART:20240403T100000Z\r\nSUMMARY:Two\r\nEND:VEVENT\r\n"
                  "END:VCALENDAR\r\n");
    QStringList identifiers;
    for (const LocalOccurrence& o : calendars.occurrences(windowStart, windowEnd, calendars.calendars())) {
        if (o.title == QStringLiteral("Dentist") || o.calendarId == QStringLiteral("Errands"))
            identifiers.append(o.eventIdentifier);
    }
    QCOMPARE(identifiers, (QStringList{"Errands/pair.ics#one", "Home/duration.ics", "Errands/pair.ics#two"}));
    const std::optional<LocalOccurrence> two = calendars.event(QStringLiteral("Errands/pair.ics#two"));
    QVERIFY(two);
    QCOMPARE(two->title, QStringLiteral("Two"));
    // Identifiers never reach outside the root.
    QVERIFY(!calendars.event(QStringLiteral("../../etc/passwd.ics")));
}

void TestLocalCalendars::accessStates_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<CalendarAccess>("expected");
    QTest::newRow("no folder yet") << "missing" << CalendarAccess::notDetermined;
    QTest::newRow("readable folder") << "readable" << CalendarAccess::fullAccess;
    QTest::newRow("folder that cannot be read") << "closed" << CalendarAccess::denied;
    QTest::newRow("folder that can only be written") << "writeonly" << CalendarAccess::writeOnly;
    QTest::newRow("restricted by the caller") << "restricted" << CalendarAccess::restricted;
}

void TestLocalCalendars::accessStates() {
    QFETCH(QString, state);
    QFETCH(CalendarAccess, expected);
    CalendarFixture fixture;
    LocalCalendars open(fixture.options());
    const QList<LocalCalendar> all = open.calendars();
    QVERIFY(!all.isEmpty());

    LocalCalendars::Options options = fixture.options();
    if (state == QStringLiteral("missing"))
        options.root = fixture.path(QStringLiteral("nothing-here"));
    else if (state == QStringLiteral("closed"))
        QFile::setPermissions(fixture.root(), {});
    else if (state == QStringLiteral("writeonly"))
        QFile::setPermissions(fixture.root(), QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    else if (state == QStringLiteral("restricted"))
        options.access = CalendarAccess::restricted;

    LocalCalendars calendars(options);
    QCOMPARE(calendars.access(), expected);
    // Without full access nothing is listed, even where the process could read the files.
    const bool full = expected == CalendarAccess::fullAccess;
    QCOMPARE(calendars.calendars().isEmpty(), !full);
    QCOMPARE(calendars.occurrences(windowStart, windowEnd, all).isEmpty(), !full);
    QFile::setPermissions(fixture.root(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestLocalCalendars::createRootMakesTheFirstCalendar() {
    CalendarFixture fixture = CalendarFixture::empty();
    LocalCalendars::Options options = fixture.options();
    options.root = fixture.path(QStringLiteral("new/calendars"));
    LocalCalendars calendars(options);
    QCOMPARE(calendars.access(), CalendarAccess::notDetermined);
    QVERIFY(!calendars.defaultCalendar());

    QString error;
    QVERIFY(calendars.createRoot(&error));
    QCOMPARE(calendars.access(), CalendarAccess::fullAccess);
    const std::optional<LocalCalendar> first = calendars.defaultCalendar();
    QVERIFY(first);
    QCOMPARE(first->title, QStringLiteral("Calendar"));
    QVERIFY(first->allowsModifications);

    // A root that cannot be made is reported, not thrown.
    fixture.write(QStringLiteral("blocked"), "a file where a folder should go");
    options.root = fixture.path(QStringLiteral("blocked/calendars"));
    LocalCalendars blocked(options);
    QVERIFY(!blocked.createRoot(&error));
    QVERIFY(error.contains(QStringLiteral("blocked/calendars")));
}

void TestLocalCalendars::reloadParsesOnlyChangedItems() {
    CalendarFixture fixture;
    LocalCalendars calendars(fixture.options());
    const QList<LocalCalendar> list = calendars.calendars();
    calendars.occurrences(windowStart, windowEnd, list);
    const int cold = calendars.parseCount();
    QCOMPARE(cold, 13); // every item, the broken one included

    calendars.occurrences(windowStart, windowEnd, list);
    QCOMPARE(calendars.parseCount(), cold);

    // Same size, new content: the modification time tells.
    QByteArray text = fixture.read(QStringLiteral("Home/duration.ics"));
    text.replace("Dentist", "Dentyst");
    fixture.write(QStringLiteral("Home/duration.ics"), text);
    const QList<LocalOccurrence> after = calendars.occurrences(windowStart, windowEnd, list);
    QCOMPARE(calendars.parseCount(), cold + 1);
    QCOMPARE(occurrencesOf(after, QStringLiteral("Dentyst")).size(), 1);
    QVERIFY(occurrencesOf(after, QStringLiteral("Dentist")).isEmpty());

    // A removed item is gone at the next query.
    QFile::remove(fixture.path(QStringLiteral("Home/trip.ics")));
    QVERIFY(
        occurrencesOf(calendars.occurrences(windowStart, windowEnd, list), QStringLiteral("Trip")).isEmpty());
    QCOMPARE(calendars.parseCount(), cold + 1);
}

void TestLocalCalendars::brokenItemsAreSkipped() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.write(QStringLiteral("Home/empty.ics"), "");
    fixture.write(QStringLiteral("Home/binary.ics"), QByteArray("\x00\xff\xfe\x01"
                                                                "BEGIN:VEVENT",
                                                                16));
    fixture.write(QStringLiteral("Home/truncated.ics"),
                  "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:x\r\nDTSTART:2024");
    // One unreadable event does not hide its neighbour in the same item.
    fixture.write(
        QStringLiteral("Home/mixed.ics"),
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\n"
        "BEGIN:VEVENT\r\nUID:bad\r\nDTSTART:notatime\r\nSUMMARY:Bad\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:good\r\nDTSTART:20240402T100000Z\r\nSUMMARY:Good\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:wrongdate\r\nDTSTART:20240231T100000Z\r\nSUMMARY:Wrong\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n");
    fixture.writeEvent(QStringLiteral("Home/ok.ics"), {"UID:ok", "DTSTART:20240403T100000Z", "SUMMARY:Fine"});
    LocalCalendars calendars(fixture.options());
    QStringList titles;
    for (const LocalOccurrence& o : calendars.occurrences(windowStart, windowEnd, calendars.calendars()))
        titles.append(*o.title);
    QCOMPARE(titles, (QStringList{"Good", "Fine"}));
}

void TestLocalCalendars::changesAreCoalesced() {
    CalendarFixture fixture;
    LocalCalendars::Options options = fixture.options();
    options.watch = true;
    options.coalesceMs = 150;
    LocalCalendars calendars(options);
    QSignalSpy changed(&calendars, &LocalCalendars::changed);

    // A sync that renames hundreds of finished items into a collection.
    const QString staging = fixture.path(QStringLiteral(".staging"));
    QDir().mkpath(staging);
    for (int i = 0; i < 300; ++i) {
        const QString name = QStringLiteral("sync-%1.ics").arg(i);
        fixture.writeEvent(
            QStringLiteral(".staging/") + name,
            {QStringLiteral("UID:sync-%1").arg(i), "DTSTART:20240402T100000Z", "SUMMARY:Synced"});
        QVERIFY(
            QFile::rename(staging + QLatin1Char('/') + name, fixture.path(QStringLiteral("Home/") + name)));
    }
    QVERIFY(changed.wait(5000));
    QTest::qWait(600);
    QCOMPARE(changed.size(), 1);

    // A collection made later is watched too.
    QDir().mkpath(fixture.path(QStringLiteral("Later")));
    QVERIFY(changed.wait(5000));
    const int before = changed.size();
    fixture.writeEvent(QStringLiteral("Later/one.ics"), {"UID:later", "DTSTART:20240402T100000Z"});
    QVERIFY(changed.wait(5000));
    QCOMPARE(changed.size(), before + 1);
}

QTEST_GUILESS_MAIN(TestLocalCalendars)
#include "tst_localcalendars.moc"
