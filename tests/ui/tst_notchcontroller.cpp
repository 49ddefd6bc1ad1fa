#include "PanelWorld.h"

#include "ui/controls/Motion.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

using namespace std::chrono_literals;

const QPoint onNotch(756, 10);
const QPoint farAway(300, 700);

void moveTo(const QPoint& global) {
    QCursor::setPos(global);
    QCoreApplication::processEvents();
}

// Waits for the panel to collapse and answers how long after the collapse its window kept the
// expanded frame.
qint64 msUntilShrunk(PanelWorld& world, const QRect& collapsedFrame) {
    QElapsedTimer sinceCollapse;
    QObject::connect(&world.state(), &NotchState::expandedChanged, world.controller.get(), [&] {
        if (!world.state().expanded())
            sinceCollapse.start();
    });
    if (!QTest::qWaitFor([&] { return sinceCollapse.isValid(); }, 3000))
        return -1;
    if (world.frame() != PanelWorld::frameOf(NotchMode::expanded))
        return 0;
    if (!QTest::qWaitFor([&] { return world.frame() == collapsedFrame; }, 3000))
        return -1;
    return sinceCollapse.elapsed();
}

} // namespace

class TestNotchController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { Motion::setEnabled(false); }
    void init() { moveTo(farAway); }

    void startsAsTheBareNotch() {
        PanelWorld world;
        QCOMPARE(world.frame(), QRect(666, 0, 180, 24));
        QCOMPARE(NotchController::shared(), world.controller.get());
        QVERIFY(world.controller->panel()->isVisible());
        QCOMPARE(world.keys->grabs, 1);
    }

    // Hovering opens only the bare notch; a peek or an alert opens from the notch itself.
    void hover_data() {
        QTest::addColumn<bool>("onHoverSetting");
        QTest::addColumn<int>("shown");     // 0 bare notch, 1 peek, 2 alert
        QTest::addColumn<QPoint>("offset"); // from the notch's top centre
        QTest::addColumn<bool>("expands");

        QTest::newRow("bare notch") << true << 0 << QPoint(0, 10) << true;
        QTest::newRow("bare notch, hover off") << false << 0 << QPoint(0, 10) << false;
        QTest::newRow("peek wing") << true << 1 << QPoint(150, 10) << false;
        QTest::newRow("peek, over the notch") << true << 1 << QPoint(0, 10) << true;
        QTest::newRow("peek, 4 inside the notch's edge") << true << 1 << QPoint(86, 10) << true;
        QTest::newRow("peek, 3 inside the notch's edge") << true << 1 << QPoint(87, 10) << false;
        QTest::newRow("peek, left edge") << true << 1 << QPoint(-86, 10) << true;
        QTest::newRow("peek, hover off") << false << 1 << QPoint(0, 10) << false;
        QTest::newRow("alert, the notch's lowest row") << true << 2 << QPoint(0, 23) << true;
        QTest::newRow("alert, the banner below the notch") << true << 2 << QPoint(0, 40) << false;
    }

    void hover() {
        QFETCH(bool, onHoverSetting);
        QFETCH(int, shown);
        QFETCH(QPoint, offset);
        QFETCH(bool, expands);

        PanelWorld world;
        world.settings->setExpandOnHover(onHoverSetting);
        if (shown == 1)
            world.setPeek(true);
        if (shown == 2)
            world.showAlert();
        const NotchMode mode = shown == 0   ? NotchMode::collapsed
                               : shown == 1 ? NotchMode::peek
                                            : NotchMode::alert;
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(mode));

        // Into the window at the side first, then over to the point.
        moveTo(QPoint(756 + offset.x(), offset.y()));
        QCOMPARE(world.state().expanded(), expands);
        QVERIFY(!world.state().pinned());
        if (expands)
            QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::expanded));
    }

    void leavingCollapsesAfterADelayUnlessThePointerReturns() {
        PanelWorld world;
        moveTo(onNotch);
        QVERIFY(world.state().expanded());

        // Out and back in at once: the pending collapse is cancelled.
        moveTo(farAway);
        moveTo(onNotch);
        QTest::qWait(int((NotchController::collapseDelay + 100ms).count()));
        QVERIFY(world.state().expanded());

        moveTo(farAway);
        QVERIFY(world.state().expanded());
        const qint64 kept = msUntilShrunk(world, PanelWorld::frameOf(NotchMode::collapsed));
        QVERIFY2(kept >= NotchController::shrinkDelay.count() - 20, qPrintable(QString::number(kept)));
    }

    void pinnedSurvivesLeavingButNotAClickElsewhere() {
        PanelWorld world;
        world.ownWindows = {QPoint(1000, 600)};
        world.controller->expand(true);
        QVERIFY(world.clicks->listening);
        // Longer than both the collapse delay and a round of the pointer poll.
        moveTo(farAway);
        QTest::qWait(int((NotchController::pointerPollInterval + 150ms).count()));
        QVERIFY(world.state().expanded());

        // The wheel, the middle button, a click just by the panel and one on another window of the
        // app are no clicks elsewhere.
        world.clicks->press(4);
        world.clicks->press(5);
        world.clicks->press(2);
        moveTo(QPoint(420 + 672 + 1, 200)); // the frame grown by 2
        world.clicks->press(1);
        moveTo(QPoint(1000, 600));
        world.clicks->press(1);
        QVERIFY(world.state().expanded());

        moveTo(farAway);
        world.clicks->press(3);
        QVERIFY(!world.state().expanded());
        QVERIFY(!world.state().pinned());
        QVERIFY(!world.clicks->listening);
    }

    void expandingAnExpandedPanelOnlyPinsIt() {
        PanelWorld world;
        moveTo(onNotch);
        QSignalSpy expanded(&world.state(), &NotchState::expandedChanged);
        world.controller->expand(true);
        QVERIFY(world.state().pinned());
        QCOMPARE(expanded.count(), 0);
        QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::expanded));

        // Unpinning lets the pointer decide.
        moveTo(farAway);
        world.controller->togglePinned();
        QTRY_VERIFY(!world.state().expanded());
    }

    void hotKeyTogglesQuickAddAndTheKeyboardFollows() {
        PanelWorld world;
        world.keys->press();
        QTRY_VERIFY(world.state().quickAdd());
        QVERIFY(world.state().expanded() && world.state().pinned());
        // The keyboard comes a moment later, once quick add is there to take it.
        QCOMPARE(world.focus->takes, 0);
        QTRY_COMPARE(world.focus->takes, 1);

        world.keys->press();
        QTRY_VERIFY(!world.state().expanded());
        QVERIFY(!world.state().quickAdd());
        QCOMPARE(world.focus->givenBack, 1);

        // Over the day view it opens quick add rather than closing.
        world.controller->expand(true);
        world.keys->press();
        QTRY_VERIFY(world.state().quickAdd());
        QVERIFY(world.state().expanded());
    }

    void aPanelClosedAtOnceDoesNotTakeTheKeyboard() {
        PanelWorld world;
        world.controller->openQuickAdd(QString());
        world.controller->collapse();
        QTest::qWait(int((NotchController::keyDelay * 3).count()));
        QCOMPARE(world.focus->takes, 0);
    }

    void quickAddContract() {
        PanelWorld world;
        CalEvent shown;
        shown.id = QStringLiteral("a");
        world.state().setSelectedEvent(shown);

        world.controller->openQuickAdd(QStringLiteral("Lunch fri 1pm"));
        QVERIFY(!world.state().selectedEvent());
        world.controller->openQuickAdd(QString());
        QCOMPARE(world.state().quickAddPrefill(), "Lunch fri 1pm");

        world.state().setSelectedEvent(shown);
        world.controller->openEditor(shown);
        QVERIFY(world.state().selectedEvent() && world.state().editingEvent());
        QTRY_VERIFY(world.focus->panelHasIt);

        world.controller->closeQuickAdd(false);
        QVERIFY(!world.state().quickAdd() && !world.state().editingEvent());
        QVERIFY(world.state().expanded() && world.state().pinned());
        QVERIFY(!world.focus->panelHasIt);

        world.controller->openQuickAdd(QString());
        QTRY_VERIFY(world.focus->panelHasIt);
        world.controller->closeQuickAdd(true);
        QVERIFY(!world.state().expanded() && !world.state().quickAdd() && !world.state().selectedEvent());
        QVERIFY(!world.focus->panelHasIt);
    }

    void escape() {
        PanelWorld world;
        auto* field = new QLineEdit;
        world.controller->rootView()->setModeContent(NotchMode::expanded, field);
        world.controller->openQuickAdd(QString());
        QVERIFY(field->isVisible());

        // Keys other than Escape reach the field.
        QTest::keyClicks(field, QStringLiteral("Lunch"));
        QCOMPARE(field->text(), "Lunch");

        bool consume = true;
        int asked = 0;
        QObject view;
        world.state().setEscapeHandler(NotchState::EscapeOwner::quickAdd, &view, [&] {
            ++asked;
            return consume;
        });
        // Typed into the field, Escape still reaches the handlers.
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(asked, 1);
        QVERIFY(world.state().expanded());

        consume = false;
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(asked, 2);
        QVERIFY(!world.state().expanded());
    }

    void aClickIntoATextFieldTakesTheKeyboard() {
        PanelWorld world;
        auto* content = new QWidget;
        auto* field = new QLineEdit(content);
        field->setGeometry(20, 20, 200, 30);
        world.controller->rootView()->setModeContent(NotchMode::expanded, content);
        world.controller->expand(true);
        QWindow* window = world.controller->panel()->windowHandle();

        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(336, 400)); // the panel, not the field
        QCOMPARE(world.focus->takes, 0);
        const QPoint inField = field->mapTo(world.controller->panel(), field->rect().center());
        QTest::mouseClick(window, Qt::LeftButton, {}, inField);
        QCOMPARE(world.focus->takes, 1);
    }

    void aClickOnTheCollapsedPanelExpandsItPinned() {
        PanelWorld world;
        QWindow* window = world.controller->panel()->windowHandle();
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(90, 12));
        QVERIFY(world.state().expanded() && world.state().pinned());
        QCOMPARE(world.focus->takes, 0);
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(336, 200));
        QVERIFY(world.state().expanded() && world.state().pinned());
    }

    void alertGrowsAtOnceAndShrinksLater() {
        PanelWorld world;
        world.showAlert();
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(NotchMode::alert));

        QElapsedTimer sinceEnd;
        world.store->dismissAlert();
        sinceEnd.start();
        QCoreApplication::processEvents();
        QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::alert));
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(NotchMode::collapsed));
        QVERIFY(sinceEnd.elapsed() >= NotchController::shrinkDelay.count() - 20);

        // Neither changes the expanded frame; expanding takes a showing alert down.
        world.controller->expand(true);
        world.showAlert();
        QTest::qWait(50);
        QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::expanded));
        world.controller->collapse();
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(NotchMode::alert));
        world.controller->expand(true);
        QVERIFY(!world.store->alert());
    }

    void peekSettingShrinksTheWindowLater() {
        PanelWorld world;
        world.setPeek(true);
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(NotchMode::peek));
        world.settings->setShowPeek(false);
        QTest::qWait(50);
        QCOMPARE(world.frame(), PanelWorld::frameOf(NotchMode::peek));
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(NotchMode::collapsed));
    }

    void theAlertPreviewShowsOnTheBareNotch() {
        PanelWorld world;
        world.controller->expand(true);
        world.store->previewAlert();
        QVERIFY(!world.state().expanded());
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(NotchMode::alert));
    }

    void screenChanges() {
        PanelWorld world;
        QSignalSpy geometry(&world.state(), &NotchState::geometryChanged);
        // The same screens: nothing to store, but the frame is put right again.
        world.controller->panel()->setGeometry(10, 10, 50, 50);
        emit world.screens->changed();
        QTRY_COMPARE(world.frame(), PanelWorld::frameOf(NotchMode::collapsed));
        QCOMPARE(geometry.count(), 0);

        world.screens->list = {{QRectF(0, 0, 1920, 1080), QRectF(0, 32, 1920, 1048)}};
        emit world.screens->changed();
        QTRY_COMPARE(world.frame(), QRect(870, 0, 180, 32));
        QCOMPARE(geometry.count(), 1);
    }

    void withoutACompositorTheWindowIsCutToTheSilhouette() {
        PanelWorld world(false);
        QCOMPARE(world.controller->panel()->mask().boundingRect(), QRect(0, 0, 180, 24));
        world.controller->expand(true);
        const QRegion mask = world.controller->panel()->mask();
        QVERIFY(mask.contains(QPoint(336, 200)));
        QVERIFY(mask.contains(QPoint(49, 200)));  // the body starts inside the 12-pixel flares
        QVERIFY(!mask.contains(QPoint(46, 200))); // the shadow's margin and the flare's inside
        QVERIFY(!mask.contains(QPoint(38, 408))); // a rounded corner
        QVERIFY(!mask.contains(QPoint(336, 420)));
    }
};

QTEST_MAIN(TestNotchController)
#include "tst_notchcontroller.moc"
