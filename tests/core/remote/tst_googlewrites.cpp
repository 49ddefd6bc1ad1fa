#include "core/remote/GoogleAPI.h"

#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

// Runs in Europe/Berlin, so that timed slots carry a real offset and zone name.
namespace {

const QString ada = QStringLiteral("ada@example.com");
const GoogleCalendarInfo calendar{ada, ada, std::nullopt, true, QStringLiteral("owner")};

QJsonArray array(const char* json) {
    return QJsonDocument::fromJson(json).array();
}

QDateTime berlin(int y, int m, int d, int h = 0, int min = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone("Europe/Berlin")).toUTC();
}

// Sets TZ for the life of the object.
class ZoneOverride {
public:
    explicit ZoneOverride(const QByteArray& zone)
        : m_saved(qgetenv("TZ")) {
        qputenv("TZ", zone);
    }
    ~ZoneOverride() { qputenv("TZ", m_saved); }

private:
    QByteArray m_saved;
};

} // namespace

class TestGoogleWrites : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void guestMerge_data();
    void guestMerge();
    void unchangedEventIsOnlyRead();
    void unchangedDeclinedEventStillFails();
    void timeSlots_data();
    void timeSlots();
    void meetAndNotify_data();
    void meetAndNotify();
    void declineSendsOnlyMyEntry();
    void declineNeedsMeOnTheGuestList_data();
    void declineNeedsMeOnTheGuestList();
    void readAndWriteErrorsDiffer();
    void insertedMeetingMapsBack();

private:
    QString storeEvent(const QJsonArray& attendees);
    QList<HttpRequest> patches() const { return m_google->server().requests("PATCH", u"/"); }

    std::unique_ptr<FakeGoogle> m_google;
    std::unique_ptr<RemoteTestSession> m_session;
    QString m_token;
};

void TestGoogleWrites::init() {
    m_google = std::make_unique<FakeGoogle>();
    m_google->addAccount(ada);
    m_token = m_google->issueAccessToken(ada);
    m_session = std::make_unique<RemoteTestSession>();
    m_session->setEndpoints(m_google->endpoints());
}

void TestGoogleWrites::cleanup() {
    m_session.reset();
    m_google.reset();
}

QString TestGoogleWrites::storeEvent(const QJsonArray& attendees) {
    QJsonObject event =
        FakeGoogle::timedEvent("ev/1", "Review", berlin(2024, 5, 6, 9), berlin(2024, 5, 6, 10));
    if (!attendees.isEmpty())
        event.insert("attendees", attendees);
    return m_google->addEvent(ada, event);
}

void TestGoogleWrites::guestMerge_data() {
    QTest::addColumn<QJsonArray>("existing");
    QTest::addColumn<QStringList>("invitees");
    QTest::addColumn<QJsonValue>("sent"); // undefined: no "attendees" in the body

    const QJsonArray selfAndBob =
        array(R"([{"email":"ada@example.com","self":true,"responseStatus":"accepted"},
                  {"email":"Bob@X.org","displayName":"Bob","responseStatus":"tentative"}])");
    QTest::newRow("current guests: title alone")
        << selfAndBob << QStringList{"bob@x.org"} << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("a guest added, the others kept whole")
        << selfAndBob << QStringList{"bob@x.org", "Dee@X.org"}
        << QJsonValue(array(R"([{"email":"ada@example.com","self":true,"responseStatus":"accepted"},
                               {"email":"Bob@X.org","displayName":"Bob","responseStatus":"tentative"},
                               {"email":"Dee@X.org"}])"));
    QTest::newRow("one guest replaced by another")
        << selfAndBob << QStringList{"cy@x.org"}
        << QJsonValue(array(R"([{"email":"ada@example.com","self":true,"responseStatus":"accepted"},
                               {"email":"cy@x.org"}])"));
    QTest::newRow("empty list keeps only me and the organizer")
        << array(R"([{"email":"org@x.org","organizer":true},{"email":"bob@x.org"},
                     {"email":"ada@example.com","self":true},{"email":"cy@x.org"}])")
        << QStringList{}
        << QJsonValue(
               array(R"([{"email":"org@x.org","organizer":true},{"email":"ada@example.com","self":true}])"));
    QTest::newRow("no guests and none wanted")
        << QJsonArray() << QStringList{} << QJsonValue(QJsonValue::Undefined);
}

