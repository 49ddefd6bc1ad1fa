#include "GoogleStoreWorld.h"

#include "core/remote/NotionClient.h"
#include "support/FakeNotion.h"
#include "support/TaskResult.h"
#include "support/TestEvents.h"

#include <QTest>

// The real Google and Notion clients against their fake servers, whose replies a test can hold back
// to act while a sync waits.
namespace {

const QString ada = GoogleStoreWorld::ada;
const QString team = GoogleStoreWorld::team;
const QString bob = QStringLiteral("bob@corp.io");
const QString cy = QStringLiteral("cy@corp.io");

// Ada with her own and the team calendar, Bob with his own; one event in each.
struct GoogleWorld : GoogleStoreWorld {
    GoogleWorld() {
        connect(bob);
        google.addAccount(cy); // may sign in later
        addEvent(ada, "Ada 1", "2026-03-04 11:00");
        addEvent(team, "Team", "2026-03-04 12:00");
        addEvent(bob, "Bob 1", "2026-03-04 13:00");
    }
    // Waits until a reply is held back.
    bool held() {
        return QTest::qWaitFor([&] { return google.server().heldCount() == 1; });
    }
    // What "google.json" holds, read by a settings object of its own.
    static QStringList persistedRefreshTokens() {
        QStringList tokens;
        for (const GoogleAccount& account : AppSettings(SettingsLocations::standard()).google().accounts)
            tokens << account.refreshToken;
        return tokens;
    }
};

NotionDatabaseSelection selection(const QString& id, const QString& title,
                                  const QString& dateProperty = "Due") {
    return {id, title, std::nullopt, dateProperty};
}

// The databases on a fake Notion and chosen in the settings, database i holding the page "P<i>".
struct NotionWorld {
    explicit NotionWorld(const QList<NotionDatabaseSelection>& chosen) {
        for (int i = 0; i < chosen.size(); ++i) {
            notion.addDatabase(FakeNotion::database(chosen[i].id, chosen[i].title, {{"Due", "date"}}));
            addPage(chosen[i].id, QStringLiteral("P%1").arg(i));
        }
        session.setEndpoints(notion.endpoints());
        h.settings->setNotionToken(notion.token());
        h.settings->setNotionDatabases(chosen);
        h.notion = NotionSource::remote();
    }
    void addPage(const QString& database, const QString& title) {
        notion.addPage(database, FakeNotion::page(title.toLower(), title, "Due", "2026-03-05"));
    }
    QStringList titles() const { return StoreHarness::titles(h.store->notionEvents()); }
    bool held() {
        return QTest::qWaitFor([&] { return notion.server().heldCount() == 1; });
    }
    static QString queryPath(const QString& database) { return "/v1/databases/" + database + "/query"; }
    // Notion's answer when a request fails with this message.
    static HttpReply failure(const QString& message) {
        return HttpReply::json(
            500,
            {{"object", "error"}, {"status", 500}, {"code", "internal_server_error"}, {"message", message}});
    }

    FakeNotion notion;
    StoreHarness h;
    RemoteTestSession session;
};

} // namespace

struct Failing {
    QString revoked;     // the account whose refresh token Google no longer takes
    QStringList failing; // calendars whose listing fails with "Boom <id>"
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
        FakeHttpServer& server = w.google.server();
        const auto listings = [&](const QString& calendar) {
            return server.requests("GET", GoogleStoreWorld::eventsPath(calendar)).size();
        };
        QCOMPARE(listings(ada), 1);

        // Bob's calendar is the run's last call: holding it holds the run and nothing after it.
        server.hold("GET", GoogleStoreWorld::eventsPath(bob));
        const auto running = startTask(store.refreshGoogle());
        QVERIFY(w.held());
        const auto second = startTask(store.refreshGoogle());
        const auto third = startTask(store.refreshGoogle());
        w.addEvent(bob, "Bob 2", "2026-03-04 14:00"); // only a further run can see it

