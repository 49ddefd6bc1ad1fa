#include "core/remote/HexColor.h"

#include <QTest>

class TestHexColor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void colors_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected"); // invalid: no colour
        const QColor blueish(0x1a, 0x2b, 0x3c);
        QTest::newRow("with #") << "#1a2b3c" << blueish;
        QTest::newRow("without #") << "1a2b3c" << blueish;
        QTest::newRow("upper case, blanks and tab") << " #1A2B3C\t" << blueish;
        QTest::newRow("black is a colour") << "000000" << QColor(0, 0, 0);
        QTest::newRow("white") << "#FFFFFF" << QColor(255, 255, 255);
        QTest::newRow("plus sign reads as a number") << "+12345" << QColor(0x01, 0x23, 0x45);
        QTest::newRow("minus zero") << "-00000" << QColor(0, 0, 0);
        QTest::newRow("minus anything else") << "-00001" << QColor();
        QTest::newRow("three digits") << "#abc" << QColor();
        QTest::newRow("eight digits with alpha") << "#1a2b3c4d" << QColor();
        QTest::newRow("two #") << "##1a2b3c" << QColor();
        QTest::newRow("not hexadecimal") << "1a2b3g" << QColor();
        QTest::newRow("colour name") << "maroon" << QColor();
        QTest::newRow("empty") << "" << QColor();
        QTest::newRow("# alone") << "#" << QColor();
        QTest::newRow("trailing line break") << "1a2b3c\n" << QColor();
        QTest::newRow("blank inside") << "1a2 b3c" << QColor();
    }
    void colors() {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        const std::optional<QColor> color = HexColor::color(text);
        QCOMPARE(color.has_value(), expected.isValid());
        if (color) {
            QCOMPARE(color->rgba(), expected.rgba());
            QCOMPARE(color->alpha(), 255);
        }
    }
};

QTEST_GUILESS_MAIN(TestHexColor)
#include "tst_hexcolor.moc"
