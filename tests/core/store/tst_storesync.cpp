#include "StoreHarness.h"

#include "core/settings/SettingsLocations.h"
#include "support/FakeNotion.h"
#include "support/Patience.h"
#include "support/TaskResult.h"
#include "support/TestFiles.h"

#include <QTest>

// The Google and Notion syncs against fake sources whose calls a test can hold, to act while a sync
// waits.
namespace {

const QString ada = QStringLiteral("ada@corp.io");
const QString team = QStringLiteral("team@corp.io");
const QString bob = QStringLiteral("bob@corp.io");
const QString cy = QStringLiteral("cy@corp.io");

// Ada with her own and the team calendar, Bob with his own; one event in each.
struct GoogleWorld : StoreHarness {
    GoogleWorld() {
        connect(ada, {{team, QStringLiteral("Team"), std::nullopt, false, QStringLiteral("writer")}});
        connect(bob);
        addGoogle(ada, "Ada 1", "2026-03-04 11:00");
        addGoogle(team, "Team", "2026-03-04 12:00");
        addGoogle(bob, "Bob 1", "2026-03-04 13:00");
    }
    QStringList googleTitles() const { return titles(store->googleEvents()); }
    // An account as a sign-in returns it.
    GoogleAccount signedIn(const QString& email) const {
        GoogleAccount account;
        account.email = email;
        account.refreshToken = QStringLiteral("again-") + email;
        account.accessToken = QStringLiteral("fresh-") + email;
        account.expiry = clock.now().addSecs(3600);
        account.scopes = QStringList{QStringLiteral("https://www.googleapis.com/auth/calendar.events")};
        account.calendars = {{email, email, std::nullopt, true, QStringLiteral("owner")}};
        return account;
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

// The databases chosen in the settings and shared with the integration, database i holding "P<i>".
struct NotionWorld : StoreHarness {
    explicit NotionWorld(const QList<NotionDatabaseSelection>& chosen) {
        for (int i = 0; i < chosen.size(); ++i) {
            notion->databases << NotionDatabase{chosen[i].id, chosen[i].title, std::nullopt, {"Due"}};
            addPage(chosen[i].id, QStringLiteral("P%1").arg(i));
        }
        settings->setNotionToken(notion->token);
        settings->setNotionDatabases(chosen);
    }
    void addPage(const QString& database, const QString& title) {
        notion->pages[database] << FakeNotion::page(title.toLower(), title, "Due", "2026-03-05");
    }
    QStringList notionTitles() const { return titles(store->notionEvents()); }
};

} // namespace

struct Failing {
    QString revoked;     // the account whose refresh token Google no longer takes
    QStringList failing; // calendars whose listing fails with "Boom <id>"
    int status;          // of those failures
    QStringList titles;
    QString error;
    bool synced;
};
Q_DECLARE_METATYPE(Failing)

class TestStoreSync : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void googleRequestsDuringARunGiveOneRerunThatCallersAwait() {
        GoogleWorld w;
        TestableStore& store = w.start(true);
        const QString lastCall = "events " + bob; // holding it holds the run and nothing after it
        QCOMPARE(w.google->callsOf("events " + ada).size(), 1);

        w.google->holds.hold(lastCall);
        const auto running = startTask(store.refreshGoogle());
        QVERIFY(w.google->holds.waitFor(lastCall));
        const auto second = startTask(store.refreshGoogle());
        const auto third = startTask(store.refreshGoogle());
        w.addGoogle(bob, "Bob 2", "2026-03-04 14:00"); // only a further run can see it

        // Let the running refresh end and hold the further run it starts.
        w.google->holds.release(lastCall);
        w.google->holds.hold(lastCall);
        QVERIFY(finish(*running));
        QVERIFY(!w.googleTitles().contains("Bob 2"));
        QVERIFY(w.google->holds.waitFor(lastCall));
        QVERIFY(!second->finished && !third->finished);
        w.google->holds.release(lastCall);
        QVERIFY(finish(*second));
        QVERIFY(finish(*third));
        QVERIFY(w.googleTitles().contains("Bob 2"));
        w.settle();
        QCOMPARE(w.google->callsOf("events " + ada).size(), 3);
    }