        // Let the running refresh end and hold the further run it starts.
        server.release();
        server.hold("GET", GoogleStoreWorld::eventsPath(bob));
        QVERIFY(finish(*running));
        QVERIFY(!w.titles().contains("Bob 2"));
        QVERIFY(w.held());
        QVERIFY(!second->finished && !third->finished);
        server.release();
        QVERIFY(finish(*second));
        QVERIFY(finish(*third));
        QVERIFY(w.titles().contains("Bob 2"));
        w.h.settle();
        QCOMPARE(listings(ada), 3);
    }

    // Ada's token runs out before the held run, which renews it; the run writes back only that, and
    // leaves out what went meanwhile.
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
        GoogleConfig config = w.h.settings->google();
        config.accounts[0].expiry = w.h.clock.now().addSecs(-60);
        w.h.settings->setGoogle(config);

        w.google.server().hold("GET", GoogleStoreWorld::eventsPath(bob));
        const auto refresh = startTask(store.refreshGoogle());
        QVERIFY(w.held());
        std::shared_ptr<TaskResult<bool>> connect;
        GoogleAccount signedIn;
        if (change == "connect" || change == "reconnect") {
            const QString who = change == "connect" ? cy : ada;
            w.google.setSignInAccount(who);
            connect = startTask(store.connectGoogle());
            QVERIFY(QTest::qWaitFor([&] {
                return w.stored(who).refreshToken != config.accounts[0].refreshToken &&
                       !w.stored(who).email.isEmpty();
            }));
            signedIn = w.stored(who);
        } else if (change.startsWith("remove")) {
            store.removeGoogleAccount(bob);
            if (change == "remove all")
                store.removeGoogleAccount(ada);
        } else if (change == "sample") {
            store.installSampleEvents({TestEvents::timed("sample:Demo", "Demo", w.h.at("2026-03-04 16:00"),
                                                         w.h.at("2026-03-04 17:00"), EventSource::google)});
        } else {
            store.setGoogleCalendar(team, ada, false);
        }

        // Release the held run; hold the further one, so that the run's own outcome shows.
        w.google.server().release();
        w.google.server().hold("GET", "/calendar/v3/calendars/");
        QVERIFY(finish(*refresh));
        const GoogleAccount adaNow = w.stored(ada);
        if (change == "remove all") {
            QVERIFY(w.h.settings->google().accounts.isEmpty());
            QVERIFY(store.googleEvents().isEmpty());
            QVERIFY(!store.googleLastSync());
        } else if (change == "reconnect") {
            QCOMPARE(adaNow.refreshToken, signedIn.refreshToken);
            QCOMPARE(adaNow.accessToken, signedIn.accessToken);
        } else {
            QVERIFY(adaNow.accessToken != config.accounts[0].accessToken);
            QCOMPARE(w.google.accountOf(adaNow.accessToken.value_or(QString())), std::optional(ada));
        }
        if (change == "connect")
            QVERIFY(w.persistedRefreshTokens().contains(signedIn.refreshToken));
        if (change == "remove") {
            QVERIFY(w.stored(bob).email.isEmpty());
            QCOMPARE(w.persistedRefreshTokens(), QStringList{adaNow.refreshToken});
            QVERIFY(!w.titles().contains("Bob 1"));
        }
        if (change == "sample")
            QCOMPARE(w.titles(), QStringList{"Demo"});
        if (change == "hide") {
            QCOMPARE(adaNow.hiddenCalendarIDs, QSet<QString>{team});
            QVERIFY(!w.titles().contains("Team"));
        }
        w.google.server().release();
        if (connect) {
            QVERIFY(finish(*connect));
            QCOMPARE(connect->value, std::optional<bool>(true));
        }
    }

    // Bob's account may only read; his events are marked so.
    void googleAccountsFailing_data() {
        QTest::addColumn<Failing>("c");
        QTest::newRow("first account's token refused")
            << Failing{ada, {}, {"Bob 1"}, ada + " needs to be reconnected (token expired or revoked)", true};
        QTest::newRow("first account's second calendar fails")
            << Failing{"", {team}, {"Ada 1", "Bob 1"}, "Boom " + team, true};
        QTest::newRow("every account fails")
            << Failing{"", {ada, bob}, {"Ada 1", "Bob 1", "Team"}, "Boom " + ada, false};
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
        if (!c.revoked.isEmpty()) {
            w.google.revokeRefreshToken(w.stored(c.revoked).refreshToken);
            config = w.h.settings->google();
            config.accounts[0].expiry = w.h.clock.now().addSecs(-60);
            w.h.settings->setGoogle(config);
        }
        for (const QString& calendar : c.failing)
            w.google.server().scriptNext("GET", GoogleStoreWorld::eventsPath(calendar),
                                         FakeGoogle::errorReply(500, QString(), "Boom " + calendar));
        QVERIFY(runTask(store.refreshGoogle()).ok());
        QStringList shown = w.titles();
        shown.sort();
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
        config.accounts[0].hiddenCalendarIDs = {team};
        w.h.settings->setGoogle(config);
        w.google.server().scriptNext("GET", GoogleStoreWorld::eventsPath(bob),
                                     FakeGoogle::errorReply(500, QString(), "Earlier"));
        TestableStore& store = w.h.start();

        w.google.setSignInAccount(c.outcome == cy ? cy : ada);
        if (c.outcome == "fail")
            w.google.setConsentError("access_denied");
        w.browser.setLoads(false); // the user has yet to answer
        const auto connecting = startTask(store.connectGoogle());
        QVERIFY(QTest::qWaitFor([&] { return !w.browser.opened().isEmpty(); }));
        QVERIFY(store.isConnectingGoogle() && store.googleFlow());
        QCOMPARE(runTask(store.connectGoogle()).value, std::optional<bool>(false));
        if (c.outcome == "cancel")
            store.googleFlow()->cancel();
        else
            (void)startTask(w.browser.load(w.browser.opened().first()));
        QVERIFY(finish(*connecting));

        QCOMPARE(connecting->value, std::optional<bool>(c.result));
        QStringList emails;
        for (const GoogleAccount& account : w.h.settings->google().accounts)
            emails << account.email;
        QCOMPARE(emails, c.accounts);
        QCOMPARE(store.googleError().value_or(QString()), c.error);
        QVERIFY(!store.isConnectingGoogle() && !store.googleFlow());
        if (c.outcome == ada) {
            QVERIFY(w.stored(ada).refreshToken != config.accounts[0].refreshToken);
            QCOMPARE(w.stored(ada).hiddenCalendarIDs, QSet<QString>{team});
            QCOMPARE(w.titles(), QStringList({"Ada 1", "Bob 1"}));
        }
        if (c.outcome == cy)
            QVERIFY(w.titles().contains("Bob 1"));
    }

    void removingAGoogleAccountTakesExactlyItsEvents() {
        GoogleWorld w;
        const QString lookalike = QStringLiteral("ada@corp.io.uk");
        w.connect(lookalike);
        w.addEvent(lookalike, "Lookalike", "2026-03-04 15:00");
        TestableStore& store = w.h.start();

        store.removeGoogleAccount(ada);
        store.removeGoogleAccount(bob);
        QCOMPARE(w.titles(), QStringList{"Lookalike"});
        QVERIFY(store.googleLastSync());
        store.removeGoogleAccount(lookalike);
        QVERIFY(store.googleEvents().isEmpty());
        QVERIFY(!store.googleLastSync());
        QVERIFY(w.h.titlesOn("2026-03-04").isEmpty());
    }

    void notionColoursFollowThePosition() {
        QList<NotionDatabaseSelection> chosen;
        for (int i = 0; i < 6; ++i)
            chosen << selection(QStringLiteral("db%1").arg(i), QStringLiteral("Db %1").arg(i));
        NotionWorld w(chosen);
        TestableStore& store = w.h.start();
        QCOMPARE(w.titles(), (QStringList{"P0", "P1", "P2", "P3", "P4", "P5"}));
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(store.notionEvents()[i].color, NotionClient::palette()[i % 5]);
            QCOMPARE(store.notionEvents()[i].calendarName, chosen[i].title);
        }
        QCOMPARE(w.h.titlesOn("2026-03-05").size(), 6);
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
            w.notion.server().scriptNext("POST", NotionWorld::queryPath(id),
                                         NotionWorld::failure("Boom " + id));
        QVERIFY(runTask(store.refreshNotion()).ok());
        QCOMPARE(w.titles(), titles);
        QCOMPARE(store.notionError().value_or(QString()), error);
        QCOMPARE(*store.notionLastSync(), synced ? w.h.clock.now() : firstSync);

        // A request while one runs is dropped, not queued.
        w.notion.server().hold("POST", NotionWorld::queryPath("db0"));
        const auto running = startTask(store.refreshNotion());
        QVERIFY(w.held());
        QVERIFY(runTask(store.refreshNotion()).ok());
        w.notion.server().release();
        QVERIFY(finish(*running));
        QCOMPARE(w.notion.server().requests("POST", NotionWorld::queryPath("db0")).size(), 3);
    }

    void notionConnectingKeepsTheChoicesStillShared() {
        NotionWorld w({});
        w.notion.addDatabase(FakeNotion::database("b", "Bee", {{"Start", "date"}, {"When", "date"}}, "🐝"));
        w.notion.addDatabase(FakeNotion::database("a", "Alpha", {{"Created", "date"}, {"Due", "date"}}));
        w.notion.addDatabase(FakeNotion::database("d", "Delta", {{"Date", "date"}}));
        w.addPage("a", "A page");
        w.h.settings->setNotionDatabases(
            {selection("a", "A old"), selection("b", "B old", "Old"), selection("gone", "Gone")});
        TestableStore& store = w.h.start();

        // The caller's text may change (or go) while the token is checked.
        QString token = w.notion.token();
        w.h.settings->setNotionToken(QString());
        w.notion.server().hold("GET", "/v1/users/me");
        const auto connected = startTask(store.connectNotion(token));
        token = QStringLiteral("edited-meanwhile");
        QVERIFY(w.held());
        w.notion.server().release();
        QVERIFY(finish(*connected));
        QCOMPARE(connected->value, std::optional<bool>(true));
        QCOMPARE(w.h.settings->notionDatabases(),
                 (QList<NotionDatabaseSelection>{selection("a", "Alpha", "Due"),
                                                 {"b", "Bee", QStringLiteral("🐝"), "Start"}}));
        QCOMPARE(w.h.settings->notionToken(), w.notion.token());
        QStringList listed;
        for (const NotionDatabase& database : store.discoveredDatabases())
            listed << database.id;
        QCOMPARE(listed, (QStringList{"a", "b", "d"}));
        QCOMPARE(store.notionUserName(), std::optional<QString>("Vorrindel Sync"));
        QCOMPARE(w.titles(), QStringList{"A page"});
    }

    void notionConnectingFails_data() {
        QTest::addColumn<bool>("tokenRefused");
        QTest::addColumn<QString>("error");
        QTest::newRow("token refused") << true << "API token is invalid.";
        QTest::newRow("listing fails") << false << "Search is down";
    }
    void notionConnectingFails() {
        QFETCH(bool, tokenRefused);
        QFETCH(QString, error);
        NotionWorld w({selection("a", "A")});
        TestableStore& store = w.h.start();
        w.notion.server().scriptNext("POST", "/v1/search", NotionWorld::failure("Search is down"));

        const QString token = tokenRefused ? QStringLiteral("secret_wrong") : w.notion.token();
        QCOMPARE(runTask(store.connectNotion(token)).value, std::optional<bool>(false));
        QCOMPARE(store.notionError(), std::optional(error));
        QCOMPARE(store.notionUserName().has_value(), !tokenRefused);
        QCOMPARE(w.h.settings->notionToken(), w.notion.token());
        QCOMPARE(w.h.settings->notionDatabases().size(), 1);
        QVERIFY(store.discoveredDatabases().isEmpty());
    }

    // Disconnecting while a connect checks the token or lists the databases: the connect comes to
    // nothing, and the token the user removed stays removed.
    void notionDisconnectDuringAConnectWins_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::newRow("checking the token") << "GET"
                                            << "/v1/users/me";
        QTest::newRow("listing the databases") << "POST"
                                               << "/v1/search";
    }
    void notionDisconnectDuringAConnectWins() {
        QFETCH(QString, method);
        QFETCH(QString, path);
        NotionWorld w({selection("a", "A")});
        TestableStore& store = w.h.start();
        w.notion.server().hold(method.toUtf8(), path);
        const auto connected = startTask(store.connectNotion(w.notion.token()));
        QVERIFY(w.held());
        store.disconnectNotion();
        w.notion.server().release();
        QVERIFY(finish(*connected));
        QCOMPARE(connected->value, std::optional<bool>(false));
        QVERIFY(w.h.settings->notionToken().isEmpty());
        QVERIFY(AppSettings(SettingsLocations::standard()).notionToken().isEmpty());
        QVERIFY(w.h.settings->notionDatabases().isEmpty());
        QVERIFY(store.discoveredDatabases().isEmpty());
        QVERIFY(!store.notionUserName() && !store.notionError());
        QVERIFY(w.titles().isEmpty());
    }

    // A sync still running when the connection changes must not bring its pages back.
    void notionSyncOutlivingItsConnectionDropsItsPages_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("disconnected") << "disconnect";
        QTest::newRow("connected anew") << "reconnect";
        QTest::newRow("sample data installed") << "sample";
    }
    void notionSyncOutlivingItsConnectionDropsItsPages() {
        QFETCH(QString, change);
        NotionWorld w({selection("a", "A")});
        TestableStore& store = w.h.start();
        QCOMPARE(w.titles(), QStringList{"P0"});

        w.addPage("a", "Stale");
        w.notion.server().hold("POST", NotionWorld::queryPath("a"));
        const auto stale = startTask(store.refreshNotion());
        QVERIFY(w.held());
        std::shared_ptr<TaskResult<bool>> connected;
        if (change == "reconnect") {
            connected = startTask(store.connectNotion(w.notion.token()));
            QVERIFY(QTest::qWaitFor([&] { return !store.discoveredDatabases().isEmpty(); }));
        } else if (change == "sample")
            store.installSampleEvents({TestEvents::timed("sample:Demo", "Demo", w.h.at("2026-03-05 09:00"),
                                                         w.h.at("2026-03-05 10:00"), EventSource::notion)});
        else
            store.disconnectNotion();
        // The stale sync goes on; the fresh one that connecting starts is held.
        w.notion.server().release();
        w.notion.server().hold("POST", NotionWorld::queryPath("a"));
        QVERIFY(finish(*stale));
        const QHash<QString, QStringList> left{
            {"reconnect", {"P0"}}, {"sample", {"Demo"}}, {"disconnect", {}}};
        QCOMPARE(w.titles(), left.value(change));
        if (change == "reconnect") {
            QVERIFY(w.held());
            w.notion.server().release();
            QVERIFY(finish(*connected));
            QCOMPARE(w.titles(), QStringList({"P0", "Stale"}));
        } else if (change == "disconnect") {
            QVERIFY(!store.notionLastSync() && !store.notionError());
            QVERIFY(w.h.settings->notionToken().isEmpty());
        }
        w.notion.server().release();
    }
};

QTEST_GUILESS_MAIN(TestStoreSync)
#include "tst_storesync.moc"
