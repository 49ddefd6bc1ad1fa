#include "ui/controls/GoogleCalendarMark.h"

#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <cmath>

namespace {

QString& resourcePath() {
    static QString path = QStringLiteral(":/vorrindel/google-calendar.svg");
    return path;
}

// A calendar page outline with its header and two rings, in the manner of a monochrome symbol.
void paintCalendarSymbol(QPainter& p, const QRectF& square, const QColor& color) {
    const qreal u = square.width() / 16.0;
    const QPointF o = square.topLeft();
    QPen pen(color, 1.3 * u);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(o + QPointF(1.7 * u, 2.7 * u), QSizeF(12.6 * u, 11.6 * u)), 2 * u, 2 * u);
    p.drawLine(o + QPointF(1.7 * u, 6 * u), o + QPointF(14.3 * u, 6 * u));
    p.drawLine(o + QPointF(5 * u, 1.2 * u), o + QPointF(5 * u, 3.8 * u));
    p.drawLine(o + QPointF(11 * u, 1.2 * u), o + QPointF(11 * u, 3.8 * u));
}

} // namespace

GoogleCalendarMark::GoogleCalendarMark(qreal size, QWidget* parent)
    : QWidget(parent)
    , m_size(size) {
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TranslucentBackground);
}

void GoogleCalendarMark::setMarkSize(qreal size) {
    m_size = size;
    setFixedSize(sizeHint());
    update();
}

QSize GoogleCalendarMark::sizeHint() const {
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

QString GoogleCalendarMark::resource() {
    return resourcePath();
}

void GoogleCalendarMark::setResourceForTesting(const QString& path) {
    resourcePath() = path;
}

void GoogleCalendarMark::paint(QPainter& painter, const QRectF& rect, const QColor& fallbackColor) {
    const qreal side = std::min(rect.width(), rect.height());
    QRectF square(0, 0, side, side);
    square.moveCenter(rect.center());

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Loaded at every paint, as small as it is: a build or install without the artwork still
    // shows a calendar.
    QSvgRenderer artwork(resourcePath());
    if (artwork.isValid())
        artwork.render(&painter, square);
    else
        paintCalendarSymbol(painter, square, fallbackColor);
    painter.restore();
}

void GoogleCalendarMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRectF square(0, 0, m_size, m_size);
    square.moveCenter(QRectF(rect()).center());
    paint(painter, square, palette().color(QPalette::WindowText));
}
