#include "FakeSources.h"
#include "StoreHarness.h"

#include "core/remote/NotionClient.h"
#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QTest>

namespace {

Cal berlinCal() {
    return Cal(QTimeZone("Europe/Berlin"), QLocale(QLocale::German, QLocale::Germany));
}

NotionDatabaseSelection selection(const QString& id, const QString& title,
                                  const QString& dateProperty = "Due") {
    return {id, title, std::nullopt, dateProperty};
}

// A token and the given databases chosen, database i holding the page "P<i>".
struct World {
    explicit World(const QList<NotionDatabaseSelection>& chosen) {
        auto fake = std::make_unique<FakeNotionSource>();
        notion = fake.get();
        h.notion = std::move(fake);
        for (int i = 0; i < chosen.size(); ++i) {
            notion->pagesOf[chosen[i].id] = {FakeNotionSource::page(
                QStringLiteral("p%1").arg(i), QStringLiteral("P%1").arg(i), h.at("2026-03-05 09:00"))};
        }
        h.settings->setNotionToken(QStringLiteral("old-token"));
        h.settings->setNotionDatabases(chosen);
    }
    QStringList titles() const { return StoreHarness::titles(h.store->notionEvents()); }

    StoreHarness h{QStringLiteral("2026-03-04 10:00"), berlinCal()};
    FakeNotionSource* notion = nullptr;
};

} // namespace

class TestStoreNotion : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void coloursFollowThePosition() {
        QList<NotionDatabaseSelection> chosen;
        for (int i = 0; i < 6; ++i)
            chosen << selection(QStringLiteral("db%1").arg(i), QStringLiteral("Db %1").arg(i));
        World w(chosen);
        TestableStore& store = w.h.start();
        QCOMPARE(store.notionEvents().size(), 6);
        const QList<QColor>& palette = NotionClient::palette();
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(store.notionEvents()[i].title, QStringLiteral("P%1").arg(i));
            QCOMPARE(store.notionEvents()[i].color, palette[i % 5]);
        }
    }

    void databasesFailing_data() {
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
    void databasesFailing() {
        QFETCH(QStringList, failing);
        QFETCH(QStringList, titles);
        QFETCH(QString, error);
        QFETCH(bool, synced);
        World w({selection("db0", "One"), selection("db1", "Two"), selection("db2", "Three")});
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

    void connectingKeepsTheChoicesStillShared() {
        World w({selection("a", "A old"), selection("b", "B old", "Old"), selection("gone", "Gone")});
        w.notion->databases = {{"b", "Bee", QStringLiteral("🐝"), {"Start", "When"}},
                               {"a", "Alpha", std::nullopt, {"Created", "Due"}},
                               {"d", "Delta", std::nullopt, {"Date"}}};
        TestableStore& store = w.h.start();

        const auto connected = runTask(store.connectNotion(QStringLiteral("new-token")));
        QCOMPARE(connected.value, std::optional<bool>(true));
        const QList<NotionDatabaseSelection> expected{selection("a", "Alpha", "Due"),
                                                      {"b", "Bee", QStringLiteral("🐝"), "Start"}};
        QCOMPARE(w.h.settings->notionDatabases(), expected);
        QCOMPARE(w.h.settings->notionToken(), QStringLiteral("new-token"));
        QCOMPARE(store.discoveredDatabases(), w.notion->databases);
        QCOMPARE(store.notionUserName(), std::optional<QString>("Fake integration"));
        QCOMPARE(w.titles(), (QStringList{"P0", "P1"}));
    }

    void connectingFails_data() {
        QTest::addColumn<bool>("verifyFails");
        QTest::addColumn<bool>("named");
        QTest::newRow("token refused") << true << false;
        QTest::newRow("listing fails") << false << true;
    }
    void connectingFails() {
        QFETCH(bool, verifyFails);
        QFETCH(bool, named);
        World w({selection("a", "A")});
        (verifyFails ? w.notion->verifyFailure : w.notion->listFailure) =
            QStringLiteral("API token is invalid.");
        TestableStore& store = w.h.start();

        QCOMPARE(runTask(store.connectNotion(QStringLiteral("new-token"))).value, std::optional<bool>(false));
        QCOMPARE(store.notionError(), std::optional<QString>("API token is invalid."));
        QCOMPARE(store.notionUserName().has_value(), named);
        QCOMPARE(w.h.settings->notionToken(), QStringLiteral("old-token"));
        QCOMPARE(w.h.settings->notionDatabases().size(), 1);
        QVERIFY(store.discoveredDatabases().isEmpty());
    }

    void aSyncOutlivingItsConnectionDropsItsPages_data() {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("disconnected") << false;
        QTest::newRow("connected anew") << true;
    }
    void aSyncOutlivingItsConnectionDropsItsPages() {
        QFETCH(bool, reconnect);
        World w({selection("a", "A")});
        w.notion->databases = {{"a", "A", std::nullopt, {"Due"}}};
        TestableStore& store = w.h.start();
        QCOMPARE(w.titles(), QStringList{"P0"});

        w.notion->gate.hold("pages");
        const auto stale = startTask(store.refreshNotion());
        std::shared_ptr<TaskResult<bool>> connected;
        if (reconnect)
            connected = startTask(store.connectNotion(QStringLiteral("new-token")));
        else
            store.disconnectNotion();
        w.notion->pagesOf["a"][0].title = QStringLiteral("Stale");
        // The stale sync goes on; the fresh one that connecting starts is held.
        w.notion->gate.release();
        w.notion->gate.hold("pages");
        QVERIFY(finish(*stale));
        QCOMPARE(w.titles(), reconnect ? QStringList{"P0"} : QStringList{});

        if (reconnect) {
            QVERIFY(QTest::qWaitFor([&] { return w.notion->gate.waiting() == 1; }));
            w.notion->pagesOf["a"][0].title = QStringLiteral("Fresh");
            w.notion->gate.release();
            QVERIFY(finish(*connected));
            QCOMPARE(w.titles(), QStringList{"Fresh"});
        } else {
            QVERIFY(!store.notionLastSync());
            QVERIFY(!store.notionError());
            QVERIFY(w.h.settings->notionToken().isEmpty());
        }
    }

    // The real client against the fake Notion: a choice kept from before is read at once.
    void connectOverHttp() {
        FakeNotion notion;
        notion.addDatabase(FakeNotion::database("db1", "Roadmap", {{"Due", "date"}}, QStringLiteral("🚀")));
        notion.addPage("db1", FakeNotion::page("p1", "Launch", "Due", "2026-03-05"));
        notion.addPage("db1", FakeNotion::page("p2", "Far away", "Due", "2026-06-05"));
        RemoteTestSession session;
        session.setEndpoints(notion.endpoints());
        StoreHarness h(QStringLiteral("2026-03-04 10:00"), berlinCal());
        h.settings->setNotionDatabases({selection("db1", "Old name")});
        h.notion = NotionSource::remote();
        TestableStore& store = h.start();

        const auto connected = runTask(store.connectNotion(notion.token()));
        QVERIFY2(connected.ok(), qPrintable(connected.errorMessage()));
        QCOMPARE(connected.value, std::optional<bool>(true));
        QCOMPARE(store.notionUserName(), std::optional<QString>("Vorrindel Sync"));
        QCOMPARE(StoreHarness::titles(store.notionEvents()), QStringList{"Launch"});
        QCOMPARE(store.notionEvents()[0].calendarName, QStringLiteral("Roadmap"));
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-03-05 12:00"))), QStringList{"Launch"});
    }
};

QTEST_GUILESS_MAIN(TestStoreNotion)
#include "tst_storenotion.moc"
