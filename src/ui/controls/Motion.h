#pragma once

#include <QEasingCurve>

#include <chrono>

class QPainter;
class QPointF;

// The panel's motion: the spring that opens and closes it, the short fades of its content, and one
// process-wide switch that turns every animation off. Tests and the snapshot mode switch it off so
// that a change shows its final state at once.
namespace Motion {

bool enabled();
void setEnabled(bool on);

// The expand and collapse spring (response 0.38 s, damping fraction 0.82) as a curve over
// springDuration: it overshoots by about 1 % and has settled to within 0.1 % at the end, where it
// snaps to exactly 1.
QEasingCurve spring();
inline constexpr std::chrono::milliseconds springDuration{600};

// The softer spring of changes inside the panel's content (response 0.3 s, damping fraction 0.85):
// it overshoots by under 1 % and has settled to within 0.1 % at the end of contentSpringDuration.
QEasingCurve contentSpring();
inline constexpr std::chrono::milliseconds contentSpringDuration{450};

// Ease in and out, for the 0.2 s switches of quick add and the editor and the content fades.
QEasingCurve easeInOut();

// Sets up `painter` to draw a piece that pops in or out about `centre`: at `shown` (0 to 1) it is
// that opaque and drawn at `smallest` of its size at 0, growing to its whole size at 1.
void pop(QPainter& painter, const QPointF& centre, qreal shown, qreal smallest);

} // namespace Motion
