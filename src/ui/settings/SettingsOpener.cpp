#include "ui/settings/SettingsOpener.h"

#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "platform/UrlOpener.h"
#include "ui/notch/NotchController.h"
#include "ui/notch/NotchState.h"
#include "ui/settings/SettingsView.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace SettingsOpener {

namespace {
QPointer<QWidget>& settingsWindow() {
    static QPointer<QWidget> window;
    return window;
}
} // namespace

QWidget* window() {
    return settingsWindow();
}

QRect placement(QSize wanted, QMargins frame, const QRect& available) {
    constexpr QSize smallest{320, 240};
    const QRect room = available.marginsRemoved(frame);
    QRect placed(QPoint(), wanted.boundedTo(room.size()).expandedTo(smallest));
    placed.moveCenter(room.center());
    // Where it cannot fit, its top left corner (and with it the title bar) stays on the screen.
    placed.moveTo(std::max(room.left(), std::min(placed.left(), room.right() + 1 - placed.width())),
                  std::max(room.top(), std::min(placed.top(), room.bottom() + 1 - placed.height())));
    return placed;
}

void open() {
    // The panel steps aside for the window.
    if (NotchController* panel = NotchController::shared())
        panel->collapse();
    // One window for the life of the process; it stays where the user left it when reopened.
    QPointer<QWidget>& window = settingsWindow();
    if (!window) {
        window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                          Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);
        window->setWindowTitle(QStringLiteral("Vorrindel Settings"));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(
            new SettingsView({AppSettings::shared(), EventStore::shared(), desktopUrlOpener(), {}}));
        QSize size = SettingsView::windowSize;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect placed = placement(size, typicalFrame, screen->availableGeometry());
            size = placed.size();
            // A window's position is that of its frame.
            window->move(placed.topLeft() - QPoint(typicalFrame.left(), typicalFrame.top()));
        }
        window->setFixedSize(size);
    }
    // A minimised window comes back too: showing it alone would leave it in the taskbar.
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace SettingsOpener
