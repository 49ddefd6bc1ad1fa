// Changing one occurrence at a time in the vdir items, and what the items look like afterwards.

#include "CalendarFixture.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/ItemFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

namespace {

using Slot = LocalCalendars::Slot;

LocalCalendars::Options optionsFor(const CalendarFixture& fixture) {
    LocalCalendars::Options o = fixture.options(QTimeZone("Europe/Berlin"));
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

// The VEVENTs of an item, unfolded, each from its first content line on.
QStringList eventsOf(const QByteArray& item) {
    return QString::fromUtf8(item)
        .replace(QStringLiteral("\r\n "), QString())
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .split(QStringLiteral("BEGIN:VEVENT"))
        .mid(1);
}

// The given content lines that the component lacks.
QStringList missing(const QString& component, const QStringList& lines) {
    QStringList out;
    for (const QString& line : lines) {
        if (!component.contains(QLatin1Char('\n') + line + QLatin1Char('\n')))
            out.append(line);
    }
    return out;
}

} // namespace

class TestLocalCalendarWrites : public QObject {
    Q_OBJECT

private slots:
    void retitleAndMoveOneOccurrence() {
        CalendarFixture fixture;
        const QString item = QStringLiteral("Home/weekly-dst.ics");
        QCOMPARE(::chmod(QFile::encodeName(fixture.path(item)).constData(), 0640), 0);
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
        // The override names its instance in the master's own form and carries fresh change stamps;
        // the item keeps its permissions.
        QStringList events = eventsOf(fixture.read(item));
        QCOMPARE(events.size(), 2);
        QCOMPARE(
            missing(events[1], {"RECURRENCE-ID;TZID=Europe/Berlin:20240408T090000",
                                "DTSTAMP:20240501T120000Z", "LAST-MODIFIED:20240501T120000Z", "SEQUENCE:1"}),
            QStringList());
        QVERIFY(!events[1].contains(QStringLiteral("RRULE")));
        QCOMPARE(TestFiles::mode(fixture.path(item)), 0640u);

        // Moving it later edits the same override; it is still found by its original start.
        const Slot later{utc("2024-04-08T14:00:00Z"), utc("2024-04-08T14:30:00Z"), false};
        updated = calendars.update(*updated, {}, later);
        QVERIFY(updated);
        QCOMPARE(updated->start, later.start);
        QCOMPARE(updated->occurrenceDate, target->start);
        events = eventsOf(fixture.read(item));
        QCOMPARE(events.size(), 2);
        QCOMPARE(missing(events[1], {"SEQUENCE:2", "SUMMARY:Quarterly planning"}), QStringList());
    }

    void deleteOneOccurrenceWithItsOverride() {
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
        const QStringList events = eventsOf(fixture.read(QStringLiteral("Home/standup.ics")));
        QCOMPARE(events.size(), 3); // the moved-in override went with its instance
        QCOMPARE(missing(events[0], {"EXDATE;TZID=Europe/Berlin:20240418T100000",
                                     "EXDATE;TZID=Europe/Berlin:20240410T100000"}),
                 QStringList());
    }

    void oneEventChanged_data() {
        QTest::addColumn<QString>("title"); // the event changed, and its start
        QTest::addColumn<QString>("start");
        QTest::addColumn<std::optional<QString>>("newTitle");
        QTest::addColumn<std::optional<Slot>>("slot");
        QTest::addColumn<QStringList>("expected"); // its lines afterwards; none: nothing is written
        auto row = [](const char* name, const char* title, const char* start, std::optional<QString> newTitle,
                      std::optional<Slot> slot, const QStringList& expected) {
            QTest::newRow(name) << QString::fromUtf8(title) << QString::fromUtf8(start) << newTitle << slot
                                << expected;
        };
        const QString dentist = QStringLiteral("Dentist");
        row("all-day to timed is written with the user's zone", "Trip", "2024-04-09T22:00:00Z", {},
            Slot{utc("2024-04-10T07:00:00Z"), utc("2024-04-10T08:00:00Z")},
            {"DTSTART;TZID=Europe/Berlin:20240410T090000", "DTEND;TZID=Europe/Berlin:20240410T100000"});
        row("timed to all day, ending at the next midnight", "Dentist", "2024-04-02T12:00:00Z", {},
            Slot{utc("2024-04-02T22:00:00Z"), utc("2024-04-04T22:00:00Z"), true},
            {"DTSTART;VALUE=DATE:20240403", "DTEND;VALUE=DATE:20240405"});
        row("all day ending at 23:59:59 of its last day", "Dentist", "2024-04-02T12:00:00Z", {},
            Slot{utc("2024-04-02T22:00:00Z"), utc("2024-04-03T21:59:59Z"), true},
            {"DTSTART;VALUE=DATE:20240403", "DTEND;VALUE=DATE:20240404"});
        row("the same title and slot", "Dentist", "2024-04-02T12:00:00Z", dentist,
            Slot{utc("2024-04-02T12:00:00Z"), utc("2024-04-02T12:45:00Z")}, {});
        row("a move by less than a second", "Dentist", "2024-04-02T12:00:00Z", {},
            Slot{utc("2024-04-02T12:00:00.900Z"), utc("2024-04-02T12:45:00.900Z")}, {});
    }

