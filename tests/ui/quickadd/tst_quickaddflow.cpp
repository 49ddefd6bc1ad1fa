#include "../../core/store/StoreHarness.h"
#include "../PanelWorld.h"
#include "QuickAddBody.h"

#include "core/quickadd/QuickAddDerived.h"
#include "core/quickadd/QuickAddModel.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "support/Khal.h"
#include "support/Patience.h"
#include "support/TestFiles.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"

#include <QAbstractButton>
#include <QDir>
#include <QJsonArray>
#include <QLineEdit>
#include <QTest>

// Quick add from end to end: the real panel (controller, window, root view) hosting the view over
// the real event store, keys typed into the real line edits, and the result read back by khal from
// the calendar folder or by the fake Google source from the call it got. Europe/Berlin, Wednesday
// 4 March 2026, 10:00.
class TestQuickAddFlow : public QObject {
    Q_OBJECT

    // The panel of the app over the harness's store, with quick add in its expanded body.
    struct Panel {
        explicit Panel(StoreHarness& h) {
            HotKey::setBackend(std::make_unique<FakeKeyGrab>());
            NotchController::Platform platform;
            platform.screens = std::make_unique<FakeScreens>();
            platform.clicks = std::make_unique<FakeClicks>();
            platform.focus = std::make_unique<FakeFocus>();
            platform.compositor = std::make_unique<FakeCompositor>();
            env = std::make_unique<QuickAddStoreEnv>(*h.store);
            controller = std::make_unique<NotchController>(*h.store, *h.settings, std::move(platform));
            const qreal notch = state().geometry().notchSize.height();
            body = new QuickAddBody(state(), *env, notch);
            controller->rootView()->setModeContent(NotchMode::expanded, body);
            if (!QTest::qWaitForWindowExposed(controller->panel(), Patience::ms))
                qFatal("the panel never showed");
        }
        NotchState& state() const { return controller->state(); }
        QuickAddView& view() const { return *body->view; }
        static void settle() {
            for (int i = 0; i < 4; ++i)
                QCoreApplication::processEvents();
        }
        // Ctrl+Alt+N, then a line typed and Return.
        void add(const QString& line) {
            controller->openQuickAdd(QString());
            settle();
            QTest::keyClicks(view().mainField(), line);
            QTest::keyClick(view().mainField(), Qt::Key_Return);
            settle();
        }

        std::unique_ptr<QuickAddStoreEnv> env; // outlives the view inside the controller's window
        std::unique_ptr<NotchController> controller;
        QuickAddBody* body = nullptr;
    };

    static Khal::Listing khal(const StoreHarness& h) {
        return Khal::list({h.collection}, QStringLiteral("Europe/Berlin"), "2026-03-04", "2026-03-07",
                          h.home.path());
    }

private Q_SLOTS:
    void initTestCase() { Motion::setEnabled(false); }

    // Typed lines become items of the local calendar that khal lists at their day and time (all day
    // as all day), each closing quick add; a line that cannot be written stays; Escape from the people
    // field closes only the field.
    void linesReachTheCalendarFolder() {
        StoreHarness h;
        h.start();
        Panel p(h);

        p.controller->openQuickAdd(QString());
        p.settle();
        for (QAbstractButton* button : p.view().findChildren<QAbstractButton*>()) {
            if (button->toolTip() == QuickAdd::Text::inviteTooltip)
                QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        }
        p.settle();
        QVERIFY(p.view().peopleField()->isVisibleTo(&p.view()));
        QTest::keyClick(p.view().peopleField(), Qt::Key_Escape);
        p.settle();
        QVERIFY(p.state().quickAdd());
        QVERIFY(!p.view().peopleField()->isVisibleTo(&p.view()));
        QTest::keyClick(p.view().mainField(), Qt::Key_Escape);
        p.settle();
        QVERIFY(!p.state().expanded());

        // The folder went away under the app: the line stays, with the reason, and Return tries again.
        QVERIFY(QDir(h.collection).removeRecursively());
        p.add("Dentist tomorrow 2pm");
        QVERIFY(p.state().quickAdd());
        QCOMPARE(p.view().mainField()->text(), QStringLiteral("Dentist tomorrow 2pm"));
        QVERIFY(
            p.view().model()->view().error.value_or(QString()).startsWith(QStringLiteral("Couldn’t save")));
        QVERIFY(TestFiles::write(h.collection + QStringLiteral("/displayname"), "Work\n"));
        QTest::keyClick(p.view().mainField(), Qt::Key_Return);
        p.settle();
        QVERIFY(!p.state().quickAdd());
        QCOMPARE(h.store->toast(), QStringLiteral("Added to Work"));
        p.add("Offsite fri all day");
        QVERIFY(!p.state().quickAdd());

        const Khal::Listing listing = khal(h);
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QCOMPARE(listing.lines,
                 (QStringList{"2026-03-05 14:00 2026-03-05 15:00 Dentist", "2026-03-06 2026-03-06 Offsite"}));
    }

    // A meeting with a guest goes to Google with the guest; what the request holds is the store's
    // business.
    void aMeetingGoesToGoogle() {
        StoreHarness h;
        h.connect(QStringLiteral("ada@corp.io"));
        h.start(true);
        Panel p(h);
        p.add("Design sync with bob@corp.io fri 3pm");
        QVERIFY_SOON(!p.state().quickAdd());

        QCOMPARE(h.google->callsOf("insert"), QStringList{"insert ada@corp.io"});
        const QJsonObject body = h.google->lastInsert["body"].toObject();
        QCOMPARE(body["attendees"].toArray(), (QJsonArray{QJsonObject{{"email", "bob@corp.io"}}}));
        QCOMPARE(h.store->toast(), QStringLiteral("Invites sent · Google Meet added"));
    }

    // Retyping the when-line of a local event moves the event in its file.
    void anEditedWhenLineMovesTheEvent() {
        StoreHarness h;
        h.writeLocalEvent("dentist-1", "Dentist", h.at("2026-03-05 08:00"), h.at("2026-03-05 08:45"));
        h.start();
        Panel p(h);
        const QList<CalEvent> thursday = h.store->events(h.at("2026-03-05 00:00"));
        QCOMPARE(thursday.size(), 1);
        p.controller->openEditor(thursday.first());
        p.settle();

        QLineEdit* when = p.view().whenField();
        QVERIFY(when->isVisibleTo(&p.view()));
        QCOMPARE(p.view().mainField()->text(), QStringLiteral("Dentist"));
        when->selectAll();
        QTest::keyClicks(when, "fri 4pm");
        QTest::keyClick(when, Qt::Key_Return); // to the title
        QTest::keyClick(p.view().mainField(), Qt::Key_Return);
        QVERIFY_SOON(!p.state().quickAdd());
        QVERIFY(p.state().selectedEvent());
        QCOMPARE(p.state().selectedEvent()->start, h.at("2026-03-06 16:00"));

        const Khal::Listing listing = khal(h);
        QVERIFY2(listing.ran, qPrintable(listing.diagnostics));
        QCOMPARE(listing.lines, QStringList{"2026-03-06 16:00 2026-03-06 16:45 Dentist"});
    }
};

QTEST_MAIN(TestQuickAddFlow)
#include "tst_quickaddflow.moc"
