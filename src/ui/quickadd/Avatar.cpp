#include "ui/quickadd/Avatar.h"

#include "core/model/Person.h"
#include "ui/controls/Theme.h"

#include <QPainter>

namespace Avatar {

void paint(QPainter& painter, const QRectF& circle, const Person& person) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(person.color());
    painter.drawEllipse(circle);
    painter.setFont(Theme::uiFont(circle.height() * 0.42, QFont::Bold));
    painter.setPen(Theme::black(0.75));
    painter.drawText(circle, Qt::AlignCenter, person.initials());
    painter.restore();
}

} // namespace Avatar