    void oneEventChanged() {
        QFETCH(QString, title);
        QFETCH(QString, start);
        QFETCH(std::optional<QString>, newTitle);
        QFETCH(std::optional<Slot>, slot);
        QFETCH(QStringList, expected);
        CalendarFixture fixture;
        LocalCalendars calendars(optionsFor(fixture));
        std::optional<LocalOccurrence> target = findOccurrence(calendars, title, start);
        QVERIFY(target);
        const std::optional<FileStamp> before = ItemFile::stamp(fixture.path(target->eventIdentifier));
        std::optional<LocalOccurrence> changed = calendars.update(*target, newTitle, slot);
        QVERIFY(changed);
        if (expected.isEmpty()) {
            QCOMPARE(changed->start, target->start);
            QCOMPARE(ItemFile::stamp(fixture.path(target->eventIdentifier)), before);
            return;
        }
        QCOMPARE(changed->start, slot->start);
        QCOMPARE(changed->isAllDay, slot->isAllDay);
        const QByteArray text = fixture.read(target->eventIdentifier);
        const QStringList events = eventsOf(text);
        QCOMPARE(events.size(), 1);
        QCOMPARE(missing(events[0], expected), QStringList());
        QVERIFY(!events[0].contains(QStringLiteral("DURATION")));
        QCOMPARE(text.contains("BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"), !slot->isAllDay);
    }

    void singleEventsAndSharedItems() {
        CalendarFixture fixture;
        const QString item = QStringLiteral("Home/pair.ics");
        fixture.write(item, CalendarFixture::calendarObject(
                                {{"UID:one", "DTSTART:20240402T100000Z", "SUMMARY:One", "X-KEEP:me"},
                                 {"UID:two", "DTSTART:20240402T110000Z", "SUMMARY:Two"}}));
        LocalCalendars calendars(optionsFor(fixture));
        std::optional<LocalOccurrence> one = findOccurrence(calendars, "One", "2024-04-02T10:00:00Z");
        QVERIFY(one);
        // A non-repeating event is changed in place, with what we do not know of kept.
        one = calendars.update(*one, QStringLiteral("One, renamed"), {});
        QVERIFY(one && !one->isDetached);
        const QStringList events = eventsOf(fixture.read(item));
        QCOMPARE(events.size(), 2);
        QCOMPARE(missing(events[0], {"SUMMARY:One\\, renamed", "X-KEEP:me"}), QStringList());

        // Deleting it keeps the other event of the item; deleting that one too removes the item.
        QVERIFY(calendars.remove(*one));
        QCOMPARE(eventsOf(fixture.read(item)).size(), 1);
        std::optional<LocalOccurrence> two = findOccurrence(calendars, "Two", "2024-04-02T11:00:00Z");
        QVERIFY(two && calendars.remove(*two));
        QVERIFY(!QFile::exists(fixture.path(item)));
    }

