#include "core/remote/NotionClient.h"
#include "core/remote/TransportError.h"

#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

// Runs in Europe/Berlin: days are the user's days, not UTC ones.
using namespace std::chrono_literals;

namespace {

const NotionDatabaseSelection roadmap{QStringLiteral("db-1"), QStringLiteral("Roadmap"), std::nullopt,
                                      QStringLiteral("Due")};
const QColor orange = NotionClient::palette().at(0);

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
    void init();
    void cleanup();

    void headersOnEveryRequest();
    void verifyOutcomes_data();
    void verifyOutcomes();
    void paging_data();
    void paging();
    void pagingStopsWithoutACursor();
    void listDatabases();
    void pagesRequest();
    void pageTimes_data();
    void pageTimes();
    void pageFields();
    void titleAndStatus_data();
    void titleAndStatus();
    void pagesWithoutUsableDates_data();
    void pagesWithoutUsableDates();

private:
    std::unique_ptr<FakeNotion> m_notion;
    std::unique_ptr<RemoteTestSession> m_session;
};

void TestNotionClient::init() {
    m_notion = std::make_unique<FakeNotion>();
    m_session = std::make_unique<RemoteTestSession>();
    m_session->setEndpoints(m_notion->endpoints());
}

void TestNotionClient::cleanup() {
    m_session.reset();
    m_notion.reset();
}

void TestNotionClient::headersOnEveryRequest() {
    const NotionClient client(m_notion->token());
    const auto name = runTask(client.verify());
    QCOMPARE(name.value, std::optional<QString>("Vorrindel Sync"));
    QVERIFY(runTask(client.listDatabases()).ok());

    const QList<HttpRequest> requests = m_notion->server().requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].method + ' ' + requests[0].target, QByteArray("GET /v1/users/me"));
    QCOMPARE(requests[0].body, QByteArray());
    QCOMPARE(requests[1].method + ' ' + requests[1].target, QByteArray("POST /v1/search"));
    QCOMPARE(requests[1].json(),
             parse(R"({"filter":{"property":"object","value":"database"},"page_size":100})"));
    for (const HttpRequest& request : requests) {
        QCOMPARE(request.header("Authorization"), "Bearer " + m_notion->token().toUtf8());
        QCOMPARE(request.header("Notion-Version"), QByteArray("2022-06-28"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    }
}

void TestNotionClient::verifyOutcomes_data() {
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message"); // empty: a transport error, or the fallback name

    QTest::newRow("token refused") << "secret_wrong"
                                   << ""
                                   << "API token is invalid.";
    QTest::newRow("server error, not JSON") << ""
                                            << "500"
                                            << "HTTP 500";
    QTest::newRow("no name") << ""
                             << "anonymous"
                             << "";
    QTest::newRow("time-out") << ""
                              << "stall"
                              << "";
}

void TestNotionClient::verifyOutcomes() {
    QFETCH(QString, token);
    QFETCH(QString, failure);
    QFETCH(QString, message);

    m_session->setAllTimeouts(200ms);
    if (failure == u"500")
        m_notion->server().scriptNext("GET", "/v1/", HttpReply::text(500, "<html>oops</html>"));
    else if (failure == u"anonymous")
        m_notion->setBotName(std::nullopt);
    else if (failure == u"stall")
        m_notion->server().scriptNext("GET", "/v1/", HttpReply::stall());

    const auto result = runTask(NotionClient(token.isEmpty() ? m_notion->token() : token).verify());
    if (failure == u"anonymous") {
        QCOMPARE(result.value, std::optional<QString>("Notion integration"));
    } else if (message.isEmpty()) {
        QVERIFY2(result.errorAs<TransportError>(), qPrintable(result.errorMessage()));
    } else {
        QVERIFY(result.errorAs<NotionError>());
        QCOMPARE(result.errorMessage(), message);
    }
}

void TestNotionClient::paging_data() {
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("results");

    QTest::newRow("three small pages") << 2 << 5 << 3 << 5;
    QTest::newRow("stops at 1000") << 100 << 1500 << 10 << 1000;
    QTest::newRow("the last page stays whole") << 75 << 1500 << 14 << 1050;
}

void TestNotionClient::paging() {
    QFETCH(int, pageSize);
    QFETCH(int, stored);
    QFETCH(int, requests);
    QFETCH(int, results);

    m_notion->setPageSize(pageSize);
    m_notion->addDatabase(FakeNotion::database("db-1", "Roadmap", {{"Due", "date"}}));
    for (int i = 0; i < stored; ++i)
        m_notion->addPage("db-1",
                          FakeNotion::page(QStringLiteral("p%1").arg(i), "Item", "Due", "2024-05-06"));

    const auto result = runTask(
        NotionClient(m_notion->token()).pages(roadmap, berlin(2024, 5, 1), berlin(2024, 5, 31), orange));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->size(), results);

    const QList<HttpRequest> sent = m_notion->server().requests();
    QCOMPARE(sent.size(), requests);
    for (qsizetype i = 0; i < sent.size(); ++i) {
        const QJsonObject body = sent[i].json();
        QCOMPARE(body.value("page_size").toInt(), 100);
        QCOMPARE(body.contains("start_cursor"), i > 0);
    }
}

