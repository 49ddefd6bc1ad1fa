// What the store reads beyond the weeks on show, from a calendar folder and the fake Google and Notion
// servers through the real clients.
#include "StoreHarness.h"

#include "core/model/DebugLog.h"
#include "core/quickadd/QuickAddFakes.h"
#include "core/quickadd/QuickAddModel.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"
#include "support/TestFiles.h"

#include <QTest>

namespace {

const QString ada = QStringLiteral("ada@example.org");

// Ada on the fake Google, a database "Roadmap" on the fake Notion, the harness's calendar folder;
// today is Wednesday 4 March 2026, in Berlin.
struct World {
    World() {
        session.setEndpoints({google.endpoints().googleConsent, google.endpoints().googleToken,
                              google.endpoints().googleCalendar, notion.baseUrl()});
        session.setClock(h.clock.clock());
        h.googleSource = GoogleSource::remote();
        h.notionSource = NotionSource::remote();
        google.addAccount(ada);
        const GoogleAccount account{ada,
                                    google.issueRefreshToken(ada),
                                    google.issueAccessToken(ada),
                                    h.clock.now().addSecs(3600),
                                    {{ada, ada, std::nullopt, true, QStringLiteral("owner")}},
                                    {},
                                    false,
                                    QStringList{FakeGoogle::eventsScope}};
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {account}});
        notion.addDatabase(FakeNotion::database("db1", "Roadmap", {{"Due", "date"}}));
        h.settings->setNotionToken(notion.token());
        h.settings->setNotionDatabases({{"db1", "Roadmap", std::nullopt, "Due"}});
    }
    // The days [timeMin, timeMax) of Google's event listings, from request `since` on.
    QStringList googleRanges(qsizetype since) {
        QStringList ranges;
        for (const HttpRequest& r : google.server().requests().mid(since)) {
            const auto day = [&](const QString& name) {
                return h.cal.dateOf(QDateTime::fromString(r.queryValue(name), Qt::ISODate))
                    .toString(Qt::ISODate);
            };
            if (r.path.endsWith(QStringLiteral("/events")))
                ranges << day("timeMin") + u'/' + day("timeMax");
        }
        return ranges;
    }
    bool synced() {
        return QTest::qWaitFor([&] { return !h.store->isSyncingGoogle() && !h.store->isSyncingNotion(); });
    }

    FakeGoogle google;
    FakeNotion notion;
    StoreHarness h;
    RemoteTestSession session;
};

} // namespace

class TestStoreDayReads : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A meeting typed for a day weeks beyond the loaded ones cannot be sent until that day is read from
    // every source; then it takes the first time none of them holds. A failed read says so.
    void aMeetingOnADayBeyondTheLoadedWeeks() {
        World w;
        const auto at = [&](const char* time) { return w.h.at(QStringLiteral("2026-04-15 ") + time); };
        w.google.addEvent(ada, FakeGoogle::timedEvent("g1", "Dentist", at("09:00"), at("10:00")));
        w.h.writeLocalEvent("l1", "Planning", at("10:00"), at("11:30"));
        w.notion.addPage("db1", FakeNotion::page("p1", "Launch", "Due", "2026-04-15T11:45:00+02:00",
                                                 "2026-04-15T12:30:00+02:00"));
        TestableStore& store = w.h.start();
        QVERIFY(w.synced() && !store.isLoaded(at("00:00")));
        QuickAddStoreEnv env(store);
        FakePanel panel;
        panel.openQuickAdd(QString());
        QuickAddModel model(env, panel);
        model.appear();
        const qsizetype before = w.google.server().requests().size();
        model.setText("Lunch with bob@example.org on april 15");
        QVERIFY(model.view().findingSlot && !model.view().canAdd);
        QVERIFY(QTest::qWaitFor([&] { return model.view().autoSlot; }));
        QCOMPARE(model.view().scheduled.start, at("12:30"));
        QVERIFY(model.view().canAdd);
        QCOMPARE(w.googleRanges(before), QStringList{"2026-04-15/2026-04-29"});
        QVERIFY(store.events(at("00:00")).isEmpty()); // the agenda's weeks stay as they were

        w.google.server().scriptNext("GET", "/calendar/v3/",
                                     FakeGoogle::errorReply(500, "", "Backend Error"));
        model.setText("Lunch with bob@example.org on april 30");
        QVERIFY(QTest::qWaitFor([&] { return model.view().error.has_value(); }));
        QCOMPARE(
            *model.view().error,
            QStringLiteral("Couldn’t read your calendars for Do., 30. Apr. (Backend Error) — type a time"));
        QVERIFY(!model.view().findingSlot && !model.view().canAdd);
        model.setText("Lunch with bob@example.org on april 30 "); // a changed line tries again
        QVERIFY(QTest::qWaitFor([&] { return model.view().autoSlot; }));
    }

    // Half a year ahead every source loads the four weeks on show and, apart, today and tomorrow.
    void browsingFarAhead() {
        World w;
        TestableStore& store = w.h.start();
        QVERIFY(w.synced());
        const qsizetype requests = w.google.server().requests().size();
        const qsizetype pages = w.notion.server().requests().size();
        store.shiftWeek(26);
        QVERIFY(QTest::qWaitFor([&] { return w.googleRanges(requests).size() == 2; }) && w.synced());
        QCOMPARE(w.googleRanges(requests), (QStringList{"2026-03-04/2026-03-06", "2026-08-24/2026-09-21"}));
        QCOMPARE(w.notion.server().requests().size(), pages + 2);
        const auto range = [&](const char* from, const char* to) {
            return DebugLog::describe(w.h.at(from)) + QStringLiteral("...") + DebugLog::describe(w.h.at(to));
        };
        w.h.settle();
        QVERIFY(TestFiles::read(w.h.logFile)
                    .contains((range("2026-03-04 00:00", "2026-03-06 00:00") + QStringLiteral(", ") +
                               range("2026-08-24 00:00", "2026-09-21 00:00"))
                                  .toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestStoreDayReads)
#include "tst_storedayreads.moc"
