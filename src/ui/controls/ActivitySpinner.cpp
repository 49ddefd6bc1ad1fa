#include "ui/controls/ActivitySpinner.h"

#include "ui/controls/Motion.h"
#include "ui/controls/Theme.h"

#include <QPainter>
#include <QVariantAnimation>

ActivitySpinner::ActivitySpinner(int side, QWidget* parent)
    : QWidget(parent)
    , m_side(side)
    , m_color(Theme::white()) {
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(tr("In progress"));
}

void ActivitySpinner::setColor(const QColor& color) {
    m_color = color;
    update();
}

QSize ActivitySpinner::sizeHint() const {
    return {m_side, m_side};
}

void ActivitySpinner::paint(QPainter& painter, const QRectF& box, qreal angle, const QColor& color) {
    const qreal side = std::min(box.width(), box.height());
    const qreal pen = std::max(1.5, side / 8);
    const QRectF ring(box.center().x() - side / 2 + pen / 2, box.center().y() - side / 2 + pen / 2,
                      side - pen, side - pen);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor track = color;
    track.setAlphaF(color.alphaF() * 0.25f);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(ring);
    painter.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap));
    // Qt's angles run counter-clockwise in sixteenths of a degree; the arc turns clockwise.
    painter.drawArc(ring, int((90 - angle) * 16), -100 * 16);
    painter.restore();
}

void ActivitySpinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(rect()), m_angle, m_color);
}

void ActivitySpinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!Motion::enabled())
        return;
    if (!m_turn) {
        m_turn = new QVariantAnimation(this);
        m_turn->setStartValue(0.0);
        m_turn->setEndValue(360.0);
        m_turn->setDuration(900);
        m_turn->setLoopCount(-1);
        connect(m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_angle = v.toReal();
            update();
        });
    }
    m_turn->start();
}

void ActivitySpinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (m_turn)
        m_turn->stop();
}
