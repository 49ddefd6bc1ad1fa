#include "core/remote/GoogleAPI.h"

#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"
#include "support/TaskResult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

// Runs in Europe/Berlin: all-day dates must become local midnights, not UTC ones.
namespace {

const QString ada = QStringLiteral("ada@example.com");
const GoogleCalendarInfo primary{ada, ada, QStringLiteral("#7986cb"), true, QStringLiteral("owner")};
const GoogleCalendarInfo team{QStringLiteral("team@group.calendar.google.com"), QStringLiteral("Team"),
                              std::nullopt, false, QStringLiteral("reader")};

QJsonObject parse(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

QDateTime berlin(int y, int m, int d, int h = 0, int min = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min), QTimeZone("Europe/Berlin")).toUTC();
}

} // namespace

class TestGoogleEvents : public QObject {
    Q_OBJECT
private slots:
    void eventsLeftOut_data();
    void eventsLeftOut();
    void eventTimes_data();
    void eventTimes();
    void dayWithoutMidnight();
    void eventFields();
    void meetingLink_data();
    void meetingLink();
    void organizerIsMe_data();
    void organizerIsMe();
    void stripHTML_data();
    void stripHTML();
    void calendarList();
    void eventsListing();
};

void TestGoogleEvents::eventsLeftOut_data() {
    QTest::addColumn<QByteArray>("json");
    const QByteArray times = R"("start":{"date":"2024-05-06"},"end":{"date":"2024-05-07"})";
    QTest::newRow("cancelled") << R"({"id":"e","status":"cancelled",)" + times + "}";
    QTest::newRow("declined by me")
        << R"({"id":"e",)" + times +
               R"(,"attendees":[{"email":"bob@x.org"},{"email":"ada@example.com","self":true,"responseStatus":"declined"}]})";
    QTest::newRow("no id") << "{" + times + "}";
    QTest::newRow("unreadable start")
        << QByteArray(R"({"id":"e","start":{"date":"6 May"},"end":{"date":"2024-05-07"}})");
}

void TestGoogleEvents::eventsLeftOut() {
    QFETCH(QByteArray, json);
    QVERIFY(!GoogleAPI::event(QJsonDocument::fromJson(json).object(), primary, ada));
}

void TestGoogleEvents::eventTimes_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<QDateTime>("expectedStart");
    QTest::addColumn<QDateTime>("expectedEnd");
    QTest::addColumn<bool>("allDay");

    QTest::newRow("all-day 6 to 7 May")
        << QByteArray(R"({"date":"2024-05-06"})") << QByteArray(R"({"date":"2024-05-07"})")
        << berlin(2024, 5, 6) << berlin(2024, 5, 7) << true;
    QTest::newRow("timed with offsets") << QByteArray(R"({"dateTime":"2024-05-06T09:30:00+02:00"})")
                                        << QByteArray(R"({"dateTime":"2024-05-06T08:00:00Z"})")
                                        << berlin(2024, 5, 6, 9, 30) << berlin(2024, 5, 6, 10) << false;
    QTest::newRow("fractional seconds")
        << QByteArray(R"({"dateTime":"2024-05-06T07:30:00.250Z"})")
        << QByteArray(R"({"dateTime":"2024-05-06T08:00:00.5Z"})")
        << QDateTime(QDate(2024, 5, 6), QTime(7, 30, 0, 250), Qt::UTC)
        << QDateTime(QDate(2024, 5, 6), QTime(8, 0, 0, 500), Qt::UTC) << false;
    QTest::newRow("dateTime without offset falls back to the date")
        << QByteArray(R"({"dateTime":"2024-05-06T09:00:00","date":"2024-05-06"})")
        << QByteArray(R"({"date":"2024-05-07"})") << berlin(2024, 5, 6) << berlin(2024, 5, 7) << true;
    QTest::newRow("end before start ends at the start")
        << QByteArray(R"({"dateTime":"2024-05-06T10:00:00Z"})")
        << QByteArray(R"({"dateTime":"2024-05-06T09:00:00Z"})")
        << QDateTime(QDate(2024, 5, 6), QTime(10, 0), Qt::UTC)
        << QDateTime(QDate(2024, 5, 6), QTime(10, 0), Qt::UTC) << false;
    QTest::newRow("all-day flag from the start")
        << QByteArray(R"({"date":"2024-05-06"})") << QByteArray(R"({"dateTime":"2024-05-06T12:00:00Z"})")
        << berlin(2024, 5, 6) << berlin(2024, 5, 6, 14) << true;
}

