#include "ui/controls/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// Relative luminance as the WCAG contrast formula weighs it.
double luminance(const QColor& color) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

const QColor darkInk(0x1d, 0x1d, 0x1f);
const QColor lightInk(0xf5, 0xf5, 0xf7);

} // namespace

namespace AppIcon {

QImage glyph(int side, const QColor& ink) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 16-unit grid.
    p.scale(side / 16.0, side / 16.0);
    QPen pen(ink, 1.25, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    // The page: its frame, a solid band along the top and the two rings that bind it.
    const QRectF page(1.5, 2.5, 11, 11);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(page, 2, 2);
    QPainterPath frame;
    frame.addRoundedRect(page, 2, 2);
    QPainterPath top;
    top.addRect(QRectF(0, 0, 16, 5.5));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(frame.intersected(top));
    p.setPen(pen);
    p.drawLine(QPointF(4.5, 1), QPointF(4.5, 3));
    p.drawLine(QPointF(9.5, 1), QPointF(9.5, 3));

    // The clock badge, set off from the page by a clear ring so that it reads in a single ink.
    const QPointF centre(11.5, 11.5);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.drawEllipse(centre, 5.1, 5.1);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 3.5, 3.5);
    p.drawLine(centre, centre + QPointF(0, -2));
    p.drawLine(centre, centre + QPointF(1.5, 0));
    return image;
}

QImage tile(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ground(0, 0, 0, side);
    ground.setColorAt(0, QColor(0x3a, 0x3a, 0x3c));
    ground.setColorAt(1, QColor(0x0b, 0x0b, 0x0c));
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    const qreal radius = side * 0.2237;
    p.drawRoundedRect(QRectF(0, 0, side, side), radius, radius);
    // The picture's weight sits a little right of and below its grid's middle.
    const int inner = int(std::lround(side * 0.64));
    const QPointF at((side - inner) / 2.0 - side * 0.03, (side - inner) / 2.0 - side * 0.02);
    p.drawImage(at, glyph(inner, Qt::white));
    return image;
}

double contrast(const QColor& a, const QColor& b) {
    const double first = luminance(a), second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor inkFor(const QColor& background) {
    return contrast(background, darkInk) >= contrast(background, lightInk) ? darkInk : lightInk;
}

QImage onPanel(int side, const QColor& panel) {
    const QColor ink = inkFor(panel);
    const QColor other = ink == darkInk ? lightInk : darkInk;
    // The edge: the picture in the other ink, spread one pixel every way.
    const QImage spread = glyph(side, other);
    QImage edge(side, side, QImage::Format_ARGB32_Premultiplied);
    edge.fill(Qt::transparent);
    {
        QPainter p(&edge);
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy)
                p.drawImage(QPoint(dx, dy), spread);
        }
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setOpacity(0.45);
    p.drawImage(0, 0, edge);
    p.setOpacity(1);
    p.drawImage(0, 0, glyph(side, ink));
    return image;
}

} // namespace AppIcon
