// What a failed request tells the caller that may try it again (the status, the wait a server asked
// for, a rate limit), and a Google insert that a retry cannot store twice.
#include "core/remote/GoogleAPI.h"
#include "core/remote/NotionClient.h"

#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString ada = QStringLiteral("ada@example.com");
const QDateTime now(QDate(2026, 3, 4), QTime(9, 0), Qt::UTC);
const QString rateLimit = QStringLiteral("Google is rate-limiting — try again in a moment");

struct Failure {
    QString message;
    int status;
    std::optional<std::chrono::seconds> retryAfter;
    bool rateLimited;
};

template <typename T> Failure failureOf(const TaskResult<T>& result) {
    const auto* error = result.template errorAs<RemoteError>();
    if (!error)
        return {result.errorMessage(), -1, std::nullopt, false};
    return {error->message(), error->status(), error->retryAfter(), error->rateLimited()};
}

QJsonObject meeting(const QString& id) {
    return {{"id", id},
            {"summary", "Sync"},
            {"start", QJsonObject{{"dateTime", "2026-03-05T14:00:00Z"}}},
            {"end", QJsonObject{{"dateTime", "2026-03-05T15:00:00Z"}}},
            {"conferenceData", GoogleAPI::newMeetConference(QStringLiteral("request-1"))}};
}

} // namespace

Q_DECLARE_METATYPE(HttpReply)

