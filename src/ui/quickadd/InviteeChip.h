#pragma once

#include "core/quickadd/QuickAddDerived.h"
#include "ui/quickadd/QuickAddParts.h"

#include <QAbstractButton>
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
    ShapeCache m_shape;
};
