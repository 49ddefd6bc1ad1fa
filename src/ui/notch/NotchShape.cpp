#include "ui/notch/NotchShape.h"

#include <algorithm>
#include <cmath>

namespace {

// Negative and NaN radii are 0.
qreal nonNegative(qreal value) {
    return value > 0 ? value : 0;
}

qreal lerp(qreal from, qreal to, qreal progress) {
    return from + (to - from) * progress;
}

} // namespace

QPainterPath NotchShape::path(const QRectF& rect) const {
    // An infinite flare has no outline; an infinite bottom radius is cut to the room there is below.
    const qreal t = std::isfinite(topRadius) ? nonNegative(topRadius) : 0;
    // The vertical room takes the flare once, the horizontal room twice.
    const qreal b = std::max<qreal>(
        0, std::min({nonNegative(bottomRadius), (rect.height() - t) / 2, (rect.width() - 2 * t) / 2}));
    const qreal left = rect.left(), top = rect.top(), right = rect.right(), bottom = rect.bottom();

    QPainterPath path;
    path.moveTo(left, top);
    path.quadTo(left + t, top, left + t, top + t);
    if (b > 0) {
        path.lineTo(left + t, bottom - b);
        path.arcTo(QRectF(left + t, bottom - 2 * b, 2 * b, 2 * b), 180, 90);
        path.lineTo(right - t - b, bottom);
        path.arcTo(QRectF(right - t - 2 * b, bottom - 2 * b, 2 * b, 2 * b), 270, 90);
    } else {
        path.lineTo(left + t, bottom);
        path.lineTo(right - t, bottom);
    }
    path.lineTo(right - t, top + t);
    path.quadTo(right - t, top, right, top);
    path.closeSubpath();
    return path;
}

NotchSilhouette NotchSilhouette::forMode(const QSizeF& notchSize, NotchMode mode) {
    NotchSilhouette s;
    s.size = NotchLayout::shapeSize(notchSize, mode);
    switch (mode) {
    case NotchMode::collapsed:
        s.bottomRadius = 10;
        break;
    case NotchMode::peek:
        s.topRadius = 6;
        s.bottomRadius = 14;
        break;
    case NotchMode::alert:
        s.topRadius = 10;
        s.bottomRadius = 20;
        s.outlineOpacity = 0.16;
        break;
    case NotchMode::expanded:
        s.topRadius = 12;
        s.bottomRadius = 24;
        break;
    }
    if (mode == NotchMode::alert || mode == NotchMode::expanded) {
        s.shadowOpacity = 0.5;
        s.shadowBlur = 18;
        s.shadowOffsetY = 8;
    }
    return s;
}

NotchSilhouette NotchSilhouette::interpolate(const NotchSilhouette& from, const NotchSilhouette& to,
                                             qreal progress) {
    NotchSilhouette s;
    s.size = QSizeF(lerp(from.size.width(), to.size.width(), progress),
                    lerp(from.size.height(), to.size.height(), progress));
    s.topRadius = lerp(from.topRadius, to.topRadius, progress);
    s.bottomRadius = lerp(from.bottomRadius, to.bottomRadius, progress);
    // Opacities past their ends would wrap around when turned into colours.
    s.outlineOpacity = std::clamp<qreal>(lerp(from.outlineOpacity, to.outlineOpacity, progress), 0, 1);
    s.shadowOpacity = std::clamp<qreal>(lerp(from.shadowOpacity, to.shadowOpacity, progress), 0, 1);
    s.shadowBlur = std::max<qreal>(0, lerp(from.shadowBlur, to.shadowBlur, progress));
    s.shadowOffsetY = lerp(from.shadowOffsetY, to.shadowOffsetY, progress);
    return s;
}
