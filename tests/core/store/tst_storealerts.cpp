#include "StoreHarness.h"
#include "support/TestEvents.h"

#include <QSignalSpy>
#include <QTest>

using namespace TestEvents;

namespace {

// A Google meeting on Wednesday 4 March from the wall time "HH:mm[:ss]".
CalEvent meeting(const StoreHarness& h, const QString& id, const QString& start, int minutes = 30) {
    const QDateTime from = h.at("2026-03-04 " + start);
    return timed(id, id, from, from.addSecs(minutes * 60), EventSource::google);
}

GoogleConfig myAccount() {
    GoogleAccount me;
    me.email = QStringLiteral("me@corp.io");
    return {QString(), QString(), {me}};
}

// Every alert raised, as "kind@hh:mm:ss" in the test's zone.
class AlertLog {
public:
    explicit AlertLog(StoreHarness& h) {
        QObject::connect(h.store.get(), &EventStore::alertChanged, h.store.get(), [this, &h] {
            if (const auto& alert = h.store->alert())
                raised << MeetingAlert::rawValue(alert->kind) + QLatin1Char('@') +
                              h.cal.wallTimeOf(alert->firedAt).toString(QStringLiteral("HH:mm:ss"));
        });
    }
    QStringList raised;
};

} // namespace

class TestStoreAlerts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void alertsOverTenSecondTicks_data() {
        QTest::addColumn<int>("lead");
        QTest::addColumn<QString>("start"); // the clock starts at 10:00:00, the first tick at 10:00:10
        QTest::addColumn<QString>("invitation");
        QTest::addColumn<QStringList>("raised");
        const auto row = [](const char* name, int lead, QString start, QString invitation,
                            QStringList raised) {
            QTest::newRow(name) << lead << start << invitation << raised;
        };
        row("lead -1: none", -1, "10:10", "", {});
        row("lead 0: only the start", 0, "10:10", "", {"starting@10:09:20"});
        row("lead 5: both, four minutes apart", 5, "10:10", "", {"imminent@10:05:00", "starting@10:09:20"});
        row("90 s after the imminent one: suppressed", 3, "10:02:20", "", {"imminent@10:00:10"});
        row("100 s after the imminent one: shown", 3, "10:02:30", "",
            {"imminent@10:00:10", "starting@10:01:50"});
        row("started 90 s before the first tick: too late", 2, "09:58:40", "", {});
        row("a meeting I declined", 5, "10:10", "declined", {});
        row("a local one declined by an address not known as mine", 5, "10:10", "local",
            {"imminent@10:05:00", "starting@10:09:20"});
        row("a local one declined by my account's address", 5, "10:10", "local, mine", {});
    }
    void alertsOverTenSecondTicks() {
        QFETCH(int, lead);
        QFETCH(QString, start);
        QFETCH(QString, invitation);
        QFETCH(QStringList, raised);
        StoreHarness h;
        h.settings->setAlertMinutes(lead);
        CalEvent m = meeting(h, "g:me@corp.io:primary:m", start);
        if (invitation.startsWith("local"))
            h.writeLocalEvent("invite", "Budget", m.start, m.end,
                              {"ORGANIZER;CN=Boss:mailto:boss@corp.io",
                               "ATTENDEE;CN=Boss;PARTSTAT=ACCEPTED:mailto:boss@corp.io",
                               "ATTENDEE;CN=Me;PARTSTAT=DECLINED:mailto:Me@Corp.io"});
        TestableStore& store = h.start();
        if (invitation == "declined")
            m.attendees = {guest("Me", "me@corp.io", Attendee::Status::declined, true)};
        if (!invitation.startsWith("local"))
            store.showGoogle({m});
        if (invitation == "local, mine") {
            h.settings->setGoogle(myAccount());
            h.settle();
        }
        AlertLog log(h);
        h.advance(15 * 60);
        QCOMPARE(log.raised, raised);
        QCOMPARE(h.sound->plays, raised.size());
    }

    void alertDismissesItselfAfterTwentySeconds() {
        StoreHarness h;
        h.settings->setAlertMinutes(5);
        TestableStore& store = h.start();
        store.showGoogle({meeting(h, "a", "10:05:10"), meeting(h, "b", "10:05:20")});
        h.advance(10); // 10:00:10: a is due
        QCOMPARE(h.alerted(), QStringLiteral("a"));
        h.advance(10); // b replaces a and restarts the twenty seconds
        QCOMPARE(h.alerted(), QStringLiteral("b"));
        h.advance(19);
        QVERIFY(store.alert());
        h.advance(1);
        QVERIFY(!store.alert());
    }

    void dismissingAndJoining() {
        StoreHarness h;
        TestableStore& store = h.start();
        CalEvent withLink = meeting(h, "call", "10:01");
        withLink.location = QStringLiteral("https://meet.google.com/abc-defg-hij");
        CalEvent other = meeting(h, "other", "10:01");
        other.url = QUrl("https://zoom.us/j/1");
        store.showAlert({withLink, MeetingAlert::Kind::imminent, store.now()});

        CalEvent linkGone = withLink; // the same meeting, its link removed meanwhile
        linkGone.location.reset();
        store.join(linkGone);
        QVERIFY(store.alert());
        QVERIFY(h.opened.isEmpty());
        // Joining another meeting leaves this one's alert up.
        store.join(other);
        QCOMPARE(h.opened, QList<QUrl>{QUrl("https://zoom.us/j/1")});
        QCOMPARE(h.alerted(), withLink.id);
        store.join(withLink);
        QCOMPARE(h.opened.last(), QUrl("https://meet.google.com/abc-defg-hij"));
        QVERIFY(!store.alert());

        QSignalSpy changes(&store, &EventStore::alertChanged);
        store.dismissAlert();
        h.advance(30); // a cancelled dismissal does not fire later
        QCOMPARE(changes.count(), 0);
    }

    // The sound follows its setting, and sample events (the snapshot mode) never make one.
    void soundOfAShownAlert() {
        StoreHarness h;
        TestableStore& store = h.start();
        const CalEvent call = meeting(h, "call", "10:01");
        store.showAlert({call, MeetingAlert::Kind::imminent, store.now()});
        h.settings->setAlertSound(false);
        store.showAlert({call, MeetingAlert::Kind::imminent, store.now()});
        QCOMPARE(h.sound->plays, 1);
        h.settings->setAlertSound(true);
        store.installSampleEvents({call});
        store.showAlert({call, MeetingAlert::Kind::imminent, store.now()});
        QCOMPARE(h.alerted(), call.id);
        QCOMPARE(h.sound->plays, 1);
    }

    // Google keeps a meeting's id when it moves: the move must not silence it.
    void rescheduledMeetingAlertsAgain() {
        StoreHarness h;
        TestableStore& store = h.start();
        AlertLog log(h);
        store.showGoogle({meeting(h, "g:me@corp.io:primary:planning", "10:05")});
        h.advance(5 * 60);
        store.showGoogle({meeting(h, "g:me@corp.io:primary:planning", "11:00")});
        h.advance(60 * 60);
        QCOMPARE(log.raised, (QStringList{"imminent@10:03:00", "imminent@10:58:00"}));
    }

    void peekIsPublishedOnlyWhenItsCountChanges() {
        StoreHarness h;
        TestableStore& store = h.start();
        store.showGoogle({meeting(h, "m", "10:10")});
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
};

QTEST_GUILESS_MAIN(TestStoreAlerts)
#include "tst_storealerts.moc"
