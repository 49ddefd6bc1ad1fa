#include "StoreHarness.h"
#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

const QTimeZone berlin("Europe/Berlin");

CalEvent busy(const QString& from, const QString& to) {
    return timed(from, "Busy", at(from, berlin), at(to, berlin), EventSource::google);
}

// Meetings from 9 to 18 on every day from `first` for `days` days.
QList<CalEvent> busyDays(const QString& first, int days) {
    QList<CalEvent> events;
    const QDate start = QDate::fromString(first, QStringLiteral("yyyy-MM-dd"));
    for (int i = 0; i < days; ++i) {
        const QString day = start.addDays(i).toString(QStringLiteral("yyyy-MM-dd"));
        events << busy(day + " 09:00", day + " 18:00");
    }
    return events;
}

} // namespace

class TestStorePeople : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void directoryFollowsTheAgenda() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.settings->setRecentInvitees({"ann@corp.io"});
        GoogleConfig google;
        GoogleAccount me;
        me.email = QStringLiteral("Me@Corp.io");
        google.accounts = {me};
        h.settings->setGoogle(google);
        TestableStore& store = h.start();
        QCOMPARE(store.knownPeople(), QList<Person>{Person("ann@corp.io", "")});

        CalEvent review = busy("2026-03-04 11:00", "2026-03-04 12:00");
        review.attendees = {guest("me@corp.io", "me@corp.io"), guest("Ann Lee", "ANN@corp.io"),
                            guest("Bob Stone", "bob@corp.io")};
        store.setGoogleEvents({review});
        store.rebuild();
        QCOMPARE(store.knownPeople(),
                 (QList<Person>{Person("ann@corp.io", "Ann Lee"), Person("bob@corp.io", "Bob Stone")}));
        QCOMPARE(store.person("bob")->email, QStringLiteral("bob@corp.io"));
        QCOMPARE(store.suggestions("", {Person("ann@corp.io", "")}),
                 QList<Person>{Person("bob@corp.io", "Bob Stone")});
    }

    void nextFreeSlotFrom_data() {
        QTest::addColumn<bool>("fridaySaturdayWeekendLocale");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("from"); // empty: from now
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QList<CalEvent>>("events");
        QTest::addColumn<QString>("slot"); // empty: none
        QTest::newRow("later today after a meeting")
            << false << "2026-03-04 10:07:00"
            << "" << 60 << QList{busy("2026-03-04 10:15", "2026-03-04 10:50")} << "2026-03-04 11:00";
        QTest::newRow("Friday evening: Monday morning")
            << false << "2026-03-06 17:10:00"
            << "" << 60 << QList<CalEvent>{} << "2026-03-09 09:00";
        QTest::newRow("Thursday evening with a Friday-Saturday weekend: Sunday")
            << true << "2026-03-05 17:10:00"
            << "" << 60 << QList<CalEvent>{} << "2026-03-08 09:00";
        QTest::newRow("over the weekend of the change to summer time")
            << false << "2026-03-27 17:10:00"
            << "" << 60 << QList<CalEvent>{} << "2026-03-30 09:00";
        QTest::newRow("a full day moves to the next")
            << false << "2026-03-04 08:00:00"
            << "" << 30 << busyDays("2026-03-04", 1) << "2026-03-05 09:00";
        QTest::newRow("the search stops where the loaded days end")
            << false << "2026-03-04 08:00:00"
            << "2026-03-16 08:00" << 30 << busyDays("2026-03-16", 5) << "";
    }
    void nextFreeSlotFrom() {
        QFETCH(bool, fridaySaturdayWeekendLocale);
        QFETCH(QString, now);
        QFETCH(QString, from);
        QFETCH(int, minutes);
        QFETCH(QList<CalEvent>, events);
        QFETCH(QString, slot);
        StoreHarness h(now, fridaySaturdayWeekendLocale ? WallClock::cal("Europe/Berlin", "he_IL")
                                                        : WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        store.setGoogleEvents(events);
        store.rebuild();
        const std::optional<FreeSlot> found =
            store.nextFreeSlot(from.isEmpty() ? store.now() : h.at(from), minutes);
        if (slot.isEmpty()) {
            QCOMPARE(found, std::nullopt);
            return;
        }
        QVERIFY(found);
        QCOMPARE(found->start, h.at(slot));
        QCOMPARE(found->end, h.at(slot).addSecs(minutes * 60));
    }

    void onlyLoadedDaysFromTodayOn_data() {
        QTest::addColumn<int>("shift");
        QTest::addColumn<QString>("day");
        QTest::addColumn<bool>("offered");
        // Wednesday 4 March; the viewed week loads 23 February to 22 March.
        QTest::newRow("yesterday") << 0 << "2026-03-03 12:00" << false;
        QTest::newRow("today") << 0 << "2026-03-04 12:00" << true;
        QTest::newRow("last loaded day") << 0 << "2026-03-20 12:00" << true;
        QTest::newRow("first day not loaded") << 0 << "2026-03-23 12:00" << false;
        QTest::newRow("loaded once the week moves") << 2 << "2026-03-23 12:00" << true;
        QTest::newRow("today while viewing weeks away") << 5 << "2026-03-04 12:00" << true;
    }
    void onlyLoadedDaysFromTodayOn() {
        QFETCH(int, shift);
        QFETCH(QString, day);
        QFETCH(bool, offered);
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        store.shiftWeek(shift);
        QCOMPARE(store.nextFreeSlot(h.at(day), 30, 9, 18).has_value(), offered);
    }
};

QTEST_GUILESS_MAIN(TestStorePeople)
#include "tst_storepeople.moc"
