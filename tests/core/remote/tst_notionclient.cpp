#include "core/remote/NotionClient.h"
#include "core/remote/TransportError.h"

#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

// Days are the user's days (in Berlin here), not UTC ones.
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(HttpReply)

namespace {

const NotionDatabaseSelection roadmap{QStringLiteral("db-1"), QStringLiteral("Roadmap"), std::nullopt,
                                      QStringLiteral("Due")};
const QColor orange = NotionClient::palette().at(0);
const Cal inBerlin(QTimeZone("Europe/Berlin"), QLocale::c());

QDateTime berlin(int y, int m, int d, int h = 0, int min = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone("Europe/Berlin")).toUTC();
}

QJsonObject parse(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestNotionClient : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_notion = std::make_unique<FakeNotion>();
        m_session = std::make_unique<RemoteTestSession>();
        m_session->setEndpoints(m_notion->endpoints());
    }
    void cleanup() {
        m_session.reset();
        m_notion.reset();
    }

    void verifyOutcomes_data() {
        // The outcome is the name, the NotionError's message, or empty for a transport error.
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("outcome");

        QTest::newRow("token refused") << u"token"_s << "API token is invalid.";
        QTest::newRow("server error, not JSON") << u"500"_s << "HTTP 500";
        QTest::newRow("time-out") << u"stall"_s << "";
    }
    void verifyOutcomes() {
        QFETCH(QString, failure);
        QFETCH(QString, outcome);

        if (failure == u"500") {
            m_notion->server().scriptNext("GET", "/v1/", HttpReply::text(500, "<html>oops</html>"));
        } else if (failure == u"stall") {
            m_notion->server().scriptNext("GET", "/v1/", HttpReply::stall());
            m_session->setAllTimeouts(200ms);
        }

        const auto result =
            runTask(NotionClient(failure == u"token" ? "secret_wrong" : m_notion->token()).verify());
        if (result.ok())
            QCOMPARE(*result.value, outcome);
        else if (outcome.isEmpty())
            QVERIFY2(result.errorAs<TransportError>(), qPrintable(result.errorMessage()));
        else
            QVERIFY(result.errorAs<NotionError>() && result.errorMessage() == outcome);
    }

    void paging_data() {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("emptyFirst");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("results");

        QTest::newRow("three small pages") << 2 << 0 << 5 << 3 << 5;
        QTest::newRow("the last page stays whole") << 75 << 0 << 1500 << 14 << 1050;
        QTest::newRow("900 results at 20 a page") << 20 << 0 << 900 << 45 << 900;
        QTest::newRow("40 empty pages first") << 100 << 40 << 150 << 42 << 150;
    }
    void paging() {
        QFETCH(int, pageSize);
        QFETCH(int, emptyFirst);
        QFETCH(int, stored);
        QFETCH(int, requests);
        QFETCH(int, results);

        m_notion->setPageSize(pageSize);
        m_notion->setEmptyPagesFirst(emptyFirst);
        m_notion->addDatabase(FakeNotion::database("db-1", "Roadmap", {{"Due", "date"}}));
        for (int i = 0; i < stored; ++i)
            m_notion->addPage("db-1",
                              FakeNotion::page(QStringLiteral("p%1").arg(i), "Item", "Due", "2024-05-06"));

        const auto result = runTask(pages(roadmap));
        QCOMPARE(result.value.value_or(QList<CalEvent>()).size(), results);
        const QList<HttpRequest> sent = m_notion->server().requests();
        QCOMPARE(sent.size(), requests);
        for (qsizetype i = 0; i < sent.size(); ++i) {
            QCOMPARE(sent[i].json().value("page_size"), QJsonValue(100));
            QCOMPARE(sent[i].json().contains("start_cursor"), i > 0);
        }
    }

    // "has_more" without a cursor to go on with ends the listing.
    void pagingStopsWithoutACursor() {
        m_notion->server().scriptNext(
            "POST", "/v1/search",
            HttpReply::json(
                200, {{"results", QJsonArray{}}, {"has_more", true}, {"next_cursor", QJsonValue::Null}}),
            5);
        QVERIFY(runTask(NotionClient(m_notion->token()).listDatabases()).ok());
        QCOMPARE(m_notion->server().requests().size(), 1);
    }

    // A listing whose cursors come round again, a 200 that is no listing and a reply cut off all fail,
    // so that none of them reads as a database without pages.
    void badListingsFail_data() {
        QTest::addColumn<HttpReply>("reply"); // a default one: the fake's pages cycle
        QTest::addColumn<QString>("error");   // empty: a transport error

        const QString unreadable = QStringLiteral("Notion's reply could not be read");
        QTest::newRow("cursors cycle") << HttpReply() << "Notion kept sending pages without end";
        QTest::newRow("a captive portal's page")
            << HttpReply::text(200, "<html></html>", "text/html") << unreadable;
        QTest::newRow("results not an array")
            << HttpReply::json(200, {{"results", QJsonObject()}}) << unreadable;
        QTest::newRow("has_more not a boolean")
            << HttpReply::json(200, {{"results", QJsonArray()}, {"has_more", "yes"}}) << unreadable;
        QTest::newRow("cut short") << HttpReply::cutShort(HttpReply::json(200, {{"results", QJsonArray()}}),
                                                          5)
                                   << "";
    }
    void badListingsFail() {
        QFETCH(HttpReply, reply);
        QFETCH(QString, error);

        m_notion->addDatabase(FakeNotion::database("db-1", "Roadmap", {{"Due", "date"}}));
        m_notion->addPage("db-1", FakeNotion::page("p1", "Launch", "Due", "2024-05-06"));
        if (reply.headers.isEmpty())
            m_notion->setPaging(FakeNotion::Paging::Cycling);
        else
            m_notion->server().scriptNext("POST", "/v1/", reply);
        const auto result = runTask(pages(roadmap));
        if (error.isEmpty())
            QVERIFY2(result.errorAs<TransportError>(), qPrintable(result.errorMessage()));
        else
            QCOMPARE(result.errorMessage(), error);
        QVERIFY(m_notion->server().requests().size() <= 3);
    }

    // However many results a page holds, no more than the 100 asked for are kept.
    void oversizedPageKeepsWhatWasAsked() {
        m_notion->setPaging(FakeNotion::Paging::Oversized);
        m_notion->addDatabase(FakeNotion::database("db-1", "Roadmap", {{"Due", "date"}}));
        for (int i = 0; i < 1500; ++i)
            m_notion->addPage("db-1",
                              FakeNotion::page(QStringLiteral("p%1").arg(i), "Item", "Due", "2024-05-06"));
        const auto result = runTask(pages(roadmap));
        QCOMPARE(result.value.value_or(QList<CalEvent>()).size(), 100);
        QCOMPARE(result.value->constLast().id, QStringLiteral("notion:p99"));
    }

    void listDatabases() {
        m_notion->addDatabase(
            FakeNotion::database("b", "beta", {{"Zeta", "date"}, {"Name", "title"}, {"Alpha", "date"}}, "🚀"));
        QJsonObject external = FakeNotion::database("a", "Alpha", {{"When", "date"}});
        external.insert(
            "icon", QJsonObject{{"type", "external"}, {"external", QJsonObject{{"url", "https://x/i.png"}}}});
        m_notion->addDatabase(external);
        m_notion->addDatabase(FakeNotion::database("n", "  ", {{"When", "date"}}));
        m_notion->addDatabase(
            FakeNotion::database("x", "No dates", {{"Name", "title"}, {"Tags", "multi_select"}}));
        QJsonObject noID = FakeNotion::database("", "No id", {{"When", "date"}});
        noID.remove("id");
        m_notion->addDatabase(noID);
        m_notion->setPageSize(3);

        const auto result = runTask(NotionClient(m_notion->token()).listDatabases());
        QCOMPARE(result.value, std::optional(QList<NotionDatabase>{
                                   {"a", "Alpha", std::nullopt, {"When"}},
                                   {"b", "beta", QStringLiteral("🚀"), {"Alpha", "Zeta"}},
                                   {"n", "Untitled database", std::nullopt, {"When"}},
                               }));
    }

    void pagesRequest() {
        m_notion->server().scriptNext("POST", "/v1/", HttpReply::json(200, {{"results", QJsonArray{}}}));
        // Half past midnight and a minute to midnight in Berlin: days of the user's zone, not of UTC.
        const NotionDatabaseSelection odd{"abc/../../users/me", "Odd", std::nullopt, "Due"};
        QVERIFY(runTask(pages(odd, berlin(2024, 5, 6, 0, 30), berlin(2024, 5, 12, 23, 59))).ok());

        const HttpRequest request = m_notion->server().requests().constFirst();
        QCOMPARE(request.rawPath, QByteArray("/v1/databases/abc%2F..%2F..%2Fusers%2Fme/query"));
        QCOMPARE(request.json(),
                 parse(R"({)"
                       R"( "filter": {"and": [{"property": "Due", "date": {"on_or_after": "2024-05-06"}},)"
                       R"( {"property": "Due", "date": {"on_or_before": "2024-05-12"}}]},)"
                       R"( "sorts": [{"property": "Due", "direction": "ascending"}], "page_size": 100})"));
    }

    void pageTimes_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");             // empty: none
        QTest::addColumn<QDateTime>("expectedStart"); // invalid: no event
        QTest::addColumn<QDateTime>("expectedEnd");
        QTest::addColumn<bool>("allDay");

        const QString nine = QStringLiteral("2024-05-06T09:00:00.000+02:00");
        QTest::newRow("one day") << u"2024-05-06"_s << "" << berlin(2024, 5, 6) << berlin(2024, 5, 7) << true;
        QTest::newRow("first to third ends on the fourth")
            << u"2024-05-01"_s << "2024-05-03" << berlin(2024, 5, 1) << berlin(2024, 5, 4) << true;
        QTest::newRow("timed without end lasts 30 minutes")
            << nine << "" << berlin(2024, 5, 6, 9) << berlin(2024, 5, 6, 9, 30) << false;
        QTest::newRow("timed start, all-day end later")
            << nine << "2024-05-08" << berlin(2024, 5, 6, 9) << berlin(2024, 5, 8) << false;
        QTest::newRow("timed start, all-day end before it")
            << nine << "2024-05-06" << berlin(2024, 5, 6, 9) << berlin(2024, 5, 6, 9, 30) << false;
        QTest::newRow("all-day end before start")
            << u"2024-05-06"_s << "2024-05-04" << berlin(2024, 5, 6) << berlin(2024, 5, 7) << true;
        QTest::newRow("unreadable start: no event")
            << u"May 6"_s << "" << QDateTime() << QDateTime() << false;
    }
    void pageTimes() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QDateTime, expectedStart);
        QFETCH(QDateTime, expectedEnd);
        QFETCH(bool, allDay);

        const auto event = NotionClient::event(
            FakeNotion::page("p", "Item", "Due", start, end.isEmpty() ? std::nullopt : std::optional(end)),
            roadmap, orange, inBerlin);
        QCOMPARE(event.has_value(), expectedStart.isValid());
        if (event) {
            QCOMPARE(event->start, expectedStart);
            QCOMPARE(event->end, expectedEnd);
            QCOMPARE(event->isAllDay, allDay);
        }
    }

    void pageFields() {
        m_notion->addDatabase(FakeNotion::database("db-1", "Roadmap", {{"Due", "date"}}));
        QJsonObject page = FakeNotion::page("1f2e-33", "  Launch  ", "Due", "2024-05-06");
        page.insert("icon", QJsonObject{{"type", "emoji"}, {"emoji", "🎉"}});
        m_notion->addPage("db-1", page);
        m_notion->addPage("db-1", FakeNotion::page("early", "Kickoff", "Due", "2024-05-02"));
        m_notion->addPage("db-1", FakeNotion::page("outside", "Later", "Due", "2024-06-02"));

        const auto result = runTask(pages(roadmap));
        QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
        QCOMPARE(result.value->size(), 2);
        QCOMPARE(result.value->at(0).title, QStringLiteral("Kickoff"));
        const CalEvent& event = result.value->at(1);
        QCOMPARE(event.id, QStringLiteral("notion:1f2e-33"));
        QCOMPARE(event.title, QStringLiteral("Launch"));
        QCOMPARE(event.webLink, std::optional(QUrl("https://www.notion.so/Page-1f2e33")));
        QCOMPARE(event.notionURL, std::optional(QUrl("notion://www.notion.so/Page-1f2e33")));
        QCOMPARE(event.notionIcon, std::optional<QString>("🎉"));
        QCOMPARE(event.lastEdited, std::optional(QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC)));
    }

    void titleAndStatus_data() {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("status"); // null: none

        const QByteArray due = R"({"Due":{"type":"date","date":{"start":"2024-05-06"}},)";
        QTest::newRow("status type beats a select named Status")
            << due +
                   R"("Stage":{"type":"status","status":{"name":"Doing"}},"Status":{"type":"select","select":{"name":"Old"}}})"
            << u"Untitled"_s << "Doing";
        QTest::newRow("blank title") << due + R"("Task":{"type":"title","title":[{"plain_text":" "}]}})"
                                     << "Untitled" << QString();
    }
    void titleAndStatus() {
        QFETCH(QByteArray, properties);
        QFETCH(QString, title);
        QFETCH(QString, status);

        const auto event =
            NotionClient::event({{"id", "p"}, {"properties", parse(properties)}}, roadmap, orange, inBerlin);
        QVERIFY(event);
        QCOMPARE(event->title, title);
        QCOMPARE(event->notionStatus, status.isNull() ? std::nullopt : std::optional(status));
        QVERIFY(!event->webLink && !event->notionURL);
    }

    // Of two title or two status properties the later in the page counts, in Notion's order (not
    // the sorted one); the page after a stray element still gets its own order.
    void titleAndStatusInThePagesOrder() {
        const QByteArray reply =
            R"({"object": "list", "results": [1, {"id": "p", "properties": {)"
            R"("Status": {"type": "status", "status": {"name": "Later"}},)"
            R"("Due": {"type": "date", "date": {"start": "2024-05-06"}},)"
            "\"N\\u00e4me\": {\"type\": \"title\", \"title\": [{\"plain_text\": \"Z \\\"q\\\"\"}]},"
            R"("Alias": {"type": "title", "title": [{"plain_text": "Alpha"}]},)"
            R"("Phase": {"type": "status", "status": {"name": "Now"}}}}], "has_more": false})";
        m_notion->server().scriptNext("POST", "/v1/", HttpReply::text(200, reply, "application/json"));
        const auto result = runTask(pages(roadmap));
        QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
        QCOMPARE(result.value->size(), 1);
        QCOMPARE(result.value->at(0).title, QStringLiteral("Alpha"));
        QCOMPARE(result.value->at(0).notionStatus, std::optional<QString>("Now"));
    }

private:
    QCoro::Task<QList<CalEvent>> pages(const NotionDatabaseSelection& database,
                                       QDateTime from = berlin(2024, 5, 1),
                                       QDateTime to = berlin(2024, 5, 31)) {
        return NotionClient(m_notion->token()).pages(database, from, to, orange, inBerlin);
    }

    std::unique_ptr<FakeNotion> m_notion;
    std::unique_ptr<RemoteTestSession> m_session;
};

QTEST_GUILESS_MAIN(TestNotionClient)
#include "tst_notionclient.moc"
