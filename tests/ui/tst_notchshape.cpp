#include "ui/notch/NotchShape.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

bool hasPoint(const QPainterPath& path, const QPointF& point) {
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (std::abs(e.x - point.x()) < 1e-9 && std::abs(e.y - point.y()) < 1e-9)
            return true;
    }
    return false;
}

} // namespace

class TestNotchShape : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The radii actually drawn, read back from where the left side's straight line ends.
    void radiiAreClamped_data() {
        QTest::addColumn<qreal>("top");
        QTest::addColumn<qreal>("bottom");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<qreal>("drawnTop");
        QTest::addColumn<qreal>("drawnBottom");

        const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
        const qreal inf = std::numeric_limits<qreal>::infinity();
        QTest::newRow("collapsed") << 0.0 << 10.0 << QSizeF(200, 32) << 0.0 << 10.0;
        QTest::newRow("expanded") << 12.0 << 24.0 << QSizeF(600, 410) << 12.0 << 24.0;
        QTest::newRow("alert") << 10.0 << 20.0 << QSizeF(600, 78) << 10.0 << 20.0;
        QTest::newRow("bottom cut to the height left") << 6.0 << 14.0 << QSizeF(492, 20) << 6.0 << 7.0;
        QTest::newRow("bottom cut to the width left") << 10.0 << 30.0 << QSizeF(60, 400) << 10.0 << 20.0;
        QTest::newRow("negative") << -3.0 << -0.5 << QSizeF(200, 32) << 0.0 << 0.0;
        QTest::newRow("not a number") << nan << nan << QSizeF(200, 32) << 0.0 << 0.0;
        QTest::newRow("infinite") << inf << inf << QSizeF(200, 32) << 0.0 << 16.0;
        QTest::newRow("flare taller than the rectangle") << 40.0 << 10.0 << QSizeF(200, 32) << 40.0 << 0.0;
    }

    void radiiAreClamped() {
        QFETCH(qreal, top);
        QFETCH(qreal, bottom);
        QFETCH(QSizeF, size);
        QFETCH(qreal, drawnTop);
        QFETCH(qreal, drawnBottom);

        const QRectF rect(QPointF(10, 5), size);
        const QPainterPath path = NotchShape{top, bottom}.path(rect);
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            QVERIFY2(std::isfinite(e.x) && std::isfinite(e.y), qPrintable(QString::number(i)));
        }
        // One closed outline from the top-left corner back to it.
        QCOMPARE(QPointF(path.elementAt(0)), rect.topLeft());
        QCOMPARE(QPointF(path.currentPosition()), rect.topLeft());
        QVERIFY(hasPoint(path, QPointF(rect.left() + drawnTop, rect.bottom() - drawnBottom)));
        QVERIFY(hasPoint(path, QPointF(rect.right() - drawnTop, rect.top() + drawnTop)));
    }

    void outline() {
        // The expanded panel: flares of 12 reaching into the top corners, bottom corners of 24.
        const QPainterPath path = NotchShape{12, 24}.path(QRectF(0, 0, 600, 410));
        QVERIFY(path.contains(QPointF(11, 1)));  // inside the left flare, under the top edge
        QVERIFY(!path.contains(QPointF(1, 11))); // beside the body, below the flare
        QVERIFY(path.contains(QPointF(589, 1))); // the right flare
        QVERIFY(!path.contains(QPointF(599, 11)));
        QVERIFY(!path.contains(QPointF(18, 404))); // cut away by the bottom-left corner
        QVERIFY(path.contains(QPointF(20, 402)));
        QVERIFY(path.contains(QPointF(300, 409.5)));
        QVERIFY(!path.contains(QPointF(582, 404))); // the bottom-right corner
        QCOMPARE(path.boundingRect(), QRectF(0, 0, 600, 410));
    }
};

QTEST_GUILESS_MAIN(TestNotchShape)
#include "tst_notchshape.moc"
