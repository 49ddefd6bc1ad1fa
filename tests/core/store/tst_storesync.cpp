#include "FakeSources.h"
#include "StoreHarness.h"

#include "core/remote/NotionClient.h"
#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QTest>

namespace {

const QString ada = QStringLiteral("ada@corp.io");
const QString adaTeam = QStringLiteral("team@group.corp.io");
const QString bob = QStringLiteral("bob@corp.io");
const QString cy = QStringLiteral("cy@corp.io");

// Ada with her own calendar and a team calendar, Bob with his own; one event in each. The in-memory
// Google renews every token it is asked for.
struct GoogleWorld {
    GoogleWorld() {
        auto fake = std::make_unique<FakeGoogleSource>();
        google = fake.get();
        h.google = std::move(fake);
        const auto event = [&](const QString& account, const QString& calendar, const char* title,
                               const char* at) {
            google->eventsOf[calendar] << FakeGoogleSource::event(account, calendar, title, title, h.at(at));
        };
        event(ada, ada, "Ada 1", "2026-03-04 11:00");
        event(ada, adaTeam, "Team", "2026-03-04 12:00");
        event(bob, bob, "Bob 1", "2026-03-04 13:00");
        h.settings->setGoogle(
            {QStringLiteral("client"),
             QStringLiteral("secret"),
             {FakeGoogleSource::account(ada, {ada, adaTeam}), FakeGoogleSource::account(bob, {bob})}});
    }
    GoogleAccount stored(const QString& email) const {
        const QList<GoogleAccount> accounts = h.settings->google().accounts;
        const auto found =
            std::find_if(accounts.cbegin(), accounts.cend(), [&](auto& a) { return a.email == email; });
        return found == accounts.cend() ? GoogleAccount() : *found;
    }
    // What "google.json" holds, read by a settings object of its own.
    QStringList persistedRefreshTokens() const {
        QStringList tokens;
        for (const GoogleAccount& account : AppSettings(SettingsLocations::standard()).google().accounts)
            tokens << account.refreshToken;
        return tokens;
    }
    QStringList titles() const { return StoreHarness::titles(h.store->googleEvents()); }

    StoreHarness h;
    FakeGoogleSource* google = nullptr;
};

NotionDatabaseSelection selection(const QString& id, const QString& title,
                                  const QString& dateProperty = "Due") {
    return {id, title, std::nullopt, dateProperty};
}

// A token and the given databases chosen, database i holding the page "P<i>".
struct NotionWorld {
    explicit NotionWorld(const QList<NotionDatabaseSelection>& chosen) {
        auto fake = std::make_unique<FakeNotionSource>();
        notion = fake.get();
        h.notion = std::move(fake);
        for (int i = 0; i < chosen.size(); ++i)
            notion->pagesOf[chosen[i].id] = {FakeNotionSource::page(
                QStringLiteral("p%1").arg(i), QStringLiteral("P%1").arg(i), h.at("2026-03-05 09:00"))};
        h.settings->setNotionToken(QStringLiteral("old-token"));
        h.settings->setNotionDatabases(chosen);
    }
    QStringList titles() const { return StoreHarness::titles(h.store->notionEvents()); }

    StoreHarness h;
    FakeNotionSource* notion = nullptr;
};

} // namespace

struct Failing {
    QStringList revoked; // accounts whose token is refused
    QStringList failing; // accounts and calendars whose calls fail with "Boom <id>"
    QStringList titles;
    QString error;
    bool synced;
};
struct Connect {
    QString outcome; // who signs in, or "cancel" or "fail"
    bool result;
    QStringList accounts;
    QString error;
};
Q_DECLARE_METATYPE(Failing)
Q_DECLARE_METATYPE(Connect)

class TestStoreSync : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void googleRequestsDuringARunGiveOneRerunThatCallersAwait() {
        GoogleWorld w;
        TestableStore& store = w.h.start();
        QCOMPARE(w.google->gate.count("events " + ada), 1);

