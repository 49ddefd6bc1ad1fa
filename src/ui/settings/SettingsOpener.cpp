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
        window->setFixedSize(SettingsView::windowSize);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), window->size());
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
    // A minimised window comes back too: showing it alone would leave it in the taskbar.
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace SettingsOpener
