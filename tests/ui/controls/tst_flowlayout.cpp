#include "ui/controls/FlowLayout.h"

#include <QTest>
#include <QWidget>

using Sizes = QList<QSize>;
using Points = QList<QPoint>;

class TestFlowLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void place_data() {
        QTest::addColumn<Sizes>("sizes");
        QTest::addColumn<int>("spacing");
        QTest::addColumn<int>("width"); // -1: none given
        QTest::addColumn<Points>("positions");
        QTest::addColumn<QSize>("size");
        const Sizes three{{50, 20}, {50, 20}, {50, 20}};
        // The second child would end at 55 + 50 = 105 > 100.
        QTest::newRow("one over the edge wraps")
            << three << 5 << 100 << Points{{0, 0}, {0, 25}, {0, 50}} << QSize(100, 70);
        // Ending exactly at the edge still fits.
        QTest::newRow("exactly at the edge fits")
            << three << 5 << 105 << Points{{0, 0}, {55, 0}, {0, 25}} << QSize(105, 45);
        QTest::newRow("no width wraps at 400") << Sizes{{200, 10}, {190, 10}, {10, 10}} << 5 << -1
                                               << Points{{0, 0}, {205, 0}, {0, 15}} << QSize(400, 25);
        QTest::newRow("empty") << Sizes{} << 5 << 300 << Points{} << QSize(300, 0);
        QTest::newRow("a wide child stands alone and overflows")
            << Sizes{{30, 10}, {500, 10}, {30, 10}} << 5 << 100 << Points{{0, 0}, {0, 15}, {0, 30}}
            << QSize(100, 40);
        QTest::newRow("a wide first child does not leave an empty row")
            << Sizes{{500, 10}, {30, 10}} << 5 << 100 << Points{{0, 0}, {0, 15}} << QSize(100, 25);
        QTest::newRow("a row is as high as its tallest child")
            << Sizes{{40, 10}, {40, 30}, {40, 12}} << 4 << 90 << Points{{0, 0}, {44, 0}, {0, 34}}
            << QSize(90, 46);
    }
    void place() {
        QFETCH(Sizes, sizes);
        QFETCH(int, spacing);
        QFETCH(int, width);
        QFETCH(Points, positions);
        QFETCH(QSize, size);
        const FlowLayout::Placement placement =
            FlowLayout::place(sizes, spacing, width < 0 ? std::nullopt : std::optional<int>(width));
        QCOMPARE(placement.positions, positions);
        QCOMPARE(placement.size, size);
    }

    // The layout itself: widgets land where the arithmetic says, hidden ones take no place, and the
    // height follows the width.
    void widgetsAreLaidOutAndHeightFollowsWidth() {
        QWidget host;
        auto* layout = new FlowLayout(5, &host);
        QList<QWidget*> chips;
        for (int i = 0; i < 4; ++i) {
            auto* chip = new QWidget;
            chip->setFixedSize(50, 20);
            layout->addWidget(chip);
            chips.append(chip);
        }
        chips[1]->hide();
        QVERIFY(layout->hasHeightForWidth());
        QCOMPARE(layout->heightForWidth(105), 45);
        QCOMPARE(layout->heightForWidth(160), 20);
        layout->setGeometry(QRect(10, 10, 105, 45));
        QCOMPARE(chips[0]->geometry(), QRect(10, 10, 50, 20));
        QCOMPARE(chips[2]->geometry(), QRect(65, 10, 50, 20));
        QCOMPARE(chips[3]->geometry(), QRect(10, 35, 50, 20));
        QCOMPARE(layout->sizeHint(), QSize(400, 20));
    }
};

QTEST_MAIN(TestFlowLayout)
#include "tst_flowlayout.moc"
