// What the store reads beyond the weeks on show, from a calendar folder and the fake Google and Notion
// servers through the real clients: the day a meeting is typed for, and the ranges every refresh loads
// once the user has browsed far ahead.
#include "StoreHarness.h"

#include "core/model/DebugLog.h"
#include "core/quickadd/QuickAddFakes.h"
#include "core/quickadd/QuickAddModel.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"

#include <QFile>
#include <QTest>

namespace {

const QString ada = QStringLiteral("ada@example.org");

// Ada signed in to the fake Google with her own calendar, a Notion database "Roadmap" on the fake
// Notion, and the calendar folder of the harness; today is Wednesday 4 March 2026.
struct World {
    World() {
        RemoteSession::Endpoints endpoints = google.endpoints();
        endpoints.notion = notion.baseUrl();
        session.setEndpoints(endpoints);
        session.setClock(h.clock.clock());
        h.googleSource = GoogleSource::remote();
        h.notionSource = NotionSource::remote();
        google.addAccount(ada);
        GoogleAccount account;
        account.email = ada;
        account.refreshToken = google.issueRefreshToken(ada);
        account.accessToken = google.issueAccessToken(ada);
        account.expiry = h.clock.now().addSecs(3600);
        account.scopes = QStringList{FakeGoogle::eventsScope};
        account.calendars = {{ada, ada, std::nullopt, true, QStringLiteral("owner")}};
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {account}});
        notion.addDatabase(FakeNotion::database("db1", "Roadmap", {{"Due", "date"}}));
        h.settings->setNotionToken(notion.token());
        h.settings->setNotionDatabases({{"db1", "Roadmap", std::nullopt, "Due"}});
    }

    // The days [timeMin, timeMax) of Google's event listings from request `since` on.
    QStringList googleRanges(qsizetype since) {
        QStringList ranges;
        const QList<HttpRequest> requests = google.server().requests();
        for (qsizetype i = since; i < requests.size(); ++i) {
            if (!requests[i].path.endsWith(QStringLiteral("/events")))
                continue;
            const auto day = [&](const char* name) {
                const QDateTime instant =
                    QDateTime::fromString(requests[i].queryValue(QString::fromLatin1(name)), Qt::ISODate);
                return h.cal.dateOf(instant).toString(Qt::ISODate);
            };
            ranges << day("timeMin") + u'/' + day("timeMax");
        }
        return ranges;
    }
    bool settled() {
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
    // A meeting typed for a day weeks beyond the loaded ones waits for that day's events from every
    // source, then takes the first time none of them holds; a day that cannot be read says so.
    void aMeetingOnADayBeyondTheLoadedWeeks() {
        World w;
        const auto at = [&](const char* time) { return w.h.at(QStringLiteral("2026-04-15 ") + time); };
        w.google.addEvent(ada, FakeGoogle::timedEvent("g1", "Dentist", at("09:00"), at("10:00")));
        w.h.writeLocalEvent("l1", "Planning", at("10:00"), at("11:30"));
        w.notion.addPage("db1", FakeNotion::page("p1", "Launch", "Due", "2026-04-15T11:45:00+02:00",
                                                 "2026-04-15T12:30:00+02:00"));
        TestableStore& store = w.h.start();
        QVERIFY(w.settled());
        QVERIFY(!store.isLoaded(at("00:00")));

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
        QCOMPARE(model.view().primaryTitle, QStringLiteral("Send invites"));
        QVERIFY(model.view().canAdd);
        QCOMPARE(w.googleRanges(before), QStringList{"2026-04-15/2026-04-29"});
        QVERIFY(store.events(at("00:00")).isEmpty()); // the agenda's weeks stay as they were

        w.google.server().scriptNext("GET", "/calendar/v3/calendars/",
                                     FakeGoogle::errorReply(500, "backendError", "Backend Error"));
        model.setText("Lunch with bob@example.org on april 30");
        QVERIFY(QTest::qWaitFor([&] { return model.view().error.has_value(); }));
        QCOMPARE(model.view().error, std::optional<QString>("Couldn’t read your calendars for Do., 30. Apr. "
                                                            "(Backend Error) — type a time"));
        QVERIFY(!model.view().autoSlot && !model.view().canAdd);
    }

    // Browsing half a year ahead loads the four weeks on show and, apart, today and tomorrow, from
    // every source; back near today they are one range again.
    void browsingFarAheadLoadsTwoShortRanges() {
        World w;
        TestableStore& store = w.h.start();
        QVERIFY(w.settled());
        const qsizetype google = w.google.server().requests().size();
        const qsizetype notion = w.notion.server().requests("POST", u"/v1/databases/").size();
        store.shiftWeek(26);
        w.h.settle();
        QVERIFY(QTest::qWaitFor([&] { return w.googleRanges(google).size() == 2; }));
        QVERIFY(w.settled());
        QCOMPARE(w.googleRanges(google), (QStringList{"2026-03-04/2026-03-06", "2026-08-24/2026-09-21"}));
        QCOMPARE(w.notion.server().requests("POST", u"/v1/databases/").size(), notion + 2);
        const auto [from, to] = store.loadedRange();
        QCOMPARE(from.daysTo(to), 28);

        QFile log(w.h.logFile);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        const QString lastLoad = text.mid(text.lastIndexOf(QStringLiteral("calendar status=")));
        const auto range = [&](const char* a, const char* b) {
            return DebugLog::describe(w.h.at(a)) + QStringLiteral("...") + DebugLog::describe(w.h.at(b));
        };
        QVERIFY2(lastLoad.section(u'\n', 0, 0)
                     .endsWith(QStringLiteral("range=") + range("2026-03-04 00:00", "2026-03-06 00:00") +
                               QStringLiteral(", ") + range("2026-08-24 00:00", "2026-09-21 00:00")),
                 qPrintable(lastLoad.section(u'\n', 0, 0)));

        const qsizetype back = w.google.server().requests().size();
        store.goToToday();
        QVERIFY(QTest::qWaitFor([&] { return w.googleRanges(back).size() == 1; }));
        QCOMPARE(w.googleRanges(back), QStringList{"2026-02-23/2026-03-23"});
        QVERIFY(w.settled());
    }
};

QTEST_GUILESS_MAIN(TestStoreDayReads)
#include "tst_storedayreads.moc"
