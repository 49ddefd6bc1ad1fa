// The store tells its views of a new agenda only when something in it changed: the sources are read
// again every few minutes, mostly to the same events, and every notice makes each view compare
// what it shows.
#include "core/settings/AppSettings.h"
#include "core/settings/SettingsLocations.h"
#include "core/store/EventStore.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"
#include "support/TestEvents.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace TestEvents;

class TestStorePublish : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void publishesOnlyChanges_data() {
        QTest::addColumn<std::function<void(CalEvent&)>>("change");
        QTest::addColumn<bool>("published");
        QTest::addColumn<bool>("peekPublished");
        auto row = [](const char* name, std::function<void(CalEvent&)> change, bool published, bool peek) {
            QTest::newRow(name) << change << published << peek;
        };
        row(
            "nothing", [](CalEvent&) {}, false, false);
        row(
            "the title", [](CalEvent& e) { e.title = "Standup, moved"; }, true, true);
        // Fields that identity-only equality overlooks.
        row(
            "the location", [](CalEvent& e) { e.location = "Room 4"; }, true, true);
        row(
            "a guest's answer", [](CalEvent& e) { e.attendees[0].status = Attendee::Status::declined; }, true,
            true);
        row(
            "the colour", [](CalEvent& e) { e.color = Qt::red; }, true, true);
        row(
            "another day's event", [](CalEvent&) {}, true, false);
    }

    void publishesOnlyChanges() {
        QFETCH(std::function<void(CalEvent&)>, change);
        QFETCH(bool, published);
        QFETCH(bool, peekPublished);

        TempHome home;
        AppSettings settings(SettingsLocations::standard());
        ManualClock clock(at("2026-03-04 10:00"));
        EventStore::Environment environment;
        environment.settings = &settings;
        environment.clock = clock.clock();
        environment.timers = clock.timers();
        EventStore store(std::move(environment));

        CalEvent standup = timed("s", "Standup", clock.now().addSecs(300), clock.now().addSecs(1200));
        standup.attendees = {guest("Ondrea", "ondrea@example.com")};
        CalEvent tomorrow =
            timed("t", "Review", clock.now().addDays(1), clock.now().addDays(1).addSecs(1800));
        store.installSampleEvents({standup, tomorrow});
        QVERIFY(store.peek());

        QSignalSpy days(&store, &EventStore::eventsByDayChanged);
        QSignalSpy peek(&store, &EventStore::peekChanged);
        change(standup);
        if (QByteArray(QTest::currentDataTag()) == "another day's event")
            tomorrow.title = "Review, moved";
        store.installSampleEvents({standup, tomorrow});
        QCOMPARE(days.count(), published ? 1 : 0);
        QCOMPARE(peek.count(), peekPublished ? 1 : 0);
        QCOMPARE(store.peek()->event.title, standup.title);
        QCOMPARE(store.events(clock.now()).first().location, standup.location);
    }
};

QTEST_MAIN(TestStorePublish)
#include "tst_storepublish.moc"
