#include "ui/controls/FlowLayout.h"

#include <QWidget>

#include <algorithm>

FlowLayout::Placement FlowLayout::place(const QList<QSize>& sizes, int spacing, std::optional<int> width) {
    const int limit = width.value_or(unboundedWidth);
    Placement placement;
    placement.positions.reserve(sizes.size());
    int x = 0;
    int y = 0;
    int rowHeight = 0;
    for (const QSize& size : sizes) {
        if (x > 0 && x + size.width() > limit) {
            y += rowHeight + spacing;
            x = 0;
            rowHeight = 0;
        }
        placement.positions.append(QPoint(x, y));
        x += size.width() + spacing;
        rowHeight = std::max(rowHeight, size.height());
    }
    placement.size = QSize(limit, y + rowHeight);
    return placement;
}

FlowLayout::FlowLayout(int spacing, QWidget* parent)
    : QLayout(parent)
    , m_spacing(spacing) {
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
    invalidate();
}

int FlowLayout::count() const {
    return int(m_items.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
    return m_items.value(index);
}

QLayoutItem* FlowLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

int FlowLayout::spacing() const {
    return m_spacing;
}

void FlowLayout::setSpacing(int spacing) {
    m_spacing = spacing;
    invalidate();
}

Qt::Orientations FlowLayout::expandingDirections() const {
    return {};
}

bool FlowLayout::hasHeightForWidth() const {
    return true;
}

// Hidden items take no place at all.
QList<QSize> FlowLayout::itemSizes() const {
    QList<QSize> sizes;
    sizes.reserve(m_items.size());
    for (const QLayoutItem* item : m_items) {
        if (!item->isEmpty())
            sizes.append(item->sizeHint());
    }
    return sizes;
}

int FlowLayout::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    return place(itemSizes(), m_spacing, width - m.left() - m.right()).size.height() + m.top() + m.bottom();
}

QSize FlowLayout::sizeHint() const {
    const QMargins m = contentsMargins();
    return place(itemSizes(), m_spacing, std::nullopt).size.grownBy(m);
}

QSize FlowLayout::minimumSize() const {
    // Items never shrink, but the layout may be narrower than its widest item: that one overflows.
    const QMargins m = contentsMargins();
    return QSize(m.left() + m.right(), m.top() + m.bottom());
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const QRect area = rect.marginsRemoved(contentsMargins());
    const QList<QSize> sizes = itemSizes();
    const Placement placement = place(sizes, m_spacing, area.width());
    qsizetype shown = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        item->setGeometry(QRect(area.topLeft() + placement.positions[shown], sizes[shown]));
        ++shown;
    }
}
