#include "ViewWorld.h"

#include "support/AnimationClock.h"
#include "support/Patience.h"
#include "support/Shots.h"
#include "support/TestEvents.h"
#include "ui/controls/Motion.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

const QSizeF notch(180, 24);

// The root view as the snapshot mode has it (no controller, no window), with a peek or an alert.
void setPeek(ViewWorld& w) {
    w.setEvents(
        {TestEvents::timed("standup", "Standup", w.clock.now().addSecs(300), w.clock.now().addSecs(1200))});
}
void setAlert(ViewWorld& w) {
    w.store->showAlert(
        {TestEvents::timed("review", "Review", w.clock.now().addSecs(120), w.clock.now().addSecs(900)),
         MeetingAlert::Kind::imminent, w.clock.now()});
}

QRgb at(const QImage& image, QPoint point) {
    return image.pixel(point * 2);
}

bool isBlack(QRgb pixel) {
    return qAlpha(pixel) == 255 && qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

// The points of a view of this size that lie well inside `outline` (or well outside it): clear of its
// antialiased edge and its hairline.
QList<QPoint> pointsBy(const QPainterPath& outline, QSize size, bool inside) {
    QImage mask(size, QImage::Format_Grayscale8);
    mask.fill(0);
    QPainter(&mask).fillPath(outline, Qt::white);
    const auto in = [&](int x, int y) { return mask.rect().contains(x, y) && qGray(mask.pixel(x, y)) > 0; };
    QList<QPoint> points;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            if (in(x, y) + in(x - 3, y) + in(x + 3, y) + in(x, y - 3) + in(x, y + 3) == (inside ? 5 : 0))
                points << QPoint(x, y);
        }
    }
    return points;
}

// How light a picture at scale 1 shows over a black desktop at `point`; 0 off the picture.
int light(const QImage& image, QPoint point) {
    return image.rect().contains(point) ? qGray(image.pixel(point)) : 0;
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

        ViewWorld world;
        if (mode == NotchMode::peek)
            setPeek(world);
        if (mode == NotchMode::alert)
            setAlert(world);
        world.state->setExpanded(mode == NotchMode::expanded);
        QCOMPARE(world.root->mode(), mode);
        world.fit();

        QImage image = world.render();
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
        const QRectF shape = world.root->silhouetteRect();
        const int x = int(shape.left() - 3) * 2;
        for (int y = 2; y < int(shape.bottom() + 30) * 2; ++y) {
            const int step = std::abs(qAlpha(image.pixel(x, y)) - qAlpha(image.pixel(x, y - 1)));
            QVERIFY2(step <= 12, qPrintable(QStringLiteral("a step of %1 at %2").arg(step).arg(y)));
        }
        world.root->setShadowEnabled(false);
        image = world.render();
        QCOMPARE(qAlpha(at(image, shadow)), 0);
    }

    // A frame in the middle of closing: the agenda that leaves shows partly transparent, and only
    // inside the outline that shrinks around it.
    void closingFadesTheContentInsideTheShrinkingOutline() {
        ViewWorld world;
        world.settings->setShowPeek(false);
        world.useSampleDay();
        world.state->setExpanded(true);
        world.fit();
        const QImage open = world.render(1);
        const QPoint openAt = world.root->modeContent(NotchMode::expanded)->mapTo(world.root.get(), QPoint());

        AnimationClock clock;
        Motion::setEnabled(true);
        world.state->setExpanded(false);
        QVERIFY(clock.takeUpStarted());
        clock.advanceBy(190); // the fade's delay and half its run
        QVERIFY(world.root->isMorphing());
        const QPainterPath outline = world.root->silhouettePath();
        QVERIFY(outline.boundingRect().width() < 600 && outline.boundingRect().width() > 180);
        const QImage frame = world.render(1);
        Shots::save(world.render(), QStringLiteral("root-closing"));
        // The agenda keeps its size, centred in the shrinking outline.
        const QPoint moved =
            world.root->modeContent(NotchMode::expanded)->mapTo(world.root.get(), QPoint()) - openAt;

        // Where the agenda is light inside the outline, the frame shows a part of that light.
        qint64 agenda = 0, shown = 0;
        for (const QPoint& point : pointsBy(outline, frame.size(), true)) {
            if (const int was = light(open, point - moved); was > 60) {
                agenda += was;
                shown += light(frame, point);
            }
        }
        QVERIFY(agenda > 30 * 100);
        QVERIFY2(shown > agenda / 10 && shown < agenda * 6 / 10,
                 qPrintable(QString::number(double(shown) / agenda)));
        // Outside it, none of the agenda's light, though there was plenty.
        int was = 0, outside = 0;
        for (const QPoint& point : pointsBy(outline, frame.size(), false)) {
            was = std::max(was, light(open, point - moved));
            outside = std::max(outside, light(frame, point));
        }
        QVERIFY(was > 200);
        QCOMPARE(outside, 0);
    }

    void morphsWithTheSpringAndSettlesOnTheTarget() {
        ViewWorld world;
        Motion::setEnabled(true);
        world.root->resize(672, 446);
        QSignalSpy frames(world.root.get(), &NotchRootView::silhouetteChanged);
        world.state->setExpanded(true);
        QVERIFY(world.root->isMorphing());
        QCOMPARE(world.root->silhouette().size, QSizeF(180, 24)); // it starts where it was
        QVERIFY_SOON(!world.root->isMorphing());
        QVERIFY(frames.count() > 5);
        QCOMPARE(world.root->silhouette(), NotchSilhouette::forMode(notch, NotchMode::expanded));

        // Turned round half way, it ends exactly on the bare notch.
        world.state->setExpanded(false);
        const qsizetype turned = frames.count();
        QVERIFY_SOON(frames.count() > turned + 2);
        setAlert(world);
        QVERIFY(world.root->isMorphing());
        QVERIFY_SOON(!world.root->isMorphing());
        QCOMPARE(world.root->silhouette(), NotchSilhouette::forMode(notch, NotchMode::alert));
        QCOMPARE(world.root->silhouetteRect(), QRectF(36, 0, 600, 70));
    }
};

QTEST_MAIN(TestNotchRootView)
#include "tst_notchrootview.moc"
