#include "core/model/Cal.h"
#include "core/store/FreeSlots.h"
#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

Cal berlin() {
    return WallClock::cal("Europe/Berlin", "de_DE");
}

QDateTime b(const QString& wall) {
    return WallClock::at(berlin(), wall);
}

// Busy on Thursday 5 March between the wall times "HH:mm", with my answer when one is given.
CalEvent busy(const QString& from, const QString& to, std::optional<Attendee::Status> answer = {}) {
    CalEvent event = timed(from, "Busy", b("2026-03-05 " + from), b("2026-03-05 " + to));
    if (answer)
        event.attendees = {guest("Me", "me@corp.io", *answer, true)};
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
        QTest::addColumn<int>("workEnd"); // from 9 o'clock, or from 2 when it ends at 4
        QTest::addColumn<QList<CalEvent>>("events");
        QTest::addColumn<QString>("start"); // empty: no slot
        const auto row = [](const char* name, QString now, QString day, int minutes, int workEnd,
                            QList<CalEvent> events, QString start) {
            QTest::newRow(name) << now << day << minutes << workEnd << events << start;
        };
        // Thursday 5 March; "today" is the Thursday too unless the row says otherwise.
        const QString today = "2026-03-05 10:07";
        const QString day = "2026-03-05 00:00";
        row("today: from now on the quarter hour", today, "2026-03-05 12:00", 60, 18, {}, "10:15");
        row("today: after a meeting, on the quarter hour", today, day, 60, 18, {busy("10:15", "10:50")},
            "11:00");
        row("declined meetings do not block", today, day, 60, 18,
            {busy("10:15", "10:50", Attendee::Status::declined)}, "10:15");
        row("unanswered invitations block", today, day, 60, 18,
            {busy("10:15", "10:50", Attendee::Status::pending)}, "11:00");
        row("all-day events do not block, another day starts at 9", "2026-03-04 10:07", day, 60, 18,
            {allDay("a", "Offsite", b("2026-03-05 00:00"), b("2026-03-06 00:00"))}, "09:00");
        row("meetings in any order, back to back", "2026-03-04 10:07", day, 30, 18,
            {busy("09:45", "10:00"), busy("09:00", "09:40")}, "10:00");
        row("a gap too short is skipped", "2026-03-04 10:07", day, 30, 18,
            {busy("09:00", "09:20"), busy("09:45", "10:10")}, "10:15");
        row("the whole working day", "2026-03-04 10:07", day, 540, 18, {}, "09:00");
        row("longer than the working day", "2026-03-04 10:07", day, 541, 18, {}, "");
        row("a slot may end at 18:00", "2026-03-04 10:07", day, 60, 18, {busy("08:00", "17:00")}, "17:00");
        row("but not a minute later", "2026-03-04 10:07", day, 60, 18, {busy("08:00", "17:01")}, "");
        row("today after working hours", "2026-03-05 17:10", day, 60, 18, {}, "");
        row("skipped hour: 02:00 becomes 03:00", today, "2026-03-29 00:00", 30, 4, {}, "03:00");
        row("working end that does not exist", today, day, 30, 24, {}, "");
    }
    void firstFreeSlotOfADay() {
        QFETCH(QString, now);
        QFETCH(QString, day);
        QFETCH(int, minutes);
        QFETCH(int, workEnd);
        QFETCH(QList<CalEvent>, events);
        QFETCH(QString, start);
        const int workStart = workEnd == 4 ? 2 : 9;
        const std::optional<FreeSlot> slot =
            FreeSlots::onDay(events, b(day), b(now), minutes, workStart, workEnd, berlin());
        if (start.isEmpty()) {
            QCOMPARE(slot, std::nullopt);
            return;
        }
        const QDateTime expected = b(day.left(11) + start);
        QCOMPARE(slot, (FreeSlot{expected, expected.addSecs(minutes * 60)}));
    }
};

QTEST_GUILESS_MAIN(TestFreeSlots)
#include "tst_freeslots.moc"
