#include "ui/controls/PillButton.h"

#include "ui/controls/ActivitySpinner.h"
#include "ui/controls/Motion.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <cmath>

namespace {
constexpr qreal spinnerSide = 10;
}

NotchPillStyle::Look NotchPillStyle::look() const {
    Look l;
    l.fontSize = compact ? 10.5 : 11.5;
    l.padding = compact ? QMarginsF(8, 3, 8, 3) : QMarginsF(10, 4, 10, 4);
    if (danger) {
        l.fill = Theme::danger();
        l.text = Theme::white();
    } else if (prominent) {
        l.fill = Theme::white();
        l.text = Theme::black();
    } else {
        l.fill = Theme::white(0.12);
        l.text = Theme::white();
    }
    return l;
}

PillButton::PillButton(const QString& text, NotchPillStyle style, QWidget* parent)
    : QAbstractButton(parent)
    , m_style(style) {
    setText(text);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

PillButton::PillButton(const QString& text, NotchPillStyle style, std::function<void()> action,
                       QWidget* parent)
    : PillButton(text, style, parent) {
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void PillButton::setPillStyle(NotchPillStyle style) {
    const bool resized = style.compact != m_style.compact;
    m_style = style;
    if (resized)
        updateGeometry();
    update();
}

void PillButton::setSymbol(const QString& symbol, qreal fontSize, QFont::Weight weight) {
    m_symbol = symbol;
    m_symbolFontSize = fontSize;
    m_symbolWeight = weight;
    updateGeometry();
    update();
}

void PillButton::setSpacing(qreal spacing) {
    m_spacing = spacing;
    updateGeometry();
    update();
}

void PillButton::setBusy(bool busy) {
    if (busy == m_busy)
        return;
    m_busy = busy;
    updateSpinner();
    updateGeometry();
    update();
}

void PillButton::setContentOpacity(qreal opacity) {
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

QFont PillButton::labelFont() const {
    return Theme::uiFont(m_style.look().fontSize, QFont::DemiBold);
}

// The symbol and the spinner share the place before the text; the spinner wins while busy.
QSizeF PillButton::leadingSize() const {
    if (m_busy)
        return {spinnerSide, spinnerSide};
    if (!m_symbol.isEmpty()) {
        const qreal side = Symbol::side(m_symbolFontSize);
        return {side, side};
    }
    return {0, 0};
}

QSize PillButton::sizeHint() const {
    const NotchPillStyle::Look l = m_style.look();
    const QFontMetricsF metrics(labelFont());
    const QSizeF leading = leadingSize();
    qreal w = metrics.horizontalAdvance(text());
    if (!leading.isEmpty())
        w += leading.width() + (text().isEmpty() ? 0 : m_spacing);
    const qreal h = std::max(metrics.height(), leading.height() * 0.8);
    // Rounded, not raised, so that a normal pill is as high as an icon button (22) beside it.
    return QSize(int(std::ceil(w + l.padding.left() + l.padding.right())),
                 int(std::round(h + l.padding.top() + l.padding.bottom())));
}

QSize PillButton::minimumSizeHint() const {
    return sizeHint();
}

void PillButton::paintEvent(QPaintEvent*) {
    const NotchPillStyle::Look l = m_style.look();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_opacity * (isDown() ? NotchPillStyle::pressedOpacity : 1.0));

    const QRectF bounds(rect());
    QPainterPath capsule;
    const qreal r = bounds.height() / 2;
    capsule.addRoundedRect(bounds, r, r);
    p.fillPath(capsule, l.fill);

    const QFont font = labelFont();
    const QFontMetricsF metrics(font);
    const QSizeF leading = leadingSize();
    const qreal textWidth = metrics.horizontalAdvance(text());
    const qreal gap = leading.isEmpty() || text().isEmpty() ? 0 : m_spacing;
    const qreal contentWidth = leading.width() + gap + textWidth;
    // Centred, so a pill stretched by a layout keeps its label in the middle.
    qreal x = bounds.left() + std::max(l.padding.left(), (bounds.width() - contentWidth) / 2);
    const qreal midY = bounds.center().y();
    if (m_busy) {
        ActivitySpinner::paint(p, QRectF(x, midY - spinnerSide / 2, spinnerSide, spinnerSide), m_spinnerAngle,
                               l.text);
    } else if (!m_symbol.isEmpty()) {
        Symbol::paint(p, m_symbol, QPointF(x + leading.width() / 2, midY), m_symbolFontSize, l.text,
                      m_symbolWeight);
    }
    x += leading.width() + gap;
    if (!text().isEmpty()) {
        p.setFont(font);
        p.setPen(l.text);
        const qreal available = bounds.right() - l.padding.right() - x;
        const QString shown = metrics.elidedText(text(), Qt::ElideRight, std::max<qreal>(0, available + 0.5));
        const qreal baseline =
            std::round(midY - (metrics.ascent() + metrics.descent()) / 2 + metrics.ascent());
        p.drawText(QPointF(x, baseline), shown);
    }
}

void PillButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}

void PillButton::showEvent(QShowEvent* event) {
    QAbstractButton::showEvent(event);
    updateSpinner();
}

void PillButton::hideEvent(QHideEvent* event) {
    QAbstractButton::hideEvent(event);
    updateSpinner();
}

void PillButton::updateSpinner() {
    const bool turn = m_busy && isVisible() && Motion::enabled();
    if (!turn) {
        if (m_spinner)
            m_spinner->stop();
        return;
    }
    if (!m_spinner) {
        m_spinner = new QVariantAnimation(this);
        m_spinner->setStartValue(0.0);
        m_spinner->setEndValue(360.0);
        m_spinner->setDuration(900);
        m_spinner->setLoopCount(-1);
        connect(m_spinner, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_spinnerAngle = v.toReal();
            update();
        });
    }
    m_spinner->start();
}