void TestGoogleWrites::guestMerge() {
    QFETCH(QJsonArray, existing);
    QFETCH(QStringList, invitees);
    QFETCH(QJsonValue, sent);

    const QString id = storeEvent(existing);
    const auto result = runTask(GoogleAPI::updateEvent(calendar, ada, id, QStringLiteral(" New title "),
                                                       std::nullopt, invitees, false, false, false, m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->title, QStringLiteral("New title"));

    QCOMPARE(m_google->server().requests("GET", u"/calendar").size(), 1);
    QCOMPARE(patches().size(), 1);
    QJsonObject expected{{"summary", " New title "}};
    if (!sent.isUndefined())
        expected.insert("attendees", sent);
    QCOMPARE(patches().first().json(), expected);
}

void TestGoogleWrites::unchangedEventIsOnlyRead() {
    const QString id =
        storeEvent(array(R"([{"email":"ada@example.com","self":true},{"email":"bob@x.org"}])"));
    const auto result = runTask(GoogleAPI::updateEvent(calendar, ada, id, std::nullopt, std::nullopt,
                                                       {"BOB@x.org"}, true, true, true, m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(result.value->title, QStringLiteral("Review"));
    QCOMPARE(m_google->server().requests().size(), 1);
    QVERIFY(patches().isEmpty());
}

void TestGoogleWrites::unchangedDeclinedEventStillFails() {
    // The read event does not map (the user declined it), so the empty change goes to Google, whose
    // reply does not map either.
    const QString id =
        storeEvent(array(R"([{"email":"ada@example.com","self":true,"responseStatus":"declined"}])"));
    const auto result = runTask(GoogleAPI::updateEvent(calendar, ada, id, std::nullopt, std::nullopt, {},
                                                       false, false, false, m_token));
    QCOMPARE(result.errorMessage(),
             QStringLiteral("Google updated the event but returned something unexpected"));
    QCOMPARE(patches().size(), 1);
    QCOMPARE(patches().first().body, QByteArray("{}"));
}

void TestGoogleWrites::timeSlots_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<bool>("allDay");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<QByteArray>("expected"); // the "start" and "end" objects

    QTest::newRow("summer time")
        << QByteArray("Europe/Berlin") << false << berlin(2024, 5, 6, 9) << berlin(2024, 5, 6, 9, 45)
        << QByteArray(
               R"({"start":{"date":null,"dateTime":"2024-05-06T09:00:00+02:00","timeZone":"Europe/Berlin"},
                          "end":{"date":null,"dateTime":"2024-05-06T09:45:00+02:00","timeZone":"Europe/Berlin"}})");
    QTest::newRow("across the change to winter time")
        << QByteArray("Europe/Berlin") << false << berlin(2024, 10, 26, 23) << berlin(2024, 10, 27, 9)
        << QByteArray(
               R"({"start":{"date":null,"dateTime":"2024-10-26T23:00:00+02:00","timeZone":"Europe/Berlin"},
                          "end":{"date":null,"dateTime":"2024-10-27T09:00:00+01:00","timeZone":"Europe/Berlin"}})");
    QTest::newRow("UTC writes Z")
        << QByteArray("UTC") << false << QDateTime(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC)
        << QDateTime(QDate(2024, 5, 6), QTime(10, 0), Qt::UTC)
        << QByteArray(R"({"start":{"date":null,"dateTime":"2024-05-06T09:00:00Z","timeZone":"UTC"},
                          "end":{"date":null,"dateTime":"2024-05-06T10:00:00Z","timeZone":"UTC"}})");
    // A zone set by a POSIX rule has no name Google accepts; the offset alone fixes the time.
    QTest::newRow("POSIX rule names no zone")
        << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << false << berlin(2024, 5, 6, 9)
        << berlin(2024, 5, 6, 10)
        << QByteArray(R"({"start":{"date":null,"dateTime":"2024-05-06T09:00:00+02:00","timeZone":null},
                          "end":{"date":null,"dateTime":"2024-05-06T10:00:00+02:00","timeZone":null}})");
    QTest::newRow("all day") << QByteArray("Europe/Berlin") << true << berlin(2024, 5, 6)
                             << berlin(2024, 5, 8)
                             << QByteArray(R"({"start":{"date":"2024-05-06","dateTime":null,"timeZone":null},
                          "end":{"date":"2024-05-08","dateTime":null,"timeZone":null}})");
}

