// What the store reads beyond the weeks on show, from a calendar folder and the fake Google and Notion
// servers through the real clients.
#include "ServedWorld.h"

#include "core/model/DebugLog.h"
#include "core/quickadd/QuickAddFakes.h"
#include "core/quickadd/QuickAddModel.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "support/Patience.h"
#include "support/TestFiles.h"

#include <QTest>

namespace {

const QString ada = ServedWorld::ada;

// ServedWorld, where Ada also has a calendar she hides.
struct World : ServedWorld {
    World() {
        google.addCalendar(
            ada, {{"id", hidden}, {"summary", "Holidays"}, {"selected", false}, {"accessRole", "reader"}});
        GoogleConfig config = h.settings->google();
        GoogleAccount& account = config.accounts.front();
        account.calendars.append(
            {hidden, QStringLiteral("Holidays"), std::nullopt, false, QStringLiteral("reader")});
        account.hiddenCalendarIDs = {hidden};
        h.settings->setGoogle(config);
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
    // The same-day list under the line: its heading, then each row's time and title.
    static QStringList sameDay(const QuickAdd::Derived& v) {
        if (!v.showSameDay)
            return {};
        QStringList shown{v.sameDayHeading};
        for (const QuickAdd::DayRow& row : v.sameDayRows)
            shown << row.time + u' ' + row.title;
        return shown;
    }

    const QString hidden = QStringLiteral("holidays@group.calendar.google.com");
};

// Quick add opened on the store, as the panel opens it.
struct OpenQuickAdd {
    explicit OpenQuickAdd(EventStore& store)
        : env(store) {
        panel.openQuickAdd(QString());
        model = std::make_unique<QuickAddModel>(env, panel);
        model->appear();
    }
    QuickAddStoreEnv env;
    FakePanel panel;
    std::unique_ptr<QuickAddModel> model;
};

} // namespace

class TestStoreDayReads : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A meeting typed for a day weeks beyond the loaded ones cannot be sent until that day is read from
    // every source; then it takes the first time none of them holds (a hidden calendar holds none) and
    // lists what the day holds. A failed read says so, a Notion database's as much as Google's.
    void aMeetingOnADayBeyondTheLoadedWeeks() {
        World w;
        const auto at = [&](const char* time) { return w.h.at(QStringLiteral("2026-04-15 ") + time); };
        w.google.addEvent(ada, FakeGoogle::timedEvent("g1", "Dentist", at("09:00"), at("10:00")));
        w.google.addEvent(w.hidden, FakeGoogle::timedEvent("h1", "Hidden", at("12:30"), at("14:00")));
        w.h.writeLocalEvent("l1", "Planning", at("10:00"), at("11:30"));
        w.notion.addPage("db1", FakeNotion::page("p1", "Launch", "Due", "2026-04-15T11:45:00+02:00",
                                                 "2026-04-15T12:30:00+02:00"));
        TestableStore& store = w.h.start();
        QVERIFY(w.synced() && !store.isLoaded(at("00:00")));
        OpenQuickAdd quickAdd(store);
        QuickAddModel& model = *quickAdd.model;
        // Nobody has read the day yet: nothing is known of it, not even that it is free.
        model.setText("Dentist on april 15 3pm");
        QCOMPARE(World::sameDay(model.view()), QStringList());
        const qsizetype before = w.google.server().requests().size();
        model.setText("Lunch with bob@example.org on april 15");
        QVERIFY(model.view().findingSlot && !model.view().canAdd);
        QCOMPARE(World::sameDay(model.view()), QStringList());
        QVERIFY(Patience::until([&] { return model.view().autoSlot; }));
        QCOMPARE(model.view().scheduled.start, at("12:30"));
        QVERIFY(model.view().canAdd);
        QCOMPARE(World::sameDay(model.view()),
                 (QStringList{"ALSO THAT DAY", "09:00 – 10:00 Dentist", "10:00 – 11:30 Planning",
                              "11:45 – 12:30 Launch"}));
        QCOMPARE(w.googleRanges(before), QStringList{"2026-04-15/2026-04-29"});
        QVERIFY(store.events(at("00:00")).isEmpty()); // the agenda's weeks stay as they were
        // A typed length sizes the slot: a quarter of an hour fits before Launch.
        model.setText("Lunch with bob@example.org on april 15 for 15 min");
        QCOMPARE(model.view().scheduled.start, at("11:30"));
        QCOMPARE(model.view().scheduled.end, at("11:45"));

        w.google.server().scriptNext("GET", "/calendar/v3/",
                                     FakeGoogle::errorReply(500, "", "Backend Error"));
        model.setText("Lunch with bob@example.org on april 30");
        QVERIFY(Patience::until([&] { return model.view().error.has_value(); }));
        QCOMPARE(
            *model.view().error,
            QStringLiteral("Couldn’t read your calendars for Do., 30. Apr. (Backend Error) — type a time"));
        QVERIFY(!model.view().findingSlot && !model.view().canAdd);
        model.setText("Lunch with bob@example.org on april 30 "); // a changed line tries again
        QVERIFY(Patience::until([&] { return model.view().autoSlot; }));

        w.notion.server().scriptNext("POST", "/v1/databases/db1/query",
                                     HttpReply::json(500, {{"object", "error"},
                                                           {"status", 500},
                                                           {"code", "internal_server_error"},
                                                           {"message", "Unexpected error."}}));
        model.setText("Lunch with bob@example.org on may 20");
        QVERIFY(Patience::until([&] { return model.view().error || model.view().autoSlot; }));
        QVERIFY(model.view().error && model.view().error->contains("Roadmap"));
        QVERIFY(!model.view().autoSlot && !model.view().canAdd);
        QCOMPARE(World::sameDay(model.view()), QStringList());
    }

    // The search stops at the first day nobody has read, past a full day and a weekend, and reads it
    // rather than passing over it.
    void theSearchReadsTheFirstUnreadDay() {
        World w;
        w.google.addEvent(ada, FakeGoogle::timedEvent("full", "Offsite", w.h.at("2026-03-20 08:00"),
                                                      w.h.at("2026-03-20 19:00")));
        TestableStore& store = w.h.start();
        QVERIFY(w.synced() && store.isLoaded(w.h.at("2026-03-20 00:00")) &&
                !store.isLoaded(w.h.at("2026-03-23 00:00")));
        OpenQuickAdd quickAdd(store);
        QuickAddModel& model = *quickAdd.model;
        model.setText("Sync with bob@example.org on march 20");
        QVERIFY(model.view().findingSlot);
        QVERIFY(Patience::until([&] { return model.view().autoSlot; }));
        QCOMPARE(model.view().scheduled.start, w.h.at("2026-03-23 09:00"));
    }

    // Half a year ahead every source loads the four weeks on show and, apart, today and tomorrow.
    void browsingFarAhead() {
        World w;
        TestableStore& store = w.h.start();
        QVERIFY(w.synced());
        const qsizetype requests = w.google.server().requests().size();
        const qsizetype pages = w.notion.server().requests().size();
        store.shiftWeek(26);
        QVERIFY(Patience::until([&] { return w.googleRanges(requests).size() == 2; }) && w.synced());
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