    // Ada's token runs out before the held run, which renews it; the run writes back only that, and
    // leaves out what went meanwhile.
    void googleChangesDuringAHeldRefreshSurvive_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("account connected") << "connect";
        QTest::newRow("account removed") << "remove";
        QTest::newRow("calendar hidden") << "hide";
        QTest::newRow("account signed in again") << "reconnect";
    }
    void googleChangesDuringAHeldRefreshSurvive() {
        QFETCH(QString, change);
        GoogleWorld w;
        TestableStore& store = w.start(true);
        GoogleConfig config = w.settings->google();
        config.accounts[0].expiry = w.clock.now().addSecs(-60);
        w.settings->setGoogle(config);

        w.google->holds.hold("events " + bob);
        const auto refresh = startTask(store.refreshGoogle());
        QVERIFY(w.google->holds.waitFor("events " + bob));
        std::shared_ptr<TaskResult<bool>> connect;
        if (change == "connect" || change == "reconnect") {
            w.google->signIn = w.signedIn(change == "connect" ? cy : ada);
            connect = startTask(store.connectGoogle());
            QVERIFY(Patience::until([&] { return !w.stored(w.google->signIn->email).email.isEmpty(); }));
            QCOMPARE(w.stored(w.google->signIn->email).refreshToken, w.google->signIn->refreshToken);
        } else if (change == "remove") {
            store.removeGoogleAccount(bob);
        } else {
            store.setGoogleCalendar(team, ada, false);
        }

        // Release the held run; hold the further one, so that the run's own outcome shows.
        w.google->holds.release("events " + bob);
        w.google->holds.hold("token " + ada);
        QVERIFY(finish(*refresh));
        const GoogleAccount adaNow = w.stored(ada);
        if (change == "reconnect") {
            QCOMPARE(adaNow.refreshToken, w.google->signIn->refreshToken);
            QCOMPARE(adaNow.accessToken, w.google->signIn->accessToken);
        } else {
            QCOMPARE(adaNow.accessToken, std::optional<QString>("renewed-1"));
        }
        if (change == "connect")
            QVERIFY(w.persistedRefreshTokens().contains(w.google->signIn->refreshToken));
        if (change == "remove") {
            QVERIFY(w.stored(bob).email.isEmpty());
            QCOMPARE(w.persistedRefreshTokens(), QStringList{adaNow.refreshToken});
            QVERIFY(!w.googleTitles().contains("Bob 1"));
        }
        if (change == "hide") {
            QCOMPARE(adaNow.hiddenCalendarIDs, QSet<QString>{team});
            QVERIFY(!w.googleTitles().contains("Team"));
        }
        w.google->holds.release("token " + ada);
        if (connect) {
            QVERIFY(finish(*connect));
            QCOMPARE(connect->value, std::optional<bool>(true));
        }
    }

