#include "core/model/CalEvent.h"
#include "ui/controls/JoinButton.h"
#include "ui/controls/PillButton.h"

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
    // The capsule's middle is its fill, and it dims while held down.
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
