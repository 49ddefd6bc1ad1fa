#include "core/model/ProcessArguments.h"
#include "support/Patience.h"
#include "ui/controls/ElidedText.h"
#include "ui/controls/MaybeScroll.h"
#include "ui/controls/Theme.h"

#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A column of 30 rows of 40 pixels, like a long day list.
QWidget* column(QList<ElidedText*>* rows) {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 30; ++i) {
        auto* row = new ElidedText(QStringLiteral("Event %1").arg(i), Theme::uiFont(13), Theme::white());
        row->setFixedHeight(40);
        layout->addWidget(row);
        rows->append(row);
    }
    return content;
}

} // namespace

class TestMaybeScroll : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { ProcessArguments::setSnapshotMode(false); }

    void anUpdateInPlaceKeepsTheScrollPosition() {
        QList<ElidedText*> rows;
        MaybeScroll scroll(column(&rows));
        QVERIFY(!scroll.isStatic());
        scroll.resize(300, 200);
        scroll.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scroll, Patience::ms));
        scroll.setScrollPosition(300);
        QCOMPARE(scroll.scrollPosition(), 300);
        // A publish renames a row and adds one at the end: the user stays where they were.
        rows[3]->setText(QStringLiteral("Renamed"));
        auto* extra = new ElidedText(QStringLiteral("Late addition"), Theme::uiFont(13), Theme::white());
        extra->setFixedHeight(40);
        static_cast<QVBoxLayout*>(scroll.content()->layout())->addWidget(extra);
        QCOMPARE_SOON(scroll.content()->height(), 31 * 40);
        QCOMPARE(scroll.scrollPosition(), 300);
    }

    void snapshotFormIsAPlainFrameFromTheTop() {
        ProcessArguments::setSnapshotMode(true);
        QList<ElidedText*> rows;
        QWidget* content = column(&rows);
        content->setMaximumWidth(200);
        MaybeScroll scroll(content);
        QVERIFY(scroll.isStatic());
        QVERIFY(!scroll.findChild<QScrollArea*>());
        scroll.resize(300, 200);
        scroll.show();
        // Centred across, from the top, cut off at the bottom; it never scrolls.
        QCOMPARE_SOON(content->geometry(), QRect(50, 0, 200, 30 * 40));
        scroll.setScrollPosition(100);
        scroll.scrollToChild(rows[5]);
        QCOMPARE(scroll.scrollPosition(), 0);
        QCOMPARE(content->y(), 0);
    }
};

QTEST_MAIN(TestMaybeScroll)
#include "tst_maybescroll.moc"
