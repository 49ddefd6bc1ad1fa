#include "core/remote/GoogleAPI.h"
#include "core/remote/Pager.h"
#include "core/remote/TransportError.h"

#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

// Dates are read and written in Berlin: all-day dates must become local midnights and timed writes
// carry a real offset and zone name. JSON in the test class writes "\/" for "/" in "//": moc reads "//"
// inside a raw string as the start of a comment.
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(HttpReply)
Q_DECLARE_METATYPE(FakeGoogle::Paging)

namespace {

const QString ada = QStringLiteral("ada@example.com");
const QDateTime now(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC);
const GoogleCalendarInfo primary{ada, ada, QStringLiteral("#7986cb"), true, QStringLiteral("owner")};
const GoogleCalendarInfo team{QStringLiteral("team@group.calendar.google.com"), QStringLiteral("Team"),
                              std::nullopt, false, QStringLiteral("reader")};

QJsonObject parse(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

QByteArray compact(const QJsonObject& json) {
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

// The user's calendar in a zone.
Cal in(const QByteArray& zone) {
    return Cal(QTimeZone(zone), QLocale::c());
}
const Cal inBerlin = in("Europe/Berlin");

QDateTime berlin(int d, int h = 0, int min = 0, int month = 5) {
    return QDateTime(QDate(2024, month, d), QTime(h, min), QTimeZone("Europe/Berlin")).toUTC();
}

QDateTime utc(int h, int min = 0, int ms = 0) {
    return QDateTime(QDate(2024, 5, 6), QTime(h, min, 0, ms), Qt::UTC);
}

// A request as "METHOD /encoded/path?name=value&... body", the query items decoded.
QString wire(const HttpRequest& request) {
    QStringList items;
    for (const auto& [name, value] : request.query)
        items << name + u'=' + value;
    return QString::fromUtf8(request.method + ' ' + request.rawPath) +
           (items.isEmpty() ? QString() : u'?' + items.join(u'&')) +
           (request.body.isEmpty() ? QString() : u' ' + QString::fromUtf8(request.body));
}

// An event of the given fields, with an id and all-day times on 6 May unless they name their own.
std::optional<CalEvent> mapped(const QByteArray& fields, const GoogleCalendarInfo& calendar = primary) {
    QJsonObject json = parse(R"({"id":"e","start":{"date":"2024-05-06"},"end":{"date":"2024-05-07"}})");
    const QJsonObject own = parse("{" + fields + "}");
    for (auto it = own.begin(); it != own.end(); ++it)
        json.insert(it.key(), it.value());
    return GoogleAPI::event(json, calendar, ada, inBerlin);
}

} // namespace

class TestGoogleAPI : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_google = std::make_unique<FakeGoogle>();
        m_google->addAccount(ada);
        m_token = m_google->issueAccessToken(ada);
        m_session = std::make_unique<RemoteTestSession>();
        m_session->setEndpoints(m_google->endpoints());
        m_session->setNow(now);
    }
    void cleanup() {
        m_session.reset();
        m_google.reset();
    }

    // ---- Transport

    void requestsOnTheWire() {
        const QString calendar = QStringLiteral("en.usa#holiday@group.v.calendar.google.com");
        m_google->addCalendar(ada, {{"id", calendar}, {"summary", "Holidays"}});
        m_google->addEvent(calendar, FakeGoogle::timedEvent("a b/c", "Day", utc(9), utc(10)));
        const QString path = GoogleAPI::eventPath(calendar, "a b/c");
        const QString encoded =
            "/calendar/v3/calendars/en.usa%23holiday@group.v.calendar.google.com/events/a%20b%2Fc";

        QCOMPARE(runTask(GoogleAPI::get(path, {}, m_token)).value.value_or(QJsonObject())["summary"], "Day");
        QCOMPARE(wire(lastRequest()), "GET " + encoded);
        const QJsonObject body{{"summary", "New"}, {"location", QJsonValue::Null}};
        const auto sent =
            runTask(GoogleAPI::send("PATCH", path, {{"conferenceDataVersion", "1"}}, body, m_token));
        QCOMPARE(sent.value.value_or(QJsonObject())["summary"], "New");
        QCOMPARE(wire(lastRequest()),
                 "PATCH " + encoded + R"(?conferenceDataVersion=1 {"location":null,"summary":"New"})");
        QCOMPARE(lastRequest().header("Content-Type"), QByteArray("application/json"));
        QVERIFY(runTask(GoogleAPI::deleteEvent(calendar, "a b/c", true, m_token)).ok());
        QCOMPARE(wire(lastRequest()), "DELETE " + encoded + "?sendUpdates=all");
        for (const HttpRequest& request : m_google->server().requests())
            QCOMPARE(request.header("Authorization"), "Bearer " + m_token.toUtf8());
    }

