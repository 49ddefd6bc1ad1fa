#include "core/settings/AppSettings.h"
#include "core/settings/SettingsLocations.h"
#include "core/store/EventStore.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"
#include "support/TestEvents.h"
#include "ui/controls/Motion.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"

#include <QGraphicsEffect>
#include <QSignalSpy>
#include <QTest>

namespace {

const NotchGeometry laptop{QRectF(0, 0, 1512, 982), QSizeF(180, 24), false};

// The root view as the snapshot mode has it: a state of its own, a store and settings, no
// controller and no window.
struct Bare {
    Bare() {
        settings = std::make_unique<AppSettings>(SettingsLocations::standard());
        EventStore::Environment environment;
        environment.settings = settings.get();
        environment.clock = clock.clock();
        environment.timers = clock.timers();
        store = std::make_unique<EventStore>(std::move(environment));
        view = std::make_unique<NotchRootView>(state, *store, *settings);
        fit();
    }

    // Sized as the window of its mode. A hidden widget hears of its new size when it is rendered.
    void fit() {
        view->resize(NotchLayout::windowFrame(laptop, view->mode()).size().toSize());
        render();
    }

    void setPeek() {
        store->installSampleEvents(
            {TestEvents::timed("standup", "Standup", clock.now().addSecs(300), clock.now().addSecs(1200))});
    }
    void setAlert() {
        store->showAlert(
            {TestEvents::timed("review", "Review", clock.now().addSecs(120), clock.now().addSecs(900)),
             MeetingAlert::Kind::imminent, clock.now()});
    }

    // The view at device pixel ratio 2, read back in view coordinates.
    QImage render() const {
        QImage image(view->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        view->render(&image);
        return image;
    }

    TempHome home;
    std::unique_ptr<AppSettings> settings;
    ManualClock clock{TestEvents::at(QStringLiteral("2026-03-04 10:00"))};
    std::unique_ptr<EventStore> store;
    NotchState state{laptop};
    std::unique_ptr<NotchRootView> view;
};

QRgb at(const QImage& image, QPoint point) {
    return image.pixel(point * 2);
}

bool isBlack(QRgb pixel) {
    return qAlpha(pixel) == 255 && qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

} // namespace

class TestNotchRootView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { Motion::setEnabled(false); }

    // Probes of each mode's silhouette in its own window: black inside, nothing outside the
    // silhouette and its shadow, and a shadow only under the alert and the expanded panel.
    void silhouettes_data() {
        QTest::addColumn<NotchMode>("mode");
        QTest::addColumn<QList<QPoint>>("black");
        QTest::addColumn<QList<QPoint>>("clear");
        QTest::addColumn<QPoint>("shadow"); // (-1, -1): none anywhere

        QTest::newRow("collapsed") << NotchMode::collapsed << QList<QPoint>{{90, 12}, {1, 1}, {178, 1}}
                                   << QList<QPoint>{{1, 23}, {178, 23}} << QPoint(-1, -1);
        QTest::newRow("peek") << NotchMode::peek << QList<QPoint>{{20, 12}, {470, 12}, {246, 23}}
                              << QList<QPoint>{{1, 12}, {2, 23}} << QPoint(-1, -1);
        QTest::newRow("alert") << NotchMode::alert << QList<QPoint>{{336, 60}, {50, 10}}
                               << QList<QPoint>{{1, 1}, {1, 104}, {670, 104}} << QPoint(336, 80);
        QTest::newRow("expanded") << NotchMode::expanded
                                  << QList<QPoint>{{336, 200}, {47, 1}, {625, 1}, {60, 400}}
                                  << QList<QPoint>{{1, 1}, {1, 444}} << QPoint(336, 420);
    }