class TestRemoteErrors : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_google = std::make_unique<FakeGoogle>();
        m_google->addAccount(ada);
        m_token = m_google->issueAccessToken(ada);
        m_notion = std::make_unique<FakeNotion>();
        m_session = std::make_unique<RemoteTestSession>();
        m_session->setEndpoints(m_notion->endpoints(m_google->endpoints()));
        m_session->setNow(now);
    }
    void cleanup() {
        m_session.reset();
        m_notion.reset();
        m_google.reset();
    }

    // Delay-seconds or an HTTP date in any of its three forms, against the session's clock.
    void retryAfterHeader_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("seconds"); // -1: no wait
        QTest::newRow("seconds") << QByteArray(" 120 ") << 120;
        QTest::newRow("date") << QByteArray("Wed, 04 Mar 2026 09:02:00 GMT") << 120;
        QTest::newRow("old date") << QByteArray("Wednesday, 04-Mar-26 09:02:00 GMT") << 120;
        QTest::newRow("asctime date") << QByteArray("Wed Mar  4 09:02:00 2026") << 120;
        QTest::newRow("date gone by") << QByteArray("Wed, 04 Mar 2026 08:00:00 GMT") << 0;
        QTest::newRow("negative") << QByteArray("-5") << -1;
        QTest::newRow("words") << QByteArray("soon") << -1;
    }
    void retryAfterHeader() {
        QFETCH(QByteArray, header);
        QFETCH(int, seconds);
        const auto wait = RemoteError::retryDelay(header, now);
        QCOMPARE(wait ? int(wait->count()) : -1, seconds);
    }

    // A rate-limited read says so as a write does; every failure keeps its status and wait.
    void failuresCarryTheirStatus_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<HttpReply>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("retryAfter"); // -1: none
        QTest::addColumn<bool>("rateLimited");
        const auto error = [](int status, const char* reason, const char* retryAfter = nullptr) {
            HttpReply reply = FakeGoogle::errorReply(status, QString::fromLatin1(reason), "Google says no");
            return retryAfter ? reply.withHeader("Retry-After", retryAfter) : reply;
        };
        QTest::newRow("read 429") << "read" << error(429, "rateLimitExceeded", "30") << rateLimit << 429 << 30
                                  << true;
        QTest::newRow("read 403 user rate limit")
            << "read" << error(403, "userRateLimitExceeded") << rateLimit << 403 << -1 << true;
        QTest::newRow("read 403 forbidden")
            << "read" << error(403, "forbidden") << "Google says no" << 403 << -1 << false;
        QTest::newRow("read 503 with a date")
            << "read" << error(503, "backendError", "Wed, 04 Mar 2026 09:01:00 GMT") << "Google says no"
            << 503 << 60 << false;
        QTest::newRow("write 429") << "write" << error(429, "", "5") << rateLimit << 429 << 5 << true;
        QTest::newRow("token 503") << "token" << HttpReply::empty(503).withHeader("Retry-After", "9")
                                   << "HTTP 503" << 503 << 9 << false;
        QTest::newRow("Notion 429") << "notion"
                                    << HttpReply::json(429, {{"object", "error"},
                                                             {"code", "rate_limited"},
                                                             {"message", "Slow down"}})
                                           .withHeader("Retry-After", "7")
                                    << "Slow down" << 429 << 7 << true;
    }
    void failuresCarryTheirStatus() {
        QFETCH(QString, call);
        QFETCH(HttpReply, reply);
        QFETCH(QString, message);
        QFETCH(int, status);
        QFETCH(int, retryAfter);
        QFETCH(bool, rateLimited);
        Failure failure;
        if (call == "notion") {
            m_notion->server().scriptNext("GET", "/v1/", reply);
            failure = failureOf(runTask(NotionClient(m_notion->token()).verify()));
        } else if (call == "token") {
            m_google->server().scriptNext("POST", "/token", reply);
            failure = failureOf(runTask(GoogleAPI::token({{"grant_type", "refresh_token"}})));
        } else {
            m_google->server().scriptNext(call == "read" ? "GET" : "PATCH", "/calendar/v3/", reply);
            const QString path = GoogleAPI::eventPath(ada, "e1");
            failure = call == "read" ? failureOf(runTask(GoogleAPI::get(path, {}, m_token)))
                                     : failureOf(runTask(GoogleAPI::send("PATCH", path, {}, {}, m_token)));
        }
        QCOMPARE(failure.message, message);
        QCOMPARE(failure.status, status);
        QCOMPARE(failure.retryAfter ? int(failure.retryAfter->count()) : -1, retryAfter);
        QCOMPARE(failure.rateLimited, rateLimited);
    }

    // Google stores the meeting but its answer is lost: sent again under the same id, the insert
    // answers with the stored meeting and the calendar holds it once. (A dropped connection Qt may
    // resend at once; the resend meets the stored id all the same.) An id outside Google's alphabet
    // is refused.
    void anInsertStoredButUnansweredIsStoredOnce_data() {
        QTest::addColumn<HttpReply>("lost");
        QTest::newRow("server error after storing")
            << FakeGoogle::errorReply(503, "backendError", "Backend Error");
        QTest::newRow("no answer, a time-out") << HttpReply::stall();
        QTest::newRow("connection dropped") << HttpReply::closeWithoutReply();
    }
    void anInsertStoredButUnansweredIsStoredOnce() {
        QFETCH(HttpReply, lost);
        const GoogleAPI::InsertIds ids = GoogleAPI::InsertIds::fresh();
        QVERIFY(QRegularExpression("^[a-v0-9]{26}$").match(ids.eventId).hasMatch());
        QVERIFY(ids != GoogleAPI::InsertIds::fresh());
        const GoogleAPI::Query query{{"conferenceDataVersion", "1"}};
        m_google->server().scriptAnswerAfterHandling("POST", "/calendar/v3/", lost);

        // Nothing ever comes of a stalled answer, whatever the machine's speed: a short time-out ends it.
        if (lost.kind == HttpReply::Kind::Stall)
            m_session->setAllTimeouts(1s);
        const auto first = runTask(GoogleAPI::insertEvent(ada, query, meeting(ids.eventId), m_token));
        m_session->setTimeouts({});
        QVERIFY(lost.kind == HttpReply::Kind::CloseWithoutReply || !first.ok());
        const auto again = runTask(GoogleAPI::insertEvent(ada, query, meeting(ids.eventId), m_token));
        QVERIFY2(again.ok(), qPrintable(again.errorMessage()));
        QCOMPARE(again.value->value("id").toString(), ids.eventId);
        QVERIFY(again.value->contains("hangoutLink"));
        QCOMPARE(m_google->storedEvents(ada).size(), 1);

        const auto refused = runTask(GoogleAPI::insertEvent(ada, query, meeting("Not-Base32"), m_token));
        QCOMPARE(failureOf(refused).status, 400);
        QCOMPARE(m_google->storedEvents(ada).size(), 1);
    }

private:
    std::unique_ptr<FakeGoogle> m_google;
    std::unique_ptr<FakeNotion> m_notion;
    std::unique_ptr<RemoteTestSession> m_session;
    QString m_token;
};

QTEST_GUILESS_MAIN(TestRemoteErrors)
#include "tst_remoteerrors.moc"
