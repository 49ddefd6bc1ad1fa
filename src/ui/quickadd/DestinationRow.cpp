#include "ui/quickadd/DestinationRow.h"

#include "ui/controls/GoogleCalendarMark.h"

#include <QPainter>

DestinationRow::DestinationRow(const QuickAdd::DestinationRow& row, QWidget* parent)
    : RowButton(parent)
    , m_row(row) {
    setRow(row);
}

void DestinationRow::setRow(const QuickAdd::DestinationRow& row) {
    const bool retitled = row.title != m_row.title;
    m_row = row;
    setAccessibleName(row.title);
    setAccessibleDescription(row.subtitle);
    setToolTip(row.subtitle);
    setCheckable(true);
    setChecked(row.selected);
    if (retitled)
        updateGeometry();
    update();
}

void DestinationRow::paintLeading(QPainter& painter, const QRectF& box) const {
    if (m_row.isGoogle) {
        GoogleCalendarMark::paint(painter, box, Theme::white());
        return;
    }
    constexpr qreal dot = 8;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_row.color);
    painter.drawEllipse(QRectF(box.center().x() - dot / 2, box.center().y() - dot / 2, dot, dot));
    painter.restore();
}
