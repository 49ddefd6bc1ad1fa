#include "StoreHarness.h"

#include "core/settings/SettingsLocations.h"
#include "support/FakeGoogle.h"
#include "support/TaskResult.h"
#include "support/TestEvents.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

// Creating, changing, deleting and declining events: what the store sends its sources, and what the
// agenda, the toast, the alert and the settings show afterwards. Google events live on the fake
// source; local events in the harness's "Work" folder.
namespace {

const QString ada = QStringLiteral("ada@corp.io");
const QString team = QStringLiteral("team@corp.io");
const GoogleCalendarInfo teamCalendar{team, QStringLiteral("Team"), std::nullopt, false,
                                      QStringLiteral("writer")};

QJsonObject json(const char* text) {
    return QJsonDocument::fromJson(text).object();
}

QList<Person> people(const QStringList& addresses) {
    QList<Person> out;
    for (const QString& address : addresses)
        out << Person(address);
    return out;
}

// Ada with her primary calendar and the team calendar, on 25 March 2026 at 10:00.
struct Writes : StoreHarness {
    Writes()
        : StoreHarness(QStringLiteral("2026-03-25 10:00")) {
        connect(ada, {teamCalendar});
    }
    EventStore::MeetingTarget target(const QString& calendar) const {
        return {ada, calendar == team ? teamCalendar : settings->google().accounts[0].calendars[0]};
    }
};

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
    QString start, end;
    bool allDay;
    QStringList guests;
    bool meet;
    QByteArray body; // the request's body without "reminders", when given
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
    QString sent; // "title", "slot", "guests" as sent; empty: neither title nor slot
    bool notify;
    QString toast;
};
struct Removal {
    QString operation;
    QString kind; // what the event is
    QString call; // what Google was asked; empty for a local event
    QString toast;
};
Q_DECLARE_METATYPE(Meeting)
Q_DECLARE_METATYPE(Targets)
Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Removal)

