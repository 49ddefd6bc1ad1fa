#include "GoogleStoreWorld.h"

#include "support/Khal.h"
#include "support/TaskResult.h"
#include "support/TestEvents.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

// Runs in Europe/Berlin. Google events live on the fake server and are changed through the real
// client; local events live in the harness's "Work" folder.
namespace {

const QString self =
    QStringLiteral(R"({"email": "ada@corp.io", "self": true, "responseStatus": "accepted"})");

QuickAddDraft draftOf(const CalEvent& event) {
    QuickAddDraft d;
    d.title = event.title;
    d.start = event.start;
    d.end = event.end;
    d.isAllDay = event.isAllDay;
    return d;
}

QStringList sortedKeys(const QJsonObject& object) {
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

// A Google event of Ada's primary calendar at the given Berlin wall times.
QJsonObject googleEvent(GoogleStoreWorld& w, const QString& id, const QString& title, const QString& from,
                        const QString& to) {
    return FakeGoogle::timedEvent(id, title, w.h.at(from), w.h.at(to));
}

} // namespace

class TestStoreEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void whatAnEditSends_data() {
        QTest::addColumn<QString>("title");    // the event's
        QTest::addColumn<bool>("hasMeet");     // the event's
        QTest::addColumn<QString>("newTitle"); // the draft's
        QTest::addColumn<int>("shift");        // seconds the draft moves start and end
        QTest::addColumn<bool>("flipAllDay");
        QTest::addColumn<QStringList>("guests");
        QTest::addColumn<bool>("meet");
        QTest::addColumn<QStringList>("sent"); // the keys of the change sent; empty: nothing sent
        QTest::addColumn<QString>("toast");
        QTest::newRow("moved 30 s") << "Review" << false << "Review" << 30 << false << QStringList{} << false
                                    << QStringList{} << "Saved";
        QTest::newRow("moved 60 s") << "Review" << false << "Review" << 60 << false << QStringList{} << false
                                    << QStringList{"end", "start"} << "Saved";
        QTest::newRow("all day, same times") << "Review" << false << "Review" << 0 << true << QStringList{}
                                             << false << QStringList{"end", "start"} << "Saved";
        QTest::newRow("retitled") << "Review" << false << "Design review" << 0 << false << QStringList{}
                                  << false << QStringList{"summary"} << "Saved";
        QTest::newRow("Untitled left empty")
            << "Untitled" << false << "" << 0 << false << QStringList{} << false << QStringList{} << "Saved";
        QTest::newRow("guests only") << "Review" << false << "Review" << 0 << false
                                     << QStringList{"bob@x.org"} << false << QStringList{"attendees"}
                                     << "Saved · guests notified";
        QTest::newRow("Meet added") << "Review" << false << "Review" << 0 << false << QStringList{} << true
                                    << QStringList{"conferenceData"} << "Saved · Meet link added";
        QTest::newRow("Meet removed") << "Review" << true << "Review" << 0 << false << QStringList{} << false
                                      << QStringList{"conferenceData"} << "Saved · Meet link removed";
        QTest::newRow("Meet kept") << "Review" << true << "Review" << 0 << false << QStringList{} << true
                                   << QStringList{} << "Saved";
    }
    void whatAnEditSends() {
        QFETCH(QString, title);
        QFETCH(bool, hasMeet);
        QFETCH(QString, newTitle);
        QFETCH(int, shift);
        QFETCH(bool, flipAllDay);
        QFETCH(QStringList, guests);
        QFETCH(bool, meet);
        QFETCH(QStringList, sent);
        QFETCH(QString, toast);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        QJsonObject stored = googleEvent(w, "e1", title, "2026-03-25 14:00", "2026-03-25 15:00");
        stored.insert("attendees", QJsonArray{QJsonDocument::fromJson(self.toUtf8()).object()});
        if (hasMeet)
            stored.insert("hangoutLink", "https://meet.google.com/abc-defg-hij");
        w.google.addEvent(w.ada, stored);
        TestableStore& store = w.h.start();
        const CalEvent event = w.googleEvent(title);
        QCOMPARE(event.hasGoogleMeet(), hasMeet);

        QuickAddDraft draft = draftOf(event);
        draft.title = newTitle;
        draft.start = draft.start.addSecs(shift);
        draft.end = draft.end.addSecs(shift);
        draft.isAllDay = event.isAllDay != flipAllDay;
        QList<Person> invitees;
        for (const QString& guest : guests)
            invitees << Person(guest);
        const int refreshes = store.googleRefreshes;
        const auto updated = runTask(store.updateEvent(event, draft, invitees, meet));
        QVERIFY2(updated.ok(), qPrintable(updated.errorMessage()));

        const QList<HttpRequest> patches = w.google.server().requests("PATCH", u"/");
        QCOMPARE(patches.isEmpty() ? QStringList{} : sortedKeys(patches[0].json()), sent);
        if (!patches.isEmpty())
            QCOMPARE(patches[0].hasQueryItem(u"sendUpdates"), !guests.isEmpty());
        QCOMPARE(store.toast(), std::optional<QString>(toast));
        QCOMPARE(store.googleRefreshes, refreshes + 1);
        QCOMPARE(w.h.settings->recentInvitees(), guests);
    }

