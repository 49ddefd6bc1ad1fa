#include "ui/controls/AppIcon.h"

#include <QPainter>
#include <QTest>

namespace {

// The share of the icon's area that, laid on the panel, stands out from it by at least `ratio`.
double standingOut(const QImage& icon, const QColor& panel, double ratio) {
    QImage shown(icon.size(), QImage::Format_ARGB32_Premultiplied);
    shown.fill(panel);
    QPainter(&shown).drawImage(0, 0, icon);
    int count = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            count += AppIcon::contrast(shown.pixelColor(x, y), panel) >= ratio;
    return double(count) / (shown.width() * shown.height());
}

} // namespace

class TestAppIcon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Drawn for the panel it sits on, the tray's picture reads as text does there (4.5:1) over a fifth
    // of its area (a light grey picture with a dark badge reaches a tenth on a light panel); drawn
    // for a wrong guess of the panel, its edge still outlines it.
    void readsOnLightAndDarkPanels_data() {
        QTest::addColumn<QColor>("panel");
        QTest::addColumn<QColor>("drawnFor");
        QTest::addColumn<double>("ratio");
        const QColor light(0xf2, 0xf2, 0xf2), dark(0x20, 0x20, 0x22), grey(0x80, 0x80, 0x80);
        const QColor blueGrey(0x31, 0x36, 0x3b);
        QTest::newRow("light panel") << light << light << 4.5;
        QTest::newRow("dark panel") << dark << dark << 4.5;
        QTest::newRow("black panel") << QColor(Qt::black) << QColor(Qt::black) << 4.5;
        QTest::newRow("blue-grey panel") << blueGrey << blueGrey << 4.5;
        QTest::newRow("mid-grey panel") << grey << grey << 3.0;
        QTest::newRow("light panel taken for dark") << light << dark << 1.5;
        QTest::newRow("dark panel taken for light") << dark << light << 1.5;
    }
    void readsOnLightAndDarkPanels() {
        QFETCH(QColor, panel);
        QFETCH(QColor, drawnFor);
        QFETCH(double, ratio);
        for (int side : {16, 22, 32}) {
            const double share = standingOut(AppIcon::onPanel(side, drawnFor), panel, ratio);
            QVERIFY2(share >= 0.2, qPrintable(QStringLiteral("%1 px: %2").arg(side).arg(share)));
        }
    }
};

QTEST_GUILESS_MAIN(TestAppIcon)
#include "tst_appicon.moc"
