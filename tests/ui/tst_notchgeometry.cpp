#include "ui/notch/NotchGeometry.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

using Screen = NotchGeometry::Screen;

// A screen with a top bar `bar` high and no notch.
Screen plain(const QRectF& frame, qreal bar) {
    return {frame, frame.adjusted(0, bar, 0, 0)};
}

} // namespace

class TestNotchGeometry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowFrames_data() {
        QTest::addColumn<QRectF>("screen");
        QTest::addColumn<QSizeF>("notch");
        QTest::addColumn<NotchMode>("mode");
        QTest::addColumn<QRectF>("frame");

        const QRectF laptop(0, 0, 1512, 982);
        // Hanging from the top edge, so every frame starts at the screen's top in Qt's coordinates.
        QTest::newRow("collapsed") << laptop << QSizeF(180, 32) << NotchMode::collapsed
                                   << QRectF(666, 0, 180, 32);
        QTest::newRow("peek") << laptop << QSizeF(180, 32) << NotchMode::peek << QRectF(510, 0, 492, 32);
        QTest::newRow("alert") << laptop << QSizeF(180, 32) << NotchMode::alert << QRectF(420, 0, 672, 114);
        QTest::newRow("expanded ignores the notch")
            << laptop << QSizeF(230, 38) << NotchMode::expanded << QRectF(420, 0, 672, 446);
        QTest::newRow("half a pixel rounds up")
            << laptop << QSizeF(181, 32) << NotchMode::collapsed << QRectF(666, 0, 181, 32);
        QTest::newRow("left of the origin, away from zero")
            << QRectF(-1512, 0, 1512, 982) << QSizeF(181, 32) << NotchMode::collapsed
            << QRectF(-847, 0, 181, 32);
        QTest::newRow("second screen below and right") << QRectF(1512, 200, 1920, 1080) << QSizeF(180, 24)
                                                       << NotchMode::alert << QRectF(2136, 200, 672, 106);
    }

    void windowFrames() {
        QFETCH(QRectF, screen);
        QFETCH(QSizeF, notch);
        QFETCH(NotchMode, mode);
        QFETCH(QRectF, frame);
        QCOMPARE(NotchLayout::windowFrame({screen, notch, false}, mode), frame);
    }

    void detect_data() {
        QTest::addColumn<QList<Screen>>("screens");
        QTest::addColumn<int>("mainIndex");
        QTest::addColumn<NotchGeometry>("expected");

        const QRectF laptop(0, 0, 1512, 982), monitor(1512, 0, 2560, 1440);
        const Screen notched{laptop, laptop.adjusted(0, 37, 0, 0), 32, 656, 656};

        QTest::newRow("camera notch")
            << QList<Screen>{notched} << 0 << NotchGeometry{laptop, QSizeF(200, 32), true};
        QTest::newRow("the notch screen wins over the main one")
            << QList<Screen>{plain(monitor, 30), notched} << 0
            << NotchGeometry{laptop, QSizeF(200, 32), true};
        QTest::newRow("bar of 22 grows to 24")
            << QList<Screen>{plain(monitor, 22)} << 0 << NotchGeometry{monitor, QSizeF(180, 24), false};
        QTest::newRow("bar of 50 stops at 40")
            << QList<Screen>{plain(monitor, 50)} << 0 << NotchGeometry{monitor, QSizeF(180, 40), false};
        QTest::newRow("bar that is not a number")
            << QList<Screen>{plain(monitor, std::numeric_limits<qreal>::quiet_NaN())} << 0
            << NotchGeometry{monitor, QSizeF(180, 24), false};
        QTest::newRow("the main screen") << QList<Screen>{plain(laptop, 30), plain(monitor, 32)} << 1
                                         << NotchGeometry{monitor, QSizeF(180, 32), false};
        QTest::newRow("no main screen: the first") << QList<Screen>{plain(laptop, 30), plain(monitor, 32)}
                                                   << -1 << NotchGeometry{laptop, QSizeF(180, 30), false};
    }

    void detect() {
        QFETCH(QList<Screen>, screens);
        QFETCH(int, mainIndex);
        QFETCH(NotchGeometry, expected);
        const NotchGeometry found = NotchGeometry::detect(screens, mainIndex);
        QCOMPARE(found.screenFrame, expected.screenFrame);
        QCOMPARE(found.notchSize, expected.notchSize);
        QCOMPARE(found.hasPhysicalNotch, expected.hasPhysicalNotch);
    }

    void withoutScreensThePanelStillHasAPlace() {
        const NotchGeometry none = NotchGeometry::detect({}, -1);
        QVERIFY(!none.screenFrame.isEmpty());
        QCOMPARE(none.notchSize, QSizeF(180, 24));
        const QRectF frame = NotchLayout::windowFrame(none, NotchMode::expanded);
        QVERIFY(none.screenFrame.contains(frame));
    }
};

QTEST_GUILESS_MAIN(TestNotchGeometry)
#include "tst_notchgeometry.moc"
