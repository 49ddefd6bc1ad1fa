// How an occurrence of a local calendar event becomes a CalEvent.

#include "CalendarFixture.h"

#include "core/calendar/LocalEventBuilder.h"

#include <QTest>

namespace {

LocalCalendar calendarNamed(const QString& title, QColor color = {}) {
    LocalCalendar c;
    c.id = QStringLiteral("Home");
    c.title = title;
    c.color = color;
    c.allowsModifications = true;
    return c;
}

LocalOccurrence occurrence() {
    LocalOccurrence o;
    o.calendarId = QStringLiteral("Home");
    o.eventIdentifier = QStringLiteral("Home/plan.ics");
    o.title = QStringLiteral("Plan");
    o.start = utc("2024-04-02T10:00:00Z");
    o.end = utc("2024-04-02T11:00:00Z");
    o.occurrenceDate = o.start;
    return o;
}

} // namespace

Q_DECLARE_METATYPE(LocalParticipant)
Q_DECLARE_METATYPE(Attendee)

class TestLocalEventBuilder : public QObject {
    Q_OBJECT

private slots:
    void attendees_data();
    void attendees();
    void textsOwnershipAndColour();
    void occurrenceIdentity();
};

void TestLocalEventBuilder::attendees_data() {
    using P = LocalParticipant::Status;
    using A = Attendee::Status;
    const QString pat = QStringLiteral("Pat@Example.com");
    QTest::addColumn<LocalParticipant>("participant");
    QTest::addColumn<Attendee>("expected");
    QTest::newRow("upper-case MAILTO keeps the address's case and names the guest")
        << LocalParticipant{"", "MAILTO:" + pat, P::accepted}
        << Attendee{pat, A::accepted, false, false, pat};
    QTest::newRow("the chair organizes") << LocalParticipant{"Dana", "mailto:d@x.io", P::declined, true}
                                         << Attendee{"Dana", A::declined, true, false, "d@x.io"};
    QTest::newRow("no mail address: named by the address text")
        << LocalParticipant{"", "urn:uuid:room-4", P::delegated}
        << Attendee{"urn:uuid:room-4", A::unknown, false, false, std::nullopt};
    QTest::newRow("needs action is pending") << LocalParticipant{"Lee", "mailto:l@x.io", P::pending}
                                             << Attendee{"Lee", A::pending, false, false, "l@x.io"};
    QTest::newRow("completed reads as unknown") << LocalParticipant{"Lee", "mailto:l@x.io", P::completed}
                                                << Attendee{"Lee", A::unknown, false, false, "l@x.io"};
    QTest::newRow("the user, whatever the letter case")
        << LocalParticipant{"", "mailto:Me@Example.COM", P::pending}
        << Attendee{"Me@Example.COM", A::pending, false, true, "Me@Example.COM"};
    QTest::newRow("the user by the calendar's address title")
        << LocalParticipant{"Me", "mailto:cal@example.org", P::accepted}
        << Attendee{"Me", A::accepted, false, true, "cal@example.org"};
}

void TestLocalEventBuilder::attendees() {
    QFETCH(LocalParticipant, participant);
    QFETCH(Attendee, expected);
    LocalOccurrence o = occurrence();
    o.attendees.append(participant);
    const CalEvent e = LocalEventBuilder::build(o, calendarNamed(QStringLiteral("cal@example.org")),
                                                {QStringLiteral("me@example.com")});
    QCOMPARE(e.attendees, QList<Attendee>{expected});
}

void TestLocalEventBuilder::textsOwnershipAndColour() {
    LocalOccurrence o = occurrence();
    LocalCalendar home = calendarNamed(QStringLiteral("Home"));
    o.title = QStringLiteral("  Plan \n");
    o.location = QStringLiteral("\tRoom 4\r\n");
    o.notes = QStringLiteral("   ");
    CalEvent e = LocalEventBuilder::build(o, home, {});
    QCOMPARE(e.title, QStringLiteral("Plan"));
    QCOMPARE(e.location, QStringLiteral("Room 4"));
    QVERIFY(!e.notes);
    o.title = QStringLiteral("   ");
    QCOMPARE(LocalEventBuilder::build(o, home, {}).title, QString());
    o.title.reset();
    QCOMPARE(LocalEventBuilder::build(o, home, {}).title, QStringLiteral("Untitled"));

    // Without an organizer the user made the event; it has the calendar's colour, else system blue.
    QVERIFY(e.organizerIsMe);
    QVERIFY(!e.organizer);
    QVERIFY(!e.canDecline());
    QCOMPARE(e.color, LocalEventBuilder::systemBlue);
    QCOMPARE(LocalEventBuilder::build(o, calendarNamed(QStringLiteral("Home"), Qt::red), {}).color,
             QColor(Qt::red));

    o.organizer = LocalParticipant{QStringLiteral("Dana Boss"), QStringLiteral("mailto:dana@example.com")};
    o.attendees.append({QStringLiteral("Me"), QStringLiteral("mailto:me@example.com")});
    e = LocalEventBuilder::build(o, home, {QStringLiteral("me@example.com")});
    QCOMPARE(e.organizer, QStringLiteral("Dana Boss"));
    QVERIFY(!e.organizerIsMe);
    QVERIFY(e.canDecline());

    home.allowsModifications = false;
    QVERIFY(!LocalEventBuilder::build(o, home, {QStringLiteral("me@example.com")}).calendarEditable);

    // An organizer without a name is no organizer text, yet may still be the user.
    o.organizer = LocalParticipant{QString(), QStringLiteral("MAILTO:ME@example.com")};
    e = LocalEventBuilder::build(o, calendarNamed(QStringLiteral("Home")),
                                 {QStringLiteral("me@example.com")});
    QVERIFY(!e.organizer);
    QVERIFY(e.organizerIsMe);
}

void TestLocalEventBuilder::occurrenceIdentity() {
    CalendarFixture fixture;
    LocalCalendars calendars(fixture.options(QTimeZone("Europe/Berlin")));
    const QList<LocalCalendar> list = calendars.calendars();
    QList<CalEvent> standups;
    for (const LocalOccurrence& o :
         calendars.occurrences(utc("2024-04-01T00:00:00Z"), utc("2024-04-15T00:00:00Z"), list)) {
        if (o.uid == QStringLiteral("standup@fixtures"))
            standups.append(LocalEventBuilder::build(o, list[1], {}));
    }
    QVERIFY(standups.size() > 2);
    // Occurrences of one series differ only after the last colon.
    const QString prefix = QStringLiteral("Home/standup.ics:");
    QVERIFY(standups[0].id.startsWith(prefix) && standups[1].id.startsWith(prefix));
    QVERIFY(standups[0].id != standups[1].id);
    QCOMPARE(standups[0].id, prefix + QString::number(utc("2024-04-01T08:00:00Z").toSecsSinceEpoch()));
    QVERIFY(std::all_of(standups.begin(), standups.end(), [](const CalEvent& e) { return e.isRecurring; }));
    // A moved instance keeps the seconds of its original start.
    auto moved = std::find_if(standups.begin(), standups.end(), [](const CalEvent& e) {
        return e.title == QStringLiteral("Standup (moved in)");
    });
    QVERIFY(moved != standups.end());
    QCOMPARE(moved->id, prefix + QString::number(utc("2024-04-18T08:00:00Z").toSecsSinceEpoch()));
    QCOMPARE(moved->start, utc("2024-04-12T13:00:00Z"));
}

QTEST_GUILESS_MAIN(TestLocalEventBuilder)
#include "tst_localeventbuilder.moc"
