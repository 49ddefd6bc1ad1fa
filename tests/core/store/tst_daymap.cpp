#include "core/model/Cal.h"
#include "core/store/DayMap.h"
#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

const QTimeZone berlin("Europe/Berlin");

QDateTime berlinAt(const QString& wall) {
    return at(wall, berlin);
}

QStringList idsOf(const QList<CalEvent>& events) {
    QStringList ids;
    for (const CalEvent& e : events)
        ids << e.id;
    return ids;
}

} // namespace

class TestDayMap : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameMeetingFromTwoSourcesIsListedOnce_data() {
        QTest::addColumn<QList<CalEvent>>("google");
        QTest::addColumn<QList<CalEvent>>("local");
        QTest::addColumn<QList<CalEvent>>("notion");
        QTest::addColumn<QStringList>("listed");

        const QDateTime ten = berlinAt("2026-03-04 10:00");
        const QDateTime half = berlinAt("2026-03-04 10:30");
        const QDateTime day = berlinAt("2026-03-04 00:00");
        const QDateTime nextDay = berlinAt("2026-03-05 00:00");
        const QDateTime dayAfter = berlinAt("2026-03-06 00:00");

        QTest::newRow("Google copy beats the local copy")
            << QList{timed("g:1", "Standup", ten, half, EventSource::google)}
            << QList{timed("l:1", "Standup", ten, half)} << QList<CalEvent>{} << QStringList{"g:1"};
        QTest::newRow("titles compared without case")
            << QList<CalEvent>{} << QList{timed("l:1", "Design Review", ten, half)}
            << QList{timed("n:1", "design review", ten, half, EventSource::notion)} << QStringList{"l:1"};
        QTest::newRow("ends a second apart are two events")
            << QList<CalEvent>{}
            << QList{timed("l:1", "Standup", ten, half), timed("l:2", "Standup", ten, half.addSecs(1))}
            << QList<CalEvent>{} << QStringList{"l:2", "l:1"};
        QTest::newRow("the same source can repeat itself")
            << QList<CalEvent>{}
            << QList{timed("l:1", "Standup", ten, half), timed("l:2", "Standup", ten, half)}
            << QList<CalEvent>{} << QStringList{"l:1"};
        QTest::newRow("all-day items match by start day whatever their end")
            << QList{allDay("g:1", "Offsite", day, nextDay, EventSource::google)} << QList<CalEvent>{}
            << QList{allDay("n:1", "OFFSITE", day, dayAfter, EventSource::notion)} << QStringList{"g:1"};
        QTest::newRow("an all-day item and a timed one never match")
            << QList<CalEvent>{} << QList{allDay("l:1", "Offsite", day, nextDay)}
            << QList{timed("n:1", "Offsite", day, nextDay, EventSource::notion)} << QStringList{"l:1", "n:1"};
        QTest::newRow("different titles at one time both stay")
            << QList{timed("g:1", "Standup", ten, half, EventSource::google)}
            << QList{timed("l:1", "Stand-up", ten, half)} << QList<CalEvent>{} << QStringList{"l:1", "g:1"};
    }
    void sameMeetingFromTwoSourcesIsListedOnce() {
        QFETCH(QList<CalEvent>, google);
        QFETCH(QList<CalEvent>, local);
        QFETCH(QList<CalEvent>, notion);
        QFETCH(QStringList, listed);
        const EventsByDay days =
            DayMap::merge(google, local, notion, WallClock::cal("Europe/Berlin", "de_DE"));
        QCOMPARE(idsOf(days.value(berlinAt("2026-03-04 00:00"))), listed);
    }

    void dayOrder_data() {
        QTest::addColumn<QList<CalEvent>>("events");
        QTest::addColumn<QStringList>("order");

        const QDateTime midnight = berlinAt("2026-03-04 00:00");
        const QDateTime nine = berlinAt("2026-03-04 09:00");
        const QDateTime ten = berlinAt("2026-03-04 10:00");
        const QDateTime eleven = berlinAt("2026-03-04 11:00");
        const QDateTime nextDay = berlinAt("2026-03-05 00:00");

        QTest::newRow("all-day before a timed event at midnight")
            << QList{timed("t", "Early", midnight, nine), allDay("a", "Holiday", midnight, nextDay)}
            << QStringList{"a", "t"};
        QTest::newRow("earlier start first")
            << QList{timed("b", "B", ten, eleven), timed("a", "A", nine, ten)} << QStringList{"a", "b"};
        QTest::newRow("of two starting together the longer first")
            << QList{timed("short", "Sync", nine, ten), timed("long", "Sync 2", nine, eleven)}
            << QStringList{"long", "short"};
        QTest::newRow("upper-case Z before lower-case a")
            << QList{timed("a", "alpha", nine, ten), timed("z", "Zeta", nine, ten)} << QStringList{"z", "a"};
        QTest::newRow("characters beyond U+FFFF after U+E000..U+FFFF")
            << QList{timed("emoji", QStringLiteral("\U0001F600 party"), nine, ten),
                     timed("private", QStringLiteral("\uE000 party"), nine, ten)}
            << QStringList{"private", "emoji"};
    }
    void dayOrder() {
        QFETCH(QList<CalEvent>, events);
        QFETCH(QStringList, order);
        const EventsByDay days = DayMap::merge({}, events, {}, WallClock::cal("Europe/Berlin", "de_DE"));
        QCOMPARE(idsOf(days.value(berlinAt("2026-03-04 00:00"))), order);
    }

    void eventIsListedOnEveryDayItTouches() {
        // Spans the change to summer time on Sunday 29 March.
        const CalEvent trip =
            timed("trip", "Trip", berlinAt("2026-03-28 18:00"), berlinAt("2026-03-30 09:00"));
        const CalEvent offsite =
            allDay("offsite", "Offsite", berlinAt("2026-03-30 00:00"), berlinAt("2026-04-01 00:00"));
        const EventsByDay days =
            DayMap::merge({}, {trip, offsite}, {}, WallClock::cal("Europe/Berlin", "de_DE"));
        QCOMPARE(days.keys(), (QList<QDateTime>{berlinAt("2026-03-28 00:00"), berlinAt("2026-03-29 00:00"),
                                                berlinAt("2026-03-30 00:00"), berlinAt("2026-03-31 00:00")}));
        QCOMPARE(idsOf(days.value(berlinAt("2026-03-30 00:00"))), (QStringList{"offsite", "trip"}));
        QCOMPARE(idsOf(days.value(berlinAt("2026-03-31 00:00"))), QStringList{"offsite"});
    }
};

QTEST_GUILESS_MAIN(TestDayMap)
#include "tst_daymap.moc"
