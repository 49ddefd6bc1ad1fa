#include "core/model/Cal.h"
#include "core/store/DayMap.h"
#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

const EventSource google = EventSource::google;
const EventSource notion = EventSource::notion;

Cal berlin() {
    return WallClock::cal("Europe/Berlin", "de_DE");
}

QDateTime b(const QString& wall) {
    return WallClock::at(berlin(), wall);
}

// A timed event on Wednesday 4 March between the wall times "HH:mm[:ss]".
CalEvent t(const QString& id, const QString& title, const QString& from, const QString& to,
           EventSource source = EventSource::calendar) {
    return timed(id, title, b("2026-03-04 " + from), b("2026-03-04 " + to), source);
}

// An all-day event of `days` days from Wednesday 4 March.
CalEvent d(const QString& id, const QString& title, int days, EventSource source = EventSource::calendar) {
    return allDay(id, title, b("2026-03-04 00:00"), b("2026-03-04 00:00").addDays(days), source);
}

QStringList ids(const QList<CalEvent>& events) {
    QStringList out;
    for (const CalEvent& e : events)
        out << e.id;
    return out;
}

} // namespace

class TestDayMap : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One meeting read from two sources is listed once (the first source wins), and the day is sorted.
    void oneDay_data() {
        QTest::addColumn<QList<CalEvent>>("google");
        QTest::addColumn<QList<CalEvent>>("local");
        QTest::addColumn<QList<CalEvent>>("notion");
        QTest::addColumn<QStringList>("listed");
        const auto row = [](const char* name, QList<CalEvent> g, QList<CalEvent> l, QList<CalEvent> n,
                            QStringList listed) { QTest::newRow(name) << g << l << n << listed; };
        row("Google copy beats the local copy", {t("g:1", "Standup", "10:00", "10:30", google)},
            {t("l:1", "Standup", "10:00", "10:30")}, {}, {"g:1"});
        row("titles compared without case", {}, {t("l:1", "Design Review", "10:00", "10:30")},
            {t("n:1", "design review", "10:00", "10:30", notion)}, {"l:1"});
        row("ends a second apart are two events", {},
            {t("l:1", "Standup", "10:00", "10:30"), t("l:2", "Standup", "10:00", "10:30:01")}, {},
            {"l:2", "l:1"});
        row("all-day items match by start day whatever their end", {d("g:1", "Offsite", 1, google)}, {},
            {d("n:1", "OFFSITE", 2, notion)}, {"g:1"});
        row("an all-day item and a timed one never match", {}, {d("l:1", "Offsite", 1)},
            {timed("n:1", "Offsite", b("2026-03-04 00:00"), b("2026-03-05 00:00"), notion)}, {"l:1", "n:1"});
        row("of two starting together the longer first", {},
            {t("short", "Sync", "09:00", "10:00"), t("long", "Sync 2", "09:00", "11:00")}, {},
            {"long", "short"});
        row("characters beyond U+FFFF after U+E000..U+FFFF", {},
            {t("emoji", QStringLiteral("\U0001F600 party"), "09:00", "10:00"),
             t("private", QStringLiteral("\uE000 party"), "09:00", "10:00")},
            {}, {"private", "emoji"});
    }
    void oneDay() {
        QFETCH(QList<CalEvent>, google);
        QFETCH(QList<CalEvent>, local);
        QFETCH(QList<CalEvent>, notion);
        QFETCH(QStringList, listed);
        const EventsByDay days = DayMap::merge(google, local, notion, berlin());
        QCOMPARE(ids(days.value(b("2026-03-04 00:00"))), listed);
    }

    void eventIsListedOnEveryDayItTouches() {
        // Spans the change to summer time on Sunday 29 March.
        const CalEvent trip = timed("trip", "Trip", b("2026-03-28 18:00"), b("2026-03-30 09:00"));
        const CalEvent offsite = allDay("offsite", "Offsite", b("2026-03-30 00:00"), b("2026-04-01 00:00"));
        const EventsByDay days = DayMap::merge({}, {trip, offsite}, {}, berlin());
        QCOMPARE(days.keys(), (QList<QDateTime>{b("2026-03-28 00:00"), b("2026-03-29 00:00"),
                                                b("2026-03-30 00:00"), b("2026-03-31 00:00")}));
        QCOMPARE(ids(days.value(b("2026-03-30 00:00"))), (QStringList{"offsite", "trip"}));
        QCOMPARE(ids(days.value(b("2026-03-31 00:00"))), QStringList{"offsite"});
    }
};

QTEST_GUILESS_MAIN(TestDayMap)
#include "tst_daymap.moc"
