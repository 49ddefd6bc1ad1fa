#include "ui/quickadd/InviteeChip.h"

#include "ui/controls/ElidedText.h"
#include "ui/controls/Motion.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"
#include "ui/quickadd/Avatar.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal padLeft = 3;
constexpr qreal padRight = 5;
constexpr qreal padVertical = 3;
constexpr qreal spacing = 6;
constexpr qreal removeSide = 14;

QFont nameFont() {
    return Theme::uiFont(11, QFont::Medium);
}

// The ×; it brightens with its chip's hover, not only its own.
class RemoveButton final : public QAbstractButton {
public:
    explicit RemoveButton(InviteeChip* chip)
        : QAbstractButton(chip)
        , m_chip(chip) {
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(int(removeSide), int(removeSide));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        m_chip->applyAppearance(p, pos());
        const bool hot = m_chip->isHovering();
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::white(hot ? 0.2 : 0.08));
        p.drawEllipse(QRectF(rect()));
        Symbol::paint(p, u"xmark", QRectF(rect()).center(), 8, Theme::white(hot ? 0.9 : 0.5), QFont::Bold);
    }

private:
    InviteeChip* m_chip;
};

} // namespace

InviteeChip::InviteeChip(const QuickAdd::Chip& chip, std::function<void(const Person&)> remove,
                         QWidget* parent)
    : QWidget(parent)
    , m_onRemove(std::move(remove)) {
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setChip(chip);
}

void InviteeChip::setChip(const QuickAdd::Chip& chip) {
    const bool resized = chip.label != m_chip.label || chip.removable != m_chip.removable;
    m_chip = chip;
    setToolTip(chip.tooltip);
    setAccessibleName(chip.label);
    setAccessibleDescription(chip.tooltip);
    if (chip.removable && !m_remove) {
        m_remove = new RemoveButton(this);
        connect(m_remove, &QAbstractButton::clicked, this, [this] {
            if (m_onRemove)
                m_onRemove(m_chip.person);
        });
        m_remove->show();
    } else if (!chip.removable && m_remove) {
        delete m_remove;
        m_remove = nullptr;
    }
    if (m_remove) {
        m_remove->setToolTip(chip.removeTooltip);
        m_remove->setAccessibleName(chip.removeTooltip);
    }
    if (resized) {
        updateGeometry();
        placeRemoveButton();
    }
    update();
}

QSize InviteeChip::sizeHint() const {
    qreal w = padLeft + avatarSize + spacing +
              ElidedText::lineWidth(QFontMetricsF(nameFont()), m_chip.label) + padRight;
    if (m_chip.removable)
        w += spacing + removeSide;
    return {int(std::ceil(w)), int(avatarSize + 2 * padVertical)};
}

QSize InviteeChip::minimumSizeHint() const {
    return sizeHint();
}

void InviteeChip::placeRemoveButton() {
    if (m_remove)
        m_remove->move(int(width() - padRight - removeSide), int((height() - removeSide) / 2));
}

void InviteeChip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeRemoveButton();
}

void InviteeChip::enterEvent(QEnterEvent*) {
    m_hovering = true;
    update();
    if (m_remove)
        m_remove->update();
}

void InviteeChip::leaveEvent(QEvent*) {
    m_hovering = false;
    update();
    if (m_remove)
        m_remove->update();
}

void InviteeChip::setAppearance(qreal appearance) {
    appearance = std::clamp<qreal>(appearance, 0, 1);
    if (appearance == m_appearance)
        return;
    m_appearance = appearance;
    update();
    if (m_remove)
        m_remove->update();
}

void InviteeChip::applyAppearance(QPainter& painter, QPointF offset) const {
    if (m_appearance >= 1)
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    Motion::pop(painter, QRectF(rect()).center() - offset, m_appearance, 0.85);
}

void InviteeChip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    applyAppearance(p);
    const QRectF bounds(rect());
    m_shape.paint(p, bounds, qHash(m_hovering), [&](QPainter& painter) {
        painter.fillPath(QuickAddPaint::capsule(bounds), Theme::white(m_hovering ? 0.16 : 0.12));
    });

    Avatar::paint(p, QRectF(padLeft, (height() - avatarSize) / 2, avatarSize, avatarSize), m_chip.person);

    const QFont font = nameFont();
    const QFontMetricsF metrics(font);
    const qreal x = padLeft + avatarSize + spacing;
    const qreal right = width() - padRight - (m_chip.removable ? removeSide + spacing : 0);
    p.setFont(font);
    p.setPen(Theme::white());
    const QString shown = ElidedText::elidedLine(metrics, m_chip.label, std::max<qreal>(0, right - x + 0.5));
    p.drawText(QPointF(x, QuickAddPaint::baselineFor(metrics, bounds.center().y())), shown);
}
