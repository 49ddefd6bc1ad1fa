#include "core/model/Cal.h"
#include "core/store/FreeSlots.h"
#include "support/TestEvents.h"

#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

const QTimeZone berlin("Europe/Berlin");

QDateTime b(const QString& wall) {
    return at(wall, berlin);
}

CalEvent busy(const QString& from, const QString& to) {
    return timed(from, "Busy", b(from), b(to));
}

CalEvent withMyAnswer(CalEvent event, Attendee::Status status) {
    event.attendees = {guest("Me", "me@corp.io", status, true)};
    return event;
}

} // namespace

class TestFreeSlots : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstFreeSlotOfADay_data() {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("day");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("workStart");
        QTest::addColumn<int>("workEnd");
        QTest::addColumn<QList<CalEvent>>("events");
        QTest::addColumn<QString>("start"); // empty: no slot

        const QString today = "2026-03-04 10:07";
        QTest::newRow("today: from now on the quarter hour")
            << today << "2026-03-04 12:00" << 60 << 9 << 18 << QList<CalEvent>{} << "2026-03-04 10:15";
        QTest::newRow("today: after a meeting, on the quarter hour")
            << today << "2026-03-04 00:00" << 60 << 9 << 18
            << QList{busy("2026-03-04 10:15", "2026-03-04 10:50")} << "2026-03-04 11:00";
        QTest::newRow("declined meetings do not block")
            << today << "2026-03-04 00:00" << 60 << 9 << 18
            << QList{withMyAnswer(busy("2026-03-04 10:15", "2026-03-04 10:50"), Attendee::Status::declined)}
            << "2026-03-04 10:15";
        QTest::newRow("unanswered invitations block")
            << today << "2026-03-04 00:00" << 60 << 9 << 18
            << QList{withMyAnswer(busy("2026-03-04 10:15", "2026-03-04 10:50"), Attendee::Status::pending)}
            << "2026-03-04 11:00";
        QTest::newRow("all-day events do not block")
            << today << "2026-03-05 00:00" << 60 << 9 << 18
            << QList{allDay("a", "Offsite", b("2026-03-05 00:00"), b("2026-03-06 00:00"))}
            << "2026-03-05 09:00";
        QTest::newRow("another day starts at the working start")
            << today << "2026-03-05 15:00" << 30 << 9 << 18 << QList<CalEvent>{} << "2026-03-05 09:00";
        QTest::newRow("meetings in any order, back to back")
            << today << "2026-03-05 00:00" << 30 << 9 << 18
            << QList{busy("2026-03-05 09:45", "2026-03-05 10:00"),
                     busy("2026-03-05 09:00", "2026-03-05 09:40")}
            << "2026-03-05 10:00";
        QTest::newRow("a gap too short is skipped") << today << "2026-03-05 00:00" << 30 << 9 << 18
                                                    << QList{busy("2026-03-05 09:00", "2026-03-05 09:20"),
                                                             busy("2026-03-05 09:45", "2026-03-05 10:10")}
                                                    << "2026-03-05 10:15";
        QTest::newRow("the whole working day")
            << today << "2026-03-05 00:00" << 540 << 9 << 18 << QList<CalEvent>{} << "2026-03-05 09:00";
        QTest::newRow("longer than the working day")
            << today << "2026-03-05 00:00" << 541 << 9 << 18 << QList<CalEvent>{} << "";
        QTest::newRow("a slot may end at 18:00")
            << today << "2026-03-05 00:00" << 60 << 9 << 18
            << QList{busy("2026-03-05 08:00", "2026-03-05 17:00")} << "2026-03-05 17:00";
        QTest::newRow("but not a minute later") << today << "2026-03-05 00:00" << 60 << 9 << 18
                                                << QList{busy("2026-03-05 08:00", "2026-03-05 17:01")} << "";
        QTest::newRow("today after working hours")
            << "2026-03-04 17:10"
            << "2026-03-04 00:00" << 60 << 9 << 18 << QList<CalEvent>{} << "";
        QTest::newRow("skipped hour: 02:00 becomes 03:00")
            << today << "2026-03-29 00:00" << 30 << 2 << 4 << QList<CalEvent>{} << "2026-03-29 03:00";
        QTest::newRow("working end that does not exist")
            << today << "2026-03-05 00:00" << 30 << 9 << 24 << QList<CalEvent>{} << "";
    }
    void firstFreeSlotOfADay() {
        QFETCH(QString, now);
        QFETCH(QString, day);
        QFETCH(int, minutes);
        QFETCH(int, workStart);
        QFETCH(int, workEnd);
        QFETCH(QList<CalEvent>, events);
        QFETCH(QString, start);
        const Cal cal(berlin, QLocale(QLocale::German, QLocale::Germany));
        const std::optional<FreeSlot> slot =
            FreeSlots::onDay(events, b(day), b(now), minutes, workStart, workEnd, cal);
        if (start.isEmpty()) {
            QCOMPARE(slot, std::nullopt);
            return;
        }
        QVERIFY(slot);
        QCOMPARE(slot->start, b(start));
        QCOMPARE(slot->end, b(start).addSecs(minutes * 60));
    }
};

QTEST_GUILESS_MAIN(TestFreeSlots)
#include "tst_freeslots.moc"
