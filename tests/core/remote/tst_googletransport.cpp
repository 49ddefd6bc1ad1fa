#include "core/remote/GoogleAPI.h"

#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QJsonArray>
#include <QTest>

namespace {
const QString ada = QStringLiteral("ada@example.com");
}

class TestGoogleTransport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void idsArePercentEncodedInThePath();
    void writeErrorsAreFriendly_data();
    void writeErrorsAreFriendly();
    void readErrorsShowGooglesMessage_data();
    void readErrorsShowGooglesMessage();
    void readWithABadTokenShowsGooglesMessage();
    void sendPutsNullsOnTheWire();
    void deleteCountsGoneAsDone_data();
    void deleteCountsGoneAsDone();
    void pagingStopsAtTheFirstBoundaryPast2500_data();
    void pagingStopsAtTheFirstBoundaryPast2500();
    void pagingFailsWhole();
    void emptySuccessBodyReadsAsEmpty();

private:
    std::unique_ptr<FakeGoogle> m_google;
    std::unique_ptr<RemoteTestSession> m_session;
    QString m_token;
};

void TestGoogleTransport::init() {
    m_google = std::make_unique<FakeGoogle>();
    m_google->addAccount(ada);
    m_token = m_google->issueAccessToken(ada);
    m_session = std::make_unique<RemoteTestSession>();
    m_session->setEndpoints(m_google->endpoints());
}

void TestGoogleTransport::cleanup() {
    m_session.reset();
    m_google.reset();
}

void TestGoogleTransport::idsArePercentEncodedInThePath() {
    const QString calendar = QStringLiteral("en.usa#holiday@group.v.calendar.google.com");
    m_google->addCalendar(ada, {{"id", calendar}, {"summary", "Holidays"}});
    m_google->addEvent(calendar,
                       FakeGoogle::allDayEvent("a b/c", "Day", QDate(2024, 5, 6), QDate(2024, 5, 7)));

    const auto result = runTask(GoogleAPI::get(GoogleAPI::eventPath(calendar, "a b/c"), {}, m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->value("summary").toString(), QStringLiteral("Day"));

    const HttpRequest request = m_google->server().requests().constLast();
    QCOMPARE(
        request.rawPath,
        QByteArray("/calendar/v3/calendars/en.usa%23holiday@group.v.calendar.google.com/events/a%20b%2Fc"));
    QCOMPARE(request.header("Authorization"), "Bearer " + m_token.toUtf8());
}

void TestGoogleTransport::writeErrorsAreFriendly_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("message");

    QTest::newRow("401") << 401 << "authError"
                         << "Google sign-in expired — reconnect in Settings";
    QTest::newRow("403 not the organizer") << 403 << "forbiddenForNonOrganizer"
                                           << "Only the organizer can change this event";
    QTest::newRow("403 rate limit") << 403 << "rateLimitExceeded"
                                    << "Google is rate-limiting — try again in a moment";
    QTest::newRow("403 reason only ends like the rate limit")
        << 403 << "userRateLimitExceeded"
        << "Google didn't allow that — check the calendar's sharing settings";
    QTest::newRow("403 without errors") << 403 << ""
                                        << "Google didn't allow that — check the calendar's sharing settings";
    QTest::newRow("404") << 404 << "notFound"
                         << "Google couldn't find that calendar or event any more";
    QTest::newRow("410") << 410 << "deleted"
                         << "Google couldn't find that calendar or event any more";
    QTest::newRow("412") << 412 << "conditionNotMet"
                         << "The event changed elsewhere — refresh and try again";
    QTest::newRow("429") << 429 << ""
                         << "Google is rate-limiting — try again in a moment";
    QTest::newRow("400 shows Google's message") << 400 << "invalid"
                                                << "Google says: invalid";
}

void TestGoogleTransport::writeErrorsAreFriendly() {
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(QString, message);

    m_google->server().scriptNext(
        "PATCH", "/calendar/v3/",
        FakeGoogle::errorReply(status, reason, QStringLiteral("Google says: invalid")));
    const auto result = runTask(GoogleAPI::send("PATCH", GoogleAPI::eventPath(ada, "e1"), {}, {}, m_token));
    QVERIFY(result.errorAs<GoogleError>());
    QCOMPARE(result.errorMessage(), message);
}

void TestGoogleTransport::readErrorsShowGooglesMessage_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");

    QTest::newRow("500 not JSON") << 500 << QByteArray("<html>Server Error</html>") << "HTTP 500";
    QTest::newRow("500 with a message")
        << 500 << QByteArray(R"({"error":{"message":"Backend Error"}})") << "Backend Error";
}

void TestGoogleTransport::readErrorsShowGooglesMessage() {
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);

    m_google->server().scriptNext("GET", "/calendar/v3/", HttpReply::text(status, body));
    const auto result = runTask(GoogleAPI::get("users/me/calendarList", {}, m_token));
    QVERIFY(result.errorAs<GoogleError>());
    QCOMPARE(result.errorMessage(), message);
}

void TestGoogleTransport::readWithABadTokenShowsGooglesMessage() {
    // Google's 401 carries a bearer challenge; the body must still come through.
    const auto result = runTask(GoogleAPI::calendarList(QStringLiteral("ya29.revoked")));
    QVERIFY(result.errorAs<GoogleError>());
    QVERIFY2(result.errorMessage().startsWith(u"Request had invalid authentication credentials"),
             qPrintable(result.errorMessage()));
}

