#include "support/Patience.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/Motion.h"

#include <QCursor>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>

namespace {

// The white of the background at the button's left edge, well away from the symbol.
int backgroundAlpha(IconButton& button) {
    QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    button.render(&image, {}, {}, QWidget::RenderFlags());
    return qAlpha(image.pixel(3, button.height() / 2));
}

} // namespace

class TestIconButton : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { Motion::setEnabled(true); }
    void cleanup() { Motion::setEnabled(true); }

    // The pointer entering and leaving changes what is painted, through real crossing events.
    void hoverIsPaintedAsThePointerComesAndGoes() {
        QWidget window;
        window.resize(100, 60);
        auto* button = new IconButton(QStringLiteral("plus"), QStringLiteral("New event"), &window);
        button->move(30, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, Patience::ms));
        QCursor::setPos(window.mapToGlobal(QPoint(5, 5)));
        QVERIFY_SOON(!button->isHovering());
        QCOMPARE(backgroundAlpha(*button), qRound(0.07 * 255));

        QCursor::setPos(button->mapToGlobal(button->rect().center()));
        QVERIFY_SOON(button->isHovering());
        QCOMPARE(backgroundAlpha(*button), qRound(0.14 * 255));
        button->setActive(true);
        QCOMPARE(backgroundAlpha(*button), qRound(0.22 * 255));

        QCursor::setPos(window.mapToGlobal(QPoint(5, 5)));
        QVERIFY_SOON(!button->isHovering());
    }

    void clickRunsTheActionAndHelpNamesTheButton() {
        int runs = 0;
        IconButton button(QStringLiteral("gearshape"), QStringLiteral("Settings"), [&] { ++runs; });
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(runs, 1);
        QCOMPARE(button.toolTip(), QStringLiteral("Settings"));
        QCOMPARE(button.accessibleName(), QStringLiteral("Settings"));
    }

    // A panel opened while a sync runs builds its refresh button already spinning: it turns at once.
    void aButtonCreatedSpinningTurns() {
        IconButton button(QStringLiteral("arrow.clockwise"), QStringLiteral("Refresh"));
        button.setSpinning(true);
        button.show();
        QVERIFY_SOON(button.angle() > 10);
    }

    // Stopped, or hidden, it comes to rest upright with nothing running; it starts again either way.
    void stoppingAndHidingComeToRestUpright() {
        IconButton button(QStringLiteral("arrow.clockwise"), QStringLiteral("Refresh"));
        button.show();
        button.setSpinning(true);
        QVERIFY_SOON(button.angle() > 10);
        button.setSpinning(false);
        QCOMPARE_SOON(button.angle(), 0.0);
        button.setSpinning(true);
        QVERIFY_SOON(button.angle() > 10);
        button.hide();
        QCOMPARE(button.angle(), 0.0);
        for (const QVariantAnimation* animation : button.findChildren<QVariantAnimation*>())
            QCOMPARE(animation->state(), QAbstractAnimation::Stopped);
        button.show();
        QVERIFY_SOON(button.angle() > 10);
    }

    void withAnimationsOffItNeverTurns() {
        Motion::setEnabled(false);
        IconButton button(QStringLiteral("arrow.clockwise"), QStringLiteral("Refresh"));
        button.setSpinning(true);
        button.show();
        QTest::qWait(50);
        QCOMPARE(button.angle(), 0.0);
        QVERIFY(button.findChildren<QVariantAnimation*>().isEmpty());
    }
};

QTEST_MAIN(TestIconButton)
#include "tst_iconbutton.moc"
