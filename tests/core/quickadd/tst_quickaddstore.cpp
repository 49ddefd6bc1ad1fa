#include "../store/StoreHarness.h"
#include "QuickAddFakes.h"

#include "core/quickadd/QuickAddModel.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "support/Khal.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QTest>

namespace {

const QString ada = QStringLiteral("ada@corp.io");
const QString team = QStringLiteral("team@group.corp.io");

// Ada, writing to her own and a team calendar.
struct World : StoreHarness {
    World() { connect(ada, {{team, QStringLiteral("Team"), std::nullopt, false, QStringLiteral("writer")}}); }
};

} // namespace

// Quick add on the real event store: Google on a fake source, local events in the harness's "Work"
// folder. Runs in Europe/Berlin on Wednesday 4 March 2026, 10:00.
class TestQuickAddStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A reply that arrives after its showing closed acts on nothing: the showing opened since keeps
    // what is typed in it, stays open and shows no stale error.
    void aLateReplyLeavesTheNextShowingAlone_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("fails");
        QTest::newRow("an add that succeeds") << false << false;
        QTest::newRow("an add that fails") << false << true;
        QTest::newRow("a save that succeeds") << true << false;
        QTest::newRow("a save that fails") << true << true;
    }
    void aLateReplyLeavesTheNextShowingAlone() {
        QFETCH(bool, save);
        QFETCH(bool, fails);
        World w;
        w.addGoogle(ada, "Design review", "2026-03-05 14:00");
        w.start(true);
        QuickAddStoreEnv env(*w.store);
        FakePanel panel;
        const CalEvent review = w.googleEvent("Design review");
        QVERIFY(!review.id.isEmpty());
        const auto open = [&] {
            save ? panel.openEditor(review) : panel.openQuickAdd(QString());
            auto model = std::make_unique<QuickAddModel>(env, panel);
            model->appear();
            return model;
        };

        const QString write = save ? "update" : "insert";
        w.google->holds.hold(write);
        if (fails)
            w.google->failing.insert(write, "Backend Error");
        std::unique_ptr<QuickAddModel> first = open();
        first->setText(save ? "Design review, moved" : "Sync with bob@corp.io tomorrow 3pm");
        first->add();
        QVERIFY(first->view().primarySpinner);
        QVERIFY(w.google->holds.waitFor(write));

        panel.collapse(); // a click elsewhere, or the hot key
        std::unique_ptr<QuickAddModel> second = open();
        QCoreApplication::processEvents();
        second->setText(save ? "Design review v3" : "Lunch fri");
        w.google->holds.release(write);
        QTRY_VERIFY(!first->state().busy);

        QVERIFY(panel.shown);
        QCOMPARE(panel.closes, 0);
        QCOMPARE(panel.selected, std::nullopt);
        QCOMPARE(second->state().text,
                 save ? QStringLiteral("Design review v3") : QStringLiteral("Lunch fri"));
        QCOMPARE(second->view().error, std::nullopt);
        QCOMPARE(second->state().editing.has_value(), save);
        QVERIFY(!first->isOpen());
    }

    // A failed write keeps the line, the guests and the choices, says why, and can be sent again.
    void aFailedMeetingCanBeSentAgain() {
        World w;
        w.start(true);
        QuickAddStoreEnv env(*w.store);
        FakePanel panel;
        panel.openQuickAdd(QString());
        QuickAddModel model(env, panel);
        model.appear();
        model.setText("Sync with bob@corp.io tomorrow 3pm");
        model.addPerson(Person("pim@corp.io"));
        model.toggleMeet();
        model.toggleCalendars();
        model.pickDestination("g|ada@corp.io|team@group.corp.io");

        w.google->failing.insert("insert", "You need to have writer access");
        model.add();
        QTRY_VERIFY(!model.state().busy);
        QVERIFY(model.view().error && !model.view().error->isEmpty());
        QCOMPARE(model.state().text, QStringLiteral("Sync with bob@corp.io tomorrow 3pm"));
        QCOMPARE(model.view().invitees, (QList<Person>{Person("bob@corp.io"), Person("pim@corp.io")}));
        QCOMPARE(model.view().destinationTitle, QStringLiteral("Team"));
        QVERIFY(!model.view().meetOn);
        QVERIFY(model.view().canAdd);
        QCOMPARE(panel.closes, 0);

        model.add();
        QTRY_COMPARE(panel.closes, 1);
        const QList<QJsonObject> created = w.google->events.value(team);
        QCOMPARE(created.size(), 1);
        QCOMPARE(created[0]["summary"].toString(), QStringLiteral("Sync"));
        QCOMPARE(created[0]["attendees"].toArray().size(), 2);
        QVERIFY(!created[0].contains("conferenceData"));
    }

    void aLocalAddReachesTheFolderKhalReads() {
        StoreHarness h;
        h.start();
        QuickAddStoreEnv env(*h.store);
        FakePanel panel;
        const auto add = [&](const QString& text) {
            panel.openQuickAdd(text);
            QuickAddModel model(env, panel);
            model.appear();
            model.add();
            return std::pair(model.view().error.value_or(QString()), model.state().text);
        };

        // The folder went away under the app: the line stays, with the reason, until it can be written.
        QVERIFY(QDir(h.collection).removeRecursively());
        const auto [error, kept] = add("Dentist tomorrow 2pm");
        QVERIFY2(error.startsWith(QStringLiteral("Couldn’t save")), qPrintable(error));
        QCOMPARE(kept, QStringLiteral("Dentist tomorrow 2pm"));
        QVERIFY(panel.shown);

        TestFiles::write(h.collection + QStringLiteral("/displayname"), "Work\n");
        QCOMPARE(add("Dentist tomorrow 2pm").first, QString());
        QCOMPARE(add("Offsite fri all day").first, QString());
        QCOMPARE(panel.closes, 2);
        const Khal::Listing listing = Khal::list({h.collection}, QStringLiteral("Europe/Berlin"),
                                                 "2026-03-04", "2026-03-07", h.home.path());
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QCOMPARE(listing.lines,
                 (QStringList{"2026-03-05 14:00 2026-03-05 15:00 Dentist", "2026-03-06 2026-03-06 Offsite"}));
    }
};

QTEST_GUILESS_MAIN(TestQuickAddStore)
#include "tst_quickaddstore.moc"
