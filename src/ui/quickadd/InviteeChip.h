#pragma once

#include "core/quickadd/QuickAddDerived.h"
#include "ui/quickadd/QuickAddParts.h"

#include <QAbstractButton>
#include <QPointF>
#include <QWidget>

#include <functional>

// One guest: the avatar, the name (or the address) and, when the guest may be removed, a small ×
// that brightens while the pointer is anywhere on the chip. The chip's tooltip is the address.
class InviteeChip : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal avatarSize = 18;

    InviteeChip(const QuickAdd::Chip& chip, std::function<void(const Person&)> remove,
                QWidget* parent = nullptr);

    // The guest's lower-cased address: chips are kept by it across updates.
    QString key() const { return m_chip.person.id(); }
    const QuickAdd::Chip& chip() const { return m_chip; }
    void setChip(const QuickAdd::Chip& chip);
    bool isHovering() const { return m_hovering; }
    // The × button; null when the guest cannot be removed.
    QAbstractButton* removeButton() const { return m_remove; }
    // How far the chip has come in: at 0 it is invisible and drawn at 0.85 of its size about its
    // centre, at 1 (unless set otherwise) it is drawn as it is.
    qreal appearance() const { return m_appearance; }
    void setAppearance(qreal appearance);
    // Sets up `painter` (of the chip or of a child at `offset` in it) to draw the chip as far as it
    // has come in.
    void applyAppearance(QPainter& painter, QPointF offset = {}) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeRemoveButton();

    QuickAdd::Chip m_chip;
    std::function<void(const Person&)> m_onRemove;
    QAbstractButton* m_remove = nullptr;
    bool m_hovering = false;
    qreal m_appearance = 1;
    ShapeCache m_shape;
};