void TestGoogleEvents::eventTimes() {
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, end);
    QFETCH(QDateTime, expectedStart);
    QFETCH(QDateTime, expectedEnd);
    QFETCH(bool, allDay);

    const QJsonObject json{{"id", "e"},
                           {"start", QJsonDocument::fromJson(start).object()},
                           {"end", QJsonDocument::fromJson(end).object()}};
    const auto event = GoogleAPI::event(json, primary, ada);
    QVERIFY(event);
    QCOMPARE(event->start, expectedStart);
    QCOMPARE(event->end, expectedEnd);
    QCOMPARE(event->isAllDay, allDay);
}

void TestGoogleEvents::dayWithoutMidnight() {
    // In São Paulo the clocks jumped from 00:00 to 01:00 on 4 November 2018: that day starts at 01:00.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "America/Sao_Paulo");
    const auto parsed = GoogleAPI::date(parse(R"({"date":"2018-11-04"})"));
    qputenv("TZ", zone);
    QVERIFY(parsed);
    QCOMPARE(parsed->first, QDateTime(QDate(2018, 11, 4), QTime(3, 0), Qt::UTC)); // 01:00 at -02:00
    QVERIFY(parsed->second);
}

void TestGoogleEvents::eventFields() {
    const auto event = GoogleAPI::event(parse(R"({
        "id": "abc123_20240506", "status": "confirmed", "summary": "  Design review \n",
        "location": " Room 4 ", "description": "<p>Agenda &amp; notes<br/>Bring ideas</p>",
        "start": {"dateTime": "2024-05-06T09:00:00+02:00"}, "end": {"dateTime": "2024-05-06T10:00:00+02:00"},
        "htmlLink": "https://www.google.com/calendar/event?eid=abc", "updated": "2024-05-01T12:00:00.123Z",
        "recurringEventId": null,
        "organizer": {"email": "bob@x.org", "displayName": "Bob"},
        "attendees": [
            {"email": "bob@x.org", "displayName": "Bob", "organizer": true, "responseStatus": "accepted"},
            {"email": "ada@example.com", "self": true, "responseStatus": "tentative"},
            {"email": "cy@x.org", "responseStatus": "needsAction"},
            {"email": "dee@x.org", "responseStatus": "maybe"},
            {"displayName": "No address"}
        ]})"),
                                        team, ada);
    QVERIFY(event);
    QCOMPARE(event->id, QStringLiteral("g:ada@example.com:team@group.calendar.google.com:abc123_20240506"));
    QCOMPARE(event->title, QStringLiteral("Design review"));
    QCOMPARE(event->location, std::optional<QString>(" Room 4 "));
    QCOMPARE(event->notes, std::optional<QString>("Agenda & notes\nBring ideas"));
    QCOMPARE(event->calendarName, QStringLiteral("Team"));
    QCOMPARE(event->color, QColor(0, 122, 255)); // the team calendar has no colour of its own
    QCOMPARE(event->organizer, std::optional<QString>("Bob"));
    QCOMPARE(event->source, EventSource::google);
    QCOMPARE(event->webLink, std::optional(QUrl("https://www.google.com/calendar/event?eid=abc")));
    QCOMPARE(event->lastEdited, std::optional(QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0, 123), Qt::UTC)));
    QCOMPARE(event->googleAccount, std::optional(ada));
    QCOMPARE(event->googleCalendarID, std::optional(team.id));
    QCOMPARE(event->googleEventID, std::optional<QString>("abc123_20240506"));
    QVERIFY(!event->organizerIsMe);
    QVERIFY(!event->calendarEditable); // reader access
    QVERIFY(event->isRecurring);       // the key counts, whatever its value
    QVERIFY(!event->url);

    const QList<Attendee> expected{
        {"Bob", Attendee::Status::accepted, true, false, QString("bob@x.org")},
        {"ada@example.com", Attendee::Status::tentative, false, true, QString("ada@example.com")},
        {"cy@x.org", Attendee::Status::pending, false, false, QString("cy@x.org")},
        {"dee@x.org", Attendee::Status::unknown, false, false, QString("dee@x.org")},
    };
    QCOMPARE(event->attendees, expected);

    const auto plain = GoogleAPI::event(
        parse(
            R"({"id":"p","summary":" ","location":"","start":{"date":"2024-05-06"},"end":{"date":"2024-05-07"}})"),
        primary, ada);
    QVERIFY(plain);
    QCOMPARE(plain->title, QStringLiteral("(No title)"));
    QCOMPARE(plain->calendarName, ada); // the primary calendar is named by the account
    QCOMPARE(plain->color, QColor(0x79, 0x86, 0xcb));
    QVERIFY(!plain->location);
    QVERIFY(!plain->notes);
    QVERIFY(!plain->isRecurring);
    QVERIFY(plain->calendarEditable);
}