class TestStoreWrites : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void meetingsAsSentAndShown_data() {
        QTest::addColumn<Meeting>("c");
        const auto row = [](const char* name, Meeting meeting) { QTest::newRow(name) << meeting; };
        const QByteArray berlinTimes =
            R"({"end":{"dateTime":"2026-03-29T03:30:00+02:00","timeZone":"Europe/Berlin"},)"
            R"("start":{"dateTime":"2026-03-29T01:30:00+01:00","timeZone":"Europe/Berlin"},"summary":"Meeting"})";
        row("timed across the spring change, primary calendar",
            {ada, "2026-03-29 01:30", "2026-03-29 03:30", false, {}, false, berlinTimes, "Added to " + ada});
        const QString toast = "Invites sent · Google Meet added";
        row("guests and Meet, another calendar", {team,
                                                  "2026-03-26 14:00",
                                                  "2026-03-26 15:00",
                                                  false,
                                                  {"Bob@X.org", "cy@x.org"},
                                                  true,
                                                  {},
                                                  toast});
    }
    void meetingsAsSentAndShown() {
        QFETCH(Meeting, c);
        Writes h;
        TestableStore& store = h.start(true);
        const QuickAddDraft draft{"Meeting", h.at(c.start), h.at(c.end), c.allDay};
        const GoogleAPI::InsertIds ids = GoogleAPI::InsertIds::fresh();
        const auto created =
            runTask(store.createMeeting(draft, people(c.guests), c.meet, h.target(c.target), ids));
        QVERIFY2(created.ok(), qPrintable(created.errorMessage()));

        QCOMPARE(h.google->callsOf("insert"), QStringList{"insert " + c.target});
        QJsonObject body = h.google->lastInsert.value("body").toObject();
        QCOMPARE(body.take("reminders"), QJsonValue(QJsonObject{{"useDefault", true}}));
        QCOMPARE(body.take("id").toString(), ids.eventId);
        if (c.meet)
            QCOMPARE(body.value("conferenceData")["createRequest"]["requestId"].toString(),
                     ids.conferenceRequestId);
        if (!c.body.isEmpty())
            QCOMPARE(body, QJsonDocument::fromJson(c.body).object());
        const QJsonObject query = h.google->lastInsert.value("query").toObject();
        QCOMPARE(query.value("sendUpdates").toString(), c.guests.isEmpty() ? QString() : "all");
        QCOMPARE(body.value("attendees").toArray().size(), c.guests.size());
        QCOMPARE(body.contains("conferenceData"), c.meet);

        // In the agenda when the call returns, its day selected, the toast up.
        QCOMPARE(h.titles(store.googleEvents()), QStringList{"Meeting"});
        QCOMPARE(store.googleEvents()[0].id, created.value->id);
        QCOMPARE(store.googleEvents()[0].hasGoogleMeet(), c.meet);
        QCOMPARE(store.selectedDate(), h.cal.startOfDay(draft.start));
        QCOMPARE(store.toast(), std::optional<QString>(c.toast));
        QCOMPARE(h.settings->defaultMeetingTarget(), ada + "|" + c.target);
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
        QTest::newRow("stored one hidden since")
            << Targets{{readOnly, ada, bob}, "ada@x.org|old@x.org", all, "ada@x.org|ada@x.org", false};
        QTest::newRow("read-only accounts only") << Targets{{readOnly}, "", {}, "", true};
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
        Writes h;
        TestableStore& store = h.start(true);
        h.google->insertReply = {{"id", "made"}};
        const QDateTime start = h.at("2026-03-26 14:00");
        const auto created =
            runTask(store.createMeeting({"Planning", start, start.addSecs(3600)}, people({"bob@x.org"}),
                                        false, h.target(ada), GoogleAPI::InsertIds::fresh()));
        QCOMPARE(created.errorMessage(),
                 QStringLiteral("Google created the event but returned something unexpected"));
        QCOMPARE(h.titles(store.googleEvents()), QStringList{"Planning"});
        QVERIFY(h.settings->recentInvitees().isEmpty());
        QVERIFY(h.settings->defaultMeetingTarget().isEmpty());
        QVERIFY(!store.toast());
    }

    // A write waits while its token renews. The settings change meanwhile: both the new token and the
    // change are kept. Or the store goes meanwhile: the call ends as cancelled, touching nothing.
    void whileATokenRenews_data() {
        QTest::addColumn<bool>("storeDeleted");
        QTest::newRow("a calendar hidden meanwhile") << false;
        QTest::newRow("the store deleted meanwhile") << true;
    }
    void whileATokenRenews() {
        QFETCH(bool, storeDeleted);
        Writes h;
        TestableStore& store = h.start(true);
        GoogleConfig config = h.settings->google();
        config.accounts[0].expiry = h.clock.now().addSecs(-60);
        h.settings->setGoogle(config);
        h.google->holds.hold("token " + ada);
        const QDateTime start = h.at("2026-03-26 14:00");
        const auto created = startTask(store.createMeeting({"Sync", start, start.addSecs(1800)}, {}, false,
                                                           h.target(ada), GoogleAPI::InsertIds::fresh()));
        QVERIFY(h.google->holds.waitFor("token " + ada));
        if (storeDeleted)
            h.store.reset();
        else
            store.setGoogleCalendar(team, ada, false);
        h.google->holds.release("token " + ada);
        QVERIFY(finish(*created));
        if (storeDeleted) {
            QVERIFY(created->errorAs<CancelledError>());
            QVERIFY(h.google->callsOf("insert").isEmpty());
            return;
        }
        QVERIFY2(created->ok(), qPrintable(created->errorMessage()));
        const GoogleAccount saved = AppSettings(SettingsLocations::standard()).google().accounts.value(0);
        QCOMPARE(saved.hiddenCalendarIDs, QSet<QString>{team});
        QVERIFY(saved.accessToken->startsWith("renewed-"));
    }

    // The calendars are read once per local write, also when the new event's week comes on screen.
    void localWrites_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("weekStart");
        QTest::newRow("in the viewed week") << "2026-03-26 14:00"
                                            << "2026-03-23";
        QTest::newRow("four weeks on, outside the loaded window") << "2026-04-22 14:00"
                                                                  << "2026-04-20";
    }
    void localWrites() {
        QFETCH(QString, start);
        QFETCH(QString, weekStart);
        StoreHarness h(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = h.start();
        const LocalCalendar work = store.calendar().calendars().value(0);
        const QString day = start.left(10);

        int before = h.reloads();
        const CalEvent added = store.addEvent({"Dentist", h.at(start), h.at(start).addSecs(3600)}, work);
        QCOMPARE(store.toast(), std::optional<QString>("Added to Work"));
        QCOMPARE(store.weekStart(), h.at(weekStart + " 00:00"));
        QCOMPARE(store.selectedDate(), h.at(day + " 00:00"));
        h.settle();
        QCOMPARE(h.titlesOn(day), QStringList{"Dentist"});
        QCOMPARE(h.reloads() - before, 1);

        store.select(h.at("2026-03-25 00:00"));
        h.settle();
        before = h.reloads();
        const auto renamed =
            runTask(store.updateEvent(added, {"Dentist 2", added.start, added.end}, {}, false));
        QVERIFY2(renamed.ok(), qPrintable(renamed.errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>("Saved to Work"));
        h.settle();
        QCOMPARE(h.titlesOn(day), QStringList{"Dentist 2"});
        QCOMPARE(h.reloads() - before, 1);
    }

    void whatAnEditSends_data() {
        QTest::addColumn<Edit>("c");
        const auto row = [](const char* name, Edit edit) { QTest::newRow(name) << edit; };
        row("moved 30 s", {"Review", false, "Review", 30, false, {}, false, "", false, "Saved"});
        row("moved 60 s", {"Review", false, "Review", 60, false, {}, false, "slot", false, "Saved"});
        row("retitled", {"Review", false, "Design review", 0, false, {}, false, "title", false, "Saved"});
        row("guests only",
            {"Review", false, "Review", 0, false, {"bob@x.org"}, false, "", true, "Saved · guests notified"});
        row("Meet removed",
            {"Review", true, "Review", 0, false, {}, false, "", false, "Saved · Meet link removed"});
    }
    void whatAnEditSends() {
        QFETCH(Edit, c);
        Writes h;
        QJsonObject stored =
            FakeGoogle::timedEvent("e1", c.title, h.at("2026-03-25 14:00"), h.at("2026-03-25 15:00"));
        stored.insert("attendees", QJsonArray{json(R"({"email": "ada@corp.io", "self": true})")});
        if (c.hasMeet)
            stored.insert("hangoutLink", "https://meet.google.com/abc-defg-hij");
        h.google->add(ada, stored);
        TestableStore& store = h.start(true);
        const CalEvent event = h.googleEvent(c.title);

        const QuickAddDraft draft{c.newTitle, event.start.addSecs(c.shift), event.end.addSecs(c.shift),
                                  event.isAllDay != c.flipAllDay};
        const int refreshes = store.googleRefreshes;
        const auto updated = runTask(store.updateEvent(event, draft, people(c.guests), c.meet));
        QVERIFY2(updated.ok(), qPrintable(updated.errorMessage()));
        QCOMPARE(h.google->updates.size(), 1);
        const GoogleState::Update& sent = h.google->updates[0];
        QCOMPARE(sent.title, c.sent == "title" ? std::optional(c.newTitle) : std::nullopt);
        QCOMPARE(sent.slot.has_value(), c.sent == "slot");
        if (sent.slot)
            QCOMPARE(sent.slot->start, draft.start);
        QCOMPARE(sent.invitees, c.guests);
        QCOMPARE(sent.notify, c.notify);
        QCOMPARE(sent.hadMeet, c.hasMeet);
        QCOMPARE(store.toast(), std::optional<QString>(c.toast));
        QCOMPARE(store.googleRefreshes, refreshes + 1);
        QCOMPARE(h.settings->recentInvitees(), c.guests);
    }

    // Notion pages are read-only, and a Google event needs its account connected and allowed to write.
    void refusedEditsSendNothing() {
        Writes h;
        h.addGoogle(ada, "Review", "2026-03-25 14:00");
        TestableStore& store = h.start(true);
        h.google->calls.clear();
        CalEvent page = h.googleEvent("Review");
        page.source = EventSource::notion;
        page.id = CalEvent::notionId("page");
        for (const QString& error :
             {runTask(store.updateEvent(page, {"New", page.start, page.end}, {}, false)).errorMessage(),
              runTask(store.deleteEvent(page)).errorMessage(),
              runTask(store.declineEvent(page)).errorMessage()})
            QVERIFY(error.contains("in Notion"));

        const CalEvent event = h.googleEvent("Review");
        GoogleConfig config = h.settings->google();
        config.accounts[0].scopes = QStringList{FakeGoogle::readOnlyScope};
        h.settings->setGoogle(config);
        QVERIFY(runTask(store.deleteEvent(event)).errorMessage().contains("read-only"));
        store.removeGoogleAccount(ada);
        QCOMPARE(runTask(store.declineEvent(event)).errorMessage(),
                 "That Google account is no longer connected");
        QCOMPARE(h.google->calls.filter(QRegularExpression("^(token|update|delete|decline)")), QStringList{});
        QVERIFY(!store.toast());
    }

    // An edit takes the alert down, and the alert comes again: at once for a new title (the fired
    // alert is forgotten), at the new time for a move.
    void anEditedMeetingAlertsAgain() {
        Writes h;
        h.addGoogle(ada, "Sync", "2026-03-25 10:30");
        TestableStore& store = h.start(true);
        h.advance(28 * 60 + 10);
        QVERIFY(store.alert());

        const CalEvent event = store.alert()->event;
        QVERIFY(runTask(store.updateEvent(event, {"Sync 2", event.start, event.end}, {}, false)).ok());
        QVERIFY(!store.alert());
        h.advance(10);
        QVERIFY(store.alert());
        QCOMPARE(store.alert()->event.title, QStringLiteral("Sync 2"));

        const QuickAddDraft later{"Sync 2", h.at("2026-03-25 11:00"), h.at("2026-03-25 11:30")};
        QVERIFY(runTask(store.updateEvent(store.alert()->event, later, {}, false)).ok());
        QVERIFY(!store.alert());
        h.advance(h.clock.now().secsTo(h.at("2026-03-25 10:58:10")));
        QVERIFY(store.alert());
        QCOMPARE(store.alert()->event.start, later.start);
    }

    void deletingAndDeclining_data() {
        QTest::addColumn<Removal>("c");
        const auto row = [](const char* name, Removal removal) { QTest::newRow(name) << removal; };
        row("Google, a guest without address",
            {"delete", "guest", "delete e1 notify", "Deleted · guests notified"});
        row("Google, one of a series", {"delete", "series", "delete e1", "Deleted this occurrence"});
        row("Google invitation",
            {"decline", "invited", "decline e1", "Declined · the organizer was notified"});
        row("local", {"delete", "local", "", "Deleted from Work"});
        row("local, one of a series", {"delete", "local series", "", "Deleted this occurrence"});
    }
    void deletingAndDeclining() {
        QFETCH(Removal, c);
        Writes h;
        QJsonObject stored =
            FakeGoogle::timedEvent("e1", "Review", h.at("2026-03-25 10:30"), h.at("2026-03-25 11:00"));
        if (c.kind == "series")
            stored.insert("recurringEventId", "weekly");
        if (c.kind == "invited")
            stored.insert("attendees", QJsonArray{json(R"({"email": "ada@corp.io", "self": true})")});
        const bool local = c.kind.startsWith("local");
        if (local)
            h.writeLocalEvent("l1", "Review", h.at("2026-03-25 10:30"), h.at("2026-03-25 11:00"),
                              c.kind == "local series" ? QStringList{"RRULE:FREQ=DAILY;COUNT=3"}
                                                       : QStringList{});
        else
            h.google->add(ada, stored);
        TestableStore& store = h.start(true);
        CalEvent event = store.events(h.at("2026-03-25 00:00")).value(0);
        store.showAlert({event, MeetingAlert::Kind::imminent, store.now()});
        if (c.kind == "guest")
            event.attendees.append(TestEvents::guest("Room 4", QString()));

        // The event leaves the agenda at once, before the refresh that follows confirms it.
        h.google->holds.hold("events " + ada);
        const auto done =
            startTask(c.operation == "delete" ? store.deleteEvent(event) : store.declineEvent(event));
        if (!local) {
            QVERIFY(h.google->holds.waitFor("events " + ada));
            QVERIFY(h.titlesOn("2026-03-25").isEmpty());
            h.google->holds.release("events " + ada);
        }
        QVERIFY(finish(*done));
        QVERIFY2(done->ok(), qPrintable(done->errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>(c.toast));
        QVERIFY(!store.alert());
        QVERIFY(h.titlesOn("2026-03-25").isEmpty());
        QCOMPARE(h.google->calls.filter(QRegularExpression("^(delete|decline)")),
                 c.call.isEmpty() ? QStringList() : QStringList{c.call});
        QCOMPARE(QFile::exists(h.collection + "/l1.ics"), c.kind == "local series");
        if (c.kind == "local series")
            QCOMPARE(h.titlesOn("2026-03-26"), QStringList{"Review"});
    }

    void aFailedWriteChangesNothing() {
        Writes h;
        h.addGoogle(ada, "Review", "2026-03-25 10:30");
        TestableStore& store = h.start(true);
        const CalEvent event = h.googleEvent("Review");
        store.showAlert({event, MeetingAlert::Kind::imminent, store.now()});
        h.google->failing.insert("update", "Backend Error");
        h.google->failing.insert("delete", "Backend Error");
        const int refreshes = store.googleRefreshes;

        QCOMPARE(
            runTask(store.updateEvent(event, {"Renamed", event.start, event.end}, {}, false)).errorMessage(),
            QStringLiteral("Backend Error"));
        QCOMPARE(runTask(store.deleteEvent(event)).errorMessage(), QStringLiteral("Backend Error"));
        QVERIFY(!store.toast());
        QCOMPARE(store.googleRefreshes, refreshes);
        QCOMPARE(h.alerted(), event.id);
        QCOMPARE(h.titles(store.googleEvents()), QStringList{"Review"});
    }
};

QTEST_GUILESS_MAIN(TestStoreWrites)
#include "tst_storewrites.moc"