    // Bob's account may only read; his events are marked so. A refused account keeps its events, and
    // so does a calendar that fails for a passing reason; one that is gone takes its events along.
    // The error names the calendar.
    void googleAccountsFailing_data() {
        QTest::addColumn<Failing>("c");
        const QStringList all{"Ada 1", "Bob 1", "Team"};
        QTest::newRow("first account's token refused")
            << Failing{ada, {}, 0, all, ada + " needs to be reconnected (token expired or revoked)", true};
        QTest::newRow("first account's second calendar fails for now")
            << Failing{"", {team}, 503, all, "Team: Boom " + team, true};
        QTest::newRow("first account's second calendar is gone")
            << Failing{"", {team}, 404, {"Ada 1", "Bob 1"}, "Team: Boom " + team, true};
        QTest::newRow("every calendar fails for now")
            << Failing{"", {ada, team, bob}, 429, all, ada + ": Boom " + ada, false};
    }
    void googleAccountsFailing() {
        QFETCH(Failing, c);
        GoogleWorld w;
        GoogleConfig config = w.settings->google();
        config.accounts[1].scopes =
            QStringList{QStringLiteral("https://www.googleapis.com/auth/calendar.readonly")};
        w.settings->setGoogle(config);
        TestableStore& store = w.start(true);
        const QDateTime firstSync = *store.googleLastSync();

        w.advance(30);
        if (!c.revoked.isEmpty())
            w.google->revoked.insert(c.revoked);
        for (const QString& calendar : c.failing) {
            w.google->failing.insert(calendar, "Boom " + calendar);
            w.google->failingStatus.insert(calendar, c.status);
        }
        QVERIFY(runTask(store.refreshGoogle()).ok());
        QStringList shown = w.googleTitles();
        shown.sort();
        QCOMPARE(shown, c.titles);
        QCOMPARE(store.googleError().value_or(QString()), c.error);
        QCOMPARE(store.googleLastSync().value_or(QDateTime()), c.synced ? w.clock.now() : firstSync);
        QCOMPARE(w.stored(ada).needsReauth, !c.revoked.isEmpty());
        for (const CalEvent& event : store.googleEvents())
            QCOMPARE(event.calendarEditable, event.googleAccount != bob);
    }

    // While a sign-in waits for the user, asking again starts nothing; cancelling it adds no account and
    // leaves the last error as it was. (The Google tab's tests sign in, again and for real.)
    void googleConnectWhileOneWaits() {
        GoogleWorld w;
        w.google->failing.insert(bob, "Earlier");
        TestableStore& store = w.start(true);
        w.google->holds.hold("sign-in");
        const auto connecting = startTask(store.connectGoogle());
        QVERIFY(w.google->holds.waitFor("sign-in"));
        QVERIFY(store.isConnectingGoogle() && store.googleFlow());
        QCOMPARE(runTask(store.connectGoogle()).value, std::optional<bool>(false));
        store.googleFlow()->cancel();
        QVERIFY(finish(*connecting));
        QCOMPARE(connecting->value, std::optional<bool>(false));
        QCOMPARE(w.settings->google().accounts.size(), 2);
        QCOMPARE(store.googleError(), std::optional<QString>(bob + ": Earlier"));
        QVERIFY(!store.isConnectingGoogle() && !store.googleFlow());
    }

    // The store goes while its Google work waits on a reply (the app quitting mid-sync, say); when
    // the reply comes the work ends without touching the store or storing anything.
    void googleWorkOutlivingTheStore_data() {
        QTest::addColumn<bool>("signIn");
        QTest::addColumn<QString>("held");
        QTest::newRow("token renewal") << false << "token " + ada;
        QTest::newRow("calendar listing") << false << "events " + team;
        QTest::newRow("sign-in") << true << "sign-in";
        QTest::newRow("token renewal after a sign-in") << true << "token " + ada;
    }
    void googleWorkOutlivingTheStore() {
        QFETCH(bool, signIn);
        QFETCH(QString, held);
        GoogleWorld w;
        TestableStore& store = w.start(true);
        w.google->signIn = w.signedIn(cy);
        w.google->holds.hold(held);
        std::shared_ptr<TaskResult<bool>> connect;
        std::shared_ptr<TaskResult<void>> refresh;
        if (signIn)
            connect = startTask(store.connectGoogle());
        else
            refresh = startTask(store.refreshGoogle());
        QVERIFY(w.google->holds.waitFor(held));
        const GoogleConfig before = w.settings->google();

        w.store.reset();
        w.google->holds.release(held);
        QVERIFY(connect ? finish(*connect) : finish(*refresh));
        QVERIFY(connect ? connect->ok() : refresh->ok());
        QCOMPARE(w.settings->google(), before);
    }

