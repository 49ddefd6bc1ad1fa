#include "core/model/Cal.h"
#include "core/model/CalEvent.h"

#include <QSet>
#include <QTest>

#include <functional>

namespace {

QDateTime utc(int y, int mo, int d, int h = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, 0), Qt::UTC);
}

CalEvent meeting() {
    CalEvent e;
    e.id = CalEvent::googleId(QStringLiteral("me@example.com"), QStringLiteral("primary"),
                              QStringLiteral("ev1"));
    e.title = QStringLiteral("Planning");
    e.start = utc(2026, 3, 2, 9);
    e.end = utc(2026, 3, 2, 10);
    e.source = EventSource::google;
    return e;
}

using Change = std::function<void(CalEvent&)>;

} // namespace

class TestCalEvent : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void identityForms() {
        const auto local = [](qint64 ms) {
            return CalEvent::localId(QStringLiteral("Work/a.ics"),
                                     QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        };
        QCOMPARE(local(1772442000'999), "Work/a.ics:1772442000");
        QCOMPARE(local(-1999), "Work/a.ics:-1"); // toward zero, not down
        QCOMPARE(CalEvent::googleId(QStringLiteral("a@b.com"), QStringLiteral("c@group.calendar.google.com"),
                                    QStringLiteral("e_1")),
                 "g:a@b.com:c@group.calendar.google.com:e_1");
        QCOMPARE(CalEvent::notionId(QStringLiteral("1f2e")), "notion:1f2e");
        QCOMPARE(CalEvent::sampleId(QStringLiteral("Standup")), "sample:Standup");
        QCOMPARE(CalEvent::previewAlertId(), "preview:alert");
    }

    void equality_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("equal");
        QTest::newRow("location") << Change([](CalEvent& e) { e.location = QStringLiteral("Room 4"); })
                                  << true;
        QTest::newRow("attendees") << Change([](CalEvent& e) {
            e.attendees = {Attendee{QStringLiteral("Ana")}};
        }) << true;
        QTest::newRow("same instant, other zone")
            << Change([](CalEvent& e) { e.start = e.start.toTimeZone(QTimeZone("Asia/Tokyo")); }) << true;
        QTest::newRow("lastEdited") << Change([](CalEvent& e) { e.lastEdited = utc(2026, 3, 1); }) << false;
        QTest::newRow("notionStatus")
            << Change([](CalEvent& e) { e.notionStatus = QStringLiteral("Done"); }) << false;
        QTest::newRow("end") << Change([](CalEvent& e) { e.end = e.end.addSecs(60); }) << false;
    }
    void equality() {
        QFETCH(Change, change);
        QFETCH(bool, equal);
        const CalEvent base = meeting();
        CalEvent other = base;
        change(other);
        QCOMPARE(base == other, equal);
        if (equal)
            QCOMPARE(qHash(base, 7), qHash(other, 7));
        QSet<CalEvent> set{base, other};
        QCOMPARE(set.size(), equal ? 1 : 2);
        QVERIFY(set.contains(other));
    }

    void days_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QList<QDateTime>>("expected");
        const QString berlin = QStringLiteral("Europe/Berlin");
        QTest::newRow("across midnight") << berlin << utc(2026, 3, 2, 22) << utc(2026, 3, 3, 0)
                                         << QList<QDateTime>{utc(2026, 3, 1, 23), utc(2026, 3, 2, 23)};
        QTest::newRow("all-day to next midnight")
            << berlin << utc(2026, 3, 1, 23) << utc(2026, 3, 2, 23) << QList<QDateTime>{utc(2026, 3, 1, 23)};
        QTest::newRow("zero length") << berlin << utc(2026, 3, 1, 23) << utc(2026, 3, 1, 23)
                                     << QList<QDateTime>{utc(2026, 3, 1, 23)};
        QTest::newRow("daylight-saving day")
            << berlin << utc(2026, 3, 28, 19) << utc(2026, 3, 30, 8)
            << QList<QDateTime>{utc(2026, 3, 27, 23), utc(2026, 3, 28, 23), utc(2026, 3, 29, 22)};
        QTest::newRow("day starting at 01:00")
            << "America/Sao_Paulo" << utc(2018, 11, 4, 1) << utc(2018, 11, 5, 5)
            << QList<QDateTime>{utc(2018, 11, 3, 3), utc(2018, 11, 4, 3), utc(2018, 11, 5, 2)};
    }
    void days() {
        QFETCH(QString, zone);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QList<QDateTime>, expected);
        CalEvent e = meeting();
        e.start = start;
        e.end = end;
        QCOMPARE(e.days(Cal(QTimeZone(zone.toLatin1()), QLocale::c())), expected);
    }

    void longEventsStopAfter62Days() {
        CalEvent e = meeting();
        e.start = utc(2026, 1, 10, 8);
        e.end = e.start.addDays(100);
        const QList<QDateTime> days = e.days(Cal(QTimeZone("Europe/Berlin"), QLocale::c()));
        QCOMPARE(days.size(), 62);
        QCOMPARE(days.first(), utc(2026, 1, 9, 23));
        QCOMPARE(days.last(), utc(2026, 3, 11, 23));
    }

    void canDecline_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("canDecline");
        QTest::newRow("guest") << Change([](CalEvent&) {}) << true;
        QTest::newRow("organiser") << Change([](CalEvent& e) { e.organizerIsMe = true; }) << false;
        QTest::newRow("read-only calendar")
            << Change([](CalEvent& e) { e.calendarEditable = false; }) << false;
        QTest::newRow("not invited") << Change([](CalEvent& e) { e.attendees.removeLast(); }) << false;
        QTest::newRow("Notion page") << Change([](CalEvent& e) { e.source = EventSource::notion; }) << false;
    }
    void canDecline() {
        QFETCH(Change, change);
        QFETCH(bool, canDecline);
        CalEvent e = meeting();
        e.calendarEditable = true;
        e.attendees = {Attendee{QStringLiteral("Boss")}, Attendee{QStringLiteral("Me"), {}, false, true}};
        change(e);
        QCOMPARE(e.canDecline(), canDecline);
    }

    void hasGoogleMeet() {
        CalEvent e = meeting();
        QVERIFY(!e.hasGoogleMeet());
        e.notes = QStringLiteral("Join: https://meet.google.com/abc-defg-hij\nDial-in: +1 555");
        QVERIFY(e.hasGoogleMeet());
        // The URL field comes first, even when the notes hold a Meet link.
        e.url = QUrl(QStringLiteral("https://us02web.zoom.us/j/8812"));
        QVERIFY(!e.hasGoogleMeet());
        QCOMPARE(e.meetingURL(), e.url);
    }
};

QTEST_GUILESS_MAIN(TestCalEvent)
#include "tst_calevent.moc"
