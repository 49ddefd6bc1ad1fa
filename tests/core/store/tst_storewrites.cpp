#include "GoogleStoreWorld.h"

#include "support/Khal.h"
#include "support/TaskResult.h"
#include "support/TestEvents.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QUuid>

// Runs in Europe/Berlin: new meetings carry the local offset and the zone's name. Google events live
// on the fake server and are written through the real client; local events live in the harness's
// "Work" folder.
namespace {

QJsonObject json(const char* text) {
    return QJsonDocument::fromJson(text).object();
}

QuickAddDraft draftOf(const CalEvent& event) {
    return {event.title, event.start, event.end, event.isAllDay};
}

QList<Person> people(const QStringList& addresses) {
    QList<Person> out;
    for (const QString& address : addresses)
        out << Person(address);
    return out;
}

// Ada's own entry in a guest list.
const QJsonObject self = json(R"({"email": "ada@corp.io", "self": true, "responseStatus": "accepted"})");

GoogleAccount account(const QString& email, bool canWrite, const QList<GoogleCalendarInfo>& calendars,
                      const QSet<QString>& hidden = {}) {
    GoogleAccount a;
    a.email = email;
    a.scopes = QStringList{canWrite ? FakeGoogle::eventsScope : FakeGoogle::readOnlyScope};
    a.calendars = calendars;
    a.hiddenCalendarIDs = hidden;
    return a;
}

GoogleCalendarInfo calendar(const QString& id, bool primary = false) {
    return {id, id.section(QLatin1Char('@'), 0, 0), std::nullopt, primary, QStringLiteral("writer")};
}

} // namespace

struct Meeting {
    QString target; // the calendar id
    QuickAddDraft draft;
    QStringList guests;
    bool meet;
    QJsonObject body; // empty: not compared
    QString toast;
};
struct Targets {
    QList<GoogleAccount> accounts;
    QString stored;
    QStringList targets;
    QString chosen; // empty: none
    bool needsWriteAccess;
};
struct Edit {
    QString title; // the event's
    bool hasMeet;  // the event's
    QString newTitle;
    int shift; // seconds the draft moves start and end
    bool flipAllDay;
    QStringList guests;
    bool meet;
    QStringList sent; // the keys of the change sent; empty: nothing sent
    QString toast;
};
struct Refusal {
    QString operation;
    QString event; // notion, read-only, disconnected
    QString message;
};
struct Removal {
    QString operation;
    QString kind; // what the event is
    bool notified;
    QString toast;
};
Q_DECLARE_METATYPE(Meeting)
Q_DECLARE_METATYPE(Targets)
Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(Removal)

