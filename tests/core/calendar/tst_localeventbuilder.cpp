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

Q_DECLARE_METATYPE(LocalParticipant::Status)
Q_DECLARE_METATYPE(Attendee::Status)

class TestLocalEventBuilder : public QObject {
    Q_OBJECT

private slots:
    void attendees_data();
    void attendees();
    void textsAndFallbacks_data();
    void textsAndFallbacks();
    void organizerAndOwnership();
    void occurrenceIdentity();
};

void TestLocalEventBuilder::attendees_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("cn");
    QTest::addColumn<LocalParticipant::Status>("partstat");
    QTest::addColumn<bool>("chair");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("email"); // empty: none
    QTest::addColumn<Attendee::Status>("status");
    QTest::addColumn<bool>("isMe");
    using P = LocalParticipant::Status;
    using A = Attendee::Status;
    QTest::newRow("upper-case MAILTO keeps the address's case, named by it")
        << "MAILTO:Pat@Example.com"
        << "" << P::accepted << false << "Pat@Example.com"
        << "Pat@Example.com" << A::accepted << false;
    QTest::newRow("chair is the organizer") << "mailto:dana@example.com"
                                            << "Dana Boss" << P::declined << true << "Dana Boss"
                                            << "dana@example.com" << A::declined << false;
    QTest::newRow("not a mail address: named by the address text")
        << "urn:uuid:room-4"
        << "" << P::delegated << false << "urn:uuid:room-4"
        << "" << A::unknown << false;
    QTest::newRow("needs action is pending") << "mailto:lee@example.com"
                                             << "Lee" << P::pending << false << "Lee"
                                             << "lee@example.com" << A::pending << false;
    QTest::newRow("tentative") << "mailto:lee@example.com"
                               << "Lee" << P::tentative << false << "Lee"
                               << "lee@example.com" << A::tentative << false;
    QTest::newRow("completed reads as unknown") << "mailto:lee@example.com"
                                                << "Lee" << P::completed << false << "Lee"
                                                << "lee@example.com" << A::unknown << false;
    QTest::newRow("in process reads as unknown") << "mailto:lee@example.com"
                                                 << "Lee" << P::inProcess << false << "Lee"
                                                 << "lee@example.com" << A::unknown << false;
    QTest::newRow("the user, matched without regard to case") << "mailto:Me@Example.COM"
                                                              << "" << P::pending << false << "Me@Example.COM"
                                                              << "Me@Example.COM" << A::pending << true;
    QTest::newRow("the user by the calendar's address title") << "mailto:cal@example.org"
                                                              << "Me" << P::accepted << false << "Me"
                                                              << "cal@example.org" << A::accepted << true;
}

void TestLocalEventBuilder::attendees() {
    QFETCH(QString, url);
    QFETCH(QString, cn);
    QFETCH(LocalParticipant::Status, partstat);
    QFETCH(bool, chair);
    QFETCH(QString, name);
    QFETCH(QString, email);
    QFETCH(Attendee::Status, status);
    QFETCH(bool, isMe);
    LocalOccurrence o = occurrence();
    o.attendees.append({cn, url, partstat, chair});
    const CalEvent e = LocalEventBuilder::build(o, calendarNamed(QStringLiteral("cal@example.org")),
                                                {QStringLiteral("me@example.com")});
    QCOMPARE(e.attendees.size(), 1);
    const Attendee& a = e.attendees.first();
    QCOMPARE(a.name, name);
    QCOMPARE(a.email.value_or(QString()), email);
    QCOMPARE(a.status, status);
    QCOMPARE(a.isOrganizer, chair);
    QCOMPARE(a.isMe, isMe);
}

void TestLocalEventBuilder::textsAndFallbacks_data() {
    QTest::addColumn<bool>("hasTitle");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("expectedTitle");
    QTest::addColumn<QString>("expectedLocation"); // empty: none
    QTest::newRow("blanks and line breaks trimmed") << true << "  Plan \n"
                                                    << "\tRoom 4\r\n"
                                                    << "Plan"
                                                    << "Room 4";
    QTest::newRow("a title of blanks stays empty") << true << "   "
                                                   << "   "
                                                   << ""
                                                   << "";
    QTest::newRow("no title at all") << false << ""
                                     << ""
                                     << "Untitled"
                                     << "";
}

void TestLocalEventBuilder::textsAndFallbacks() {
    QFETCH(bool, hasTitle);
    QFETCH(QString, title);
    QFETCH(QString, location);
    QFETCH(QString, expectedTitle);
    QFETCH(QString, expectedLocation);
    LocalOccurrence o = occurrence();
    o.title = hasTitle ? std::optional<QString>(title) : std::nullopt;
    o.location = location;
    o.notes = location;
    const CalEvent e = LocalEventBuilder::build(o, calendarNamed(QStringLiteral("Home")), {});
    QCOMPARE(e.title, expectedTitle);
    QCOMPARE(e.location.value_or(QString()), expectedLocation);
    QCOMPARE(e.notes.value_or(QString()), expectedLocation);
    QCOMPARE(e.location.has_value(), !expectedLocation.isEmpty());
}

void TestLocalEventBuilder::organizerAndOwnership() {
    LocalOccurrence o = occurrence();
    LocalCalendar home = calendarNamed(QStringLiteral("Home"));
    CalEvent e = LocalEventBuilder::build(o, home, {});
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