void TestNotionClient::pagingStopsWithoutACursor() {
    m_notion->server().scriptNext(
        "POST", "/v1/search",
        HttpReply::json(200,
                        {{"results", QJsonArray{}}, {"has_more", true}, {"next_cursor", QJsonValue::Null}}));
    const auto result = runTask(NotionClient(m_notion->token()).listDatabases());
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(m_notion->server().requests().size(), 1);
}

void TestNotionClient::listDatabases() {
    m_notion->addDatabase(
        FakeNotion::database("b", "beta", {{"Zeta", "date"}, {"Name", "title"}, {"Alpha", "date"}}, "🚀"));
    QJsonObject external = FakeNotion::database("a", "Alpha", {{"When", "date"}});
    external.insert("icon",
                    QJsonObject{{"type", "external"}, {"external", QJsonObject{{"url", "https://x/i.png"}}}});
    m_notion->addDatabase(external);
    m_notion->addDatabase(FakeNotion::database("n", "  ", {{"When", "date"}}));
    m_notion->addDatabase(FakeNotion::database("s1", "Same", {{"When", "date"}}));
    m_notion->addDatabase(
        FakeNotion::database("x", "No dates", {{"Name", "title"}, {"Tags", "multi_select"}}));
    m_notion->addDatabase(FakeNotion::database("s2", "same", {{"When", "date"}}));
    QJsonObject noID = FakeNotion::database("", "No id", {{"When", "date"}});
    noID.remove("id");
    m_notion->addDatabase(noID);
    m_notion->setPageSize(3);

    const auto result = runTask(NotionClient(m_notion->token()).listDatabases());
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    const QList<NotionDatabase> expected{
        {"a", "Alpha", std::nullopt, {"When"}},
        {"b", "beta", QStringLiteral("🚀"), {"Alpha", "Zeta"}},
        {"s1", "Same", std::nullopt, {"When"}},
        {"s2", "same", std::nullopt, {"When"}},
        {"n", "Untitled database", std::nullopt, {"When"}},
    };
    QCOMPARE(*result.value, expected);
}