    void silhouettes() {
        QFETCH(NotchMode, mode);
        QFETCH(QList<QPoint>, black);
        QFETCH(QList<QPoint>, clear);
        QFETCH(QPoint, shadow);

        Bare bare;
        if (mode == NotchMode::peek)
            bare.setPeek();
        if (mode == NotchMode::alert)
            bare.setAlert();
        bare.state.setExpanded(mode == NotchMode::expanded);
        QCOMPARE(bare.view->mode(), mode);
        bare.fit();

        QImage image = bare.render();
        for (const QPoint& point : black)
            QVERIFY2(isBlack(at(image, point)),
                     qPrintable(QStringLiteral("%1,%2").arg(point.x()).arg(point.y())));
        for (const QPoint& point : clear)
            QVERIFY2(qAlpha(at(image, point)) == 0,
                     qPrintable(QStringLiteral("%1,%2").arg(point.x()).arg(point.y())));
        if (shadow.x() < 0)
            return;
        // Half black at most where it is darkest, next to the shape, and without a seam where its
        // pieces meet: down its left side and round the corner, the darkness changes smoothly.
        QVERIFY(qAlpha(at(image, shadow)) > 0 && qAlpha(at(image, shadow)) <= 128);
        const QRectF shape = bare.view->silhouetteRect();
        const int x = int(shape.left() - 3) * 2;
        for (int y = 2; y < int(shape.bottom() + 30) * 2; ++y) {
            const int step = std::abs(qAlpha(image.pixel(x, y)) - qAlpha(image.pixel(x, y - 1)));
            QVERIFY2(step <= 12, qPrintable(QStringLiteral("a step of %1 at %2").arg(step).arg(y)));
        }
        bare.view->setShadowEnabled(false);
        image = bare.render();
        QCOMPARE(qAlpha(at(image, shadow)), 0);
    }

    void morphsWithTheSpringAndSettlesOnTheTarget() {
        Motion::setEnabled(true);
        Bare bare;
        bare.view->resize(672, 446);
        QSignalSpy frames(bare.view.get(), &NotchRootView::silhouetteChanged);
        bare.state.setExpanded(true);
        QVERIFY(bare.view->isMorphing());
        QCOMPARE(bare.view->silhouette().size, QSizeF(180, 24)); // it starts where it was
        QTRY_VERIFY(!bare.view->isMorphing());
        QVERIFY(frames.count() > 5);
        QCOMPARE(bare.view->silhouette(), NotchSilhouette::forMode(laptop.notchSize, NotchMode::expanded));

        // Turned round half way, it ends exactly on the bare notch.
        bare.state.setExpanded(false);
        QTest::qWait(100);
        bare.setAlert();
        QVERIFY(bare.view->isMorphing());
        QTRY_VERIFY(!bare.view->isMorphing());
        QCOMPARE(bare.view->silhouette(), NotchSilhouette::forMode(laptop.notchSize, NotchMode::alert));
        QCOMPARE(bare.view->silhouetteRect(), QRectF(36, 0, 600, 70));
    }

    void hostsEachModesContentInsideTheSilhouette() {
        Bare bare;
        auto* peek = new QWidget;
        auto* expanded = new QWidget;
        bare.view->setModeContent(NotchMode::peek, peek);
        bare.view->setModeContent(NotchMode::expanded, expanded);
        QVERIFY(!peek->isVisibleTo(bare.view.get()) && !expanded->isVisibleTo(bare.view.get()));

        QSignalSpy modes(bare.view.get(), &NotchRootView::modeChanged);
        bare.setPeek();
        QCOMPARE(modes.count(), 1);
        QCOMPARE(modes.first().at(0).value<NotchMode>(), NotchMode::peek);
        QCOMPARE(modes.first().at(1).value<NotchMode>(), NotchMode::collapsed);
        bare.fit();
        QVERIFY(peek->isVisibleTo(bare.view.get()));
        QCOMPARE(peek->mapTo(bare.view.get(), QPoint(0, 0)), QPoint(0, 0));
        QCOMPARE(peek->size(), QSize(492, 24));

        // The expanded content keeps its size, centred and clipped while the shape is smaller.
        Motion::setEnabled(true);
        bare.state.setExpanded(true);
        bare.view->resize(672, 446);
        QVERIFY(expanded->isVisibleTo(bare.view.get()));
        QCOMPARE(expanded->size(), QSize(600, 410));
        QVERIFY(expanded->parentWidget()->geometry().width() < 600);
        QVERIFY(!expanded->parentWidget()->mask().isEmpty());
        QTRY_VERIFY(!peek->isVisibleTo(bare.view.get()));
        QTRY_VERIFY(!expanded->graphicsEffect());
        QTRY_VERIFY(!bare.view->isMorphing());
        QCOMPARE(expanded->mapTo(bare.view.get(), QPoint(0, 0)), QPoint(36, 0));

        // Replacing a mode's content deletes the one before.
        QPointer<QWidget> old(peek);
        bare.view->setModeContent(NotchMode::peek, new QWidget);
        QVERIFY(!old);
    }

    void aClickWithoutAControllerDoesNothing() {
        Bare bare;
        QTest::mouseClick(bare.view.get(), Qt::LeftButton, {}, QPoint(90, 12));
        QVERIFY(!bare.state.expanded());
    }
};

QTEST_MAIN(TestNotchRootView)
#include "tst_notchrootview.moc"
