#include "support/TestEvents.h"
#include "ui/panel/EventDetailModel.h"

#include "core/model/Cal.h"

#include <QTest>

namespace M = EventDetailModel;

namespace {

const QTimeZone berlin("Europe/Berlin");
const Cal us(berlin, QLocale(QLocale::English, QLocale::UnitedStates));

QDateTime at(const QString& wall) {
    return TestEvents::at(wall, berlin);
}

CalEvent meeting(EventSource source = EventSource::calendar) {
    return TestEvents::timed(QStringLiteral("e1"), QStringLiteral("Review"),
                             at(QStringLiteral("2026-03-04 10:00")), at(QStringLiteral("2026-03-04 10:30")),
                             source);
}

// The user invited by someone else to a writable event.
CalEvent invitation(EventSource source) {
    CalEvent event = meeting(source);
    event.organizerIsMe = false;
    event.organizer = QStringLiteral("Ondrea");
    event.attendees = {TestEvents::guest(QStringLiteral("Ondrea"), QStringLiteral("ondrea@corp.io")),
                       TestEvents::guest(QStringLiteral("Ada"), QStringLiteral("ada@corp.io"),
                                         Attendee::Status::pending, true)};
    return event;
}

} // namespace

Q_DECLARE_METATYPE(CalEvent)
Q_DECLARE_METATYPE(M::Confirm)

