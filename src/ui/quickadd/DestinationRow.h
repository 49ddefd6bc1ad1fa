#pragma once

#include "core/quickadd/QuickAddDerived.h"
#include "ui/quickadd/QuickAddParts.h"

// One place a new event can go, in the destination list: the Google mark or the calendar's coloured
// dot, its title (bold when chosen) over its subtitle, and a checkmark on the chosen one.
class DestinationRow : public RowButton {
    Q_OBJECT

public:
    static constexpr qreal iconSide = 14;

    explicit DestinationRow(const QuickAdd::DestinationRow& row, QWidget* parent = nullptr);

    // Rows are kept by the destination's id.
    QString key() const { return m_row.destination.id(); }
    const QuickAdd::DestinationRow& row() const { return m_row; }
    void setRow(const QuickAdd::DestinationRow& row);

protected:
    qreal leadingSide() const override { return iconSide; }
    void paintLeading(QPainter& painter, const QRectF& box) const override;
    QString title() const override { return m_row.title; }
    QFont::Weight titleWeight() const override { return m_row.selected ? QFont::DemiBold : QFont::Normal; }
    std::optional<QString> detail() const override { return m_row.subtitle; }
    QString trailingSymbol() const override {
        return m_row.selected ? QuickAdd::Symbol::checkmark : QString();
    }
    qreal trailingSize() const override { return 9; }

private:
    QuickAdd::DestinationRow m_row;
};