class TestStoreWrites : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void meetingsAsSentAndShown_data() {
        QTest::addColumn<Meeting>("c");
        const QTimeZone berlin("Europe/Berlin");
        const auto at = [&](int day, int hour, int minute) {
            return QDateTime(QDate(2026, 3, day), QTime(hour, minute), berlin).toUTC();
        };
        const QString ada = GoogleStoreWorld::ada;
        const QString team = GoogleStoreWorld::team;
        const QJsonObject nightShift = json(R"({"summary": "Night shift",
            "start": {"dateTime": "2026-03-29T01:30:00+01:00", "timeZone": "Europe/Berlin"},
            "end": {"dateTime": "2026-03-29T03:30:00+02:00", "timeZone": "Europe/Berlin"},
            "reminders": {"useDefault": true}})");
        const QJsonObject offsite = json(R"({"summary": "Offsite", "start": {"date": "2026-03-27"},
            "end": {"date": "2026-03-28"}, "reminders": {"useDefault": true}})");
        const QJsonObject review = json(R"({"summary": "Review",
            "start": {"dateTime": "2026-03-26T14:00:00+01:00", "timeZone": "Europe/Berlin"},
            "end": {"dateTime": "2026-03-26T15:00:00+01:00", "timeZone": "Europe/Berlin"},
            "attendees": [{"email": "Bob@X.org"}, {"email": "cy@x.org"}], "guestsCanModify": false,
            "conferenceData": {"createRequest": {"requestId": "uuid",
                                                 "conferenceSolutionKey": {"type": "hangoutsMeet"}}},
            "reminders": {"useDefault": true}})");
        QTest::newRow("timed across the spring change, primary calendar") << Meeting{
            ada, {"Night shift", at(29, 1, 30), at(29, 3, 30)}, {}, false, nightShift, "Added to " + ada};
        QTest::newRow("all day, another calendar") << Meeting{
            team, {"Offsite", at(27, 0, 0), at(28, 0, 0), true}, {}, false, offsite, "Added to Team"};
        QTest::newRow("guests and Meet")
            << Meeting{ada,    {"Review", at(26, 14, 0), at(26, 15, 0)}, {"Bob@X.org", "cy@x.org"}, true,
                       review, "Invites sent · Google Meet added"};
        QTest::newRow("Meet alone") << Meeting{
            team, {"Call", at(26, 16, 0), at(26, 16, 30)}, {}, true, {}, "Google Meet added"};
    }
    void meetingsAsSentAndShown() {
        QFETCH(Meeting, c);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = w.h.start();
        const GoogleCalendarInfo calendar =
            w.h.settings->google().accounts[0].calendars[c.target == w.ada ? 0 : 1];

        const auto created =
            runTask(store.createMeeting(c.draft, people(c.guests), c.meet, {w.ada, calendar}));
        QVERIFY2(created.ok(), qPrintable(created.errorMessage()));
        const QList<HttpRequest> inserts = w.google.server().requests("POST", u"/calendar");
        QCOMPARE(inserts.size(), 1);
        QCOMPARE(inserts[0].path, "/calendar/v3/calendars/" + c.target + "/events");
        QCOMPARE(inserts[0].queryValue(u"conferenceDataVersion"), QStringLiteral("1"));
        QCOMPARE(inserts[0].queryValue(u"sendUpdates"),
                 c.guests.isEmpty() ? QString() : QStringLiteral("all"));
        QJsonObject sent = inserts[0].json();
        if (c.meet) {
            QJsonObject conference = sent.value("conferenceData").toObject();
            QJsonObject request = conference.value("createRequest").toObject();
            QVERIFY(!QUuid(request.value("requestId").toString()).isNull());
            request.insert("requestId", "uuid");
            conference.insert("createRequest", request);
            sent.insert("conferenceData", conference);
        }
        if (!c.body.isEmpty())
            QCOMPARE(sent, c.body);

        // In the agenda when the call returns, its day selected, the toast up.
        QCOMPARE(store.googleEvents().size(), 1);
        QCOMPARE(store.googleEvents()[0].id, created.value->id);
        QCOMPARE(store.googleEvents()[0].hasGoogleMeet(), c.meet);
        QCOMPARE(store.selectedDate(), w.h.cal.startOfDay(c.draft.start));
        QCOMPARE(store.toast(), std::optional<QString>(c.toast));
        QCOMPARE(w.h.settings->defaultMeetingTarget(), w.ada + "|" + c.target);
    }

    void recentInviteesPutNewGuestsFirst() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        QStringList old;
        for (int i = 0; i < 40; ++i)
            old << (i == 10 ? QStringLiteral("BOB@x.org") : QStringLiteral("old%1@x.org").arg(i));
        w.h.settings->setRecentInvitees(old);
        TestableStore& store = w.h.start();
        const QDateTime start = w.h.at("2026-03-26 14:00");
        const auto created = runTask(
            store.createMeeting({"Sync", start, start.addSecs(1800)}, people({"Bob@X.org", "new@x.org"}),
                                false, {w.ada, w.h.settings->google().accounts[0].calendars[0]}));
        QVERIFY2(created.ok(), qPrintable(created.errorMessage()));
        old.removeAt(10);
        QCOMPARE(w.h.settings->recentInvitees(), QStringList({"Bob@X.org", "new@x.org"}) + old.mid(0, 38));
    }

    void targetsAndTheDefault_data() {
        QTest::addColumn<Targets>("c");
        const GoogleAccount readOnly = account("ro@x.org", false, {calendar("ro@x.org", true)});
        const GoogleAccount ada = account(
            "ada@x.org", true, {calendar("team@x.org"), calendar("ada@x.org", true), calendar("old@x.org")},
            {"old@x.org"});
        const GoogleAccount bob = account("bob@x.org", true, {calendar("side@x.org")});
        const QStringList all{"ada@x.org|ada@x.org", "ada@x.org|team@x.org", "bob@x.org|side@x.org"};
        QTest::newRow("nothing stored: a primary calendar")
            << Targets{{readOnly, ada, bob}, "", all, "ada@x.org|ada@x.org", false};
        QTest::newRow("stored one wins")
            << Targets{{readOnly, ada, bob}, "bob@x.org|side@x.org", all, "bob@x.org|side@x.org", false};
        QTest::newRow("stored one hidden since")
            << Targets{{readOnly, ada, bob}, "ada@x.org|old@x.org", all, "ada@x.org|ada@x.org", false};
        QTest::newRow("no primary: the first")
            << Targets{{bob}, "ada@x.org|old@x.org", {"bob@x.org|side@x.org"}, "bob@x.org|side@x.org", false};
        QTest::newRow("read-only accounts only") << Targets{{readOnly}, "", {}, "", true};
        QTest::newRow("no account") << Targets{{}, "", {}, "", false};
    }
    void targetsAndTheDefault() {
        QFETCH(Targets, c);
        StoreHarness h;
        h.settings->setGoogle({QStringLiteral("client"), QStringLiteral("secret"), c.accounts});
        h.settings->setDefaultMeetingTarget(c.stored);
        TestableStore& store = h.start();
        QStringList ids;
        for (const EventStore::MeetingTarget& target : store.meetingTargets())
            ids << target.id();
        QCOMPARE(ids, c.targets);
        QCOMPARE(store.defaultMeetingTarget() ? store.defaultMeetingTarget()->id() : QString(), c.chosen);
        QCOMPARE(store.googleNeedsWriteAccess(), c.needsWriteAccess);
    }

    // Google made the meeting but its reply does not read as one: the meeting is shown before the
    // error, so that nobody makes it (and sends its invitations) twice.
    void unreadableReplyStillShowsTheMeeting() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = w.h.start();
        const QDateTime start = w.h.at("2026-03-26 14:00");
        w.addEvent(w.ada, "Planning", "2026-03-26 14:00");
        w.google.server().scriptNext("POST", "/calendar/v3/calendars/",
                                     HttpReply::json(200, {{"id", "made"}}));

        const auto created =
            runTask(store.createMeeting({"Planning", start, start.addSecs(3600)}, people({"bob@x.org"}),
                                        false, {w.ada, w.h.settings->google().accounts[0].calendars[0]}));
        QCOMPARE(created.errorMessage(),
                 QStringLiteral("Google created the event but returned something unexpected"));
        QCOMPARE(StoreHarness::titles(store.googleEvents()), QStringList{"Planning"});
        QVERIFY(w.h.settings->recentInvitees().isEmpty());
        QVERIFY(w.h.settings->defaultMeetingTarget().isEmpty());
        QVERIFY(!store.toast());
    }

    // The token renews while the settings change: both the new token and the change are kept.
    void tokenRenewedWhileSettingsChange() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = w.h.start();
        GoogleConfig config = w.h.settings->google();
        config.accounts[0].expiry = w.h.clock.now().addSecs(-60);
        w.h.settings->setGoogle(config);

        w.google.server().hold("POST", "/token");
        const QDateTime start = w.h.at("2026-03-26 14:00");
        const auto created = startTask(store.createMeeting({"Sync", start, start.addSecs(1800)}, {}, false,
                                                           {w.ada, config.accounts[0].calendars[0]}));
        QVERIFY(w.google.server().heldCount() > 0 || w.google.server().waitForRequests(1));
        store.setGoogleCalendar(w.team, w.ada, false);
        w.google.server().release();
        QVERIFY(finish(*created));
        QVERIFY2(created->ok(), qPrintable(created->errorMessage()));

        const GoogleAccount stored = AppSettings(SettingsLocations::standard()).google().accounts.value(0);
        QCOMPARE(stored.hiddenCalendarIDs, QSet<QString>{w.team});
        QVERIFY(stored.accessToken != config.accounts[0].accessToken);
    }

    void localEventsGoToTheFolderKhalReads() {
        StoreHarness h(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = h.start();
        const LocalCalendar work = store.calendar().calendars().value(0);
        const CalEvent dentist =
            store.addEvent({"Dentist", h.at("2026-03-26 14:00"), h.at("2026-03-26 15:00")}, work);
        QCOMPARE(store.toast(), std::optional<QString>("Added to Work"));
        QCOMPARE(store.selectedDate(), h.at("2026-03-26 00:00"));
        store.addEvent({"Holiday", h.at("2026-03-27 00:00"), h.at("2026-03-28 00:00"), true}, work);
        h.settle(); // the agenda reads the folder on the reading threads
        QCOMPARE(h.titlesOn("2026-03-26"), QStringList{"Dentist"});
        QCOMPARE(h.titlesOn("2026-03-27"), QStringList{"Holiday"});
        QCOMPARE(dentist.source, EventSource::calendar);

        const Khal::Listing listing = Khal::list({h.collection}, QStringLiteral("Europe/Berlin"),
                                                 "2026-03-25", "2026-03-28", h.home.path());
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QCOMPARE(listing.lines,
                 (QStringList{"2026-03-26 14:00 2026-03-26 15:00 Dentist", "2026-03-27 2026-03-27 Holiday"}));
    }

    // The calendars are read once per local write, also when the new event's week comes on screen.
    void aLocalWriteReadsTheCalendarsOnce_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("weekStart");
        QTest::newRow("in the viewed week") << "2026-03-26 14:00"
                                            << "2026-03-23";
        QTest::newRow("four weeks on, outside the loaded window") << "2026-04-22 14:00"
                                                                  << "2026-04-20";
    }
    void aLocalWriteReadsTheCalendarsOnce() {
        QFETCH(QString, start);
        QFETCH(QString, weekStart);
        StoreHarness h(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = h.start();
        const LocalCalendar work = store.calendar().calendars().value(0);
        const QString day = start.left(10);

        int before = h.reloads();
        const CalEvent added = store.addEvent({"Dentist", h.at(start), h.at(start).addSecs(3600)}, work);
        QCOMPARE(store.weekStart(), h.at(weekStart + " 00:00"));
        h.settle();
        QCOMPARE(h.titlesOn(day), QStringList{"Dentist"});
        QCOMPARE(h.reloads() - before, 1);

        store.select(h.at("2026-03-25 00:00"));
        h.settle();
        before = h.reloads();
        const auto renamed =
            runTask(store.updateEvent(added, {"Dentist 2", added.start, added.end}, {}, false));
        QVERIFY2(renamed.ok(), qPrintable(renamed.errorMessage()));
        h.settle();
        QCOMPARE(h.titlesOn(day), QStringList{"Dentist 2"});
        QCOMPARE(h.reloads() - before, 1);
    }

    void whatAnEditSends_data() {
        QTest::addColumn<Edit>("c");
        const QStringList none;
        QTest::newRow("moved 30 s") << Edit{"Review", false, "Review", 30, false, none, false, none, "Saved"};
        QTest::newRow("moved 60 s") << Edit{"Review", false, "Review",         60,     false,
                                            none,     false, {"end", "start"}, "Saved"};
        QTest::newRow("all day, same times")
            << Edit{"Review", false, "Review", 0, true, none, false, {"end", "start"}, "Saved"};
        QTest::newRow("retitled") << Edit{"Review", false, "Design review", 0,      false,
                                          none,     false, {"summary"},     "Saved"};
        QTest::newRow("Untitled left empty")
            << Edit{"Untitled", false, "", 0, false, none, false, none, "Saved"};
        QTest::newRow("guests only") << Edit{"Review", false,         "Review",
                                             0,        false,         {"bob@x.org"},
                                             false,    {"attendees"}, "Saved · guests notified"};
        QTest::newRow("Meet added") << Edit{
            "Review", false, "Review", 0, false, none, true, {"conferenceData"}, "Saved · Meet link added"};
        QTest::newRow("Meet removed") << Edit{
            "Review", true, "Review", 0, false, none, false, {"conferenceData"}, "Saved · Meet link removed"};
        QTest::newRow("Meet kept") << Edit{"Review", true, "Review", 0, false, none, true, none, "Saved"};
    }
    void whatAnEditSends() {
        QFETCH(Edit, c);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        QJsonObject stored =
            FakeGoogle::timedEvent("e1", c.title, w.h.at("2026-03-25 14:00"), w.h.at("2026-03-25 15:00"));
        stored.insert("attendees", QJsonArray{self});
        if (c.hasMeet)
            stored.insert("hangoutLink", "https://meet.google.com/abc-defg-hij");
        w.google.addEvent(w.ada, stored);
        TestableStore& store = w.h.start();
        const CalEvent event = w.googleEvent(c.title);
        QCOMPARE(event.hasGoogleMeet(), c.hasMeet);

        const QuickAddDraft draft{c.newTitle, event.start.addSecs(c.shift), event.end.addSecs(c.shift),
                                  event.isAllDay != c.flipAllDay};
        const int refreshes = store.googleRefreshes;
        const auto updated = runTask(store.updateEvent(event, draft, people(c.guests), c.meet));
        QVERIFY2(updated.ok(), qPrintable(updated.errorMessage()));
        const QList<HttpRequest> patches = w.google.server().requests("PATCH", u"/");
        QStringList keys = patches.isEmpty() ? QStringList() : patches[0].json().keys();
        keys.sort();
        QCOMPARE(keys, c.sent);
        if (!patches.isEmpty())
            QCOMPARE(patches[0].hasQueryItem(u"sendUpdates"), !c.guests.isEmpty());
        QCOMPARE(store.toast(), std::optional<QString>(c.toast));
        QCOMPARE(store.googleRefreshes, refreshes + 1);
        QCOMPARE(w.h.settings->recentInvitees(), c.guests);
    }

    void editsOfPagesAndUnusableAccountsAreRefused_data() {
        QTest::addColumn<Refusal>("c");
        QTest::newRow("edit a page") << Refusal{"update", "notion", "Edit Notion pages in Notion"};
        QTest::newRow("delete a page") << Refusal{"delete", "notion", "Delete Notion pages in Notion"};
        QTest::newRow("decline a page")
            << Refusal{"decline", "notion", "Respond to this invitation in Notion"};
        QTest::newRow("edit through a read-only account")
            << Refusal{"update", "read-only",
                       "Google was connected read-only — reconnect in Settings → Google to edit events"};
        QTest::newRow("delete of a removed account's event")
            << Refusal{"delete", "disconnected", "That Google account is no longer connected"};
    }
    void editsOfPagesAndUnusableAccountsAreRefused() {
        QFETCH(Refusal, c);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        w.addEvent(w.ada, "Review", "2026-03-25 14:00");
        TestableStore& store = w.h.start();
        CalEvent target = w.googleEvent("Review");
        if (c.event == "notion") {
            target.source = EventSource::notion;
            target.id = CalEvent::notionId("page");
        }
        GoogleConfig config = w.h.settings->google();
        if (c.event == "read-only")
            config.accounts[0].scopes = QStringList{FakeGoogle::readOnlyScope};
        if (c.event == "disconnected")
            config.accounts[0].email = QStringLiteral("someone@else.org");
        w.h.settings->setGoogle(config);
        w.google.server().clearRequests();

        const QString error =
            c.operation == "update"
                ? runTask(store.updateEvent(target, draftOf(target), {}, false)).errorMessage()
            : c.operation == "delete" ? runTask(store.deleteEvent(target)).errorMessage()
                                      : runTask(store.declineEvent(target)).errorMessage();
        QCOMPARE(error, c.message);
        QVERIFY(w.google.server().requests().isEmpty());
        QVERIFY(!store.toast());
    }

    void aMovedMeetingAlertsAgain() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        w.addEvent(w.ada, "Sync", "2026-03-25 10:30");
        TestableStore& store = w.h.start();
        w.h.advance(28 * 60 + 10);
        QCOMPARE(store.alert()->event.title, QStringLiteral("Sync"));

        // Renamed at the same time: the alert goes and comes back with the new title.
        const CalEvent event = store.alert()->event;
        QVERIFY(runTask(store.updateEvent(event, {"Sync 2", event.start, event.end}, {}, false)).ok());
        QVERIFY(!store.alert());
        w.h.advance(10);
        QCOMPARE(store.alert()->event.title, QStringLiteral("Sync 2"));

        const QuickAddDraft later{"Sync 2", w.h.at("2026-03-25 11:00"), w.h.at("2026-03-25 11:30")};
        QVERIFY(runTask(store.updateEvent(store.alert()->event, later, {}, false)).ok());
        QVERIFY(!store.alert());
        QCOMPARE(w.googleEvent("Sync 2").start, later.start);
        w.h.advance(30 * 60);
        QCOMPARE(store.alert()->event.start, later.start);
        QCOMPARE(store.alert()->kind, MeetingAlert::Kind::imminent);
    }

    void deletingAndDeclining_data() {
        QTest::addColumn<Removal>("c");
        QTest::newRow("Google, alone") << Removal{"delete", "alone", false, "Deleted"};
        QTest::newRow("Google, a guest without address")
            << Removal{"delete", "guest", true, "Deleted · guests notified"};
        QTest::newRow("Google, one of a series")
            << Removal{"delete", "series", false, "Deleted this occurrence"};
        QTest::newRow("Google invitation")
            << Removal{"decline", "invited", true, "Declined · the organizer was notified"};
        QTest::newRow("local") << Removal{"delete", "local", false, "Deleted from Work"};
        QTest::newRow("local invitation") << Removal{"decline", "local", false, "Removed from your calendar"};
    }
    void deletingAndDeclining() {
        QFETCH(Removal, c);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        QJsonObject stored =
            FakeGoogle::timedEvent("e1", "Review", w.h.at("2026-03-25 10:30"), w.h.at("2026-03-25 11:00"));
        if (c.kind == "series")
            stored.insert("recurringEventId", "weekly");
        if (c.kind == "invited")
            stored.insert("attendees", QJsonArray{self});
        if (c.kind == "local")
            w.h.writeLocalEvent("l1", "Review", w.h.at("2026-03-25 10:30"), w.h.at("2026-03-25 11:00"));
        else
            w.google.addEvent(w.ada, stored);
        TestableStore& store = w.h.start();
        CalEvent event = store.events(w.h.at("2026-03-25 00:00")).value(0);
        store.showAlert({event, MeetingAlert::Kind::imminent, store.now()});
        if (c.kind == "guest")
            event.attendees.append(TestEvents::guest("Room 4", QString()));

        // The event leaves the agenda at once, before the refresh that follows confirms it.
        QStringList listedAtRefresh{"no refresh"};
        QObject::connect(&w.google.server(), &FakeHttpServer::requestReceived, &store,
                         [&](const HttpRequest& r) {
                             if (r.path.endsWith(u"/events"))
                                 listedAtRefresh = w.h.titlesOn("2026-03-25");
                         });
        const auto done =
            startTask(c.operation == "delete" ? store.deleteEvent(event) : store.declineEvent(event));
        QVERIFY(finish(*done));
        QVERIFY2(done->ok(), qPrintable(done->errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>(c.toast));
        QVERIFY(!store.alert());
        QVERIFY(w.h.titlesOn("2026-03-25").isEmpty());
        QCOMPARE(listedAtRefresh, c.kind == "local" ? QStringList{"no refresh"} : QStringList{});
        const QList<HttpRequest> writes = w.writes();
        QCOMPARE(writes.size(), c.kind == "local" ? 0 : 1);
        if (c.kind == "local")
            QVERIFY(!QFile::exists(w.h.collection + "/l1.ics"));
        else
            QCOMPARE(writes[0].hasQueryItem(u"sendUpdates"), c.notified);
    }

    void aFailedWriteChangesNothing() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        w.addEvent(w.ada, "Review", "2026-03-25 10:30");
        TestableStore& store = w.h.start();
        const CalEvent event = w.googleEvent("Review");
        store.showAlert({event, MeetingAlert::Kind::imminent, store.now()});
        w.google.server().scriptNext("PATCH", "/", FakeGoogle::errorReply(500, QString(), "Backend Error"));
        w.google.server().scriptNext("DELETE", "/", FakeGoogle::errorReply(500, QString(), "Backend Error"));
        const int refreshes = store.googleRefreshes;

        QCOMPARE(
            runTask(store.updateEvent(event, {"Renamed", event.start, event.end}, {}, false)).errorMessage(),
            QStringLiteral("Backend Error"));
        QCOMPARE(runTask(store.deleteEvent(event)).errorMessage(), QStringLiteral("Backend Error"));
        QVERIFY(!store.toast());
        QCOMPARE(store.googleRefreshes, refreshes);
        QCOMPARE(store.alert()->event.id, event.id);
        QCOMPARE(StoreHarness::titles(store.googleEvents()), QStringList{"Review"});
    }

    void oneOccurrenceOfALocalSeries() {
        StoreHarness h(QStringLiteral("2026-03-23 08:00"));
        h.writeLocalEvent("standup", "Standup", h.at("2026-03-23 09:00"), h.at("2026-03-23 09:15"),
                          {"RRULE:FREQ=DAILY;COUNT=4"});
        TestableStore& store = h.start();
        const auto onDay = [&](int day) {
            return store.events(h.at(QStringLiteral("2026-03-%1 00:00").arg(day)));
        };

        const QuickAddDraft later{"Standup (late)", onDay(24)[0].start.addSecs(3600),
                                  onDay(24)[0].end.addSecs(3600)};
        const auto updated = runTask(store.updateEvent(onDay(24)[0], later, {}, false));
        QVERIFY2(updated.ok(), qPrintable(updated.errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>("Saved to Work"));
        const auto deleted = runTask(store.deleteEvent(onDay(25)[0]));
        QVERIFY2(deleted.ok(), qPrintable(deleted.errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>("Deleted this occurrence"));

        QCOMPARE(h.titlesOn("2026-03-23"), QStringList{"Standup"});
        QCOMPARE(h.titlesOn("2026-03-24"), QStringList{"Standup (late)"});
        QVERIFY(onDay(25).isEmpty());
        QCOMPARE(h.titlesOn("2026-03-26"), QStringList{"Standup"});
        const Khal::Listing listing = Khal::list({h.collection}, QStringLiteral("Europe/Berlin"),
                                                 "2026-03-23", "2026-03-26", h.home.path());
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QCOMPARE(listing.lines, (QStringList{"2026-03-23 09:00 2026-03-23 09:15 Standup",
                                             "2026-03-24 10:00 2026-03-24 10:15 Standup (late)",
                                             "2026-03-26 09:00 2026-03-26 09:15 Standup"}));
    }
};

QTEST_GUILESS_MAIN(TestStoreWrites)
#include "tst_storewrites.moc"