void TestGoogleWrites::timeSlots() {
    QFETCH(QByteArray, zone);
    QFETCH(bool, allDay);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    QFETCH(QByteArray, expected);

    const QString id = storeEvent({});
    ZoneOverride override(zone);
    const auto result =
        runTask(GoogleAPI::updateEvent(calendar, ada, id, std::nullopt, GoogleAPI::Slot{start, end, allDay},
                                       {}, false, false, false, m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QCOMPARE(patches().size(), 1);
    QCOMPARE(patches().first().json(), QJsonDocument::fromJson(expected).object());
    QCOMPARE(result.value->start, start);
    QCOMPARE(result.value->end, end);
    QCOMPARE(result.value->isAllDay, allDay);
}

void TestGoogleWrites::meetAndNotify_data() {
    QTest::addColumn<bool>("meet");
    QTest::addColumn<bool>("hadMeet");
    QTest::addColumn<bool>("notify");
    QTest::addColumn<QString>("conference"); // "create", "null" or "" for none

    QTest::newRow("add a Meet link, notify") << true << false << true << "create";
    QTest::newRow("remove the Meet link") << false << true << false << "null";
    QTest::newRow("keep the Meet link") << true << true << true << "";
}

void TestGoogleWrites::meetAndNotify() {
    QFETCH(bool, meet);
    QFETCH(bool, hadMeet);
    QFETCH(bool, notify);
    QFETCH(QString, conference);

    QJsonObject event = FakeGoogle::timedEvent("m1", "Sync", berlin(2024, 5, 6, 9), berlin(2024, 5, 6, 10));
    if (hadMeet)
        event.insert("hangoutLink", "https://meet.google.com/old-link-xyz");
    m_google->addEvent(ada, event);

    const auto result = runTask(GoogleAPI::updateEvent(calendar, ada, "m1", QStringLiteral("Sync"),
                                                       std::nullopt, {}, meet, hadMeet, notify, m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    const HttpRequest patch = patches().first();
    QCOMPARE(patch.queryValue(u"conferenceDataVersion"), QStringLiteral("1"));
    QCOMPARE(patch.hasQueryItem(u"sendUpdates"), notify);
    if (notify)
        QCOMPARE(patch.queryValue(u"sendUpdates"), QStringLiteral("all"));

    const QJsonValue sent = patch.json().value("conferenceData");
    if (conference == u"create") {
        const QJsonObject request = sent.toObject().value("createRequest").toObject();
        QCOMPARE(request.value("requestId").toString().size(), 36);
        QCOMPARE(request.value("conferenceSolutionKey").toObject(), (QJsonObject{{"type", "hangoutsMeet"}}));
        QVERIFY(result.value->url && result.value->url->host() == u"meet.google.com");
    } else if (conference == u"null") {
        QVERIFY(sent.isNull());
        QVERIFY(!result.value->url);
    } else {
        QVERIFY(sent.isUndefined());
    }
}

void TestGoogleWrites::declineSendsOnlyMyEntry() {
    storeEvent(array(R"([{"email":"org@x.org","organizer":true,"responseStatus":"accepted"},
                         {"email":"ada@example.com","self":true,"responseStatus":"accepted","comment":"hi"},
                         {"email":"bob@x.org","responseStatus":"needsAction"}])"));
    const auto result = runTask(GoogleAPI::declineEvent(calendar, ada, "ev/1", m_token));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QVERIFY(!*result.value); // declined events are not shown

    QCOMPARE(patches().size(), 1);
    const HttpRequest patch = patches().first();
    QCOMPARE(patch.rawPath, QByteArray("/calendar/v3/calendars/ada@example.com/events/ev%2F1"));
    QCOMPARE(patch.queryNames(), QStringList{"sendUpdates"});
    QCOMPARE(patch.queryValue(u"sendUpdates"), QStringLiteral("all"));
    QCOMPARE(patch.json(), QJsonDocument::fromJson(R"({"attendees":[{"email":"ada@example.com","self":true,
                                        "responseStatus":"declined","comment":"hi"}],"attendeesOmitted":true})")
                               .object());
    // The other guests stay on Google's side.
    QCOMPARE(m_google->storedEvent(ada, "ev/1")->value("attendees").toArray().size(), 3);
}

void TestGoogleWrites::declineNeedsMeOnTheGuestList_data() {
    QTest::addColumn<QJsonArray>("attendees");
    QTest::newRow("no guest list") << QJsonArray();
    QTest::newRow("not among the guests") << array(R"([{"email":"bob@x.org"},{"email":"ada@example.com"}])");
}

void TestGoogleWrites::declineNeedsMeOnTheGuestList() {
    QFETCH(QJsonArray, attendees);
    storeEvent(attendees);
    const auto result = runTask(GoogleAPI::declineEvent(calendar, ada, "ev/1", m_token));
    QCOMPARE(result.errorMessage(), QStringLiteral("You are not on this event's guest list"));
    QVERIFY(patches().isEmpty());
}

void TestGoogleWrites::readAndWriteErrorsDiffer() {
    // A failed read shows Google's message; a failed write shows the friendly text.
    const auto missing = runTask(GoogleAPI::updateEvent(calendar, ada, "nope", QStringLiteral("x"),
                                                        std::nullopt, {}, false, false, false, m_token));
    QCOMPARE(missing.errorMessage(), QStringLiteral("Not Found"));
    QVERIFY(patches().isEmpty());

    storeEvent({});
    m_google->server().scriptNext("PATCH", "/calendar",
                                  FakeGoogle::errorReply(403, "forbiddenForNonOrganizer", "Forbidden"));
    const auto refused = runTask(GoogleAPI::updateEvent(calendar, ada, "ev/1", QStringLiteral("x"),
                                                        std::nullopt, {}, false, false, false, m_token));
    QCOMPARE(refused.errorMessage(), QStringLiteral("Only the organizer can change this event"));
}

void TestGoogleWrites::insertedMeetingMapsBack() {
    // The event store inserts new meetings through send and maps the reply with event().
    const QJsonObject body{
        {"summary", "Kickoff"},
        {"start", GoogleAPI::slotTime(berlin(2024, 5, 7, 14), false)},
        {"end", GoogleAPI::slotTime(berlin(2024, 5, 7, 15), false)},
        {"attendees", array(R"([{"email":"bob@x.org"}])")},
        {"conferenceData", QJsonObject{{"createRequest", QJsonObject{{"requestId", "r-1"}}}}}};
    const auto reply =
        runTask(GoogleAPI::send("POST", GoogleAPI::eventsPath(ada),
                                {{"conferenceDataVersion", "1"}, {"sendUpdates", "all"}}, body, m_token));
    QVERIFY2(reply.ok(), qPrintable(reply.errorMessage()));
    const auto event = GoogleAPI::event(*reply.value, calendar, ada);
    QVERIFY(event);
    QCOMPARE(event->title, QStringLiteral("Kickoff"));
    QCOMPARE(event->start, berlin(2024, 5, 7, 14));
    QVERIFY(event->organizerIsMe);
    QVERIFY(event->url && event->url->host() == u"meet.google.com");
    QCOMPARE(m_google->storedEvents(ada).size(), 1);
    QCOMPARE(m_google->server().requests().constLast().rawPath,
             QByteArray("/calendar/v3/calendars/ada@example.com/events"));
}

QTEST_GUILESS_MAIN(TestGoogleWrites)
#include "tst_googlewrites.moc"