void TestGoogleEvents::meetingLink_data() {
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<QString>("url"); // empty: none

    QTest::newRow("hangout link wins")
        << QByteArray(
               R"("hangoutLink":"https://meet.google.com/aaa","conferenceData":{"entryPoints":[{"entryPointType":"video","uri":"https://zoom.us/j/1"}]})")
        << "https://meet.google.com/aaa";
    QTest::newRow("first video entry point, after a phone one")
        << QByteArray(
               R"("conferenceData":{"entryPoints":[{"entryPointType":"phone","uri":"tel:+1-555"},{"entryPointType":"video","uri":"https://zoom.us/j/1"},{"entryPointType":"video","uri":"https://zoom.us/j/2"}]})")
        << "https://zoom.us/j/1";
    QTest::newRow("only the first video entry counts")
        << QByteArray(
               R"("conferenceData":{"entryPoints":[{"entryPointType":"video","uri":""},{"entryPointType":"video","uri":"https://zoom.us/j/2"}]})")
        << "";
    QTest::newRow("none") << QByteArray(R"("hangoutLink":"")") << "";
}

void TestGoogleEvents::meetingLink() {
    QFETCH(QByteArray, fields);
    QFETCH(QString, url);
    const auto event = GoogleAPI::event(
        parse(R"({"id":"e","start":{"date":"2024-05-06"},"end":{"date":"2024-05-07"},)" + fields + "}"),
        primary, ada);
    QVERIFY(event);
    QCOMPARE(event->url, url.isEmpty() ? std::nullopt : std::optional(QUrl(url)));
}

void TestGoogleEvents::organizerIsMe_data() {
    QTest::addColumn<QByteArray>("organizer");
    QTest::addColumn<bool>("mine");

    QTest::newRow("no organizer") << QByteArray() << true;
    QTest::newRow("self") << QByteArray(R"("organizer":{"email":"x@y.org","self":true})") << true;
    QTest::newRow("address differing in case")
        << QByteArray(R"("organizer":{"email":"Ada@Example.com"})") << true;
    QTest::newRow("someone else") << QByteArray(R"("organizer":{"email":"bob@x.org","self":false})") << false;
}

void TestGoogleEvents::organizerIsMe() {
    QFETCH(QByteArray, organizer);
    QFETCH(bool, mine);
    QByteArray json = R"({"id":"e","start":{"date":"2024-05-06"},"end":{"date":"2024-05-07"})";
    if (!organizer.isEmpty())
        json += ',' + organizer;
    const auto event = GoogleAPI::event(parse(json + "}"), primary, ada);
    QVERIFY(event);
    QCOMPARE(event->organizerIsMe, mine);
}

void TestGoogleEvents::stripHTML_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");

    QTest::newRow("paragraphs and breaks") << "<p>A &amp; B<br/>C</p>"
                                           << "A & B\nC";
    QTest::newRow("lists") << "<ul><li>one</li><li>two</li></ul>"
                           << "one\ntwo";
    QTest::newRow("entities") << "&lt;b&gt; &quot;q&quot; &#39;s&apos;&nbsp;x"
                              << "<b> \"q\" 's' x";
    QTest::newRow("escaped entity stays an entity") << "&amp;lt;"
                                                    << "&lt;";
}

void TestGoogleEvents::stripHTML() {
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(GoogleAPI::stripHTML(html), text);
}

void TestGoogleEvents::calendarList() {
    FakeGoogle google;
    google.addAccount(ada);
    google.addCalendar(ada, {{"id", "b"}, {"summary", "beta"}, {"selected", true}, {"accessRole", "writer"}});
    google.addCalendar(ada,
                       {{"id", "a"}, {"summary", "Alpha"}, {"selected", false}, {"accessRole", "reader"}});
    google.addCalendar(ada, {{"id", "h"}, {"summary", "Hidden"}, {"hidden", true}});
    google.addCalendar(
        ada, {{"id", "o"}, {"summary", "zzz"}, {"summaryOverride", "Over"}, {"backgroundColor", "#ff0000"}});
    google.addCalendar(ada, {{"summary", "No id"}});
    google.setPageSize(2);
    RemoteTestSession session;
    session.setEndpoints(google.endpoints());

    const auto result = runTask(GoogleAPI::calendarList(google.issueAccessToken(ada)));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QStringList order;
    for (const GoogleCalendarInfo& calendar : result.value->list)
        order << calendar.summary;
    QCOMPARE(order, (QStringList{ada, "Alpha", "beta", "Over"}));
    QCOMPARE(result.value->list[0], (GoogleCalendarInfo{ada, ada, "#9fc6e7", true, "owner"}));
    QCOMPARE(result.value->list[3], (GoogleCalendarInfo{"o", "Over", "#ff0000", false, std::nullopt}));
    QCOMPARE(result.value->unselected, (QSet<QString>{"a", "o"}));

    const QList<HttpRequest> requests = google.server().requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests[0].path, QStringLiteral("/calendar/v3/users/me/calendarList"));
    QCOMPARE(requests[0].queryNames(), (QStringList{"minAccessRole", "showHidden"}));
    QCOMPARE(requests[0].queryValue(u"minAccessRole"), QStringLiteral("reader"));
    QCOMPARE(requests[0].queryValue(u"showHidden"), QStringLiteral("false"));
}

void TestGoogleEvents::eventsListing() {
    FakeGoogle google;
    google.addAccount(ada);
    const QDateTime from = berlin(2024, 5, 6);
    const QDateTime to = berlin(2024, 5, 13);
    google.addEvent(ada,
                    FakeGoogle::timedEvent("late", "Late", from.addDays(2), from.addDays(2).addSecs(1800)));
    google.addEvent(ada, FakeGoogle::allDayEvent("early", "Early", QDate(2024, 5, 6), QDate(2024, 5, 7)));
    QJsonObject cancelled =
        FakeGoogle::timedEvent("gone", "Gone", from.addDays(1), from.addDays(1).addSecs(60));
    cancelled.insert("status", "cancelled");
    google.addEvent(ada, cancelled);
    google.addEvent(ada, FakeGoogle::timedEvent("outside", "Outside", to.addDays(1), to.addDays(2)));
    RemoteTestSession session;
    session.setEndpoints(google.endpoints());

    const auto result = runTask(GoogleAPI::events(primary, ada, from, to, google.issueAccessToken(ada)));
    QVERIFY2(result.ok(), qPrintable(result.errorMessage()));
    QStringList titles;
    for (const CalEvent& event : *result.value)
        titles << event.title;
    QCOMPARE(titles, (QStringList{"Early", "Late"}));

    const HttpRequest request = google.server().requests().constLast();
    QCOMPARE(request.rawPath, QByteArray("/calendar/v3/calendars/ada@example.com/events"));
    QCOMPARE(request.queryNames().size(), 6);
    QCOMPARE(request.queryValue(u"timeMin"), QStringLiteral("2024-05-05T22:00:00Z"));
    QCOMPARE(request.queryValue(u"timeMax"), QStringLiteral("2024-05-12T22:00:00Z"));
    QCOMPARE(request.queryValue(u"singleEvents"), QStringLiteral("true"));
    QCOMPARE(request.queryValue(u"orderBy"), QStringLiteral("startTime"));
    QCOMPARE(request.queryValue(u"maxResults"), QStringLiteral("250"));
    QCOMPARE(request.queryValue(u"showDeleted"), QStringLiteral("false"));
}

QTEST_GUILESS_MAIN(TestGoogleEvents)
#include "tst_googleevents.moc"
