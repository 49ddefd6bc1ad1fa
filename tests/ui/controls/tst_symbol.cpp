#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

namespace {

int paintedPixels(const QImage& image, int minimumAlpha = 1) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) >= minimumAlpha;
    return count;
}

QImage paintSymbol(const QString& name, const QColor& color) {
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Symbol::paint(painter, name, QRectF(0, 0, 20, 20), color);
    return image;
}

} // namespace

// The panel's font and its symbols.
class TestSymbol : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Countdowns change every minute beside the notch: digits of different widths would make them
    // jump sideways at every change.
    void digitsAreTabularInEveryWeightTheViewsUse() {
        for (QFont::Weight weight : {QFont::Normal, QFont::Medium, QFont::DemiBold, QFont::Bold}) {
            const QFontMetricsF metrics(Theme::uiFont(12, weight));
            const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
            for (char digit = '1'; digit <= '9'; ++digit)
                QCOMPARE(metrics.horizontalAdvance(QLatin1Char(digit)), zero);
        }
    }

    // Symbols are drawn tinted: the most opaque pixel is the colour asked for. (Every name the views
    // use has a picture: their tests and the snapshot run fail on a symbol without one.)
    void symbolsAreDrawnInTheirTint_data() {
        QTest::addColumn<QString>("name");
        for (const char* name :
             {"arrow.clockwise", "calendar.badge.exclamationmark", "person.crop.circle.badge.plus",
              "sparkles", "video.slash", "xmark.circle.fill"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void symbolsAreDrawnInTheirTint() {
        QFETCH(QString, name);
        const QImage image = paintSymbol(name, Theme::accent());
        QVERIFY2(paintedPixels(image) > 20, "nothing visible was painted");
        QRgb strongest = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > qAlpha(strongest))
                    strongest = image.pixel(x, y);
        const QColor accent = Theme::accent();
        QVERIFY(qAlpha(strongest) > 200);
        QVERIFY(qAbs(qRed(strongest) - accent.red()) <= 6 && qAbs(qGreen(strongest) - accent.green()) <= 6 &&
                qAbs(qBlue(strongest) - accent.blue()) <= 6);
    }

    void anUnknownNameDrawsNothingAndIsReportedOnce() {
        QTest::ignoreMessage(QtWarningMsg, "Symbol: no picture for \"no.such.symbol\"");
        QCOMPARE(paintedPixels(paintSymbol(QStringLiteral("no.such.symbol"), Qt::white)), 0);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("no picture")));
        QCOMPARE(paintedPixels(paintSymbol(QStringLiteral("no.such.symbol"), Qt::white)), 0);
    }
};

QTEST_MAIN(TestSymbol)
#include "tst_symbol.moc"
