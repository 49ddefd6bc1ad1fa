#include "GoogleStoreWorld.h"

#include "support/Khal.h"
#include "support/TaskResult.h"

#include <QJsonDocument>
#include <QTest>
#include <QUuid>

// Runs in Europe/Berlin: new meetings carry the local offset and the zone's name.
namespace {

QuickAddDraft draft(const QString& title, const QDateTime& start, const QDateTime& end, bool allDay = false) {
    QuickAddDraft d;
    d.title = title;
    d.start = start;
    d.end = end;
    d.isAllDay = allDay;
    return d;
}

QJsonObject json(const char* text) {
    return QJsonDocument::fromJson(text).object();
}

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

class TestStoreCreate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void meetingsAsSentAndShown_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QuickAddDraft>("draft");
        QTest::addColumn<QStringList>("guests");
        QTest::addColumn<bool>("meet");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QString>("toast");
        const QTimeZone berlin("Europe/Berlin");
        const auto at = [&](int day, int hour, int minute) {
            return QDateTime(QDate(2026, 3, day), QTime(hour, minute), berlin).toUTC();
        };
        QTest::newRow("timed across the spring change, primary calendar")
            << GoogleStoreWorld::ada << draft("Night shift", at(29, 1, 30), at(29, 3, 30)) << QStringList{}
            << false << json(R"({"summary": "Night shift",
                        "start": {"dateTime": "2026-03-29T01:30:00+01:00", "timeZone": "Europe/Berlin"},
                        "end": {"dateTime": "2026-03-29T03:30:00+02:00", "timeZone": "Europe/Berlin"},
                        "reminders": {"useDefault": true}})")
            << "Added to " + GoogleStoreWorld::ada;
        QTest::newRow("all day, another calendar")
            << GoogleStoreWorld::team << draft("Offsite", at(27, 0, 0), at(28, 0, 0), true) << QStringList{}
            << false
            << json(R"({"summary": "Offsite", "start": {"date": "2026-03-27"}, "end": {"date": "2026-03-28"},
                        "reminders": {"useDefault": true}})")
            << "Added to Team";
        QTest::newRow("guests and Meet")
            << GoogleStoreWorld::ada << draft("Review", at(26, 14, 0), at(26, 15, 0))
            << QStringList{"Bob@X.org", "cy@x.org"} << true << json(R"({"summary": "Review",
                        "start": {"dateTime": "2026-03-26T14:00:00+01:00", "timeZone": "Europe/Berlin"},
                        "end": {"dateTime": "2026-03-26T15:00:00+01:00", "timeZone": "Europe/Berlin"},
                        "attendees": [{"email": "Bob@X.org"}, {"email": "cy@x.org"}], "guestsCanModify": false,
                        "conferenceData": {"createRequest": {"requestId": "uuid",
                                           "conferenceSolutionKey": {"type": "hangoutsMeet"}}},
                        "reminders": {"useDefault": true}})")
            << "Invites sent · Google Meet added";
        QTest::newRow("Meet alone") << GoogleStoreWorld::team << draft("Call", at(26, 16, 0), at(26, 16, 30))
                                    << QStringList{} << true << QJsonObject() << "Google Meet added";
    }
    void meetingsAsSentAndShown() {
        QFETCH(QString, target);
        QFETCH(QuickAddDraft, draft);
        QFETCH(QStringList, guests);
        QFETCH(bool, meet);
        QFETCH(QJsonObject, body);
        QFETCH(QString, toast);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = w.h.start();
        QList<Person> invitees;
        for (const QString& guest : guests)
            invitees << Person(guest);
        const GoogleCalendarInfo calendar =
            w.h.settings->google().accounts[0].calendars[target == w.ada ? 0 : 1];

        const auto created = runTask(store.createMeeting(draft, invitees, meet, {w.ada, calendar}));
        QVERIFY2(created.ok(), qPrintable(created.errorMessage()));

        const QList<HttpRequest> inserts = w.google.server().requests("POST", u"/calendar");
        QCOMPARE(inserts.size(), 1);
        QCOMPARE(inserts[0].path, "/calendar/v3/calendars/" + target + "/events");
        QCOMPARE(inserts[0].queryValue(u"conferenceDataVersion"), QStringLiteral("1"));
        QCOMPARE(inserts[0].queryValue(u"sendUpdates"), guests.isEmpty() ? QString() : QStringLiteral("all"));
        QJsonObject sent = inserts[0].json();
        if (meet) {
            QJsonObject conference = sent.value("conferenceData").toObject();
            QJsonObject request = conference.value("createRequest").toObject();
            QVERIFY(!QUuid(request.value("requestId").toString()).isNull());
            request.insert("requestId", "uuid");
            conference.insert("createRequest", request);
            sent.insert("conferenceData", conference);
        }
        if (!body.isEmpty())
            QCOMPARE(sent, body);

        // In the agenda when the call returns, its day selected, the toast up.
        QCOMPARE(store.googleEvents().size(), 1);
        QCOMPARE(store.googleEvents()[0].id, created.value->id);
        QCOMPARE(store.googleEvents()[0].hasGoogleMeet(), meet);
        QCOMPARE(store.selectedDate(), w.h.cal.startOfDay(draft.start));
        QCOMPARE(store.toast(), std::optional<QString>(toast));
        QCOMPARE(w.h.settings->defaultMeetingTarget(), w.ada + "|" + target);
    }

    void recentInviteesPutNewGuestsFirst() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        QStringList old;
        for (int i = 0; i < 40; ++i)
            old << (i == 10 ? QStringLiteral("bob@x.org") : QStringLiteral("old%1@x.org").arg(i));
        w.h.settings->setRecentInvitees(old);
        TestableStore& store = w.h.start();
        const QDateTime start = w.h.at("2026-03-26 14:00");
        const auto created = runTask(store.createMeeting(
            draft("Sync", start, start.addSecs(1800)), {Person("Bob@X.org"), Person("new@x.org")}, false,
            {w.ada, w.h.settings->google().accounts[0].calendars[0]}));
        QVERIFY2(created.ok(), qPrintable(created.errorMessage()));

        QStringList expected{"Bob@X.org", "new@x.org"};
        for (int i = 0; i < 40 && expected.size() < 40; ++i) {
            if (i != 10)
                expected << QStringLiteral("old%1@x.org").arg(i);
        }
        QCOMPARE(w.h.settings->recentInvitees(), expected);
    }

    void targetsAndTheDefault_data() {
        QTest::addColumn<QList<GoogleAccount>>("accounts");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("targets");
        QTest::addColumn<QString>("chosen"); // empty: none
        QTest::addColumn<bool>("needsWriteAccess");
        const GoogleAccount readOnly = account("ro@x.org", false, {calendar("ro@x.org", true)});
        const GoogleAccount ada = account(
            "ada@x.org", true, {calendar("team@x.org"), calendar("ada@x.org", true), calendar("old@x.org")},
            {"old@x.org"});
        const GoogleAccount bob = account("bob@x.org", true, {calendar("side@x.org")});
        const QStringList all{"ada@x.org|ada@x.org", "ada@x.org|team@x.org", "bob@x.org|side@x.org"};
        QTest::newRow("nothing stored: a primary calendar")
            << QList{readOnly, ada, bob} << "" << all << "ada@x.org|ada@x.org" << false;
        QTest::newRow("stored one wins")
            << QList{readOnly, ada, bob} << "bob@x.org|side@x.org" << all << "bob@x.org|side@x.org" << false;
        QTest::newRow("stored one hidden since")
            << QList{readOnly, ada, bob} << "ada@x.org|old@x.org" << all << "ada@x.org|ada@x.org" << false;
        QTest::newRow("no primary: the first")
            << QList{bob} << "ada@x.org|old@x.org" << QStringList{"bob@x.org|side@x.org"}
            << "bob@x.org|side@x.org" << false;
        QTest::newRow("read-only accounts only") << QList{readOnly} << "" << QStringList{} << "" << true;
        QTest::newRow("no account") << QList<GoogleAccount>{} << "" << QStringList{} << "" << false;
    }
    void targetsAndTheDefault() {
        QFETCH(QList<GoogleAccount>, accounts);
        QFETCH(QString, stored);
        QFETCH(QStringList, targets);
        QFETCH(QString, chosen);
        QFETCH(bool, needsWriteAccess);
        StoreHarness h(QStringLiteral("2026-03-25 10:00"), Cal::current());
        h.settings->setGoogle({QStringLiteral("client"), QStringLiteral("secret"), accounts});
        h.settings->setDefaultMeetingTarget(stored);
        TestableStore& store = h.start();

        QStringList ids;
        for (const EventStore::MeetingTarget& target : store.meetingTargets())
            ids << target.id();
        QCOMPARE(ids, targets);
        QCOMPARE(store.defaultMeetingTarget() ? store.defaultMeetingTarget()->id() : QString(), chosen);
        QCOMPARE(store.googleNeedsWriteAccess(), needsWriteAccess);
    }

    // Google made the meeting but its reply does not read as one: the meeting is shown before the
    // error, so that nobody makes it (and sends its invitations) twice.
    void unreadableReplyStillShowsTheMeeting() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        TestableStore& store = w.h.start();
        const QDateTime start = w.h.at("2026-03-26 14:00");
        w.google.addEvent(w.ada, FakeGoogle::timedEvent("made", "Planning", start, start.addSecs(3600)));
        w.google.server().scriptNext("POST", "/calendar/v3/calendars/",
                                     HttpReply::json(200, {{"id", "made"}}));

        const auto created =
            runTask(store.createMeeting(draft("Planning", start, start.addSecs(3600)), {Person("bob@x.org")},
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
        const std::optional<QString> before = w.h.settings->google().accounts[0].accessToken;

        w.google.server().hold("POST", "/token");
        const QDateTime start = w.h.at("2026-03-26 14:00");
        const auto created = startTask(store.createMeeting(draft("Sync", start, start.addSecs(1800)), {},
                                                           false, {w.ada, config.accounts[0].calendars[0]}));
        QVERIFY(w.google.server().heldCount() > 0 || w.google.server().waitForRequests(1));
        store.setGoogleCalendar(w.team, w.ada, false);
        w.google.server().release();
        QVERIFY(finish(*created));
        QVERIFY2(created->ok(), qPrintable(created->errorMessage()));

        const GoogleAccount account = AppSettings(SettingsLocations::standard()).google().accounts.value(0);
        QCOMPARE(account.hiddenCalendarIDs, QSet<QString>{w.team});
        QVERIFY(account.accessToken != before);
    }

    void localEventsGoToTheFolderKhalReads() {
        StoreHarness h(QStringLiteral("2026-03-25 10:00"),
                       Cal(QTimeZone("Europe/Berlin"), QLocale(QLocale::German, QLocale::Germany)));
        TestableStore& store = h.start();
        const LocalCalendar work = store.calendar().calendars().value(0);
        QCOMPARE(work.title, QStringLiteral("Work"));

        const CalEvent dentist =
            store.addEvent(draft("Dentist", h.at("2026-03-26 14:00"), h.at("2026-03-26 15:00")), work);
        QCOMPARE(store.toast(), std::optional<QString>("Added to Work"));
        QCOMPARE(store.selectedDate(), h.at("2026-03-26 00:00"));
        store.addEvent(draft("Holiday", h.at("2026-03-27 00:00"), h.at("2026-03-28 00:00"), true), work);
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-03-26 00:00"))), QStringList{"Dentist"});
        QCOMPARE(StoreHarness::titles(store.events(h.at("2026-03-27 00:00"))), QStringList{"Holiday"});
        QCOMPARE(dentist.source, EventSource::calendar);

        const Khal::Listing listing = Khal::list({h.collection}, QStringLiteral("Europe/Berlin"),
                                                 "2026-03-25", "2026-03-28", h.home.path());
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QCOMPARE(listing.lines,
                 (QStringList{"2026-03-26 14:00 2026-03-26 15:00 Dentist", "2026-03-27 2026-03-27 Holiday"}));
    }
};

QTEST_GUILESS_MAIN(TestStoreCreate)
#include "tst_storecreate.moc"