        // Bob's calendar is the run's last call: holding it holds the run and nothing after it.
        w.google->gate.hold("events " + bob);
        const auto running = startTask(store.refreshGoogle());
        const auto second = startTask(store.refreshGoogle());
        const auto third = startTask(store.refreshGoogle());
        QVERIFY(store.isSyncingGoogle());

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

    // The run writes back only the tokens it renewed, and leaves out what went meanwhile.
    void googleChangesDuringAHeldRefreshSurvive_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("account connected") << "connect";
        QTest::newRow("account removed") << "remove";
        QTest::newRow("calendar hidden") << "hide";
        QTest::newRow("account signed in again") << "reconnect";
        QTest::newRow("every account removed") << "remove all";
        QTest::newRow("sample data installed") << "sample";
    }
    void googleChangesDuringAHeldRefreshSurvive() {
        QFETCH(QString, change);
        GoogleWorld w;
        TestableStore& store = w.h.start();
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
        } else if (change == "sample") {
            CalEvent demo = FakeGoogleSource::event(ada, ada, "s1", "Demo", w.h.at("2026-03-04 16:00"));
            demo.id = QStringLiteral("sample:Demo");
            store.installSampleEvents({demo});
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
        if (change == "sample")
            QCOMPARE(w.titles(), QStringList{"Demo"});
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

    // Bob's account may only read; his events are marked so.
    void googleAccountsFailing_data() {
        QTest::addColumn<Failing>("c");
        QTest::newRow("first account's token refused") << Failing{
            {ada}, {}, {"Bob 1"}, ada + " needs to be reconnected (token expired or revoked)", true};
        QTest::newRow("first account's second calendar fails")
            << Failing{{}, {adaTeam}, {"Ada 1", "Bob 1"}, "Boom " + adaTeam, true};
        QTest::newRow("every account fails")
            << Failing{{}, {ada, bob}, {"Ada 1", "Team", "Bob 1"}, "Boom " + ada, false};
    }
    void googleAccountsFailing() {
        QFETCH(Failing, c);
        GoogleWorld w;
        GoogleConfig config = w.h.settings->google();
        config.accounts[1].scopes = QStringList{FakeGoogle::readOnlyScope};
        w.h.settings->setGoogle(config);
        TestableStore& store = w.h.start();
        const QDateTime firstSync = *store.googleLastSync();

        w.h.advance(30);
        for (const QString& email : c.revoked)
            w.google->revoked.insert(email);
        for (const QString& id : c.failing)
            w.google->failures[id] = "Boom " + id;
        QVERIFY(runTask(store.refreshGoogle()).ok());
        QStringList shown = w.titles();
        shown.sort();
        c.titles.sort();
        QCOMPARE(shown, c.titles);
        QCOMPARE(store.googleError().value_or(QString()), c.error);
        QCOMPARE(*store.googleLastSync(), c.synced ? w.h.clock.now() : firstSync);
        QCOMPARE(w.stored(ada).needsReauth, !c.revoked.isEmpty());
        for (const CalEvent& event : store.googleEvents())
            QCOMPARE(event.calendarEditable, event.googleAccount != bob);
    }

    // Ada has hidden her team calendar; Bob's last refresh failed with "Earlier".
    void googleConnect_data() {
        QTest::addColumn<Connect>("c");
        QTest::newRow("same e-mail replaces in place") << Connect{ada, true, {ada, bob}, ""};
        QTest::newRow("new e-mail appended") << Connect{cy, true, {ada, bob, cy}, ""};
        QTest::newRow("cancelled") << Connect{"cancel", false, {ada, bob}, "Earlier"};
        QTest::newRow("failed") << Connect{"fail", false, {ada, bob}, "Sign-in was cancelled"};
    }
    void googleConnect() {
        QFETCH(Connect, c);
        GoogleWorld w;
        GoogleConfig config = w.h.settings->google();
        config.accounts[0].hiddenCalendarIDs = {adaTeam};
        w.h.settings->setGoogle(config);
        w.google->failures[bob] = QStringLiteral("Earlier");
        TestableStore& store = w.h.start();
        w.google->failures.clear();

        GoogleAccount signedIn = c.outcome == cy ? FakeGoogleSource::account(cy, {cy})
                                                 : FakeGoogleSource::account(ada, {ada, adaTeam});
        signedIn.refreshToken = QStringLiteral("refresh-new");
        w.google->signInAccount = signedIn;
        if (c.outcome == "fail")
            w.google->failures["signin"] = QStringLiteral("Sign-in was cancelled");
        w.google->gate.hold("signin");
        const auto connecting = startTask(store.connectGoogle());
        QVERIFY(store.isConnectingGoogle() && store.googleFlow());
        QCOMPARE(runTask(store.connectGoogle()).value, std::optional<bool>(false));
        if (c.outcome == "cancel")
            store.googleFlow()->cancel();
        else
            w.google->gate.release();
        QVERIFY(finish(*connecting));

        QCOMPARE(connecting->value, std::optional<bool>(c.result));
        QStringList emails;
        for (const GoogleAccount& account : w.h.settings->google().accounts)
            emails << account.email;
        QCOMPARE(emails, c.accounts);
        QCOMPARE(store.googleError().value_or(QString()), c.error);
        QVERIFY(!store.isConnectingGoogle() && !store.googleFlow());
        if (c.outcome == ada) {
            QCOMPARE(w.stored(ada).refreshToken, QStringLiteral("refresh-new"));
            QCOMPARE(w.stored(ada).hiddenCalendarIDs, QSet<QString>{adaTeam});
            QVERIFY(!w.titles().contains("Team"));
        }
    }

    void removingAGoogleAccountTakesExactlyItsEvents() {
        GoogleWorld w;
        const QString lookalike = QStringLiteral("ada@corp.io.uk");
        w.h.settings->setGoogle(
            {QStringLiteral("client"),
             QStringLiteral("secret"),
             {FakeGoogleSource::account(ada, {ada}), FakeGoogleSource::account(lookalike, {lookalike})}});
        w.google->eventsOf[lookalike] = {
            FakeGoogleSource::event(lookalike, lookalike, "p1", "Lookalike", w.h.at("2026-03-04 15:00"))};
        TestableStore& store = w.h.start();

        store.removeGoogleAccount(ada);
        QCOMPARE(w.titles(), QStringList{"Lookalike"});
        QVERIFY(store.googleLastSync());
        store.removeGoogleAccount(lookalike);
        QVERIFY(store.googleEvents().isEmpty());
        QVERIFY(!store.googleLastSync());
        QVERIFY(w.h.titlesOn("2026-03-04").isEmpty());
    }

    // The real clients against the fake servers: the browser sign-in with its first sync, and a
    // Notion connection that reads a choice kept from before at once.
    void connectOverHttp() {
        FakeGoogle google;
        google.addAccount(ada);
        google.addEvent(ada, FakeGoogle::timedEvent("e1", "Standup",
                                                    QDateTime(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC),
                                                    QDateTime(QDate(2026, 3, 4), QTime(10, 15), Qt::UTC)));
        FakeNotion notion;
        notion.addDatabase(FakeNotion::database("db1", "Roadmap", {{"Due", "date"}}, QStringLiteral("🚀")));
        notion.addPage("db1", FakeNotion::page("p1", "Launch", "Due", "2026-03-05"));
        notion.addPage("db1", FakeNotion::page("p2", "Far away", "Due", "2026-06-05"));
        StoreHarness h;
        RemoteTestSession session;
        RemoteSession::Endpoints endpoints = google.endpoints();
        endpoints.notion = notion.endpoints().notion;
        session.setEndpoints(endpoints);
        session.setClock(h.clock.clock());
        FakeBrowser browser;
        session.setBrowser(browser.opener());
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {}});
        h.settings->setNotionDatabases({selection("db1", "Old name")});
        h.google = GoogleSource::remote();
        h.notion = NotionSource::remote();
        TestableStore& store = h.start();

        const auto connected = runTask(store.connectGoogle());
        QVERIFY2(connected.ok(), qPrintable(connected.errorMessage()));
        QCOMPARE(connected.value, std::optional<bool>(true));
        QCOMPARE(StoreHarness::titles(store.googleEvents()), QStringList{"Standup"});
        QCOMPARE(h.settings->google().accounts.value(0).email, ada);
        QVERIFY(!h.settings->google().accounts.value(0).refreshToken.isEmpty());

        const auto linked = runTask(store.connectNotion(notion.token()));
        QVERIFY2(linked.ok(), qPrintable(linked.errorMessage()));
        QCOMPARE(linked.value, std::optional<bool>(true));
        QCOMPARE(store.notionUserName(), std::optional<QString>("Vorrindel Sync"));
        QCOMPARE(StoreHarness::titles(store.notionEvents()), QStringList{"Launch"});
        QCOMPARE(store.notionEvents()[0].calendarName, QStringLiteral("Roadmap"));
        QCOMPARE(h.titlesOn("2026-03-05"), QStringList{"Launch"});
    }

    void notionColoursFollowThePosition() {
        QList<NotionDatabaseSelection> chosen;
        for (int i = 0; i < 6; ++i)
            chosen << selection(QStringLiteral("db%1").arg(i), QStringLiteral("Db %1").arg(i));
        NotionWorld w(chosen);
        TestableStore& store = w.h.start();
        QCOMPARE(w.titles(), (QStringList{"P0", "P1", "P2", "P3", "P4", "P5"}));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(store.notionEvents()[i].color, NotionClient::palette()[i % 5]);
    }

    void notionDatabasesFailing_data() {
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("synced");
        QTest::newRow("second fails")
            << QStringList{"db1"} << QStringList{"P0", "P2"} << "Two: Boom db1" << true;
        QTest::newRow("first and third fail")
            << QStringList{"db0", "db2"} << QStringList{"P1"} << "One: Boom db0" << true;
        QTest::newRow("every one fails")
            << QStringList{"db0", "db1", "db2"} << QStringList{"P0", "P1", "P2"} << "One: Boom db0" << false;
    }
    void notionDatabasesFailing() {
        QFETCH(QStringList, failing);
        QFETCH(QStringList, titles);
        QFETCH(QString, error);
        QFETCH(bool, synced);
        NotionWorld w({selection("db0", "One"), selection("db1", "Two"), selection("db2", "Three")});
        TestableStore& store = w.h.start();
        const QDateTime firstSync = *store.notionLastSync();

        w.h.advance(30);
        for (const QString& id : failing)
            w.notion->failures[id] = "Boom " + id;
        QVERIFY(runTask(store.refreshNotion()).ok());
        QCOMPARE(w.titles(), titles);
        QCOMPARE(store.notionError().value_or(QString()), error);
        QCOMPARE(*store.notionLastSync(), synced ? w.h.clock.now() : firstSync);

        // A request while one runs is dropped, not queued.
        w.notion->gate.hold("pages");
        const auto running = startTask(store.refreshNotion());
        QVERIFY(runTask(store.refreshNotion()).ok());
        w.notion->gate.release();
        QVERIFY(finish(*running));
        QCOMPARE(w.notion->gate.count("pages db0"), 3);
    }

    void notionConnectingKeepsTheChoicesStillShared() {
        NotionWorld w({selection("a", "A old"), selection("b", "B old", "Old"), selection("gone", "Gone")});
        w.notion->databases = {{"b", "Bee", QStringLiteral("🐝"), {"Start", "When"}},
                               {"a", "Alpha", std::nullopt, {"Created", "Due"}},
                               {"d", "Delta", std::nullopt, {"Date"}}};
        TestableStore& store = w.h.start();

        // The caller's text may change (or go) while the token is checked.
        QString token = QStringLiteral("new-token");
        w.notion->gate.hold("verify");
        const auto connected = startTask(store.connectNotion(token));
        token = QStringLiteral("edited-meanwhile");
        w.notion->gate.release();
        QVERIFY(finish(*connected));
        QCOMPARE(connected->value, std::optional<bool>(true));
        const QList<NotionDatabaseSelection> expected{selection("a", "Alpha", "Due"),
                                                      {"b", "Bee", QStringLiteral("🐝"), "Start"}};
        QCOMPARE(w.h.settings->notionDatabases(), expected);
        QCOMPARE(w.h.settings->notionToken(), QStringLiteral("new-token"));
        QCOMPARE(store.discoveredDatabases(), w.notion->databases);
        QCOMPARE(store.notionUserName(), std::optional<QString>("Fake integration"));
        QCOMPARE(w.titles(), (QStringList{"P0", "P1"}));
    }

    void notionConnectingFails_data() {
        QTest::addColumn<bool>("verifyFails");
        QTest::newRow("token refused") << true;
        QTest::newRow("listing fails") << false;
    }
    void notionConnectingFails() {
        QFETCH(bool, verifyFails);
        NotionWorld w({selection("a", "A")});
        (verifyFails ? w.notion->verifyFailure : w.notion->listFailure) =
            QStringLiteral("API token is invalid.");
        TestableStore& store = w.h.start();

        QCOMPARE(runTask(store.connectNotion(QStringLiteral("new-token"))).value, std::optional<bool>(false));
        QCOMPARE(store.notionError(), std::optional<QString>("API token is invalid."));
        QCOMPARE(store.notionUserName().has_value(), !verifyFails);
        QCOMPARE(w.h.settings->notionToken(), QStringLiteral("old-token"));
        QCOMPARE(w.h.settings->notionDatabases().size(), 1);
        QVERIFY(store.discoveredDatabases().isEmpty());
    }

    void notionSyncOutlivingItsConnectionDropsItsPages_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("disconnected") << "disconnect";
        QTest::newRow("connected anew") << "reconnect";
        QTest::newRow("sample data installed") << "sample";
    }
    void notionSyncOutlivingItsConnectionDropsItsPages() {
        QFETCH(QString, change);
        NotionWorld w({selection("a", "A")});
        w.notion->databases = {{"a", "A", std::nullopt, {"Due"}}};
        TestableStore& store = w.h.start();
        QCOMPARE(w.titles(), QStringList{"P0"});

        w.notion->gate.hold("pages");
        const auto stale = startTask(store.refreshNotion());
        std::shared_ptr<TaskResult<bool>> connected;
        if (change == "reconnect")
            connected = startTask(store.connectNotion(QStringLiteral("new-token")));
        else if (change == "sample")
            store.installSampleEvents({FakeNotionSource::page("s", "Demo", w.h.at("2026-03-05 09:00"))});
        else
            store.disconnectNotion();
        w.notion->pagesOf["a"][0].title = QStringLiteral("Stale");
        // The stale sync goes on; the fresh one that connecting starts is held.
        w.notion->gate.release();
        w.notion->gate.hold("pages");
        QVERIFY(finish(*stale));
        const QHash<QString, QStringList> left{
            {"reconnect", {"P0"}}, {"sample", {"Demo"}}, {"disconnect", {}}};
        QCOMPARE(w.titles(), left.value(change));

        if (change == "reconnect") {
            QVERIFY(QTest::qWaitFor([&] { return w.notion->gate.waiting() == 1; }));
            w.notion->pagesOf["a"][0].title = QStringLiteral("Fresh");
            w.notion->gate.release();
            QVERIFY(finish(*connected));
            QCOMPARE(w.titles(), QStringList{"Fresh"});
        } else if (change == "disconnect") {
            QVERIFY(!store.notionLastSync() && !store.notionError());
            QVERIFY(w.h.settings->notionToken().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestStoreSync)
#include "tst_storesync.moc"
