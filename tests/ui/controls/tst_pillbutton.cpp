#include "core/model/CalEvent.h"
#include "ui/controls/JoinButton.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Theme.h"

#include <QAccessible>
#include <QImage>
#include <QTest>

namespace {

QImage render(QWidget& widget) {
    widget.resize(widget.sizeHint());
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, {}, {}, QWidget::RenderFlags());
    return image;
}

CalEvent meeting(const QString& link) {
    CalEvent event;
    event.id = QStringLiteral("g:me@example.com:primary:abc");
    event.title = QStringLiteral("Design review");
    if (!link.isEmpty())
        event.location = link;
    return event;
}

} // namespace

class TestPillButton : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void looks_data() {
        QTest::addColumn<bool>("prominent");
        QTest::addColumn<bool>("compact");
        QTest::addColumn<bool>("danger");
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<qreal>("fontSize");
        QTest::addColumn<QMarginsF>("padding");
        const QMarginsF normal(10, 4, 10, 4);
        const QMarginsF small(8, 3, 8, 3);
        QTest::newRow("plain") << false << false << false << Theme::white(0.12) << Theme::white() << 11.5
                               << normal;
        QTest::newRow("prominent") << true << false << false << Theme::white() << Theme::black() << 11.5
                                   << normal;
        QTest::newRow("danger") << false << false << true << Theme::danger() << Theme::white() << 11.5
                                << normal;
        QTest::newRow("danger wins over prominent")
            << true << false << true << Theme::danger() << Theme::white() << 11.5 << normal;
        QTest::newRow("compact prominent")
            << true << true << false << Theme::white() << Theme::black() << 10.5 << small;
        QTest::newRow("compact danger")
            << false << true << true << Theme::danger() << Theme::white() << 10.5 << small;
    }
    void looks() {
        QFETCH(bool, prominent);
        QFETCH(bool, compact);
        QFETCH(bool, danger);
        QFETCH(QColor, fill);
        QFETCH(QColor, text);
        QFETCH(qreal, fontSize);
        QFETCH(QMarginsF, padding);
        const NotchPillStyle::Look look = NotchPillStyle{prominent, compact, danger}.look();
        QCOMPARE(look.fill, fill);
        QCOMPARE(look.text, text);
        QCOMPARE(look.fontSize, fontSize);
        QCOMPARE(look.padding, padding);
    }

    void theDangerRedIsExact() { QCOMPARE(Theme::danger(), QColor::fromRgbF(1.0f, 0.27f, 0.23f)); }

    // Painted, not only described: the capsule's middle is its fill, and it dims while held down.
    void pressingDimsThePill() {
        PillButton pill(QStringLiteral("Grant access"), {.prominent = true});
        const QImage up = render(pill);
        const QPoint edge(3, up.height() / 2);
        QCOMPARE(QColor(up.pixel(edge)), QColor(Qt::white));
        QCOMPARE(qAlpha(up.pixel(edge)), 255);
        pill.setDown(true);
        const QImage down = render(pill);
        QVERIFY(qAbs(qAlpha(down.pixel(edge)) - 255 * NotchPillStyle::pressedOpacity) <= 1);
        // The corners stay clear: it is a capsule.
        QCOMPARE(qAlpha(up.pixel(0, 0)), 0);
    }

    void compactIsSmallerAndBusyMakesRoomForTheSpinner() {
        PillButton normal(QStringLiteral("Delete"), {.danger = true});
        PillButton compact(QStringLiteral("Delete"), {.compact = true, .danger = true});
        QVERIFY(compact.sizeHint().width() < normal.sizeHint().width());
        QVERIFY(compact.sizeHint().height() < normal.sizeHint().height());
        const int idle = normal.sizeHint().width();
        normal.setBusy(true);
        QVERIFY(normal.sizeHint().width() > idle);
        // Screen readers read the label.
        QCOMPARE(QAccessible::queryAccessibleInterface(&normal)->text(QAccessible::Name),
                 QStringLiteral("Delete"));
    }

    void joinNamesTheServiceAndHandsTheCurrentEventOver_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("help");
        QTest::newRow("zoom") << "https://acme.zoom.us/j/123456"
                              << "Join with Zoom";
        QTest::newRow("meet") << "https://meet.google.com/abc-defg-hij"
                              << "Join with Google Meet";
        QTest::newRow("no link") << ""
                                 << "Join";
    }
    void joinNamesTheServiceAndHandsTheCurrentEventOver() {
        QFETCH(QString, link);
        QFETCH(QString, help);
        QList<CalEvent> joined;
        JoinButton button(meeting(link), true, [&](const CalEvent& event) { joined.append(event); });
        QCOMPARE(button.toolTip(), help);
        QCOMPARE(button.text(), QStringLiteral("Join"));
        QVERIFY(button.pillStyle().prominent && button.pillStyle().compact && !button.pillStyle().danger);

        // A publish hands the button a newer copy; a click joins that one.
        CalEvent renamed = meeting(link);
        renamed.title = QStringLiteral("Design review (moved)");
        button.setEvent(renamed);
        button.resize(button.sizeHint());
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(joined.size(), 1);
        QCOMPARE(joined.first().title, renamed.title);
    }
};

QTEST_MAIN(TestPillButton)
#include "tst_pillbutton.moc"
