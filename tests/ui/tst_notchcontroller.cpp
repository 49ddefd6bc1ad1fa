#include "PanelWorld.h"

#include "support/Patience.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"
#include "ui/settings/SettingsOpener.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

namespace {

using namespace std::chrono_literals;

const QPoint onNotch(756, 10);
const QPoint farAway(300, 700);
const NotchTimings timings;
const qint64 shrinkMs = timings.shrinkDelay.count();

void moveTo(const QPoint& global) {
    QCursor::setPos(global);
    QCoreApplication::processEvents();
}

void wait(std::chrono::milliseconds span) {
    QTest::qWait(int(span.count()));
}

// A line edit inside the expanded panel's content.
QLineEdit* addField(PanelWorld& world) {
    auto* content = new QWidget;
    auto* field = new QLineEdit(content);
    field->setGeometry(20, 20, 200, 30);
    world.controller->rootView()->setModeContent(NotchMode::expanded, content);
    return field;
}

} // namespace

class TestNotchController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { Motion::setEnabled(false); }
    void init() { moveTo(farAway); }

    // Hovering opens only the bare notch; a peek or an alert opens from the notch itself, at least
    // 4 pixels inside its side edges and in the band at the top of the window.
    void hover_data() {
        QTest::addColumn<bool>("setting");
        QTest::addColumn<NotchMode>("shown");
        QTest::addColumn<QPoint>("offset"); // from the notch's top centre
        QTest::addColumn<bool>("expands");

        QTest::newRow("bare notch") << true << NotchMode::collapsed << QPoint(0, 10) << true;
        QTest::newRow("bare notch, setting off") << false << NotchMode::collapsed << QPoint(0, 10) << false;
        QTest::newRow("peek wing") << true << NotchMode::peek << QPoint(150, 10) << false;
        QTest::newRow("peek, 4 inside the right edge") << true << NotchMode::peek << QPoint(86, 10) << true;
        QTest::newRow("peek, 3 inside the right edge") << true << NotchMode::peek << QPoint(87, 10) << false;
        QTest::newRow("alert, the notch's last row") << true << NotchMode::alert << QPoint(0, 23) << true;
        QTest::newRow("alert, the banner below") << true << NotchMode::alert << QPoint(0, 40) << false;
    }

    void hover() {
        QFETCH(bool, setting);
        QFETCH(NotchMode, shown);
        QFETCH(QPoint, offset);
        QFETCH(bool, expands);

        PanelWorld world;
        world.settings->setExpandOnHover(setting);
        world.setPeek(shown == NotchMode::peek);
        if (shown == NotchMode::alert)
            world.showAlert();
        QCOMPARE_SOON(world.frame(), PanelWorld::frameOf(shown));
        moveTo(QPoint(756, 0) + offset);
        QCOMPARE(world.state().expanded(), expands);
        QVERIFY(!world.state().pinned());
        QCOMPARE(world.frame(), PanelWorld::frameOf(expands ? NotchMode::expanded : shown));
    }

    void leavingCollapsesLaterUnlessThePointerReturns() {
        PanelWorld world;
        moveTo(onNotch);
        QVERIFY(world.state().expanded());
        moveTo(farAway);
        moveTo(onNotch);
        wait(timings.collapseDelay + 100ms);
        QVERIFY(world.state().expanded());

        QElapsedTimer sinceCollapse;
        connect(&world.state(), &NotchState::expandedChanged, this, [&] { sinceCollapse.start(); });
        moveTo(farAway);
        QVERIFY(world.state().expanded());
        QVERIFY_SOON(sinceCollapse.isValid());
        // The window keeps its size while the silhouette shrinks inside it.
        QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::expanded));
        QCOMPARE_SOON(world.frame(), PanelWorld::frameOf(NotchMode::collapsed));
        QVERIFY(sinceCollapse.elapsed() >= shrinkMs - 20);
    }

    void pinnedSurvivesLeavingButNotAClickElsewhere() {
        PanelWorld world;
        world.ownWindows = {QPoint(1000, 600)};
        world.controller->expand(true);
        QVERIFY(world.clicks->listening);
        moveTo(farAway);
        wait(timings.pointerPollInterval + 150ms);
        QVERIFY(world.state().expanded());

        // The wheel and the middle button, a click just beside the panel and one on another window
        // of the app are no clicks elsewhere.
        for (int button : {4, 5, 2})
            world.clicks->press(button);
        moveTo(QPoint(420 + 672 + 1, 200));
        world.clicks->press(1);
        moveTo(QPoint(1000, 600));
        world.clicks->press(1);
        QVERIFY(world.state().expanded());

        moveTo(farAway);
        world.clicks->press(3);
        QVERIFY(!world.state().expanded() && !world.state().pinned());
        QVERIFY(!world.clicks->listening);
    }

    void expandingAnExpandedPanelOnlyPinsIt() {
        PanelWorld world;
        moveTo(onNotch);
        QSignalSpy expanded(&world.state(), &NotchState::expandedChanged);
        world.controller->expand(true);
        QVERIFY(world.state().pinned());
        QCOMPARE(expanded.count(), 0);

        // Unpinned again, the pointer decides.
        moveTo(farAway);
        world.controller->togglePinned();
        QVERIFY_SOON(!world.state().expanded());
    }

    void hotKeyTogglesQuickAddAndLendsTheKeyboard() {
        PanelWorld world;
        QCOMPARE(world.keys->grabs, 1);
        world.keys->press();
        QVERIFY_SOON(world.state().quickAdd());
        QVERIFY(world.state().expanded() && world.state().pinned());
        QCOMPARE(world.focus->takes, 0); // a moment later, once quick add is there to take it
        QCOMPARE_SOON(world.focus->takes, 1);

        world.keys->press();
        QVERIFY_SOON(!world.state().expanded());
        QVERIFY(!world.state().quickAdd());
        QCOMPARE(world.focus->givenBack, 1);

        // Over the day view it opens quick add.
        world.controller->expand(true);
        world.keys->press();
        QVERIFY_SOON(world.state().quickAdd());
        QVERIFY(world.state().expanded());

        // A panel closed straight away never takes the keyboard.
        world.controller->collapse();
        world.controller->openQuickAdd(QString());
        world.controller->collapse();
        wait(timings.keyDelay * 3);
        QCOMPARE(world.focus->takes, 1);
    }

    void quickAddAndEditor() {
        PanelWorld world;
        // The controller's own bookkeeping: no quick-add view in the panel to take the line.
        world.controller->rootView()->setModeContent(NotchMode::expanded, nullptr);
        CalEvent shown;
        shown.id = QStringLiteral("a");
        world.state().setSelectedEvent(shown);
        world.controller->openQuickAdd(QStringLiteral("Lunch fri 1pm"));
        QVERIFY(!world.state().selectedEvent());
        world.controller->openQuickAdd(QString()); // a line nobody has taken yet stays
        QCOMPARE(world.state().quickAddPrefill(), QStringList{"Lunch fri 1pm"});

        world.state().setSelectedEvent(shown);
        world.controller->openEditor(shown);
        QVERIFY(world.state().selectedEvent() && world.state().editingEvent());
        QVERIFY_SOON(world.focus->panelHasIt);
        world.controller->closeQuickAdd(false);
        QVERIFY(!world.state().quickAdd() && !world.state().editingEvent());
        QVERIFY(world.state().expanded() && world.state().pinned());
        QVERIFY(!world.focus->panelHasIt);

        world.controller->openQuickAdd(QString());
        QVERIFY_SOON(world.focus->panelHasIt);
        world.controller->closeQuickAdd(true);
        QVERIFY(!world.state().expanded() && !world.state().selectedEvent());
        QVERIFY(!world.focus->panelHasIt);
    }

    void escape() {
        PanelWorld world;
        QLineEdit* field = addField(world);
        world.controller->openQuickAdd(QString());
        QTest::keyClicks(field, QStringLiteral("Lunch"));
        QCOMPARE(field->text(), "Lunch");

        bool consume = true;
        int asked = 0;
        QObject view;
        world.state().setEscapeHandler(NotchState::EscapeOwner::quickAdd, &view,
                                       [&] { return ++asked, consume; });
        // Typed into a text field, Escape still reaches the handlers.
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(asked, 1);
        QVERIFY(world.state().expanded());
        consume = false;
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(asked, 2);
        QVERIFY(!world.state().expanded());
    }

    // Closing from quick add or from an event's detail is one fade of what was showing, with no
    // fade of the body's own inside it (an opacity effect inside another cannot be painted): opened
    // straight into the view, and switched to it just before closing, while it still slides in.
    void closingFadesOnce_data() {
        QTest::addColumn<bool>("detail");
        QTest::newRow("quick add") << false;
        QTest::newRow("detail") << true;
    }

    void closingFadesOnce() {
        QFETCH(bool, detail);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("[Pp]ainter|paint device")));
        Motion::setEnabled(true);
        const auto still = qScopeGuard([] { Motion::setEnabled(false); });
        PanelWorld world;
        world.setPeek(true);
        for (int round = 0; round < 6; ++round) {
            const bool late = round % 2 == 1;
            if (late) {
                world.controller->expand(true);
                wait(300ms);
            }
            if (detail) {
                world.controller->expand(true);
                world.state().setSelectedEvent(world.store->peek()->event);
            } else {
                world.controller->openQuickAdd(QString());
            }
            wait(late ? 60ms : 300ms);
            world.controller->collapse();
            wait(timings.shrinkDelay + 50ms);
        }
    }

    void clicksOnThePanel() {
        PanelWorld world;
        QLineEdit* field = addField(world);
        QWindow* window = world.controller->panel()->windowHandle();
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(90, 12));
        QVERIFY(world.state().expanded() && world.state().pinned());

        // Only a click into a text field takes the keyboard.
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(336, 400));
        QVERIFY(world.state().expanded());
        QCOMPARE(world.focus->takes, 0);
        QTest::mouseClick(window, Qt::LeftButton, {}, field->mapTo(world.controller->panel(), QPoint(5, 5)));
        QCOMPARE(world.focus->takes, 1);
    }

    void alertGrowsAtOnceAndShrinksLater() {
        PanelWorld world;
        world.showAlert();
        QCOMPARE_SOON(world.frame(), PanelWorld::frameOf(NotchMode::alert));
        QElapsedTimer sinceEnd;
        world.store->dismissAlert();
        sinceEnd.start();
        QCoreApplication::processEvents();
        QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::alert));
        QCOMPARE_SOON(world.frame(), PanelWorld::frameOf(NotchMode::collapsed));
        QVERIFY(sinceEnd.elapsed() >= shrinkMs - 20);

        // Neither changes the expanded frame; expanding takes a showing alert down.
        world.controller->expand(true);
        world.showAlert();
        wait(50ms);
        QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::expanded));
        world.controller->collapse();
        QCOMPARE_SOON(world.frame(), PanelWorld::frameOf(NotchMode::alert));
        world.controller->expand(true);
        QVERIFY(!world.store->alert());
    }

    void stepsAsideForTheSettingsAndTheAlertPreview() {
        PanelWorld world;
        world.controller->expand(true);
        SettingsOpener::open();
        QVERIFY(!world.state().expanded());
        world.controller->expand(true);
        world.store->previewAlert();
        QVERIFY(!world.state().expanded());
        QCOMPARE_SOON(world.frame(), PanelWorld::frameOf(NotchMode::alert));
    }

    void screenChanges() {
        PanelWorld world;
        QSignalSpy geometry(&world.state(), &NotchState::geometryChanged);
        // The same screens: nothing new to store, but the frame is put right again.
        world.controller->panel()->setGeometry(10, 10, 50, 50);
        emit world.screens->changed();
        QCOMPARE_SOON(world.frame(), PanelWorld::frameOf(NotchMode::collapsed));
        QCOMPARE(geometry.count(), 0);

        world.screens->list = {{QRectF(0, 0, 1920, 1080), QRectF(0, 32, 1920, 1048)}};
        emit world.screens->changed();
        QCOMPARE_SOON(world.frame(), QRect(870, 0, 180, 32));
        QCOMPARE(geometry.count(), 1);
    }
};

QTEST_MAIN(TestNotchController)
#include "tst_notchcontroller.moc"
