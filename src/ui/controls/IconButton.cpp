#include "ui/controls/IconButton.h"

#include "ui/controls/Motion.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <cmath>

IconButton::Look IconButton::look(bool active, bool hovering) {
    if (active)
        return {0.22, 1.0};
    if (hovering)
        return {0.14, 1.0};
    return {0.07, 0.8};
}

IconButton::IconButton(const QString& symbol, const QString& help, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setFixedSize(buttonSize);
    setHelp(help);
}

IconButton::IconButton(const QString& symbol, const QString& help, std::function<void()> action,
                       QWidget* parent)
    : IconButton(symbol, help, parent) {
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

IconButton::~IconButton() = default;

void IconButton::setSymbol(const QString& symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void IconButton::setHelp(const QString& help) {
    m_help = help;
    setToolTip(help);
    setAccessibleName(help);
}

void IconButton::setSpinning(bool spinning) {
    if (spinning == m_spinning)
        return;
    m_spinning = spinning;
    if (spinning)
        startTurning();
    else
        stopTurning();
}

void IconButton::setActive(bool active) {
    if (active == m_active)
        return;
    m_active = active;
    update();
}

void IconButton::setContentOpacity(qreal opacity) {
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

QSize IconButton::sizeHint() const {
    return buttonSize;
}

void IconButton::setHovering(bool hovering) {
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    update();
}

void IconButton::enterEvent(QEnterEvent* event) {
    setHovering(true);
    QAbstractButton::enterEvent(event);
}

void IconButton::leaveEvent(QEvent* event) {
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void IconButton::showEvent(QShowEvent* event) {
    QAbstractButton::showEvent(event);
    if (m_spinning)
        startTurning();
}

void IconButton::hideEvent(QHideEvent* event) {
    QAbstractButton::hideEvent(event);
    // A hidden button has nobody to turn for; it picks up again from rest when shown.
    if (m_turn)
        m_turn->stop();
    if (m_settle)
        m_settle->stop();
    setAngle(0);
}

void IconButton::startTurning() {
    if (m_settle)
        m_settle->stop();
    // Waiting for the button to be shown, or animations are off: a still symbol, and no timer.
    if (!isVisible() || !Motion::enabled())
        return;
    if (!m_turn) {
        m_turn = new QVariantAnimation(this);
        m_turn->setStartValue(0.0);
        m_turn->setEndValue(360.0);
        m_turn->setDuration(turnMs);
        m_turn->setLoopCount(-1);
        connect(m_turn, &QVariantAnimation::valueChanged, this,
                [this](const QVariant& v) { setAngle(v.toReal()); });
    }
    if (m_turn->state() == QAbstractAnimation::Running)
        return;
    // Carry on from wherever a finishing turn left the symbol.
    m_turn->start();
    m_turn->setCurrentTime(int(m_angle / 360.0 * turnMs));
}

void IconButton::stopTurning() {
    if (m_turn)
        m_turn->stop();
    if (m_angle == 0)
        return;
    if (!Motion::enabled() || !isVisible()) {
        setAngle(0);
        return;
    }
    // Finish the turn forwards and come to rest upright rather than unwinding backwards.
    if (!m_settle) {
        m_settle = new QVariantAnimation(this);
        m_settle->setEasingCurve(QEasingCurve::OutCubic);
        m_settle->setEndValue(360.0);
        connect(m_settle, &QVariantAnimation::valueChanged, this,
                [this](const QVariant& v) { setAngle(v.toReal()); });
        connect(m_settle, &QVariantAnimation::finished, this, [this] { setAngle(0); });
    }
    m_settle->setStartValue(m_angle);
    m_settle->setDuration(std::max(120, int((360.0 - m_angle) / 360.0 * 700)));
    m_settle->start();
}

void IconButton::setAngle(qreal angle) {
    angle = std::fmod(angle, 360.0);
    if (angle == m_angle)
        return;
    m_angle = angle;
    update();
}

void IconButton::paintEvent(QPaintEvent*) {
    const Look l = look(m_active, m_hovering);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_opacity);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), radius, radius);
    p.fillPath(background, Theme::white(l.background));
    // A press dims the symbol, as any plain button does.
    const qreal symbolOpacity = isDown() ? l.symbol * 0.7 : l.symbol;
    const QPointF centre = QRectF(rect()).center();
    p.translate(centre);
    p.rotate(m_angle);
    Symbol::paint(p, m_symbol, QPointF(0, 0), symbolSize, Theme::white(symbolOpacity), QFont::DemiBold);
}
