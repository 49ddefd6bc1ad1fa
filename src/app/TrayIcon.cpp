#include "app/TrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace {

// A calendar page with a clock badge, drawn so that it needs no icon theme.
QIcon calendarClockIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        p.setPen(QPen(QColor(0xe8, 0xe8, 0xe8), 1.2 * unit));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(1.5 * unit, 2.5 * unit, 11 * unit, 11 * unit), 2 * unit, 2 * unit);
        p.drawLine(QPointF(1.5 * unit, 5.5 * unit), QPointF(12.5 * unit, 5.5 * unit));
        p.drawLine(QPointF(4.5 * unit, 1 * unit), QPointF(4.5 * unit, 3.5 * unit));
        p.drawLine(QPointF(9.5 * unit, 1 * unit), QPointF(9.5 * unit, 3.5 * unit));
        const QPointF centre(11.5 * unit, 11.5 * unit);
        p.setBrush(QColor(0x20, 0x20, 0x20));
        p.drawEllipse(centre, 4 * unit, 4 * unit);
        p.drawLine(centre, centre + QPointF(0, -2.5 * unit));
        p.drawLine(centre, centre + QPointF(1.8 * unit, 0));
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

TrayIcon::TrayIcon(EventStore& store, AppSettings& settings, MenuBarMenu::Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_menu(std::make_unique<MenuBarMenu>(store, settings, std::move(hooks)))
    , m_tray(std::make_unique<QSystemTrayIcon>(calendarClockIcon())) {
    m_tray->setToolTip(QStringLiteral("Vorrindel"));
    m_tray->setContextMenu(m_menu->menu());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    m_menu->menu()->popup(QCursor::pos());
            });
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::show() {
    m_tray->show();
}