    void errorTexts_data() {
        QTest::addColumn<QString>("method"); // PATCH: a write; GET: a read; DELETE: a delete
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");  // "<html>": a body that is not JSON
        QTest::addColumn<QString>("message"); // empty: success

        const QString forbidden = "Google didn't allow that — check the calendar's sharing settings";
        const QString gone = "Google couldn't find that calendar or event any more";
        const QString rateLimit = "Google is rate-limiting — try again in a moment";
        const QString google = "Google says: no";
        QTest::newRow("write 401") << "PATCH" << 401 << u""_s
                                   << "Google sign-in expired — reconnect in Settings";
        QTest::newRow("write 403 not the organizer")
            << "PATCH" << 403 << u"forbiddenForNonOrganizer"_s << "Only the organizer can change this event";
        // Every rate and quota limit reads the same, on a write, a read or a delete.
        for (const char* reason :
             {"rateLimitExceeded", "userRateLimitExceeded", "dailyLimitExceeded", "quotaExceeded"})
            for (const char* method : {"PATCH", "GET", "DELETE"})
                QTest::addRow("%s 403 %s", method, reason) << method << 403 << reason << rateLimit;
        QTest::newRow("write 403 reason ending alike") << "PATCH" << 403 << "xrateLimitExceeded" << forbidden;
        QTest::newRow("write 403 without errors") << "PATCH" << 403 << "" << forbidden;
        QTest::newRow("write 404") << "PATCH" << 404 << "notFound" << gone;
        // A read and a delete show Google's own message; Google's 401 carries a bearer challenge, and
        // its body must still come through.
        QTest::newRow("read 401") << "GET" << 401 << "authError" << google;
        QTest::newRow("read 500 not JSON") << "GET" << 500 << u"<html>"_s << "HTTP 500";
        QTest::newRow("delete 404 is done") << "DELETE" << 404 << u"notFound"_s << "";
    }
    void errorTexts() {
        QFETCH(QString, method);
        QFETCH(int, status);
        QFETCH(QString, reason);
        QFETCH(QString, message);

        HttpReply reply = reason == u"<html>" ? HttpReply::text(status, "<html>")
                                              : FakeGoogle::errorReply(status, reason, "Google says: no");
        m_google->server().scriptNext(
            method.toUtf8(), "/calendar/v3/",
            reply.withHeader("WWW-Authenticate", R"(Bearer error="invalid_token")"));
        const QString path = GoogleAPI::eventPath(ada, "e1");
        QString error;
        if (method == u"PATCH")
            error = runTask(GoogleAPI::send(method, path, {}, {}, m_token)).errorMessage();
        else if (method == u"GET")
            error = runTask(GoogleAPI::get(path, {}, m_token)).errorMessage();
        else
            error = runTask(GoogleAPI::deleteEvent(ada, "e1", false, m_token)).errorMessage();
        QCOMPARE(error, message);
    }

    void pagingStopsAtTheFirstBoundaryPast2500_data() {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("emptyFirst");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("items");
        QTest::newRow("two pages") << 2 << 0 << 3 << 2 << 3;
        QTest::newRow("always more, 250 a page") << 250 << 0 << 3000 << 10 << 2500;
        QTest::newRow("the last page stays whole") << 245 << 0 << 3000 << 11 << 2695;
        QTest::newRow("2,001 events at 50 a page") << 50 << 0 << 2001 << 41 << 2001;
        QTest::newRow("40 empty pages first") << 250 << 40 << 300 << 42 << 300;
    }
    void pagingStopsAtTheFirstBoundaryPast2500() {
        QFETCH(int, pageSize);
        QFETCH(int, emptyFirst);
        QFETCH(int, stored);
        QFETCH(int, requests);
        QFETCH(int, items);

        m_google->setPageSize(pageSize);
        m_google->setEmptyPagesFirst(emptyFirst);
        for (int i = 0; i < stored; ++i)
            m_google->addEvent(ada, {{"id", QStringLiteral("e%1").arg(i)}});
        const auto result =
            runTask(GoogleAPI::paginate(GoogleAPI::eventsPath(ada), {{"maxResults", "250"}}, m_token));
        QCOMPARE(result.value.value_or(QList<QJsonObject>()).size(), items);
        QCOMPARE(result.value->constLast().value("id").toString(), QStringLiteral("e%1").arg(items - 1));
        const QList<HttpRequest> sent = m_google->server().requests();
        QCOMPARE(sent.size(), requests);
        QVERIFY(!sent.first().hasQueryItem(u"pageToken"));
        for (const HttpRequest& request : sent)
            QCOMPARE(request.queryValue(u"maxResults"), QStringLiteral("250"));
    }

