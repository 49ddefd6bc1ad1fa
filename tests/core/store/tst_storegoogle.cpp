#include "FakeSources.h"
#include "StoreHarness.h"

#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QTest>

namespace {

const QString ada = QStringLiteral("ada@corp.io");
const QString adaTeam = QStringLiteral("team@group.corp.io");
const QString bob = QStringLiteral("bob@corp.io");
const QString cy = QStringLiteral("cy@corp.io");

Cal berlinCal() {
    return Cal(QTimeZone("Europe/Berlin"), QLocale(QLocale::German, QLocale::Germany));
}

// Ada with her own calendar and a team calendar, Bob with his own; one event in each. The in-memory
// Google renews every token it is asked for.
struct World {
    World() {
        auto fake = std::make_unique<FakeGoogleSource>();
        google = fake.get();
        h.google = std::move(fake);
        google->eventsOf[ada] = {FakeGoogleSource::event(ada, ada, "a1", "Ada 1", h.at("2026-03-04 11:00"))};
        google->eventsOf[adaTeam] = {
            FakeGoogleSource::event(ada, adaTeam, "t1", "Team", h.at("2026-03-04 12:00"))};
        google->eventsOf[bob] = {FakeGoogleSource::event(bob, bob, "b1", "Bob 1", h.at("2026-03-04 13:00"))};
        h.settings->setGoogle(
            {QStringLiteral("client"),
             QStringLiteral("secret"),
             {FakeGoogleSource::account(ada, {ada, adaTeam}), FakeGoogleSource::account(bob, {bob})}});
    }
    TestableStore& start() { return h.start(); }
    GoogleAccount stored(const QString& email) const {
        for (const GoogleAccount& account : h.settings->google().accounts) {
            if (account.email == email)
                return account;
        }
        return {};
    }
    // What "google.json" holds, read by a settings object of its own.
    QStringList persistedRefreshTokens() const {
        QStringList tokens;
        for (const GoogleAccount& account : AppSettings(SettingsLocations::standard()).google().accounts)
            tokens << account.refreshToken;
        return tokens;
    }
    QStringList titles() const { return StoreHarness::titles(h.store->googleEvents()); }

    StoreHarness h{QStringLiteral("2026-03-04 10:00"), berlinCal()};
    FakeGoogleSource* google = nullptr;
};

} // namespace

class TestStoreGoogle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestsDuringARunGiveOneRerunThatCallersAwait() {
        World w;
        TestableStore& store = w.start();
        QCOMPARE(w.google->gate.count("events " + ada), 1);

        // Bob's calendar is the run's last call: holding it holds the run and nothing after it.
        w.google->gate.hold("events " + bob);
        const auto running = startTask(store.refreshGoogle());
        const auto second = startTask(store.refreshGoogle());
        const auto third = startTask(store.refreshGoogle());
        QVERIFY(store.isSyncingGoogle());
        QVERIFY(!second->finished);

        // Let the running refresh end and hold the further run it starts.
        w.google->gate.release();
        w.google->gate.hold("events " + bob);
        QVERIFY(finish(*running));
        QVERIFY(QTest::qWaitFor([&] { return w.google->gate.waiting() == 1; }));
        QVERIFY(!second->finished && !third->finished);