void TestGoogleTransport::sendPutsNullsOnTheWire() {
    m_google->addEvent(ada,
                       FakeGoogle::timedEvent("e1", "Old", QDateTime(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC),
                                              QDateTime(QDate(2024, 5, 6), QTime(10, 0), Qt::UTC)));
    const QJsonObject body{{"summary", "New"}, {"location", QJsonValue::Null}};
    const auto result = runTask(GoogleAPI::send("PATCH", GoogleAPI::eventPath(ada, "e1"),
                                                {{"conferenceDataVersion", "1"}}, body, m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->value("summary").toString(), QStringLiteral("New"));

    const HttpRequest request = m_google->server().requests().constLast();
    QCOMPARE(request.method, QByteArray("PATCH"));
    QCOMPARE(request.body, QByteArray(R"({"location":null,"summary":"New"})"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(request.header("Authorization"), "Bearer " + m_token.toUtf8());
    QCOMPARE(request.queryValue(u"conferenceDataVersion"), QStringLiteral("1"));
}

void TestGoogleTransport::deleteCountsGoneAsDone_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("notify");
    QTest::addColumn<QString>("error"); // empty: success

    QTest::newRow("204 quietly") << 204 << false << "";
    QTest::newRow("404") << 404 << true << "";
    QTest::newRow("410") << 410 << false << "";
    // Unlike a write, a delete shows Google's own message.
    QTest::newRow("403") << 403 << true << "Insufficient permissions";
    QTest::newRow("500") << 500 << false << "Insufficient permissions";
}

void TestGoogleTransport::deleteCountsGoneAsDone() {
    QFETCH(int, status);
    QFETCH(bool, notify);
    QFETCH(QString, error);

    m_google->server().scriptNext(
        "DELETE", "/calendar/v3/",
        status == 204 ? HttpReply::empty(204)
                      : FakeGoogle::errorReply(status, "forbidden", "Insufficient permissions"));
    const auto result = runTask(GoogleAPI::deleteEvent(ada, "e#1", notify, m_token));
    QCOMPARE(result.errorMessage(), error);

    const HttpRequest request = m_google->server().requests().constLast();
    QCOMPARE(request.method, QByteArray("DELETE"));
    QCOMPARE(request.rawPath, QByteArray("/calendar/v3/calendars/ada@example.com/events/e%231"));
    QCOMPARE(request.queryNames(), notify ? QStringList{"sendUpdates"} : QStringList{});
    if (notify)
        QCOMPARE(request.queryValue(u"sendUpdates"), QStringLiteral("all"));
}

void TestGoogleTransport::pagingStopsAtTheFirstBoundaryPast2500_data() {
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("items");

    QTest::newRow("two pages") << 2 << 3 << 2 << 3;
    QTest::newRow("always more, 250 a page") << 250 << 3000 << 10 << 2500;
    QTest::newRow("the last page stays whole") << 245 << 3000 << 11 << 2695;
}

void TestGoogleTransport::pagingStopsAtTheFirstBoundaryPast2500() {
    QFETCH(int, pageSize);
    QFETCH(int, stored);
    QFETCH(int, requests);
    QFETCH(int, items);

    m_google->setPageSize(pageSize);
    for (int i = 0; i < stored; ++i)
        m_google->addEvent(ada, {{"id", QStringLiteral("e%1").arg(i)}});
    const auto result =
        runTask(GoogleAPI::paginate(GoogleAPI::eventsPath(ada), {{"maxResults", "250"}}, m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->size(), items);
    QCOMPARE(result.value->constLast().value("id").toString(), QStringLiteral("e%1").arg(items - 1));

    const QList<HttpRequest> sent = m_google->server().requests();
    QCOMPARE(sent.size(), requests);
    QVERIFY(!sent.first().hasQueryItem(u"pageToken"));
    for (const HttpRequest& request : sent)
        QCOMPARE(request.queryValue(u"maxResults"), QStringLiteral("250"));
}

void TestGoogleTransport::pagingFailsWhole() {
    m_google->setPageSize(1);
    for (int i = 0; i < 5; ++i)
        m_google->addEvent(ada, {{"id", QStringLiteral("e%1").arg(i)}});
    // A page token with characters that a query must escape arrives intact on the next request.
    m_google->server().scriptNext("GET", "/calendar/v3/",
                                  HttpReply::json(200, {{"items", QJsonArray{QJsonObject{{"id", "x"}}}},
                                                        {"nextPageToken", "a+b/c=&d"}}));
    m_google->server().scriptNext(
        "GET", "/calendar/v3/", HttpReply::json(200, {{"items", QJsonArray{}}, {"nextPageToken", "page2"}}));
    m_google->server().scriptNext("GET", "/calendar/v3/",
                                  FakeGoogle::errorReply(500, "backendError", "Backend Error"));

    const auto result = runTask(GoogleAPI::paginate(GoogleAPI::eventsPath(ada), {}, m_token));
    QCOMPARE(result.errorMessage(), QStringLiteral("Backend Error"));
    QCOMPARE(m_google->server().requests().size(), 3);
    QCOMPARE(m_google->server().requests()[1].queryValue(u"pageToken"), QStringLiteral("a+b/c=&d"));
}

void TestGoogleTransport::emptySuccessBodyReadsAsEmpty() {
    m_google->server().scriptNext("GET", "/calendar/v3/", HttpReply::empty(200));
    const auto list = runTask(GoogleAPI::calendarList(m_token));
    QVERIFY2(list.ok(), qPrintable(list.errorMessage()));
    QVERIFY(list.value->list.isEmpty());

    m_google->server().scriptNext("POST", "/calendar/v3/", HttpReply::text(200, "[1,2]", "application/json"));
    const auto sent = runTask(GoogleAPI::send("POST", GoogleAPI::eventsPath(ada), {}, {}, m_token));
    QVERIFY2(sent.ok(), qPrintable(sent.errorMessage()));
    QCOMPARE(*sent.value, QJsonObject());
}

QTEST_GUILESS_MAIN(TestGoogleTransport)
#include "tst_googletransport.moc"