    void pagingFailsWhole() {
        // A page token with characters that a query must escape arrives intact on the next request.
        FakeHttpServer& server = m_google->server();
        server.scriptNext("GET", "/calendar/v3/",
                          HttpReply::json(200, {{"items", QJsonArray{QJsonObject{{"id", "x"}}}},
                                                {"nextPageToken", "a+b/c=&d"}}));
        server.scriptNext("GET", "/calendar/v3/",
                          HttpReply::json(200, {{"items", QJsonArray()}, {"nextPageToken", "page2"}}));
        server.scriptNext("GET", "/calendar/v3/",
                          FakeGoogle::errorReply(500, "backendError", "Backend Error"));

        const auto result = runTask(GoogleAPI::paginate(GoogleAPI::eventsPath(ada), {}, m_token));
        QCOMPARE(result.errorMessage(), QStringLiteral("Backend Error"));
        QCOMPARE(server.requests().size(), 3);
        QCOMPARE(server.requests()[1].queryValue(u"pageToken"), QStringLiteral("a+b/c=&d"));
    }

    // Tokens that come round again, or never run out, end the listing with an error, not endless asking.
    void endlessListingsFail_data() {
        QTest::addColumn<FakeGoogle::Paging>("paging"); // Normal: a page that names its own token
        QTest::addColumn<int>("requests");
        QTest::newRow("a page names itself") << FakeGoogle::Paging::Normal << 2;
        QTest::newRow("tokens cycle") << FakeGoogle::Paging::Cycling << 3;
        QTest::newRow("fresh tokens without end") << FakeGoogle::Paging::Endless << 5000;
    }
    void endlessListingsFail() {
        QFETCH(FakeGoogle::Paging, paging);
        QFETCH(int, requests);

        m_google->setPaging(paging);
        if (paging == FakeGoogle::Paging::Normal)
            m_google->server().scriptNext(
                "GET", "/calendar/v3/",
                HttpReply::json(200, {{"items", QJsonArray()}, {"nextPageToken", "same"}}), 2);
        const auto result = runTask(GoogleAPI::paginate(GoogleAPI::eventsPath(ada), {}, m_token));
        QVERIFY(result.errorAs<Pager::EndlessListing>());
        QCOMPARE(result.errorMessage(), QStringLiteral("Google kept sending pages without end"));
        QCOMPARE(m_google->server().requests().size(), requests);
    }

    // A 200 that is no listing, or a listing cut off, fails: it is never an empty calendar.
    void nonListingsFail_data() {
        QTest::addColumn<HttpReply>("reply");
        QTest::addColumn<bool>("transport"); // else Google's reply could not be read

        const HttpReply listing = HttpReply::json(200, {{"items", QJsonArray{QJsonObject{{"id", "e"}}}}});
        QTest::newRow("a captive portal's page")
            << HttpReply::text(200, "<html><body>Sign in to the Wi-Fi</body></html>", "text/html") << false;
        QTest::newRow("empty") << HttpReply::empty(200) << false;
        QTest::newRow("not JSON") << HttpReply::text(200, R"({"items": [)", "application/json") << false;
        QTest::newRow("no items") << HttpReply::json(200, {{"kind", "calendar#events"}}) << false;
        QTest::newRow("items not an array") << HttpReply::json(200, {{"items", "none"}}) << false;
        QTest::newRow("token not text")
            << HttpReply::json(200, {{"items", QJsonArray()}, {"nextPageToken", 2}}) << false;
        QTest::newRow("cut short") << HttpReply::cutShort(listing, 10) << true;
        QTest::newRow("reset") << HttpReply::cutShort(listing, 10, HttpReply::Ending::Reset) << true;
    }
    void nonListingsFail() {
        QFETCH(HttpReply, reply);
        QFETCH(bool, transport);

        m_google->addEvent(ada, FakeGoogle::timedEvent("e", "Standup", utc(9), utc(10)));
        m_google->server().scriptNext("GET", "/calendar/v3/", reply);
        const auto result = runTask(GoogleAPI::events(primary, ada, utc(0), utc(23), m_token, inBerlin));
        QVERIFY(!result.ok());
        if (transport)
            QVERIFY2(result.errorAs<TransportError>(), qPrintable(result.errorMessage()));
        else
            QCOMPARE(result.errorMessage(), QStringLiteral("Google's reply could not be read"));
    }