    // The pass's debug line is written also when every account went while it ran.
    void googleRunLeavingNoAccountIsLogged() {
        GoogleWorld w;
        TestableStore& store = w.start(true);
        w.google->holds.hold("events " + bob);
        const auto refresh = startTask(store.refreshGoogle());
        QVERIFY(w.google->holds.waitFor("events " + bob));
        store.removeGoogleAccount(ada);
        store.removeGoogleAccount(bob);
        const qsizetype before = TestFiles::read(w.logFile).size();
        w.google->holds.release("events " + bob);
        QVERIFY(finish(*refresh));
        const QByteArray written = TestFiles::read(w.logFile).mid(before);
        QVERIFY2(written.contains(" google: accounts=0 events=0 error=none\n"), written.constData());
    }

    void removingAGoogleAccountTakesExactlyItsEvents() {
        GoogleWorld w;
        const QString lookalike = QStringLiteral("ada@corp.io.uk");
        w.connect(lookalike);
        w.addGoogle(lookalike, "Lookalike", "2026-03-04 15:00");
        TestableStore& store = w.start(true);

        store.removeGoogleAccount(ada);
        store.removeGoogleAccount(bob);
        QCOMPARE(w.googleTitles(), QStringList{"Lookalike"});
        QVERIFY(store.googleLastSync());
        store.removeGoogleAccount(lookalike);
        QVERIFY(store.googleEvents().isEmpty());
        QVERIFY(!store.googleLastSync());
        QVERIFY(w.titlesOn("2026-03-04").isEmpty());
    }

    // A database that fails for a passing reason keeps its pages; one gone or no longer shared drops them.
    void notionDatabasesFailing_data() {
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("synced");
        const QStringList all{"P0", "P1", "P2"};
        QTest::newRow("first and third are gone")
            << QStringList{"db0", "db2"} << 404 << QStringList{"P1"} << "One: Boom db0" << true;
        QTest::newRow("first and third are no longer shared")
            << QStringList{"db0", "db2"} << 403 << QStringList{"P1"} << "One: Boom db0" << true;
        QTest::newRow("first and third fail for now")
            << QStringList{"db0", "db2"} << 502 << all << "One: Boom db0" << true;
        QTest::newRow("every one fails")
            << QStringList{"db0", "db1", "db2"} << 0 << all << "One: Boom db0" << false;
    }
    void notionDatabasesFailing() {
        QFETCH(QStringList, failing);
        QFETCH(int, status);
        QFETCH(QStringList, titles);
        QFETCH(QString, error);
        QFETCH(bool, synced);
        NotionWorld w({selection("db0", "One"), selection("db1", "Two"), selection("db2", "Three")});
        TestableStore& store = w.start(true);
        const QDateTime firstSync = *store.notionLastSync();

        w.advance(30);
        for (const QString& id : failing) {
            w.notion->failing.insert(id, "Boom " + id);
            w.notion->failingStatus.insert(id, status);
        }
        QVERIFY(runTask(store.refreshNotion()).ok());
        QStringList shown = w.notionTitles();
        shown.sort();
        QCOMPARE(shown, titles);
        QCOMPARE(store.notionError().value_or(QString()), error);
        QCOMPARE(store.notionLastSync().value_or(QDateTime()), synced ? w.clock.now() : firstSync);

        // A request while one runs is dropped, not queued.
        w.notion->holds.hold("pages db0");
        const auto running = startTask(store.refreshNotion());
        QVERIFY(w.notion->holds.waitFor("pages db0"));
        QVERIFY(runTask(store.refreshNotion()).ok());
        w.notion->holds.release("pages db0");
        QVERIFY(finish(*running));
        QCOMPARE(w.notion->calls.count("pages db0"), 3);
    }

