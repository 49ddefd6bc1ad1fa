#include "StoreHarness.h"
#include "support/TestEvents.h"
#include "support/WallClock.h"

#include <QSignalSpy>
#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

CalEvent meeting(const StoreHarness& h, const QString& id, const QString& start, int minutes = 30) {
    const QDateTime from = h.at(start);
    return timed(id, id, from, from.addSecs(minutes * 60), EventSource::google);
}

// Every alert raised, as "kind@hh:mm:ss" in the test's zone.
class AlertLog {
public:
    AlertLog(StoreHarness& h)
        : m_h(h) {
        QObject::connect(h.store.get(), &EventStore::alertChanged, h.store.get(), [this] {
            const auto& alert = m_h.store->alert();
            if (alert)
                raised << MeetingAlert::rawValue(alert->kind) + QLatin1Char('@') +
                              m_h.cal.wallTimeOf(alert->firedAt).toString(QStringLiteral("HH:mm:ss"));
        });
    }
    QStringList raised;

private:
    StoreHarness& m_h;
};

} // namespace

class TestStoreAlerts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void alertsOverTenSecondTicks_data() {
        QTest::addColumn<int>("lead");
        QTest::addColumn<QString>("start"); // the clock starts at 10:00:00, the first tick at 10:00:10
        QTest::addColumn<bool>("declined");
        QTest::addColumn<QStringList>("raised");
        QTest::newRow("lead -1: none") << -1 << "2026-03-04 10:10" << false << QStringList{};
        QTest::newRow("lead 0: only the start")
            << 0 << "2026-03-04 10:10" << false << QStringList{"starting@10:09:20"};
        QTest::newRow("lead 2: the start repeats too soon")
            << 2 << "2026-03-04 10:10" << false << QStringList{"imminent@10:08:00"};
        QTest::newRow("lead 5: both, four minutes apart")
            << 5 << "2026-03-04 10:10" << false << QStringList{"imminent@10:05:00", "starting@10:09:20"};
        QTest::newRow("90 s after the imminent one: suppressed")
            << 3 << "2026-03-04 10:02:20" << false << QStringList{"imminent@10:00:10"};
        QTest::newRow("100 s after the imminent one: shown")
            << 3 << "2026-03-04 10:02:30" << false << QStringList{"imminent@10:00:10", "starting@10:01:50"};
        QTest::newRow("a meeting I declined") << 5 << "2026-03-04 10:10" << true << QStringList{};
        QTest::newRow("started a minute ago: still announced")
            << 2 << "2026-03-04 09:59:10" << false << QStringList{"starting@10:00:10"};
        QTest::newRow("started 90 s before the first tick: too late")
            << 2 << "2026-03-04 09:58:40" << false << QStringList{};
    }
    void alertsOverTenSecondTicks() {
        QFETCH(int, lead);
        QFETCH(QString, start);
        QFETCH(bool, declined);
        QFETCH(QStringList, raised);
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.settings->setAlertMinutes(lead);
        TestableStore& store = h.start();
        CalEvent m = meeting(h, "g:me@corp.io:primary:m", start);
        if (declined)
            m.attendees = {guest("Me", "me@corp.io", Attendee::Status::declined, true)};
        store.setGoogleEvents({m});
        store.rebuild();
        AlertLog log(h);
        h.advance(15 * 60);
        QCOMPARE(log.raised, raised);
        QCOMPARE(h.sound->plays, raised.size());
    }

    void localInvitationDeclinedByMyAccount_data() {
        QTest::addColumn<bool>("accountConnected");
        QTest::addColumn<QStringList>("raised");
        QTest::newRow("my address unknown: alerts")
            << false << QStringList{"imminent@10:05:00", "starting@10:09:20"};
        QTest::newRow("my account connected: declined, silent") << true << QStringList{};
    }
    void localInvitationDeclinedByMyAccount() {
        QFETCH(bool, accountConnected);
        QFETCH(QStringList, raised);
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.settings->setAlertMinutes(5);
        h.writeLocalEvent("invite", "Budget", h.at("2026-03-04 10:10"), h.at("2026-03-04 10:40"), false,
                          {"ORGANIZER;CN=Boss:mailto:boss@corp.io",
                           "ATTENDEE;CN=Boss;PARTSTAT=ACCEPTED:mailto:boss@corp.io",
                           "ATTENDEE;CN=Me;PARTSTAT=DECLINED:mailto:Me@Corp.io"});
        h.start();
        if (accountConnected) {
            GoogleConfig google;
            GoogleAccount me;
            me.email = QStringLiteral("me@corp.io");
            google.accounts = {me};
            h.settings->setGoogle(google);
            h.settle();
        }
        AlertLog log(h);
        h.advance(15 * 60);
        QCOMPARE(log.raised, raised);
    }

    void alertDismissesItselfAfterTwentySeconds() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        h.settings->setAlertMinutes(5);
        TestableStore& store = h.start();
        store.setGoogleEvents(
            {meeting(h, "a", "2026-03-04 10:05:10"), meeting(h, "b", "2026-03-04 10:05:20")});
        store.rebuild();
        h.advance(10); // 10:00:10: a is due
        QCOMPARE(store.alert()->event.id, QStringLiteral("a"));
        h.advance(10); // b replaces a and restarts the twenty seconds
        QCOMPARE(store.alert()->event.id, QStringLiteral("b"));
        h.advance(19);
        QVERIFY(store.alert());
        h.advance(1);
        QVERIFY(!store.alert());
    }

    void dismissingAndJoining() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        CalEvent withLink = meeting(h, "call", "2026-03-04 10:01:00");
        withLink.location = QStringLiteral("https://meet.google.com/abc-defg-hij");
        const CalEvent withoutLink = meeting(h, "room", "2026-03-04 10:01:00");
        store.showAlert({withoutLink, MeetingAlert::Kind::imminent, store.now()});

        store.join(withoutLink);
        QVERIFY(store.alert());
        QVERIFY(h.opened.isEmpty());

        store.join(withLink);
        QCOMPARE(h.opened, QList<QUrl>{QUrl("https://meet.google.com/abc-defg-hij")});
        QVERIFY(!store.alert());

        QSignalSpy changes(&store, &EventStore::alertChanged);
        store.dismissAlert();
        QCOMPARE(changes.count(), 0);
        h.advance(30); // a cancelled dismissal does not fire later
        QCOMPARE(changes.count(), 0);
    }

    void toastLastsFourSecondsFromTheNewest() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        store.showToast("Saved");
        h.advance(2);
        store.showToast("Deleted");
        h.advance(3);
        QCOMPARE(store.toast(), std::optional<QString>("Deleted"));
        h.advance(1);
        QCOMPARE(store.toast(), std::nullopt);
    }

    void rescheduledMeetingAlertsAgain() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        const QString id = "g:me@corp.io:primary:planning";
        store.setGoogleEvents({timed(id, "Planning", h.at("2026-03-04 10:05"), h.at("2026-03-04 10:30"))});
        store.rebuild();
        AlertLog log(h);
        h.advance(5 * 60);
        QCOMPARE(log.raised, QStringList{"imminent@10:03:00"});

        // Google keeps the id when a meeting moves.
        store.setGoogleEvents({timed(id, "Planning", h.at("2026-03-04 11:00"), h.at("2026-03-04 11:30"))});
        store.rebuild();
        h.advance(60 * 60);
        QCOMPARE(log.raised, (QStringList{"imminent@10:03:00", "imminent@10:58:00"}));
    }

    void previewCollapsesThePanelFirstAndRepeats() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        QStringList order;
        connect(&store, &EventStore::collapseRequested, &store, [&] { order << "collapse"; });
        connect(&store, &EventStore::alertChanged, &store,
                [&] { order << (store.alert() ? "alert" : "cleared"); });
        store.previewAlert();
        store.previewAlert();
        QCOMPARE(order, (QStringList{"collapse", "alert", "collapse", "alert"}));
        const CalEvent& event = store.alert()->event;
        QCOMPARE(event.title, QStringLiteral("Design review (preview)"));
        QCOMPARE(event.start, store.now().addSecs(120));
        QCOMPARE(event.end, store.now().addSecs(1920));
        QVERIFY(event.hasGoogleMeet());
        QCOMPARE(h.sound->plays, 2);
        h.settings->setAlertSound(false);
        store.previewAlert();
        QCOMPARE(h.sound->plays, 2);
    }

    void peekIsPublishedOnlyWhenItsCountChanges() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        store.setGoogleEvents({meeting(h, "m", "2026-03-04 10:10:00")});
        store.rebuild();
        QCOMPARE(store.peek()->minutesUntilStart, 10);
        QSignalSpy changes(&store, &EventStore::peekChanged);
        h.advance(50); // 9 min 10 s: still ten minutes rounded up
        QCOMPARE(changes.count(), 0);
        h.advance(10);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(store.peek()->trailingText(), QStringLiteral("in 9 min"));
        h.advance(40 * 60); // ended
        QVERIFY(!store.peek());
    }

    void nextEventSkipsAllDayAndEndedEvents() {
        StoreHarness h("2026-03-04 10:00:00", WallClock::cal("Europe/Berlin", "de_DE"));
        TestableStore& store = h.start();
        store.setGoogleEvents(
            {allDay("holiday", "Holiday", h.at("2026-03-04 00:00"), h.at("2026-03-05 00:00")),
             meeting(h, "ended", "2026-03-04 09:00", 60), meeting(h, "running", "2026-03-04 09:30", 60),
             meeting(h, "later", "2026-03-04 11:00", 60)});
        store.rebuild();
        const QDateTime evening = h.at("2026-03-04 18:00");
        QCOMPARE(store.nextEvent(evening)->id, QStringLiteral("running"));
        h.advance(30 * 60);
        QCOMPARE(store.nextEvent(evening)->id, QStringLiteral("later"));
        h.advance(2 * 3600);
        QCOMPARE(store.nextEvent(evening), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestStoreAlerts)
#include "tst_storealerts.moc"
