#include "app/TrayIcon.h"

#include "ui/controls/AppIcon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

namespace {

// While the tray settles the icon into its place after show(), the panel is looked at this often,
// until the icon has kept its place for this many looks, or for this many looks in all.
constexpr int lookInterval = 250;
constexpr int settledLooks = 8;
constexpr int maxLooks = 40;

} // namespace

namespace TrayIconArt {

QColor panelColor(const QImage& shot) {
    if (shot.isNull())
        return {};
    const int right = shot.width() - 1;
    const int bottom = shot.height() - 1;
    int red = 0, green = 0, blue = 0;
    for (const QPoint corner : {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)}) {
        const QColor color = shot.pixelColor(corner);
        red += color.red();
        green += color.green();
        blue += color.blue();
    }
    return QColor(red / 4, green / 4, blue / 4);
}

QIcon icon(const QColor& panel) {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(AppIcon::onPanel(side, panel)));
    return icon;
}

} // namespace TrayIconArt

TrayIcon::TrayIcon(EventStore& store, AppSettings& settings, MenuBarMenu::Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_menu(std::make_unique<MenuBarMenu>(store, settings, std::move(hooks)))
    , m_tray(std::make_unique<QSystemTrayIcon>()) {
    m_tray->setToolTip(QStringLiteral("Vorrindel"));
    m_tray->setContextMenu(m_menu->menu());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    m_menu->menu()->popup(QCursor::pos());
            });
    // A new desktop palette is announced to the application object.
    qApp->installEventFilter(this);
    m_settling.setInterval(lookInterval);
    connect(&m_settling, &QTimer::timeout, this, [this] {
        matchPanel();
        ++m_looks;
        // Before the tray takes it in, the icon may report a place of its own: only a place that
        // stays counts as settled.
        const QRect place = m_tray->geometry();
        m_steadyLooks = !place.isEmpty() && place == m_lastPlace ? m_steadyLooks + 1 : 0;
        m_lastPlace = place;
        if (m_steadyLooks >= settledLooks || m_looks >= maxLooks)
            m_settling.stop();
    });
    matchPanel();
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::show() {
    m_tray->show();
    m_looks = 0;
    m_steadyLooks = 0;
    m_lastPlace = QRect();
    m_settling.start();
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ApplicationPaletteChange && watched == qApp)
        matchPanel();
    return QObject::eventFilter(watched, event);
}

void TrayIcon::matchPanel() {
    // A panel seen on screen beats a guess. Where the icon's place cannot be seen (a StatusNotifier
    // host draws it, or the display server allows no grabs), the desktop's palette is the guess:
    // panels mostly follow the desktop's light or dark look.
    QColor panel = QApplication::palette().color(QPalette::Window);
    const QRect place = m_tray->geometry();
    if (QScreen* screen = place.isEmpty() ? nullptr : QGuiApplication::screenAt(place.center())) {
        const QColor seen = TrayIconArt::panelColor(
            screen->grabWindow(0, place.x(), place.y(), place.width(), place.height()).toImage());
        if (seen.isValid())
            panel = seen;
    }
    // The picture is drawn again only for another ink.
    const bool sameInk = m_panel.isValid() && AppIcon::inkFor(panel) == AppIcon::inkFor(m_panel);
    m_panel = panel;
    if (!sameInk)
        m_tray->setIcon(TrayIconArt::icon(panel));
}
