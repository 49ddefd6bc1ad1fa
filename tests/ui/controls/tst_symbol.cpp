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
        QCOMPARE(Theme::fontFamily(), QStringLiteral("Roboto"));
        for (QFont::Weight weight : {QFont::Normal, QFont::Medium, QFont::DemiBold, QFont::Bold}) {
            const QFontMetricsF metrics(Theme::uiFont(12, weight));
            const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
            for (char digit = '1'; digit <= '9'; ++digit)
                QCOMPARE(metrics.horizontalAdvance(QLatin1Char(digit)), zero);
        }
    }

    void sizesArePixelsWhateverTheDpi() {
        QCOMPARE(QFontInfo(Theme::uiFont(20)).pixelSize(), 20);
        // Half sizes are drawn at the next whole pixel, never smaller than asked.
        QCOMPARE(QFontInfo(Theme::uiFont(10.5)).pixelSize(), 11);
        QCOMPARE(QFontInfo(Theme::uiFont(9.5, QFont::Medium)).pixelSize(), 10);
    }

    // Every symbol name the panel, the event detail and quick add use has a picture.
    void everyNameTheViewsUseIsDrawn_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"arrow.clockwise",
                                 "at",
                                 "bell.fill",
                                 "calendar",
                                 "calendar.badge.exclamationmark",
                                 "checkmark",
                                 "checkmark.circle",
                                 "checkmark.circle.fill",
                                 "chevron.left",
                                 "chevron.right",
                                 "chevron.up",
                                 "circle",
                                 "clock",
                                 "exclamationmark.circle.fill",
                                 "exclamationmark.triangle.fill",
                                 "gearshape",
                                 "mappin.and.ellipse",
                                 "pencil",
                                 "person",
                                 "person.2",
                                 "person.crop.circle.badge.checkmark",
                                 "person.crop.circle.badge.plus",
                                 "person.crop.circle.badge.xmark",
                                 "pin",
                                 "pin.fill",
                                 "plus",
                                 "questionmark.circle.fill",
                                 "sparkles",
                                 "sun.max",
                                 "trash",
                                 "video.fill",
                                 "video.slash",
                                 "xmark",
                                 "xmark.circle.fill"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void everyNameTheViewsUseIsDrawn() {
        QFETCH(QString, name);
        QVERIFY(Symbol::exists(name));
        const QImage image = paintSymbol(name, Theme::accent());
        QVERIFY2(paintedPixels(image) > 20, "nothing visible was painted");
        // Tinted: the most opaque pixel is the colour asked for.
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

    void anOutlineDiffersFromItsFilledPicture() {
        QVERIFY(paintedPixels(paintSymbol(QStringLiteral("pin"), Qt::white), 255) <
                paintedPixels(paintSymbol(QStringLiteral("pin.fill"), Qt::white), 255));
    }

    void anUnknownNameDrawsNothingAndIsReportedOnce() {
        QTest::ignoreMessage(QtWarningMsg, "Symbol: no picture for \"no.such.symbol\"");
        QCOMPARE(paintedPixels(paintSymbol(QStringLiteral("no.such.symbol"), Qt::white)), 0);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("no picture")));
        QCOMPARE(paintedPixels(paintSymbol(QStringLiteral("no.such.symbol"), Qt::white)), 0);
    }

    void aPixmapHasTheDevicePixelRatioAsked() {
        const QPixmap pixmap = Symbol::pixmap(QStringLiteral("clock"), 16, Qt::white, 2);
        QCOMPARE(pixmap.size(), QSize(32, 32));
        QCOMPARE(pixmap.devicePixelRatio(), 2.0);
        QVERIFY(paintedPixels(pixmap.toImage()) > 20);
    }
};

QTEST_MAIN(TestSymbol)
#include "tst_symbol.moc"