void TestNotionClient::pagesRequest() {
    const NotionDatabaseSelection odd{"abc/../../users/me", "Odd", std::nullopt, "Due"};
    m_notion->server().scriptNext("POST", "/v1/", HttpReply::json(200, {{"results", QJsonArray{}}}));
    // Half past midnight and a minute to midnight in Berlin: days of the user's zone, not of UTC.
    const auto result =
        runTask(NotionClient(m_notion->token())
                    .pages(odd, berlin(2024, 5, 6, 0, 30), berlin(2024, 5, 12, 23, 59), orange));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));

    const HttpRequest request = m_notion->server().requests().constFirst();
    QCOMPARE(request.rawPath, QByteArray("/v1/databases/abc%2F..%2F..%2Fusers%2Fme/query"));
    QCOMPARE(request.json(), parse(R"({
        "filter": {"and": [{"property": "Due", "date": {"on_or_after": "2024-05-06"}},
                           {"property": "Due", "date": {"on_or_before": "2024-05-12"}}]},
        "sorts": [{"property": "Due", "direction": "ascending"}],
        "page_size": 100})"));
}

void TestNotionClient::pageTimes_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end"); // empty: none
    QTest::addColumn<QDateTime>("expectedStart");
    QTest::addColumn<QDateTime>("expectedEnd");
    QTest::addColumn<bool>("allDay");

    QTest::newRow("one day") << "2024-05-06"
                             << "" << berlin(2024, 5, 6) << berlin(2024, 5, 7) << true;
    QTest::newRow("first to third ends on the fourth")
        << "2024-05-01"
        << "2024-05-03" << berlin(2024, 5, 1) << berlin(2024, 5, 4) << true;
    QTest::newRow("a day of 23 hours") << "2024-03-31"
                                       << "" << berlin(2024, 3, 31) << berlin(2024, 4, 1) << true;
    QTest::newRow("timed without end lasts 30 minutes")
        << "2024-05-06T09:00:00.000+02:00"
        << "" << berlin(2024, 5, 6, 9) << berlin(2024, 5, 6, 9, 30) << false;
    QTest::newRow("timed with timed end")
        << "2024-05-06T09:00:00Z"
        << "2024-05-06T11:15:00.000Z" << berlin(2024, 5, 6, 11) << berlin(2024, 5, 6, 13, 15) << false;
    QTest::newRow("timed start, all-day end later")
        << "2024-05-06T09:00:00.000+02:00"
        << "2024-05-08" << berlin(2024, 5, 6, 9) << berlin(2024, 5, 8) << false;
    QTest::newRow("timed start, all-day end before it")
        << "2024-05-06T09:00:00.000+02:00"
        << "2024-05-06" << berlin(2024, 5, 6, 9) << berlin(2024, 5, 6, 9, 30) << false;
    QTest::newRow("all-day end before start")
        << "2024-05-06"
        << "2024-05-04" << berlin(2024, 5, 6) << berlin(2024, 5, 7) << true;
    QTest::newRow("unreadable end") << "2024-05-06"
                                    << "soon" << berlin(2024, 5, 6) << berlin(2024, 5, 7) << true;
}

void TestNotionClient::pageTimes() {
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QDateTime, expectedStart);
    QFETCH(QDateTime, expectedEnd);
    QFETCH(bool, allDay);

    const auto event = NotionClient::event(
        FakeNotion::page("p", "Item", "Due", start, end.isEmpty() ? std::nullopt : std::optional(end)),
        roadmap, orange);
    QVERIFY(event);
    QCOMPARE(event->start, expectedStart);
    QCOMPARE(event->end, expectedEnd);
    QCOMPARE(event->isAllDay, allDay);
}