    // A page keeps only as many items as it asked for (250 events; 250 calendars when a listing names
    // no size), however many the server puts in it.
    void oversizedPagesKeepWhatWasAsked() {
        m_google->setPaging(FakeGoogle::Paging::Oversized);
        for (int i = 0; i < 3000; ++i) {
            const QString id = QStringLiteral("e%1").arg(i, 4, 10, QLatin1Char('0'));
            m_google->addEvent(ada, FakeGoogle::timedEvent(id, id, utc(9), utc(10)));
            m_google->addCalendar(ada, {{"id", id}, {"summary", id}});
        }
        const auto events = runTask(GoogleAPI::events(primary, ada, utc(0), utc(23), m_token, inBerlin));
        QCOMPARE(events.value.value_or(QList<CalEvent>()).size(), 250);
        QCOMPARE(events.value->constLast().googleEventID, QStringLiteral("e0249"));
        QCOMPARE(
            runTask(GoogleAPI::calendarList(m_token)).value.value_or(GoogleAPI::CalendarList()).list.size(),
            250);
    }

    // ---- Tokens

    void validToken_data() {
        QTest::addColumn<int>("secondsLeft");  // of the stored token; -1: no expiry stored
        QTest::addColumn<QByteArray>("reply"); // of the refresh; empty: no refresh expected
        QTest::addColumn<int>("lifetime");

        const QByteArray fresh = R"({"access_token":"ya29.new")";
        QTest::newRow("91 s left: the stored token") << 91 << QByteArray() << 0;
        QTest::newRow("exactly 90 s left, a lifetime") << 90 << fresh + R"(,"expires_in":1200})" << 1200;
        QTest::newRow("no expiry, no lifetime: an hour") << -1 << fresh + "}" << 3600;
        // A lifetime of 30,000 years would put the expiry where the stored account no longer reads.
        QTest::newRow("lifetime beyond a day: an hour") << -1 << fresh + R"(,"expires_in":1e12})" << 3600;
        QTest::newRow("a new refresh token is ignored")
            << -1 << fresh + R"(,"expires_in":60,"refresh_token":"1\/\/other"})" << 60;
    }
    void validToken() {
        QFETCH(int, secondsLeft);
        QFETCH(QByteArray, reply);
        QFETCH(int, lifetime);

        GoogleAccount stored =
            account(secondsLeft < 0 ? std::nullopt : std::optional(now.addSecs(secondsLeft)));
        stored.needsReauth = !reply.isEmpty();
        GoogleAccount expected = stored;
        m_google->server().hold();
        m_google->server().scriptNext("POST", "/token", HttpReply::text(200, reply, "application/json"));
        auto task = GoogleAPI::validToken(stored, config());
        if (!reply.isEmpty()) {
            QVERIFY(m_google->server().waitForRequests(1));
            // The expiry counts from when the reply arrived, not from when the request left.
            m_session->advance(5s);
            m_google->server().release();
            expected.accessToken = QStringLiteral("ya29.new");
            expected.expiry = now.addSecs(5 + lifetime);
            expected.needsReauth = false;
        }
        const auto result = runTask(std::move(task));
        QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
        QCOMPARE(result.value->token, *expected.accessToken);
        QCOMPARE(result.value->account, expected);
        QCOMPARE(m_google->server().requests().size(), reply.isEmpty() ? 0 : 1);
        if (!reply.isEmpty())
            QCOMPARE(lastRequest().form(),
                     (QMap<QString, QString>{{"client_id", m_google->clientID()},
                                             {"client_secret", m_google->clientSecret()},
                                             {"refresh_token", stored.refreshToken},
                                             {"grant_type", "refresh_token"}}));
    }