    void notionConnectingKeepsTheChoicesStillShared() {
        NotionWorld w({});
        w.notion->databases = {{"a", "Alpha", std::nullopt, {"Created", "Due"}},
                               {"b", "Bee", QStringLiteral("🐝"), {"Start", "When"}},
                               {"d", "Delta", std::nullopt, {"Date"}}};
        w.addPage("a", "A page");
        w.settings->setNotionDatabases(
            {selection("a", "A old"), selection("b", "B old", "Old"), selection("gone", "Gone")});
        TestableStore& store = w.start(true);

        // The caller's text may change (or go) while the token is checked.
        QString token = w.notion->token;
        w.settings->setNotionToken(QString());
        w.notion->holds.hold("verify");
        const auto connected = startTask(store.connectNotion(token));
        token = QStringLiteral("edited-meanwhile");
        QVERIFY(w.notion->holds.waitFor("verify"));
        w.notion->holds.release("verify");
        QVERIFY(finish(*connected));
        QCOMPARE(connected->value, std::optional<bool>(true));
        QCOMPARE(w.settings->notionDatabases(),
                 (QList<NotionDatabaseSelection>{selection("a", "Alpha", "Due"),
                                                 {"b", "Bee", QStringLiteral("🐝"), "Start"}}));
        QCOMPARE(w.settings->notionToken(), w.notion->token);
        QCOMPARE(store.discoveredDatabases(), w.notion->databases);
        QCOMPARE(store.notionUserName(), std::optional<QString>("Vorrindel Sync"));
        QCOMPARE(w.notionTitles(), QStringList{"A page"});
    }

    // A listing that fails after the token passed: the name is known, nothing is stored or chosen anew.
    void notionConnectingFails() {
        NotionWorld w({selection("a", "A")});
        TestableStore& store = w.start(true);
        w.notion->failing.insert("search", "Search is down");
        QCOMPARE(runTask(store.connectNotion(w.notion->token)).value, std::optional<bool>(false));
        QCOMPARE(store.notionError(), std::optional<QString>("Search is down"));
        QVERIFY(store.notionUserName());
        QCOMPARE(w.settings->notionDatabases().size(), 1);
        QVERIFY(store.discoveredDatabases().isEmpty());
    }

    // A sync still running when the connection changes must not bring its pages back.
    void notionSyncOutlivingItsConnectionDropsItsPages_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("disconnected") << "disconnect";
        QTest::newRow("connected anew") << "reconnect";
    }
    void notionSyncOutlivingItsConnectionDropsItsPages() {
        QFETCH(QString, change);
        NotionWorld w({selection("a", "A")});
        TestableStore& store = w.start(true);
        QCOMPARE(w.notionTitles(), QStringList{"P0"});

        w.addPage("a", "Stale");
        w.notion->holds.hold("pages a");
        const auto stale = startTask(store.refreshNotion());
        QVERIFY(w.notion->holds.waitFor("pages a"));
        std::shared_ptr<TaskResult<bool>> connected;
        if (change == "reconnect") {
            connected = startTask(store.connectNotion(w.notion->token));
            QVERIFY(Patience::until([&] { return !store.discoveredDatabases().isEmpty(); }));
        } else {
            store.disconnectNotion();
        }
        // The stale sync goes on; the fresh one that connecting starts is held.
        w.notion->holds.release("pages a");
        w.notion->holds.hold("pages a");
        QVERIFY(finish(*stale));
        QCOMPARE(w.notionTitles(), change == "reconnect" ? QStringList{"P0"} : QStringList{});
        if (change == "reconnect") {
            QVERIFY(w.notion->holds.waitFor("pages a"));
            w.notion->holds.release("pages a");
            QVERIFY(finish(*connected));
            QCOMPARE(w.notionTitles(), QStringList({"P0", "Stale"}));
        } else if (change == "disconnect") {
            QVERIFY(!store.notionLastSync() && !store.notionError());
            QVERIFY(w.settings->notionToken().isEmpty());
        }
        w.notion->holds.release("pages a");
    }
};

QTEST_GUILESS_MAIN(TestStoreSync)
#include "tst_storesync.moc"
