// How an occurrence of a local calendar event becomes a CalEvent.

#include "CalendarFixture.h"

#include "core/calendar/LocalEventBuilder.h"

#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");

LocalCalendar calendarNamed(const QString& title, QColor color = {}) {
    LocalCalendar c;
    c.id = QStringLiteral("Home");
    c.title = title;
    c.color = color;
    c.allowsModifications = true;
    return c;
}

} // namespace

class TestLocalEventBuilder : public QObject {
    Q_OBJECT

private slots:
    void guestsOfAnInvitation() {
        CalendarFixture fixture;
        LocalCalendars calendars(fixture.options(berlin));
        std::optional<LocalOccurrence> review =
            findOccurrence(calendars, "Design review", "2024-04-02T09:00:00Z");
        QVERIFY(review);
        using S = Attendee::Status;
        const QString me = QStringLiteral("Work@Example.com");
        const CalEvent e = LocalEventBuilder::build(*review, calendarNamed(QStringLiteral("Work")),
                                                    {QStringLiteral("work@example.com")});
        // The chair organizes; an upper-case MAILTO keeps the address's case, which does not matter for
        // finding the user; a guest without a mail address is named by the address text.
        QCOMPARE(e.attendees, (QList<Attendee>{{"Dana Boss", S::accepted, true, false, "dana@example.com"},
                                               {"Pat Doe", S::tentative, false, false, "pat@example.com"},
                                               {me, S::pending, false, true, me},
                                               {"urn:uuid:room-4", S::unknown, false, false, std::nullopt},
                                               {"Lee", S::declined, false, false, "lee@example.com"}}));
        QCOMPARE(e.organizer, QStringLiteral("Dana Boss"));
        QVERIFY(!e.organizerIsMe && e.canDecline() && e.isRecurring);
        QCOMPARE(e.url, QUrl(QStringLiteral("https://example.com/review")));

        // A calendar titled with an address counts as the user for its own events.
        const CalEvent byTitle =
            LocalEventBuilder::build(*review, calendarNamed(QStringLiteral("work@example.com")), {});
        QVERIFY(byTitle.attendees[2].isMe);

        // A series whose rule cannot be expanded offers nothing that would write it, not even a decline.
        review->unexpandedRule = true;
        const CalEvent unexpanded = LocalEventBuilder::build(*review, calendarNamed(QStringLiteral("Work")),
                                                             {QStringLiteral("work@example.com")});
        QVERIFY(unexpanded.unexpandedRule && !unexpanded.calendarEditable && !unexpanded.canDecline());
    }

    void textsOwnershipAndColour() {
        LocalOccurrence o;
        o.eventIdentifier = QStringLiteral("Home/plan.ics");
        o.title = QStringLiteral("  Plan \n");
        o.location = QStringLiteral("\tRoom 4\r\n");
        o.notes = QStringLiteral("   ");
        const LocalCalendar home = calendarNamed(QStringLiteral("Home"));
        CalEvent e = LocalEventBuilder::build(o, home, {});
        QCOMPARE(e.title, QStringLiteral("Plan"));
        QCOMPARE(e.location, QStringLiteral("Room 4"));
        QVERIFY(!e.notes);
        o.title = QStringLiteral("   ");
        QCOMPARE(LocalEventBuilder::build(o, home, {}).title, QString());
        o.title.reset();
        QCOMPARE(LocalEventBuilder::build(o, home, {}).title, QStringLiteral("Untitled"));

        // Without an organizer the user made the event; it has the calendar's colour, else system blue.
        QVERIFY(e.organizerIsMe && !e.organizer && !e.canDecline());
        QCOMPARE(e.color, CalEvent::systemBlue());
        QCOMPARE(LocalEventBuilder::build(o, calendarNamed(QStringLiteral("Home"), Qt::red), {}).color,
                 QColor(Qt::red));

        // An organizer without a name is no organizer text, yet may still be the user.
        o.organizer = LocalParticipant{QString(), QStringLiteral("MAILTO:ME@example.com")};
        e = LocalEventBuilder::build(o, home, {QStringLiteral("me@example.com")});
        QVERIFY(!e.organizer && e.organizerIsMe);
    }
};

QTEST_GUILESS_MAIN(TestLocalEventBuilder)
#include "tst_localeventbuilder.moc"