    void refreshFailures_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message"); // empty: a transport error
        QTest::newRow("refresh token revoked: reconnect")
            << u"revoked"_s << "ada@example.com needs to be reconnected (token expired or revoked)";
        QTest::newRow("reply without a token") << u"empty"_s << "No access token in refresh response";
        QTest::newRow("time-out") << u"stall"_s << "";
    }
    void refreshFailures() {
        QFETCH(QString, failure);
        QFETCH(QString, message);

        FakeHttpServer& server = m_google->server();
        if (failure == u"empty") {
            server.scriptNext("POST", "/token", HttpReply::json(200, {{"token_type", "Bearer"}}));
        } else if (failure == u"stall") {
            server.scriptNext("POST", "/token", HttpReply::stall());
            m_session->setAllTimeouts(200ms);
        }

        // Only a refused refresh token asks for a reconnect.
        const GoogleAccount stored = account(now.addSecs(10));
        if (failure == u"revoked")
            m_google->revokeRefreshToken(stored.refreshToken);
        const auto result = runTask(GoogleAPI::validToken(stored, config()));
        if (message.isEmpty())
            QVERIFY2(result.errorAs<TransportError>(), qPrintable(result.errorMessage()));
        else
            QCOMPARE(result.errorMessage(), message);
        QCOMPARE(result.errorAs<GoogleAPI::ReconnectNeeded>() != nullptr, failure == u"revoked");
    }

    // ---- Reading

    void eventTimes_data() {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<QDateTime>("start"); // invalid: the event is left out
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<bool>("allDay");

        const QByteArray timed =
            R"("start":{"dateTime":"2024-05-06T09:30:00+02:00"},"end":{"dateTime":"2024-05-06T08:00:00Z"})";
        QTest::newRow("all-day 6 to 7 May") << QByteArray() << berlin(6) << berlin(7) << true;
        QTest::newRow("timed with offsets") << timed << utc(7, 30) << utc(8) << false;
        QTest::newRow("dateTime without offset falls back to the date")
            << QByteArray(R"("start":{"dateTime":"2024-05-06T09:00:00","date":"2024-05-06"})") << berlin(6)
            << berlin(7) << true;
        QTest::newRow("end before start ends at the start")
            << QByteArray(
                   R"("start":{"dateTime":"2024-05-06T10:00:00Z"},"end":{"dateTime":"2024-05-06T09:00:00Z"})")
            << utc(10) << utc(10) << false;
        QTest::newRow("cancelled: left out")
            << QByteArray(R"("status":"cancelled")") << QDateTime() << QDateTime() << false;
        QTest::newRow("declined by me: left out")
            << QByteArray(
                   R"("attendees":[{"email":"bob@x.org"},{"email":"ada@example.com","self":true,"responseStatus":"declined"}])")
            << QDateTime() << QDateTime() << false;
        QTest::newRow("unreadable start: left out")
            << QByteArray(R"("start":{"date":"6 May"})") << QDateTime() << QDateTime() << false;
    }
    void eventTimes() {
        QFETCH(QByteArray, fields);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(bool, allDay);

        const auto event = mapped(fields);
        QCOMPARE(event.has_value(), start.isValid());
        if (event) {
            QCOMPARE(event->start, start);
            QCOMPARE(event->end, end);
            QCOMPARE(event->isAllDay, allDay);
        }
    }

    void eventFields() {
        const auto event = mapped(
            R"("id":"abc123_20240506","summary":"  Design review \n","location":" Room 4 ",)"
            R"("description":"<p>Agenda &amp;lt; &quot;notes&quot;<br/>Bring ideas</p><ul><li>one</li></ul>",)"
            R"("recurringEventId":null,)"
            R"("htmlLink":"https:\/\/www.google.com/calendar/event?eid=abc","updated":"2024-05-01T12:00:00.123Z",)"
            R"("organizer":{"email":"bob@x.org","displayName":"Bob"},"attendees":[)"
            R"({"email":"bob@x.org","displayName":"Bob","organizer":true,"responseStatus":"accepted"},)"
            R"({"email":"ada@example.com","self":true,"responseStatus":"tentative"},)"
            R"({"email":"cy@x.org","responseStatus":"needsAction"},{"email":"dee@x.org","responseStatus":"maybe"},)"
            R"({"displayName":"No address"}])",
            team);
        QVERIFY(event);
        QCOMPARE(event->id,
                 QStringLiteral("g:ada@example.com:team@group.calendar.google.com:abc123_20240506"));
        QCOMPARE(event->title, QStringLiteral("Design review"));
        QCOMPARE(event->location, std::optional<QString>(" Room 4 "));
        QCOMPARE(event->notes, std::optional<QString>("Agenda &lt; \"notes\"\nBring ideas\none"));
        QCOMPARE(event->color, QColor(0, 122, 255)); // the team calendar has no colour of its own
        QCOMPARE(event->organizer, std::optional<QString>("Bob"));
        QCOMPARE(event->lastEdited,
                 std::optional(QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0, 123), Qt::UTC)));
        QVERIFY(!event->organizerIsMe);
        QVERIFY(!event->calendarEditable); // reader access
        QVERIFY(event->isRecurring);       // the key counts, whatever its value
        const auto guest = [](const QString& email, Attendee::Status status) {
            return Attendee{email, status, false, false, email};
        };
        QCOMPARE(event->attendees,
                 (QList<Attendee>{{"Bob", Attendee::Status::accepted, true, false, QString("bob@x.org")},
                                  {ada, Attendee::Status::tentative, false, true, ada},
                                  guest("cy@x.org", Attendee::Status::pending),
                                  guest("dee@x.org", Attendee::Status::unknown)}));

        const auto plain = mapped(R"("summary":" ","location":"")");
        QCOMPARE(plain->title, QStringLiteral("(No title)"));
        QCOMPARE(plain->calendarName, ada); // the primary calendar is named by the account
        QVERIFY(!plain->location && !plain->isRecurring && plain->calendarEditable);
    }

    void meetingLinkAndOrganizer_data() {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<QString>("url"); // empty: none
        QTest::addColumn<bool>("mine");

        const QByteArray video = R"({"entryPointType":"video","uri":"https:\/\/zoom.us/j/1"})";
        QTest::newRow("hangout link wins; no organizer is me")
            << R"("hangoutLink":"https:\/\/meet.google.com/a","conferenceData":{"entryPoints":[)" + video +
                   "]}"
            << "https://meet.google.com/a" << true;
        QTest::newRow("first video entry after a phone one; organizer self")
            << R"("organizer":{"email":"x@y.org","self":true},"conferenceData":{"entryPoints":)"
               R"([{"entryPointType":"phone","uri":"tel:+1-555"},)" +
                   video + "," + video + "]}"
            << "https://zoom.us/j/1" << true;
        QTest::newRow("someone else organizes")
            << QByteArray(R"("organizer":{"email":"bob@x.org","self":false})") << "" << false;
    }
    void meetingLinkAndOrganizer() {
        QFETCH(QByteArray, fields);
        QFETCH(QString, url);
        QFETCH(bool, mine);

        const auto event = mapped(fields);
        QVERIFY(event);
        QCOMPARE(event->url, url.isEmpty() ? std::nullopt : std::optional(QUrl(url)));
        QCOMPARE(event->organizerIsMe, mine);
    }

    void calendarList() {
        m_google->addCalendar(
            ada, {{"id", "b"}, {"summary", "beta"}, {"selected", true}, {"accessRole", "writer"}});
        m_google->addCalendar(
            ada, {{"id", "a"}, {"summary", "Alpha"}, {"selected", false}, {"accessRole", "reader"}});
        m_google->addCalendar(ada, {{"id", "h"}, {"summary", "Hidden"}, {"hidden", true}});
        m_google->addCalendar(
            ada,
            {{"id", "o"}, {"summary", "z"}, {"summaryOverride", "Over"}, {"backgroundColor", "#ff0000"}});
        m_google->addCalendar(ada, {{"summary", "No id"}});
        m_google->setPageSize(2);

        const auto result = runTask(GoogleAPI::calendarList(m_token));
        QCOMPARE(result.value.value_or(GoogleAPI::CalendarList()).list,
                 (QList<GoogleCalendarInfo>{{ada, ada, "#9fc6e7", true, "owner"},
                                            {"a", "Alpha", std::nullopt, false, "reader"},
                                            {"b", "beta", std::nullopt, false, "writer"},
                                            {"o", "Over", "#ff0000", false, std::nullopt}}));
        QCOMPARE(result.value->unselected, (QSet<QString>{"a", "o"}));
        QCOMPARE(m_google->server().requests().size(), 3);
        QCOMPARE(wire(m_google->server().requests().constFirst()),
                 "GET /calendar/v3/users/me/calendarList?minAccessRole=reader&showHidden=false");
    }

    void eventsListing() {
        m_google->addEvent(ada, FakeGoogle::timedEvent("late", "Late", berlin(8), berlin(8, 1)));
        m_google->addEvent(ada,
                           FakeGoogle::allDayEvent("early", "Early", QDate(2024, 5, 6), QDate(2024, 5, 7)));
        m_google->addEvent(ada, FakeGoogle::timedEvent("outside", "Outside", berlin(14), berlin(15)));

        const auto result =
            runTask(GoogleAPI::events(primary, ada, berlin(6), berlin(13), m_token, inBerlin));
        QStringList titles;
        for (const CalEvent& event : result.value.value_or(QList<CalEvent>()))
            titles << event.title;
        QCOMPARE(titles, (QStringList{"Early", "Late"}));
        QCOMPARE(wire(lastRequest()), "GET /calendar/v3/calendars/ada@example.com/events?maxResults=250&"
                                      "orderBy=startTime&showDeleted=false&singleEvents=true&"
                                      "timeMax=2024-05-12T22:00:00Z&timeMin=2024-05-05T22:00:00Z");
    }

    // ---- Writes

    void guestMerge_data() {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QStringList>("invitees");
        QTest::addColumn<QByteArray>("sent"); // empty: no "attendees" in the body

        const QByteArray me = R"({"email":"ada@example.com","responseStatus":"accepted","self":true})";
        const QByteArray bob = R"({"displayName":"Bob","email":"Bob@X.org","responseStatus":"tentative"})";
        const QByteArray organizer = R"({"email":"org@x.org","organizer":true})";
        QTest::newRow("current guests: title alone")
            << me + "," + bob << QStringList{"bob@x.org"} << QByteArray();
        QTest::newRow("a guest added, the others kept whole")
            << me + "," + bob << QStringList{"bob@x.org", "Dee@X.org"}
            << me + "," + bob + R"(,{"email":"Dee@X.org"})";
        QTest::newRow("empty list keeps only me and the organizer")
            << organizer + "," + bob + "," + me << QStringList{} << organizer + "," + me;
    }
    void guestMerge() {
        QFETCH(QByteArray, existing);
        QFETCH(QStringList, invitees);
        QFETCH(QByteArray, sent);

        const QString id = storeEvent(existing);
        const auto result =
            runTask(GoogleAPI::updateEvent(primary, ada, id, QStringLiteral(" New title "), std::nullopt,
                                           invitees, false, false, false, m_token, inBerlin));
        QCOMPARE(result.value.value_or(CalEvent()).title, QStringLiteral("New title"));
        QCOMPARE(m_google->server().requests("GET", u"/calendar").size(), 1);
        QCOMPARE(patchBodies(),
                 QList<QByteArray>{R"({)" + (sent.isEmpty() ? "" : R"("attendees":[)" + sent + "],") +
                                   R"("summary":" New title "})"});
    }

    // Nothing changed: the event is read, never patched.
    void nothingToChange() {
        const QString id = storeEvent(R"({"email":"ada@example.com","self":true},{"email":"bob@x.org"})");
        const auto result =
            runTask(GoogleAPI::updateEvent(primary, ada, id, std::nullopt, std::nullopt, {"BOB@x.org"}, true,
                                           true, true, m_token, inBerlin));
        QCOMPARE(result.value.value_or(CalEvent()).title, QStringLiteral("Review"));
        QVERIFY(patchBodies().isEmpty());
    }

    void slotTimes_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray berlinZone = "Europe/Berlin";
        QTest::newRow("summer time") << berlinZone << berlin(6, 9) << false
                                     << QByteArray(
                                            R"("2024-05-06T09:00:00+02:00","timeZone":"Europe/Berlin")");
        QTest::newRow("UTC writes Z") << QByteArray("UTC") << utc(9) << false
                                      << QByteArray(R"("2024-05-06T09:00:00Z","timeZone":"UTC")");
        // A zone set by a POSIX rule has no name Google accepts; the offset alone fixes the time.
        QTest::newRow("POSIX rule names no zone")
            << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << berlin(6, 9) << false
            << QByteArray(R"("2024-05-06T09:00:00+02:00","timeZone":null)");
        QTest::newRow("all day: the local day")
            << berlinZone << berlin(6) << true
            << QByteArray(R"({"date":"2024-05-06","dateTime":null,"timeZone":null})");
    }
    void slotTimes() {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, instant);
        QFETCH(bool, allDay);
        QFETCH(QByteArray, expected);

        QCOMPARE(compact(GoogleAPI::slotTime(instant, allDay, in(zone))),
                 allDay ? expected : R"({"date":null,"dateTime":)" + expected + "}");
    }

    void meetAndNotify_data() {
        QTest::addColumn<bool>("meet");
        QTest::addColumn<bool>("hadMeet");
        QTest::addColumn<bool>("notify");
        QTest::addColumn<QString>("conference"); // "create", "null" or "" for none
        QTest::newRow("add a Meet link, notify") << true << false << true << "create";
        QTest::newRow("remove the Meet link") << false << true << false << "null";
    }
    void meetAndNotify() {
        QFETCH(bool, meet);
        QFETCH(bool, hadMeet);
        QFETCH(bool, notify);
        QFETCH(QString, conference);

        QJsonObject event = FakeGoogle::timedEvent("m1", "Sync", utc(9), utc(10));
        if (hadMeet)
            event.insert("hangoutLink", "https://meet.google.com/old-link-xyz");
        m_google->addEvent(ada, event);
        const auto result =
            runTask(GoogleAPI::updateEvent(primary, ada, "m1", QStringLiteral("Sync"), std::nullopt, {}, meet,
                                           hadMeet, notify, m_token, inBerlin));
        QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
        const HttpRequest patch = m_google->server().requests("PATCH", u"/").constFirst();
        QCOMPARE(patch.query.size(), notify ? 2 : 1);
        QCOMPARE(patch.queryValue(u"conferenceDataVersion"), QStringLiteral("1"));
        QCOMPARE(patch.queryValue(u"sendUpdates"), QString(notify ? "all" : ""));

        const QJsonValue sent = patch.json().value("conferenceData");
        if (conference == u"create") {
            const QJsonObject request = sent["createRequest"].toObject();
            QCOMPARE(request.value("requestId").toString().size(), 36);
            QCOMPARE(result.value->url.value_or(QUrl()).host(), QStringLiteral("meet.google.com"));
        } else {
            QCOMPARE(sent.isNull(), conference == u"null");
            QCOMPARE(sent.isUndefined(), conference.isEmpty());
            QCOMPARE(result.value->url.has_value(), hadMeet && meet);
        }
    }

    void declineSendsOnlyMyEntry() {
        storeEvent(
            R"({"email":"org@x.org","organizer":true},{"email":"bob@x.org","responseStatus":"needsAction"},)"
            R"({"comment":"hi","email":"ada@example.com","responseStatus":"accepted","self":true})");
        const auto result = runTask(GoogleAPI::declineEvent(primary, ada, "ev/1", m_token, inBerlin));
        QVERIFY2(result.ok() && !*result.value, qPrintable(result.errorMessage())); // declined: not shown
        QCOMPARE(
            wire(m_google->server().requests("PATCH", u"/").constFirst()),
            R"(PATCH /calendar/v3/calendars/ada@example.com/events/ev%2F1?sendUpdates=all )"
            R"({"attendees":[{"comment":"hi","email":"ada@example.com","responseStatus":"declined","self":true}],)"
            R"("attendeesOmitted":true})");
        // The other guests stay on Google's side.
        QCOMPARE(m_google->storedEvent(ada, "ev/1")->value("attendees").toArray().size(), 3);
    }

    void declineNeedsMeOnTheGuestList() {
        // My address alone does not make me a guest: Google marks my own entry with "self".
        storeEvent(R"({"email":"bob@x.org"},{"email":"ada@example.com"})");
        QCOMPARE(runTask(GoogleAPI::declineEvent(primary, ada, "ev/1", m_token, inBerlin)).errorMessage(),
                 QStringLiteral("You are not on this event's guest list"));
        QVERIFY(patchBodies().isEmpty());
    }