void TestNotionClient::pageFields() {
    m_notion->addDatabase(FakeNotion::database("db-1", "Roadmap", {{"Due", "date"}}));
    QJsonObject page = FakeNotion::page("1f2e-33", "  Launch  ", "Due", "2024-05-06");
    page.insert("icon", QJsonObject{{"type", "emoji"}, {"emoji", "🎉"}});
    m_notion->addPage("db-1", page);
    m_notion->addPage("db-1", FakeNotion::page("early", "Kickoff", "Due", "2024-05-02"));
    m_notion->addPage("db-1", FakeNotion::page("outside", "Later", "Due", "2024-06-02"));

    const auto result = runTask(
        NotionClient(m_notion->token()).pages(roadmap, berlin(2024, 5, 1), berlin(2024, 5, 31), orange));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->size(), 2);
    QCOMPARE(result.value->at(0).title, QStringLiteral("Kickoff"));
    const CalEvent& event = result.value->at(1);
    QCOMPARE(event.id, QStringLiteral("notion:1f2e-33"));
    QCOMPARE(event.title, QStringLiteral("Launch"));
    QCOMPARE(event.calendarName, QStringLiteral("Roadmap"));
    QCOMPARE(event.color, orange);
    QCOMPARE(event.source, EventSource::notion);
    QCOMPARE(event.webLink, std::optional(QUrl("https://www.notion.so/Page-1f2e33")));
    QCOMPARE(event.url, event.webLink);
    QCOMPARE(event.notionURL, std::optional(QUrl("notion://www.notion.so/Page-1f2e33")));
    QCOMPARE(event.notionIcon, std::optional<QString>("🎉"));
    QCOMPARE(event.lastEdited, std::optional(QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC)));
    QVERIFY(event.organizerIsMe && event.calendarEditable && !event.isRecurring);
    QVERIFY(event.attendees.isEmpty() && !event.location && !event.notes && !event.organizer);
}

void TestNotionClient::titleAndStatus_data() {
    QTest::addColumn<QByteArray>("properties");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("status"); // null: none

    const QByteArray due = R"("Due":{"type":"date","date":{"start":"2024-05-06"}})";
    QTest::newRow("status type beats a select named Status")
        << R"({)" + due + R"(,"Stage":{"type":"status","status":{"name":"In progress"}},
              "Status":{"type":"select","select":{"name":"Old"}}})"
        << "Untitled"
        << "In progress";
    QTest::newRow("select named Status")
        << R"({)" + due + R"(,"Status":{"type":"select","select":{"name":"Blocked"}}})"
        << "Untitled"
        << "Blocked";
    QTest::newRow("title joined from its pieces")
        << R"({)" + due + R"(,"Task":{"type":"title","title":[{"plain_text":"Ship "},{"plain_text":"it"}]}})"
        << "Ship it" << QString();
    QTest::newRow("blank title") << R"({)" + due + R"(,"Task":{"type":"title","title":[{"plain_text":" "}]}})"
                                 << "Untitled" << QString();
}

void TestNotionClient::titleAndStatus() {
    QFETCH(QByteArray, properties);
    QFETCH(QString, title);
    QFETCH(QString, status);

    const QJsonObject page{{"id", "p"}, {"properties", parse(properties)}};
    const auto event = NotionClient::event(page, roadmap, orange);
    QVERIFY(event);
    QCOMPARE(event->title, title);
    QCOMPARE(event->notionStatus, status.isNull() ? std::nullopt : std::optional(status));
    QVERIFY(!event->webLink && !event->notionURL);
}

void TestNotionClient::pagesWithoutUsableDates_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::newRow("no id") << QByteArray(
        R"({"properties":{"Due":{"type":"date","date":{"start":"2024-05-06"}}}})");
    QTest::newRow("empty date") << QByteArray(
        R"({"id":"p","properties":{"Due":{"type":"date","date":null}}})");
    QTest::newRow("another property")
        << QByteArray(R"({"id":"p","properties":{"When":{"type":"date","date":{"start":"2024-05-06"}}}})");
    QTest::newRow("unreadable start")
        << QByteArray(R"({"id":"p","properties":{"Due":{"type":"date","date":{"start":"May 6"}}}})");
}

void TestNotionClient::pagesWithoutUsableDates() {
    QFETCH(QByteArray, page);
    QVERIFY(!NotionClient::event(parse(page), roadmap, orange));
}

QTEST_GUILESS_MAIN(TestNotionClient)
#include "tst_notionclient.moc"
