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

CalEvent withAttendees(int count) {
    CalEvent event = meeting(EventSource::google);
    for (int i = 0; i < count; ++i) {
        event.attendees << TestEvents::guest(QStringLiteral("Guest %1").arg(i), QString(),
                                             i % 2 ? Attendee::Status::accepted : Attendee::Status::declined);
    }
    return event;
}

} // namespace

Q_DECLARE_METATYPE(CalEvent)
Q_DECLARE_METATYPE(M::ConfirmText)
Q_DECLARE_METATYPE(QList<M::Link>)

// The detail view's rules: what it offers, what it asks, and the texts it shows.
class TestEventDetailModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Which buttons an event gets, with their help texts ("-" for a button not shown).
    void actionMatrix_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("remove");
        QTest::addColumn<QString>("decline");

        CalEvent notion = meeting(EventSource::notion);
        notion.attendees = invitation(EventSource::notion).attendees;
        QTest::newRow("Notion page, editable and the user's") << notion << "-"
                                                              << "-"
                                                              << "-";

        CalEvent preview = meeting(EventSource::google);
        preview.id = CalEvent::previewAlertId();
        QTest::newRow("alert preview") << preview << "-"
                                       << "-"
                                       << "-";

        QTest::newRow("organiser, no guests") << meeting() << "Edit"
                                              << "Delete"
                                              << "-";
        CalEvent hosting = invitation(EventSource::google);
        hosting.organizerIsMe = true;
        QTest::newRow("organiser with guests, never Decline") << hosting << "Edit"
                                                              << "Delete for everyone"
                                                              << "-";
        hosting.isRecurring = true;
        QTest::newRow("organiser, repeating") << hosting << "Edit this occurrence"
                                              << "Delete this occurrence"
                                              << "-";

        QTest::newRow("Google guest") << invitation(EventSource::google) << "-"
                                      << "-"
                                      << "Decline";
        QTest::newRow("local guest") << invitation(EventSource::calendar) << "-"
                                     << "-"
                                     << "Remove from my calendar";
        CalEvent readOnly = invitation(EventSource::google);
        readOnly.calendarEditable = false;
        QTest::newRow("guest in a read-only calendar") << readOnly << "-"
                                                       << "-"
                                                       << "-";
        CalEvent notInvited = meeting(EventSource::google);
        notInvited.organizerIsMe = false;
        QTest::newRow("someone else's event, user not listed") << notInvited << "-"
                                                               << "-"
                                                               << "-";
    }
    void actionMatrix() {
        QFETCH(CalEvent, event);
        const M::Actions actions = M::actions(event);
        QFETCH(QString, edit);
        QFETCH(QString, remove);
        QFETCH(QString, decline);
        QCOMPARE(actions.edit ? M::editHelp(event) : QStringLiteral("-"), edit);
        QCOMPARE(actions.deletion ? M::deleteHelp(event) : QStringLiteral("-"), remove);
        QCOMPARE(actions.decline ? M::declineHelp(event) : QStringLiteral("-"), decline);
    }

    void confirmations_data() {
        QTest::addColumn<M::ConfirmText>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("busy");

        CalEvent repeating = meeting();
        repeating.isRecurring = true;
        QTest::newRow("repeating, alone")
            << M::confirmText(M::Confirm::deletion, repeating) << "Delete this occurrence?"
            << "Delete"
            << "Deleting\u2026";
        repeating.attendees = invitation(EventSource::calendar).attendees;
        QTest::newRow("repeating, with guests") << M::confirmText(M::Confirm::deletion, repeating)
                                                << "Delete this occurrence? Guests get a cancellation."
                                                << "Delete"
                                                << "Deleting\u2026";
        QTest::newRow("with guests") << M::confirmText(M::Confirm::deletion, invitation(EventSource::google))
                                     << "Delete for everyone? Guests get a cancellation."
                                     << "Delete"
                                     << "Deleting\u2026";
        CalEvent onlyMe = meeting();
        onlyMe.attendees = {
            TestEvents::guest(QStringLiteral("Ada"), QString(), Attendee::Status::accepted, true)};
        QTest::newRow("only the user listed")
            << M::confirmText(M::Confirm::deletion, onlyMe) << "Delete this event?"
            << "Delete"
            << "Deleting\u2026";
        QTest::newRow("Google decline")
            << M::confirmText(M::Confirm::decline, invitation(EventSource::google))
            << "Decline? Ondrea will be notified."
            << "Decline"
            << "Declining\u2026";
        CalEvent anonymous = invitation(EventSource::google);
        anonymous.organizer.reset();
        QTest::newRow("Google decline, organiser unknown")
            << M::confirmText(M::Confirm::decline, anonymous) << "Decline? The organizer will be notified."
            << "Decline"
            << "Declining\u2026";
        QTest::newRow("local removal")
            << M::confirmText(M::Confirm::decline, invitation(EventSource::calendar))
            << "Remove from your calendar? The organizer may see this as a decline."
            << "Remove"
            << "Removing\u2026";
    }
    void confirmations() {
        QFETCH(M::ConfirmText, text);
        QTEST(text.message, "message");
        QTEST(text.button, "button");
        QTEST(text.busyLabel, "busy");
    }

    // In Berlin, 12-hour clock; 29 March 2026 is the spring clock change (02:00 becomes 03:00).
    void timeText_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<QString>("text");
        const auto timed = [](const QString& from, const QString& to) {
            return TestEvents::timed(QStringLiteral("t"), QStringLiteral("T"), at(from), at(to));
        };
        const auto allDay = [](const QString& first, const QString& after) {
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
        QTest::newRow("half a minute rounds away from zero")
            << TestEvents::timed("h", "H", at("2026-03-04 09:00"), at("2026-03-04 09:00").addSecs(90))
            << "Wed, Mar 4 \u00B7 9:00 \u2013 9:01 am \u00B7 2 min";
        QTest::newRow("zero length at midnight") << timed("2026-03-05 00:00", "2026-03-05 00:00")
                                                 << "Thu, Mar 5 \u00B7 12:00 \u2013 12:00 am \u00B7 0 min";
        QTest::newRow("all day") << allDay("2026-03-04 00:00", "2026-03-05 00:00")
                                 << "All day \u00B7 Wed, Mar 4";
        QTest::newRow("three days") << allDay("2026-03-04 00:00", "2026-03-07 00:00")
                                    << "All day \u00B7 Wed, Mar 4 \u2013 Fri, Mar 6";
        QTest::newRow("all day over the 23-hour day") << allDay("2026-03-28 00:00", "2026-03-30 00:00")
                                                      << "All day \u00B7 Sat, Mar 28 \u2013 Sun, Mar 29";
    }
    void timeText() {
        QFETCH(CalEvent, event);
        QTEST(M::timeText(event, us), "text");
    }

    void attendees_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("chips");
        QTest::addColumn<QString>("more");
        QTest::addColumn<QString>("summary");
        QTest::newRow("12") << 12 << 12 << QString() << "12 attendees \u00B7 6 accepted";
        QTest::newRow("13") << 13 << 12 << "+1 more"
                            << "13 attendees \u00B7 6 accepted";
        QTest::newRow("1, still plural") << 1 << 1 << QString() << "1 attendees \u00B7 0 accepted";
    }
    void attendees() {
        QFETCH(int, count);
        const CalEvent event = withAttendees(count);
        QTEST(int(M::chips(event).size()), "chips");
        QTEST(M::moreText(event).value_or(QString()), "more");
        QTEST(M::attendeeSummary(event), "summary");
    }

    void chipNames() {
        CalEvent event = meeting();
        event.attendees = {
            TestEvents::guest(QStringLiteral("ada@corp.io"), QString(), Attendee::Status::accepted, true),
            TestEvents::guest(QStringLiteral("ondrea.vask@corp.io"), QString()),
            TestEvents::guest(QStringLiteral("@@"), QString()),
            TestEvents::guest(QStringLiteral("@lio@x"), QString()),
            TestEvents::guest(QString(), QStringLiteral("nameless@corp.io")),
            TestEvents::guest(QStringLiteral("Tove Lind"), QString(), Attendee::Status::tentative)};
        event.attendees[5].isOrganizer = true;
        QStringList names;
        for (const M::Chip& chip : M::chips(event))
            names << chip.name;
        QCOMPARE(names, (QStringList{"You", "ondrea.vask", "@@", "lio", "nameless", "Tove Lind"}));
        QVERIFY(M::chips(event).last().organizer);
    }

    void notes_data() {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("shown"); // "(none)": no notes box
        QTest::newRow("five line feeds become two") << "Agenda\n\n\n\n\nBring slides"
                                                    << "Agenda\n\nBring slides";
        QTest::newRow("Windows line ends") << "One\r\n\r\n\r\n\r\nTwo\r\nThree"
                                           << "One\n\nTwo\nThree";
        QTest::newRow("blank lines only") << "\n \n\t\n\r\n"
                                          << "(none)";
        QTest::newRow("blank ends trimmed") << "\n\n  Dial in early  \n"
                                            << "Dial in early";
    }
    void notes() {
        QFETCH(QString, notes);
        QTEST(M::cleanNotes(notes).value_or(QStringLiteral("(none)")), "shown");
    }

    void locationLine_data() {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("shown"); // "(none)": no location line
        const QString zoom = QStringLiteral("https://us06web.zoom.us/j/841277?pwd=abc");
        QTest::newRow("the meeting link itself") << zoom << QString() << "(none)";
        QTest::newRow("the meeting link, host in capitals")
            << QStringLiteral("https://US06WEB.zoom.us/j/841277?pwd=abc") << QString() << "(none)";
        QTest::newRow("a room, link in the notes") << "Room 4" << zoom << "Room 4";
        QTest::newRow("another link than the meeting's")
            << QStringLiteral("https://maps.example.com/x") << zoom << "https://maps.example.com/x";
        QTest::newRow("blank") << "  " << QString() << "(none)";
    }
    void locationLine() {
        QFETCH(QString, location);
        QFETCH(QString, notes);
        CalEvent event = meeting();
        event.location = location;
        if (!notes.isEmpty())
            event.notes = notes;
        QTEST(M::locationText(event).value_or(QStringLiteral("(none)")), "shown");
    }

    void footerLinks_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<QList<M::Link>>("links");
        CalEvent local = meeting();
        QTest::newRow("local, no item") << local << QList<M::Link>{M::Link::notionCalendar};
        local.ekIdentifier = QStringLiteral("Work/a.ics#a");
        QTest::newRow("local item") << local << QList<M::Link>{M::Link::notionCalendar, M::Link::calendarApp};
        CalEvent google = meeting(EventSource::google);
        google.webLink = QUrl(QStringLiteral("https://www.google.com/calendar/event?eid=x"));
        QTest::newRow("Google, web page")
            << google << QList<M::Link>{M::Link::notionCalendar, M::Link::googleCalendar};
        google.webLink = QUrl(QStringLiteral("file:///home/ada/.bashrc"));
        QTest::newRow("Google, file link") << google << QList<M::Link>{M::Link::notionCalendar};
        CalEvent notion = meeting(EventSource::notion);
        QTest::newRow("Notion, no link") << notion << QList<M::Link>{};
        notion.notionURL = QUrl(QStringLiteral("notion://www.notion.so/Plan-1a2b"));
        QTest::newRow("Notion, app link") << notion << QList<M::Link>{M::Link::notionPage};
    }
    void footerLinks() {
        QFETCH(CalEvent, event);
        QTEST(M::links(event), "links");
    }

    void badge() {
        CalEvent event = meeting();
        const QDateTime before = event.start.addSecs(-600);
        QCOMPARE(M::badge(event, std::nullopt, before),
                 (M::Badge{QStringLiteral("in 10 min"), false, false}));
        QCOMPARE(M::badge(event, std::nullopt, event.start),
                 (M::Badge{QStringLiteral("30 min left"), false, true}));
        QCOMPARE(M::badge(event, QStringLiteral("Deleted"), event.start),
                 (M::Badge{QStringLiteral("Deleted"), true, false}));
        event.isAllDay = true;
        QCOMPARE(M::badge(event, std::nullopt, event.start), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestEventDetailModel)
#include "tst_eventdetailmodel.moc"