    void editsOfPagesAndUnusableAccountsAreRefused_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("event"); // notion, read-only, disconnected
        QTest::addColumn<QString>("message");
        QTest::newRow("edit a page") << "update"
                                     << "notion"
                                     << "Edit Notion pages in Notion";
        QTest::newRow("delete a page") << "delete"
                                       << "notion"
                                       << "Delete Notion pages in Notion";
        QTest::newRow("decline a page") << "decline"
                                        << "notion"
                                        << "Respond to this invitation in Notion";
        QTest::newRow("edit through a read-only account")
            << "update"
            << "read-only"
            << "Google was connected read-only — reconnect in Settings → Google to edit events";
        QTest::newRow("delete of a removed account's event") << "delete"
                                                             << "disconnected"
                                                             << "That Google account is no longer connected";
    }
    void editsOfPagesAndUnusableAccountsAreRefused() {
        QFETCH(QString, operation);
        QFETCH(QString, event);
        QFETCH(QString, message);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        w.google.addEvent(w.ada, googleEvent(w, "e1", "Review", "2026-03-25 14:00", "2026-03-25 15:00"));
        TestableStore& store = w.h.start();
        CalEvent target = w.googleEvent("Review");
        if (event == "notion") {
            target.source = EventSource::notion;
            target.id = CalEvent::notionId("page");
        }
        GoogleConfig config = w.h.settings->google();
        if (event == "read-only")
            config.accounts[0].scopes = QStringList{FakeGoogle::readOnlyScope};
        if (event == "disconnected")
            config.accounts[0].email = QStringLiteral("someone@else.org");
        w.h.settings->setGoogle(config);
        w.google.server().clearRequests();

        const QString error =
            operation == "update"
                ? runTask(store.updateEvent(target, draftOf(target), {}, false)).errorMessage()
            : operation == "delete" ? runTask(store.deleteEvent(target)).errorMessage()
                                    : runTask(store.declineEvent(target)).errorMessage();
        QCOMPARE(error, message);
        QVERIFY(w.google.server().requests().isEmpty());
        QVERIFY(!store.toast());
    }

    void aMovedMeetingAlertsAgain() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        w.google.addEvent(w.ada, googleEvent(w, "e1", "Sync", "2026-03-25 10:30", "2026-03-25 11:00"));
        TestableStore& store = w.h.start();
        w.h.advance(28 * 60 + 10);
        QVERIFY(store.alert());
        QCOMPARE(store.alert()->event.title, QStringLiteral("Sync"));

        QuickAddDraft later = draftOf(store.alert()->event);
        later.start = w.h.at("2026-03-25 11:00");
        later.end = w.h.at("2026-03-25 11:30");
        QVERIFY(runTask(store.updateEvent(store.alert()->event, later, {}, false)).ok());
        QVERIFY(!store.alert());
        QCOMPARE(w.googleEvent("Sync").start, later.start);

        w.h.advance(30 * 60);
        QVERIFY(store.alert());
        QCOMPARE(store.alert()->event.start, later.start);
        QCOMPARE(store.alert()->kind, MeetingAlert::Kind::imminent);
    }

    void deletingAndDeclining_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("kind"); // what the event is
        QTest::addColumn<bool>("notified");
        QTest::addColumn<QString>("toast");
        QTest::newRow("Google, alone") << "delete"
                                       << "alone" << false << "Deleted";
        QTest::newRow("Google, a guest without address") << "delete"
                                                         << "guest" << true << "Deleted · guests notified";
        QTest::newRow("Google, one of a series") << "delete"
                                                 << "series" << false << "Deleted this occurrence";
        QTest::newRow("Google invitation") << "decline"
                                           << "invited" << true << "Declined · the organizer was notified";
        QTest::newRow("local") << "delete"
                               << "local" << false << "Deleted from Work";
        QTest::newRow("local invitation") << "decline"
                                          << "local" << false << "Removed from your calendar";
    }
    void deletingAndDeclining() {
        QFETCH(QString, operation);
        QFETCH(QString, kind);
        QFETCH(bool, notified);
        QFETCH(QString, toast);
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        QJsonObject stored = googleEvent(w, "e1", "Review", "2026-03-25 10:30", "2026-03-25 11:00");
        if (kind == "series")
            stored.insert("recurringEventId", "weekly");
        if (kind == "invited")
            stored.insert("attendees", QJsonArray{QJsonDocument::fromJson(self.toUtf8()).object()});
        if (kind == "local")
            w.h.writeLocalEvent("l1", "Review", w.h.at("2026-03-25 10:30"), w.h.at("2026-03-25 11:00"));
        else
            w.google.addEvent(w.ada, stored);
        TestableStore& store = w.h.start();
        CalEvent event = store.events(w.h.at("2026-03-25 00:00")).value(0);
        store.showAlert({event, MeetingAlert::Kind::imminent, store.now()});
        if (kind == "guest")
            event.attendees.append(TestEvents::guest("Room 4", QString()));

        const auto done =
            runTask(operation == "delete" ? store.deleteEvent(event) : store.declineEvent(event));
        QVERIFY2(done.ok(), qPrintable(done.errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>(toast));
        QVERIFY(!store.alert());
        QVERIFY(StoreHarness::titles(store.events(w.h.at("2026-03-25 00:00"))).isEmpty());
        const QList<HttpRequest> writes = w.writes();
        if (kind != "local") {
            QCOMPARE(writes.size(), 1);
            QCOMPARE(writes[0].hasQueryItem(u"sendUpdates"), notified);
        } else {
            QVERIFY(writes.isEmpty());
            QVERIFY(!QFile::exists(w.h.collection + "/l1.ics"));
        }
    }

    void aFailedWriteChangesNothing() {
        GoogleStoreWorld w(QStringLiteral("2026-03-25 10:00"));
        w.google.addEvent(w.ada, googleEvent(w, "e1", "Review", "2026-03-25 10:30", "2026-03-25 11:00"));
        TestableStore& store = w.h.start();
        const CalEvent event = w.googleEvent("Review");
        store.showAlert({event, MeetingAlert::Kind::imminent, store.now()});
        w.google.server().scriptNext("PATCH", "/", FakeGoogle::errorReply(500, QString(), "Backend Error"));
        w.google.server().scriptNext("DELETE", "/", FakeGoogle::errorReply(500, QString(), "Backend Error"));
        const int refreshes = store.googleRefreshes;

        QuickAddDraft renamed = draftOf(event);
        renamed.title = QStringLiteral("Renamed");
        QCOMPARE(runTask(store.updateEvent(event, renamed, {}, false)).errorMessage(),
                 QStringLiteral("Backend Error"));
        QCOMPARE(runTask(store.deleteEvent(event)).errorMessage(), QStringLiteral("Backend Error"));
        QVERIFY(!store.toast());
        QCOMPARE(store.googleRefreshes, refreshes);
        QCOMPARE(store.alert()->event.id, event.id);
        QCOMPARE(StoreHarness::titles(store.googleEvents()), QStringList{"Review"});
    }

    void oneOccurrenceOfALocalSeries() {
        GoogleStoreWorld w(QStringLiteral("2026-03-23 08:00"));
        w.h.writeLocalEvent("standup", "Standup", w.h.at("2026-03-23 09:00"), w.h.at("2026-03-23 09:15"),
                            false, {"RRULE:FREQ=DAILY;COUNT=4"});
        TestableStore& store = w.h.start();
        const auto onDay = [&](int day) {
            return store.events(w.h.at(QStringLiteral("2026-03-%1 00:00").arg(day)));
        };
        QCOMPARE(onDay(24).size(), 1);

        QuickAddDraft later = draftOf(onDay(24)[0]);
        later.title = QStringLiteral("Standup (late)");
        later.start = later.start.addSecs(3600);
        later.end = later.end.addSecs(3600);
        const auto updated = runTask(store.updateEvent(onDay(24)[0], later, {}, false));
        QVERIFY2(updated.ok(), qPrintable(updated.errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>("Saved to Work"));
        const auto deleted = runTask(store.deleteEvent(onDay(25)[0]));
        QVERIFY2(deleted.ok(), qPrintable(deleted.errorMessage()));
        QCOMPARE(store.toast(), std::optional<QString>("Deleted this occurrence"));

        QCOMPARE(StoreHarness::titles(onDay(23)), QStringList{"Standup"});
        QCOMPARE(StoreHarness::titles(onDay(24)), QStringList{"Standup (late)"});
        QCOMPARE(onDay(24)[0].start, w.h.at("2026-03-24 10:00"));
        QVERIFY(onDay(25).isEmpty());
        QCOMPARE(StoreHarness::titles(onDay(26)), QStringList{"Standup"});
        const Khal::Listing listing = Khal::list({w.h.collection}, QStringLiteral("Europe/Berlin"),
                                                 "2026-03-23", "2026-03-26", w.h.home.path());
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QCOMPARE(listing.lines, (QStringList{"2026-03-23 09:00 2026-03-23 09:15 Standup",
                                             "2026-03-24 10:00 2026-03-24 10:15 Standup (late)",
                                             "2026-03-26 09:00 2026-03-26 09:15 Standup"}));
    }
};

QTEST_GUILESS_MAIN(TestStoreEdit)
#include "tst_storeedit.moc"
