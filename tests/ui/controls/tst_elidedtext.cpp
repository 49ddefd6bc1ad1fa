#include "ui/controls/ElidedText.h"
#include "ui/controls/Theme.h"

#include <QFontMetricsF>
#include <QTest>

namespace {
const QChar ellipsis(0x2026);
const QString words = QStringLiteral("Quarterly planning with the platform, design and research teams");
} // namespace

class TestElidedText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineCaps_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("lines"); // lines shown
        QTest::addColumn<bool>("elided");
        QTest::newRow("fits on one line") << QStringLiteral("Standup") << 1 << 200 << 1 << false;
        QTest::newRow("one line cut") << words << 1 << 150 << 1 << true;
        QTest::newRow("two lines cut") << words + words << 2 << 150 << 2 << true;
        QTest::newRow("notes capped at twelve")
            << QStringLiteral("line\n").repeated(20) << 12 << 300 << 12 << true;
        QTest::newRow("twelve lines exactly")
            << QStringLiteral("line\n").repeated(11) + QStringLiteral("end") << 12 << 300 << 12 << false;
        QTest::newRow("no cap") << QStringLiteral("line\n").repeated(20).chopped(1) << 0 << 300 << 20
                                << false;
        QTest::newRow("a link wraps anywhere")
            << QStringLiteral("https://example.com/") + QStringLiteral("x").repeated(80) << 3 << 150 << 3
            << true;
        // Lines are laid out from a first stretch of the text, and from more when they reach its end.
        QTest::newRow("longer than the first stretch, fits")
            << QStringLiteral("x").repeated(1000) << 2 << 4000 << 2 << false;
        QTest::newRow("megabytes") << QString(20'000'000, u'x') << 12 << 300 << 12 << true;
    }
    void lineCaps() {
        QFETCH(QString, text);
        QFETCH(int, maxLines);
        QFETCH(int, width);
        QFETCH(int, lines);
        QFETCH(bool, elided);
        const QFont font = Theme::uiFont(12);
        const QFontMetricsF metrics(font);
        const QString shown = ElidedText::shownText(text, font, width, maxLines);
        QCOMPARE(shown.endsWith(ellipsis), elided);
        if (maxLines == 1) {
            QVERIFY2(metrics.horizontalAdvance(shown) <= width + 0.5, qPrintable(shown));
            // A painted line takes the width it reports, whether it fits whole or is cut.
            qreal lineWidth = -1;
            const QString line =
                ElidedText::elidedLine(metrics, text, width + 0.5, Qt::ElideRight, &lineWidth);
            QCOMPARE(lineWidth, metrics.horizontalAdvance(line));
        }
        // The height is that of the lines shown: a long word wraps rather than spilling over.
        const qreal height = ElidedText::textHeight(text, font, width, maxLines);
        QVERIFY2(qAbs(height - lines * metrics.height()) <= lines, qPrintable(QString::number(height)));
    }

    void selectingByMouseAndCopyingThroughTheEllipsis() {
        const QString notes =
            QStringLiteral("Agenda\n") + QStringLiteral("item\n").repeated(30) + QStringLiteral("end");
        ElidedText text(notes, Theme::uiFont(11.5), Theme::white(0.75), 12);
        text.resize(300, text.heightForWidth(300));
        QVERIFY(text.isElided());
        QTest::mouseClick(&text, Qt::LeftButton, {}, QPoint(2, 5));
        QVERIFY(text.selectedText().isEmpty()); // not selectable yet

        text.setSelectable(true);
        // A double click selects the word under the pointer.
        QTest::mouseDClick(&text, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(text.selectedText(), QStringLiteral("Agenda"));
        // A drag from the top to the bottom right reaches the "…": the copy runs to the real end.
        QTest::mousePress(&text, Qt::LeftButton, {}, QPoint(1, 5));
        QTest::mouseMove(&text, QPoint(299, text.height() - 2));
        QTest::mouseRelease(&text, Qt::LeftButton, {}, QPoint(299, text.height() - 2));
        QCOMPARE(text.selectedText(), notes);
        text.setText(QStringLiteral("new"));
        QVERIFY(text.selectedText().isEmpty());
    }
};

QTEST_MAIN(TestElidedText)
#include "tst_elidedtext.moc"
