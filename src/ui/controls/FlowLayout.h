#pragma once

#include <QLayout>
#include <QList>
#include <QPoint>
#include <QSize>

#include <optional>

// Lays its items out left to right and wraps them onto further rows, like words in a paragraph (the
// detail view's attendee chips). Every item keeps its preferred size: an item wider than the row
// stands alone on its row and overflows to the right. Rows are left-aligned; `spacing` separates
// neighbours in a row and the rows themselves. It has a height for every width.
class FlowLayout : public QLayout {
    Q_OBJECT

public:
    // Where each item goes, relative to the top left of the laid-out area, and the area's size.
    struct Placement {
        QList<QPoint> positions;
        QSize size;
    };
    // The width a layout reports when asked without one.
    static constexpr int unboundedWidth = 400;

    // The arithmetic of both passes. An item starts a new row when the row already holds one and the
    // item would end beyond `width` (strictly); the pen moves on by the item's width and `spacing`.
    // The size is the given width (unboundedWidth when none) by the bottom of the last row.
    static Placement place(const QList<QSize>& sizes, int spacing, std::optional<int> width);

    explicit FlowLayout(int spacing, QWidget* parent = nullptr);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int spacing() const override;
    void setSpacing(int spacing) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    QList<QSize> itemSizes() const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
};