        w.google->eventsOf[bob][0].title = QStringLiteral("Bob 1 moved");
        w.google->gate.release();
        QVERIFY(finish(*second));
        QVERIFY(finish(*third));
        QVERIFY(w.titles().contains("Bob 1 moved"));
        w.h.settle();
        QCOMPARE(w.google->gate.count("events " + ada), 3);
    }

    void changesDuringAHeldRefreshSurvive_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("account connected") << "connect";
        QTest::newRow("account removed") << "remove";
        QTest::newRow("calendar hidden") << "hide";
        QTest::newRow("account signed in again") << "reconnect";
        QTest::newRow("every account removed") << "remove all";
    }
    void changesDuringAHeldRefreshSurvive() {
        QFETCH(QString, change);
        World w;
        TestableStore& store = w.start();
        const int issuedBefore = w.google->tokensIssued;

        w.google->gate.hold("events " + bob);
        const auto refresh = startTask(store.refreshGoogle());
        std::shared_ptr<TaskResult<bool>> connect;
        if (change == "connect" || change == "reconnect") {
            GoogleAccount account = FakeGoogleSource::account(change == "connect" ? cy : ada, {});
            account.refreshToken = QStringLiteral("refresh-new");
            account.accessToken = QStringLiteral("fresh");
            w.google->signInAccount = account;
            connect = startTask(store.connectGoogle());
        } else if (change.startsWith("remove")) {
            store.removeGoogleAccount(bob);
            if (change == "remove all")
                store.removeGoogleAccount(ada);
        } else {
            store.setGoogleCalendar(adaTeam, ada, false);
        }

        // Release the held run; hold the further one, so that the run's own outcome shows.
        w.google->gate.release();
        w.google->gate.hold("token");
        QVERIFY(finish(*refresh));

        const GoogleAccount adaNow = w.stored(ada);
        if (change == "remove all") {
            QVERIFY(w.h.settings->google().accounts.isEmpty());
            QVERIFY(store.googleEvents().isEmpty());
            QVERIFY(!store.googleLastSync());
        } else if (change == "reconnect") {
            QCOMPARE(adaNow.refreshToken, QStringLiteral("refresh-new"));
            QCOMPARE(adaNow.accessToken, QStringLiteral("fresh"));
        } else {
            QCOMPARE(adaNow.accessToken, QStringLiteral("access-%1-%2").arg(ada).arg(issuedBefore + 1));
        }
        if (change == "connect")
            QVERIFY(w.persistedRefreshTokens().contains("refresh-new"));
        if (change == "remove") {
            QVERIFY(w.stored(bob).email.isEmpty());
            QVERIFY(!w.persistedRefreshTokens().contains("refresh-" + bob));
            QVERIFY(!w.titles().contains("Bob 1"));
        }
        if (change == "hide") {
            QCOMPARE(adaNow.hiddenCalendarIDs, QSet<QString>{adaTeam});
            QVERIFY(!w.titles().contains("Team"));
        }

        w.google->gate.release();
        if (connect) {
            QVERIFY(finish(*connect));
            QCOMPARE(connect->value, std::optional<bool>(true));
        }
    }

    void accountsFailing_data() {
        QTest::addColumn<QStringList>("revoked");
        QTest::addColumn<QStringList>("failing"); // account e-mails and calendar ids
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("synced");
        QTest::newRow("first account's token refused")
            << QStringList{ada} << QStringList{} << QStringList{"Bob 1"}
            << ada + " needs to be reconnected (token expired or revoked)" << true;
        QTest::newRow("first account's second calendar fails")
            << QStringList{} << QStringList{adaTeam} << QStringList{"Ada 1", "Bob 1"} << "Boom " + adaTeam
            << true;
        QTest::newRow("every account fails")
            << QStringList{} << QStringList{ada, bob} << QStringList{"Ada 1", "Team", "Bob 1"}
            << "Boom " + ada << false;
    }
    void accountsFailing() {
        QFETCH(QStringList, revoked);
        QFETCH(QStringList, failing);
        QFETCH(QStringList, titles);
        QFETCH(QString, error);
        QFETCH(bool, synced);
        World w;
        GoogleConfig config = w.h.settings->google();
        config.accounts[1].scopes = QStringList{FakeGoogle::readOnlyScope};
        w.h.settings->setGoogle(config);
        TestableStore& store = w.start();
        const QDateTime firstSync = *store.googleLastSync();

        w.h.advance(30);
        for (const QString& email : revoked)
            w.google->revoked.insert(email);
        for (const QString& id : failing)
            w.google->failures[id] = "Boom " + id;
        QVERIFY(runTask(store.refreshGoogle()).ok());

        QStringList shown = w.titles();
        shown.sort();
        titles.sort();
        QCOMPARE(shown, titles);
        QCOMPARE(store.googleError().value_or(QString()), error);
        QCOMPARE(*store.googleLastSync(), synced ? w.h.clock.now() : firstSync);
        QCOMPARE(w.stored(ada).needsReauth, !revoked.isEmpty());
        for (const CalEvent& event : store.googleEvents())
            QCOMPARE(event.calendarEditable, event.googleAccount != bob);
    }

    void connect_data() {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("accounts");
        QTest::addColumn<QString>("error");
        QTest::newRow("same e-mail replaces in place") << "ada" << true << QStringList{ada, bob} << QString();
        QTest::newRow("new e-mail appended") << "cy" << true << QStringList{ada, bob, cy} << QString();
        QTest::newRow("cancelled") << "cancel" << false << QStringList{ada, bob} << "Earlier";
        QTest::newRow("failed") << "fail" << false << QStringList{ada, bob} << "Sign-in was cancelled";
    }
    void connect() {
        QFETCH(QString, outcome);
        QFETCH(bool, result);
        QFETCH(QStringList, accounts);
        QFETCH(QString, error);
        World w;
        GoogleConfig config = w.h.settings->google();
        config.accounts[0].hiddenCalendarIDs = {adaTeam};
        w.h.settings->setGoogle(config);
        w.google->failures[bob] = QStringLiteral("Earlier");
        TestableStore& store = w.start();
        w.google->failures.clear();

        GoogleAccount signedIn = outcome == "cy" ? FakeGoogleSource::account(cy, {cy})
                                                 : FakeGoogleSource::account(ada, {ada, adaTeam});
        signedIn.refreshToken = QStringLiteral("refresh-new");
        w.google->signInAccount = signedIn;
        if (outcome == "fail")
            w.google->failures["signin"] = QStringLiteral("Sign-in was cancelled");
        w.google->gate.hold("signin");
        const auto connecting = startTask(store.connectGoogle());
        QVERIFY(store.isConnectingGoogle());
        QVERIFY(store.googleFlow());
        QCOMPARE(runTask(store.connectGoogle()).value, std::optional<bool>(false));
        if (outcome == "cancel")
            store.googleFlow()->cancel();
        else
            w.google->gate.release();
        QVERIFY(finish(*connecting));

        QCOMPARE(connecting->value, std::optional<bool>(result));
        QStringList emails;
        for (const GoogleAccount& account : w.h.settings->google().accounts)
            emails << account.email;
        QCOMPARE(emails, accounts);
        QCOMPARE(store.googleError().value_or(QString()), error);
        QVERIFY(!store.isConnectingGoogle());
        QVERIFY(!store.googleFlow());
        if (outcome == "ada") {
            QCOMPARE(w.stored(ada).refreshToken, QStringLiteral("refresh-new"));
            QCOMPARE(w.stored(ada).hiddenCalendarIDs, QSet<QString>{adaTeam});
            QVERIFY(!w.titles().contains("Team"));
        }
    }

    void removingAnAccountTakesExactlyItsEvents() {
        World w;
        const QString prefixed = QStringLiteral("ada@corp.io.uk");
        GoogleConfig config = w.h.settings->google();
        config.accounts = {FakeGoogleSource::account(ada, {ada}),
                           FakeGoogleSource::account(prefixed, {prefixed})};
        w.h.settings->setGoogle(config);
        w.google->eventsOf[prefixed] = {
            FakeGoogleSource::event(prefixed, prefixed, "p1", "Lookalike", w.h.at("2026-03-04 15:00"))};
        TestableStore& store = w.start();

        store.removeGoogleAccount(ada);
        QCOMPARE(w.titles(), QStringList{"Lookalike"});
        QVERIFY(store.googleLastSync());
        store.removeGoogleAccount(prefixed);
        QVERIFY(store.googleEvents().isEmpty());
        QVERIFY(!store.googleLastSync());
        QVERIFY(store.events(w.h.at("2026-03-04 00:00")).isEmpty());
    }

    // The real clients against the fake Google: the browser sign-in, the sync, and a token renewed
    // once it is about to expire.
    void signInSyncAndRenewalOverHttp() {
        FakeGoogle google;
        google.addAccount(ada);
        google.addEvent(ada, FakeGoogle::timedEvent("e1", "Standup",
                                                    QDateTime(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC),
                                                    QDateTime(QDate(2026, 3, 4), QTime(10, 15), Qt::UTC)));
        StoreHarness h(QStringLiteral("2026-03-04 10:00"), berlinCal());
        RemoteTestSession session;
        session.setEndpoints(google.endpoints());
        session.setClock(h.clock.clock());
        FakeBrowser browser;
        session.setBrowser(browser.opener());
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {}});
        h.google = GoogleSource::remote();
        TestableStore& store = h.start();

        const auto connected = runTask(store.connectGoogle());
        QVERIFY2(connected.ok(), qPrintable(connected.errorMessage()));
        QCOMPARE(connected.value, std::optional<bool>(true));
        QCOMPARE(StoreHarness::titles(store.googleEvents()), QStringList{"Standup"});
        const GoogleAccount signedIn = h.settings->google().accounts.value(0);
        QCOMPARE(signedIn.email, ada);
        QVERIFY(!signedIn.refreshToken.isEmpty());

        const qsizetype grants = google.server().requests("POST", u"/token").size();
        h.clock.jump(h.clock.now().secsTo(signedIn.expiry->addSecs(-60)));
        QVERIFY(runTask(store.refreshGoogle()).ok());
        QCOMPARE(google.server().requests("POST", u"/token").size(), grants + 1);
        const GoogleAccount renewed = AppSettings(SettingsLocations::standard()).google().accounts.value(0);
        QVERIFY(renewed.accessToken != signedIn.accessToken);
        QCOMPARE(renewed.refreshToken, signedIn.refreshToken);
        QCOMPARE(StoreHarness::titles(store.googleEvents()), QStringList{"Standup"});
        QVERIFY(!store.googleError());
    }
};

QTEST_GUILESS_MAIN(TestStoreGoogle)
#include "tst_storegoogle.moc"
