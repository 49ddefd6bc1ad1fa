#include "ui/controls/Motion.h"

#include <QPainter>

#include <atomic>
#include <cmath>
#include <numbers>

namespace {

std::atomic<bool> animationsOn{true};

// A damped spring released from 0 towards 1 (response and damping fraction in thousandths), as a
// function of the curve's progress over `durationMs`.
template <int responseMilli, int dampingMilli, int durationMs> qreal springCurve(qreal progress) {
    if (progress >= 1.0)
        return 1.0;
    constexpr qreal response = responseMilli / 1000.0;
    constexpr qreal damping = dampingMilli / 1000.0;
    constexpr qreal omega = 2 * std::numbers::pi / response;
    const qreal dampedOmega = omega * std::sqrt(1 - damping * damping);
    const qreal t = progress * durationMs / 1000.0;
    const qreal decay = std::exp(-damping * omega * t);
    return 1 -
           decay * (std::cos(dampedOmega * t) + damping * omega / dampedOmega * std::sin(dampedOmega * t));
}

} // namespace

namespace Motion {

bool enabled() {
    return animationsOn.load(std::memory_order_relaxed);
}

void setEnabled(bool on) {
    animationsOn.store(on, std::memory_order_relaxed);
}

QEasingCurve spring() {
    QEasingCurve curve;
    curve.setCustomType(springCurve<380, 820, int(springDuration.count())>);
    return curve;
}

QEasingCurve contentSpring() {
    QEasingCurve curve;
    curve.setCustomType(springCurve<300, 850, int(contentSpringDuration.count())>);
    return curve;
}

QEasingCurve easeInOut() {
    return QEasingCurve(QEasingCurve::InOutQuad);
}

void pop(QPainter& painter, const QPointF& centre, qreal shown, qreal smallest) {
    const qreal scale = smallest + (1 - smallest) * shown;
    painter.setOpacity(painter.opacity() * shown);
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
}

} // namespace Motion