// The detail view's rules: what it offers, what it asks, and the texts it shows.
class TestEventDetailModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The buttons an event gets, as "edit | delete | decline" help texts, "-" for one not shown.
    void actionMatrix_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<QString>("buttons");
        CalEvent notion = invitation(EventSource::notion);
        notion.organizerIsMe = true;
        QTest::newRow("Notion page, editable and the user's") << notion << "- | - | -";
        CalEvent preview = meeting(EventSource::google);
        preview.id = CalEvent::previewAlertId();
        QTest::newRow("alert preview") << preview << "- | - | -";
        QTest::newRow("organiser, no guests") << meeting() << "Edit | Delete | -";
        CalEvent unexpanded = meeting();
        unexpanded.unexpandedRule = true;
        QTest::newRow("series by a rule the app cannot expand") << unexpanded << "- | - | -";
        CalEvent hosting = invitation(EventSource::google);
        hosting.organizerIsMe = true;
        QTest::newRow("organiser with guests, never Decline") << hosting << "Edit | Delete for everyone | -";
        hosting.isRecurring = true;
        QTest::newRow("organiser, repeating")
            << hosting << "Edit this occurrence | Delete this occurrence | -";
        QTest::newRow("Google guest") << invitation(EventSource::google) << "- | - | Decline";
        QTest::newRow("local guest") << invitation(EventSource::calendar)
                                     << "- | - | Remove from my calendar";
        CalEvent readOnly = invitation(EventSource::google);
        readOnly.calendarEditable = false;
        QTest::newRow("guest in a read-only calendar") << readOnly << "- | - | -";
        CalEvent notInvited = invitation(EventSource::google);
        notInvited.attendees.removeLast();
        QTest::newRow("someone else's meeting, not on its guest list") << notInvited << "- | - | -";
    }
    void actionMatrix() {
        QFETCH(CalEvent, event);
        const M::Actions actions = M::actions(event);
        const QString dash = QStringLiteral("-");
        QTEST(QStringList({actions.edit ? M::editHelp(event) : dash,
                           actions.deletion ? M::deleteHelp(event) : dash,
                           actions.decline ? M::declineHelp(event) : dash})
                  .join(QStringLiteral(" | ")),
              "buttons");
    }

    // In Berlin, 12-hour clock; 29 March 2026 is the spring clock change (02:00 becomes 03:00).
    void timeText_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<QString>("text");
        const auto timed = [](const char* from, const char* to) {
            return TestEvents::timed(QStringLiteral("t"), QStringLiteral("T"), at(from), at(to));
        };
        const auto allDay = [](const char* first, const char* after) {
            return TestEvents::allDay(QStringLiteral("a"), QStringLiteral("A"), at(first), at(after));
        };
        QTest::newRow("within a day") << timed("2026-03-04 09:00", "2026-03-04 10:30")
                                      << "Wed, Mar 4 \u00B7 9:00 \u2013 10:30 am \u00B7 1 h 30 min";
        QTest::newRow("ending at midnight is one day")
            << timed("2026-03-04 23:00", "2026-03-05 00:00")
            << "Wed, Mar 4 \u00B7 11:00 pm \u2013 12:00 am \u00B7 1 h";
        QTest::newRow("across midnight") << timed("2026-03-04 23:00", "2026-03-05 00:30")
                                         << "Wed, Mar 4 11:00 pm \u2013 Thu, Mar 5 12:30 am";
        QTest::newRow("over the clock change") << timed("2026-03-29 01:30", "2026-03-29 03:30")
                                               << "Sun, Mar 29 \u00B7 1:30 \u2013 3:30 am \u00B7 1 h";
        QTest::newRow("three days, over the 23-hour day") << allDay("2026-03-27 00:00", "2026-03-30 00:00")
                                                          << "All day \u00B7 Fri, Mar 27 \u2013 Sun, Mar 29";
    }
    void timeText() {
        QFETCH(CalEvent, event);
        QTEST(M::timeText(event, us), "text");
    }

    void attendees() {
        for (const int count : {12, 13}) {
            CalEvent event = meeting(EventSource::google);
            for (int i = 0; i < count; ++i)
                event.attendees << TestEvents::guest(QStringLiteral("Guest %1").arg(i), QString(),
                                                     i % 2 ? Attendee::Status::accepted
                                                           : Attendee::Status::declined);
            QCOMPARE(M::chips(event).size(), 12);
            QCOMPARE(M::moreText(event),
                     count == 13 ? std::optional(QStringLiteral("+1 more")) : std::nullopt);
            QCOMPARE(M::attendeeSummary(event), QStringLiteral("%1 attendees \u00B7 6 accepted").arg(count));
        }

        CalEvent event = meeting();
        event.attendees = {
            TestEvents::guest(QStringLiteral("ada@corp.io"), QString(), Attendee::Status::accepted, true),
            TestEvents::guest(QStringLiteral("ondrea.vask@corp.io"), QString()),
            TestEvents::guest(QStringLiteral("@@"), QString()),
            TestEvents::guest(QStringLiteral("@lio@x"), QString()),
            TestEvents::guest(QString(), QStringLiteral("nameless@corp.io"))};
        QStringList names;
        for (const M::Chip& chip : M::chips(event))
            names << chip.name;
        QCOMPARE(names, (QStringList{"You", "ondrea.vask", "@@", "lio", "nameless"}));
    }

    void notes_data() {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("shown"); // "(none)": no notes box
        QTest::newRow("five line feeds become two") << "Agenda\n\n\n\n\nBring slides"
                                                    << "Agenda\n\nBring slides";
        QTest::newRow("blank lines only") << "\n \n\t\n\r\n"
                                          << "(none)";
    }
    void notes() {
        QFETCH(QString, notes);
        QTEST(M::cleanNotes(notes).value_or(QStringLiteral("(none)")), "shown");
    }

    void locationLine_data() {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("shown"); // "(none)": no location line
        QTest::newRow("the meeting link itself") << "https://us06web.zoom.us/j/841277?pwd=abc"
                                                 << "(none)";
        QTest::newRow("the meeting link, host in capitals") << "https://US06WEB.zoom.us/j/841277?pwd=abc"
                                                            << "(none)";
        QTest::newRow("a room, link in the notes") << "Room 4"
                                                   << "Room 4";
    }
    void locationLine() {
        QFETCH(QString, location);
        CalEvent event = meeting();
        event.location = location;
        event.notes = QStringLiteral("Dial in: https://us06web.zoom.us/j/841277?pwd=abc");
        QTEST(M::locationText(event).value_or(QStringLiteral("(none)")), "shown");
    }

    // Links from remote servers become buttons only as web pages.
    void footerLinks() {
        CalEvent local = meeting();
        local.ekIdentifier = QStringLiteral("Work/a.ics#a");
        QCOMPARE(M::links(local), (QList<M::Link>{M::Link::notionCalendar, M::Link::calendarApp}));
        CalEvent google = meeting(EventSource::google);
        google.webLink = QUrl(QStringLiteral("https://www.google.com/calendar/event?eid=x"));
        QCOMPARE(M::links(google), (QList<M::Link>{M::Link::notionCalendar, M::Link::googleCalendar}));
        google.webLink = QUrl(QStringLiteral("file:///home/ada/.bashrc"));
        QCOMPARE(M::links(google), QList<M::Link>{M::Link::notionCalendar});
        CalEvent notion = meeting(EventSource::notion);
        QCOMPARE(M::links(notion), QList<M::Link>{});
        notion.notionURL = QUrl(QStringLiteral("notion://www.notion.so/Plan-1a2b"));
        QCOMPARE(M::links(notion), QList<M::Link>{M::Link::notionPage});
    }
};

QTEST_GUILESS_MAIN(TestEventDetailModel)
#include "tst_eventdetailmodel.moc"
