#include "core/model/Cal.h"
#include "core/model/CalEvent.h"

#include <QSet>
#include <QTest>

#include <functional>

namespace {

QDateTime utc(int y, int mo, int d, int h = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, 0), Qt::UTC);
}

// A Google meeting to which I am invited, in a calendar I can write to.
CalEvent meeting() {
    CalEvent e;
    e.id = CalEvent::googleId("me@example.com", "primary", "ev1");
    e.title = QStringLiteral("Planning");
    e.start = utc(2026, 3, 2, 9);
    e.end = utc(2026, 3, 2, 10);
    e.source = EventSource::google;
    e.calendarEditable = true;
    e.attendees = {Attendee{QStringLiteral("Boss")}, Attendee{QStringLiteral("Me"), {}, false, true}};
    return e;
}

// `count` consecutive day starts from `first`, for spans without a daylight-saving change.
QList<QDateTime> daily(const QDateTime& first, int count) {
    QList<QDateTime> days;
    for (int i = 0; i < count; ++i)
        days.append(first.addDays(i));
    return days;
}

using Change = std::function<void(CalEvent&)>;

const char* const berlin = "Europe/Berlin";

QList<QDateTime> daysOf(const char* zone, const QDateTime& start, const QDateTime& end) {
    CalEvent e = meeting();
    e.start = start;
    e.end = end;
    return e.days(Cal(QTimeZone(zone), QLocale::c()));
}

} // namespace

class TestCalEvent : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void localIdsCountWholeSecondsTowardZero() {
        const auto local = [](qint64 ms) {
            return CalEvent::localId("Work/a.ics", QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        };
        QCOMPARE(local(1772442000'999), "Work/a.ics:1772442000");
        QCOMPARE(local(-1999), "Work/a.ics:-1");
    }

    void equality_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("equal");
        QTest::newRow("location") << Change([](CalEvent& e) { e.location = "Room 4"; }) << true;
        QTest::newRow("same instant, other zone")
            << Change([](CalEvent& e) { e.start = e.start.toTimeZone(QTimeZone("Asia/Tokyo")); }) << true;
        QTest::newRow("lastEdited") << Change([](CalEvent& e) { e.lastEdited = utc(2026, 3, 1); }) << false;
        QTest::newRow("notionStatus") << Change([](CalEvent& e) { e.notionStatus = "Done"; }) << false;
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
        const QSet<CalEvent> set{base, other};
        QCOMPARE(set.size(), equal ? 1 : 2);
        QVERIFY(set.contains(other));
    }

    void days_data() {
        QTest::addColumn<QList<QDateTime>>("days");
        QTest::addColumn<QList<QDateTime>>("expected");
        const QDateTime march1 = utc(2026, 3, 1, 23); // the start of 2 March in Berlin
        QTest::newRow("across midnight")
            << daysOf(berlin, utc(2026, 3, 2, 22), utc(2026, 3, 3)) << daily(march1, 2);
        QTest::newRow("all-day to next midnight")
            << daysOf(berlin, march1, utc(2026, 3, 2, 23)) << daily(march1, 1);
        QTest::newRow("zero length") << daysOf(berlin, march1, march1) << daily(march1, 1);
        QTest::newRow("100 days: the first 62")
            << daysOf(berlin, utc(2026, 1, 10, 8), utc(2026, 4, 20, 8)) << daily(utc(2026, 1, 9, 23), 62);
        QTest::newRow("daylight-saving day")
            << daysOf(berlin, utc(2026, 3, 28, 19), utc(2026, 3, 30, 8))
            << QList<QDateTime>{utc(2026, 3, 27, 23), utc(2026, 3, 28, 23), utc(2026, 3, 29, 22)};
    }
    void days() {
        QFETCH(QList<QDateTime>, days);
        QFETCH(QList<QDateTime>, expected);
        QCOMPARE(days, expected);
    }
};

QTEST_GUILESS_MAIN(TestCalEvent)
#include "tst_calevent.moc"