private:
    HttpRequest lastRequest() const { return m_google->server().requests().constLast(); }
    QList<QByteArray> patchBodies() const {
        QList<QByteArray> bodies;
        for (const HttpRequest& request : m_google->server().requests("PATCH", u"/"))
            bodies << request.body;
        return bodies;
    }
    GoogleConfig config() const {
        // Pasted with blanks around it, as users do: the effective identity is trimmed.
        return {"  " + m_google->clientID() + "\t", m_google->clientSecret(), {}};
    }
    GoogleAccount account(std::optional<QDateTime> expiry) const {
        return {ada, m_google->issueRefreshToken(ada), QStringLiteral("ya29.stored"), expiry, {}, {}, false,
                {}};
    }
    // Stores "Review" on 6 May, 9:00 to 10:00 in Berlin, with the attendees given as JSON objects.
    QString storeEvent(const QByteArray& attendees) {
        QJsonObject event = FakeGoogle::timedEvent("ev/1", "Review", berlin(6, 9), berlin(6, 10));
        if (!attendees.isEmpty())
            event.insert("attendees", QJsonDocument::fromJson("[" + attendees + "]").array());
        return m_google->addEvent(ada, event);
    }

    std::unique_ptr<FakeGoogle> m_google;
    std::unique_ptr<RemoteTestSession> m_session;
    QString m_token;
};

QTEST_GUILESS_MAIN(TestGoogleAPI)
#include "tst_googleapi.moc"
