#include "app/TrayIcon.h"

#include "core/store/EventStore.h"
#include "ui/controls/AppIcon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cstdlib>

namespace {

// While a tray settles the icon into its place, the panel is looked at this often, until the icon has
// kept its place for this many looks (or for TrayIcon::maxLooks in all). After that only on the
// store's tick, which wakes the app anyway: a timer of its own would wake an idle app for nothing.
constexpr int settlingInterval = 250;
constexpr int settledLooks = 8;

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

bool showsIcon(const QImage& shot, const QIcon& icon) {
    const QColor panel = panelColor(shot);
    if (!panel.isValid())
        return false;
    QImage drawn(shot.size(), QImage::Format_ARGB32_Premultiplied);
    drawn.setDevicePixelRatio(shot.devicePixelRatio());
    drawn.fill(panel);
    {
        QPainter painter(&drawn);
        icon.paint(&painter, QRect(QPoint(), shot.deviceIndependentSize().toSize()));
    }
    // The tray may round the blend a little differently; a window or a menu over the icon differs by
    // far more, over a good part of it.
    int off = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb seen = shot.pixel(x, y), meant = drawn.pixel(x, y);
            off += std::max({std::abs(qRed(seen) - qRed(meant)), std::abs(qGreen(seen) - qGreen(meant)),
                             std::abs(qBlue(seen) - qBlue(meant))}) > 48;
        }
    }
    return off * 20 <= shot.width() * shot.height();
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
    // A new desktop palette is announced to the application object; the tray's window for the icon
    // is Qt's own, seen only through its events.
    qApp->installEventFilter(this);
    connect(&m_looking, &QTimer::timeout, this, &TrayIcon::look);
    // A tray may change its colour without taking the icon in again, and tells no one when it does.
    // Nor is the icon's window told when the tray moves its whole strip, or puts the icon a pixel
    // aside: where the icon no longer shows at the place it settled in, a new place is settled into.
    // Only then is the server asked where the icon is, so that a settled icon costs no round trip.
    connect(&store, &EventStore::nowChanged, this, [this] {
        if (!settling() && !matchPanel(m_lastPlace, true) && m_tray->geometry() != m_lastPlace)
            settle();
    });
    matchPanel(m_tray->geometry());
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::show() {
    m_tray->show();
    settle();
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ApplicationPaletteChange:
        if (watched == qApp)
            matchPanel(m_tray->geometry());
        break;
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
        // Qt's own window for the icon in an XEmbed tray. A tray that starts again (a theme switch
        // restarts it on many desktops, maybe in another colour) takes the icon in again and the
        // window shows anew; a tray also moves the icon along its strip as other icons come and go.
        if (watched->isWidgetType() && watched->inherits("QSystemTrayIconSys"))
            settle();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TrayIcon::settle() {
    m_looks = 0;
    m_steadyLooks = 0;
    m_lastPlace = QRect();
    m_looking.start(settlingInterval);
}

void TrayIcon::look() {
    const QRect place = m_tray->geometry();
    matchPanel(place);
    ++m_looks;
    // Before the tray takes it in, the icon may report a place of its own: only a place that stays
    // counts as settled.
    m_steadyLooks = !place.isEmpty() && place == m_lastPlace ? m_steadyLooks + 1 : 0;
    m_lastPlace = place;
    if (m_steadyLooks >= settledLooks)
        m_looks = maxLooks;
    if (!settling())
        m_looking.stop();
}

bool TrayIcon::matchPanel(const QRect& place, bool checked) {
    // A panel seen on screen beats a guess. Where the icon's place cannot be seen (a StatusNotifier
    // host draws it, or the display server allows no grabs), the desktop's palette is the guess:
    // panels mostly follow the desktop's light or dark look.
    QColor panel = QApplication::palette().color(QPalette::Window);
    if (QScreen* screen = place.isEmpty() ? nullptr : QGuiApplication::screenAt(place.center())) {
        const QImage shot =
            screen->grabWindow(0, place.x(), place.y(), place.width(), place.height()).toImage();
        // A full-screen window or a menu over the icon is not the panel: the ink stays until the
        // icon shows again.
        if (checked && !TrayIconArt::showsIcon(shot, m_tray->icon()))
            return false;
        if (const QColor seen = TrayIconArt::panelColor(shot); seen.isValid())
            panel = seen;
    }
    // The picture is drawn again only for another ink.
    const bool sameInk = m_panel.isValid() && AppIcon::inkFor(panel) == AppIcon::inkFor(m_panel);
    m_panel = panel;
    if (!sameInk)
        m_tray->setIcon(TrayIconArt::icon(panel));
    return true;
}