    void changesMadeMeanwhile() {
        CalendarFixture fixture;
        LocalCalendars calendars(optionsFor(fixture));
        std::optional<LocalOccurrence> dentist = findOccurrence(calendars, "Dentist", "2024-04-02T12:00:00Z");
        std::optional<LocalOccurrence> standup = findOccurrence(calendars, "Standup", "2024-04-04T08:00:00Z");
        QVERIFY(dentist && standup);

        // A sync rewrites an item after we read it: the change is made on the new content.
        QByteArray text = fixture.read(QStringLiteral("Home/duration.ics"));
        fixture.write(QStringLiteral("Home/duration.ics"),
                      text.replace("LOCATION:", "DESCRIPTION:Bring the card\r\nLOCATION:"));
        std::optional<LocalOccurrence> updated =
            calendars.update(*dentist, QStringLiteral("Dentist at 2"), {});
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

    // Edits are made line by line, so what libical cannot read in an item stays as it is; only an
    // item whose events cannot be told apart is refused.
    void itemsLibicalReadsInPart_data() {
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<QByteArray>("kept"); // stays whatever is done to A; empty: A cannot be changed
        const QStringList a{"UID:a", "DTSTART:20240402T100000Z", "SUMMARY:A"};
        const QStringList b{"UID:b", "DTSTART:20240403T100000Z", "SUMMARY:B"};
        const QByteArray unreadable = "BEGIN:VEVENT\r\nUID:b\r\nDUE:not-a-time\r\nEND:VEVENT\r\n";
        QTest::newRow("a neighbour with a part libical cannot read")
            << CalendarFixture::calendarObject({a}).replace("END:VCALENDAR", unreadable + "END:VCALENDAR")
            << unreadable;
        QTest::newRow("a second calendar object after the first")
            << CalendarFixture::calendarObject({a}) + CalendarFixture::calendarObject({b})
            << CalendarFixture::calendarObject({b});
        QTest::newRow("several events without a UID")
            << CalendarFixture::calendarObject({a.mid(1), b.mid(1)}) << QByteArray();
    }

    void itemsLibicalReadsInPart() {
        QFETCH(QByteArray, item);
        QFETCH(QByteArray, kept);
        CalendarFixture fixture = CalendarFixture::empty();
        const QString path = QStringLiteral("Home/odd.ics");
        fixture.write(path, item);
        LocalCalendars calendars(optionsFor(fixture));
        std::optional<LocalOccurrence> a = findOccurrence(calendars, "A", "2024-04-02T10:00:00Z");
        QVERIFY(a);
        if (kept.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(CalendarFileError, calendars.update(*a, QStringLiteral("Changed"), {}));
            QVERIFY_THROWS_EXCEPTION(CalendarFileError, calendars.remove(*a));
            QCOMPARE(fixture.read(path), item);
            return;
        }
        a = calendars.update(*a, QStringLiteral("Changed"), {});
        QVERIFY(a && fixture.read(path).contains(kept));
        QVERIFY(calendars.remove(*a));
        QVERIFY(fixture.read(path).contains(kept));
        QVERIFY(!findOccurrence(calendars, "Changed", "2024-04-02T10:00:00Z"));
    }

    // libical reads 500 values of a line: the others count all the same, and edits keep every one.
    void moreThan500ExceptionsAndDates() {
        CalendarFixture fixture = CalendarFixture::empty();
        // Daily at 09:00 for 700 days, the first 600 of them taken out and given a start at 15:00.
        const QDate first(2023, 1, 1);
        QStringList exdates, rdates;
        for (int day = 0; day < 600; ++day) {
            const QString date = first.addDays(day).toString(QStringLiteral("yyyyMMdd"));
            exdates << date + QStringLiteral("T090000Z");
            rdates << date + QStringLiteral("T150000Z");
        }
        fixture.writeEvent(QStringLiteral("Home/long.ics"),
                           {"UID:long", "DTSTART:20230101T090000Z", "DURATION:PT30M",
                            "RRULE:FREQ=DAILY;COUNT=700", "EXDATE:" + exdates.join(QLatin1Char(',')),
                            "RDATE:" + rdates.join(QLatin1Char(',')), "SUMMARY:Long"});
        LocalCalendars calendars(optionsFor(fixture));
        QVERIFY(calendars.partlyReadItems(calendars.calendars()).isEmpty());
        auto day = [&](int n, const char* time) {
            return QDateTime(first.addDays(n), QTime::fromString(QLatin1String(time)), Qt::UTC)
                .toString(Qt::ISODate)
                .toLatin1();
        };
        auto startsAround = [&](int n) {
            return startsOf(calendars, QStringLiteral("long"), day(n, "00:00").constData(),
                            day(n + 2, "00:00").constData());
        };
        // The 550th day: its start at 09:00 taken out, its start at 15:00 added.
        const QString d550 = first.addDays(550).toString(QStringLiteral("MM-dd"));
        const QString d551 = first.addDays(551).toString(QStringLiteral("MM-dd"));
        QCOMPARE(startsAround(550), (QStringList{d550 + "T15:00 Long", d551 + "T15:00 Long"}));
        QVERIFY(!findOccurrence(calendars, "Long", day(550, "09:00").constData()));

        // One added start renamed, one start of the rule removed: not a value is lost.
        std::optional<LocalOccurrence> added =
            findOccurrence(calendars, "Long", day(550, "15:00").constData());
        QVERIFY(added && calendars.update(*added, QStringLiteral("Moved"), {}));
        const std::optional<LocalOccurrence> later =
            findOccurrence(calendars, "Long", day(650, "09:00").constData());
        QVERIFY(later && calendars.remove(*later));
        const QStringList events = eventsOf(fixture.read(QStringLiteral("Home/long.ics")));
        QCOMPARE(events.size(), 2);
        QVERIFY(missing(events[0],
                        {"EXDATE:" + exdates.join(QLatin1Char(',')), "RDATE:" + rdates.join(QLatin1Char(',')),
                         "EXDATE:" + QString::fromLatin1(day(650, "09:00")).remove('-').remove(':')})
                    .isEmpty());
        QCOMPARE(startsAround(550), (QStringList{d550 + "T15:00 Moved", d551 + "T15:00 Long"}));
        QCOMPARE(startsAround(649),
                 (QStringList{first.addDays(649).toString(QStringLiteral("MM-dd")) + "T09:00 Long"}));
    }

    // An identifier comes back from outside (a view, the settings): one that leads out of the
    // calendar folder names no event.
    void itemsOutsideTheRootAreNoEvents() {
        CalendarFixture fixture = CalendarFixture::empty();
        const QByteArray item =
            CalendarFixture::calendarObject({{"UID:a", "DTSTART:20240402T100000Z", "SUMMARY:A"}});
        fixture.write(QStringLiteral("Home/a.ics"), item);
        fixture.write(QStringLiteral("../outside/a.ics"), item);
        LocalCalendars calendars(optionsFor(fixture));
        std::optional<LocalOccurrence> a = findOccurrence(calendars, "A", "2024-04-02T10:00:00Z");
        QVERIFY(a);
        a->eventIdentifier = QStringLiteral("../outside/a.ics");
        QVERIFY(!calendars.event(a->eventIdentifier));
        QVERIFY(!calendars.update(*a, QStringLiteral("Changed"), {}));
        QVERIFY(!calendars.remove(*a));
        QCOMPARE(fixture.read(QStringLiteral("../outside/a.ics")), item);
    }

    // vdirsyncer users link items in from elsewhere. An edit writes through the link, as editors
    // do: the link stays, the file it points to changes. Removing the item's last event removes the
    // link, never the file it points to.
    void linkedItems() {
        CalendarFixture fixture = CalendarFixture::empty();
        const QString target = QDir::cleanPath(fixture.path(QStringLiteral("../elsewhere/linked.ics")));
        const QString link = fixture.path(QStringLiteral("Home/linked.ics"));
        QVERIFY(TestFiles::write(target, CalendarFixture::calendarObject(
                                             {{"UID:l", "DTSTART:20240402T100000Z", "SUMMARY:Linked"}})));
        QDir().mkpath(fixture.path(QStringLiteral("Home")));
        QVERIFY(QFile::link(target, link));
        LocalCalendars calendars(optionsFor(fixture));
        std::optional<LocalOccurrence> linked = findOccurrence(calendars, "Linked", "2024-04-02T10:00:00Z");
        QVERIFY(linked);
        linked = calendars.update(*linked, QStringLiteral("Relinked"), {});
        QVERIFY(linked);
        QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        QVERIFY(TestFiles::read(target).contains("SUMMARY:Relinked\r\n"));
        QVERIFY(findOccurrence(calendars, "Relinked", "2024-04-02T10:00:00Z"));
        QVERIFY(calendars.remove(*linked));
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(TestFiles::read(target).contains("SUMMARY:Relinked\r\n"));
    }

    // Beside its event an item may hold components the app does not show: removing the event keeps
    // them, and so the item.
    void removingTheLastEventKeepsOtherComponents_data() {
        QTest::addColumn<QByteArray>("other");
        QTest::newRow("to-do") << QByteArray("BEGIN:VTODO\r\nUID:t\r\nSUMMARY:Buy stamps\r\nEND:VTODO\r\n");
        QTest::newRow("journal entry")
            << QByteArray("BEGIN:VJOURNAL\r\nUID:j\r\nDESCRIPTION:Notes\r\nEND:VJOURNAL\r\n");
        QTest::newRow("another program's")
            << QByteArray("BEGIN:X-PLANNER-BOARD\r\nX-COLUMN:Doing\r\nEND:X-PLANNER-BOARD\r\n");
    }

    void removingTheLastEventKeepsOtherComponents() {
        QFETCH(QByteArray, other);
        CalendarFixture fixture = CalendarFixture::empty();
        const QByteArray head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
        const QByteArray event =
            "BEGIN:VEVENT\r\nUID:e\r\nDTSTART:20240402T100000Z\r\nSUMMARY:Post\r\nEND:VEVENT\r\n";
        fixture.write(QStringLiteral("Home/mixed.ics"), head + event + other + "END:VCALENDAR\r\n");
        LocalCalendars calendars(optionsFor(fixture));
        const std::optional<LocalOccurrence> post = findOccurrence(calendars, "Post", "2024-04-02T10:00:00Z");
        QVERIFY(post && calendars.remove(*post));
        QCOMPARE(fixture.read(QStringLiteral("Home/mixed.ics")), head + other + "END:VCALENDAR\r\n");
    }
};

QTEST_GUILESS_MAIN(TestLocalCalendarWrites)
#include "tst_localcalendarwrites.moc"
