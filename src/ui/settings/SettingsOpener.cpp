#include "ui/settings/SettingsOpener.h"

#include "ui/notch/NotchController.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace SettingsOpener {

void open() {
    // The panel steps aside for the window.
    if (NotchController* panel = NotchController::shared())
        panel->collapse();
    // One window for the life of the process; it stays where the user left it when reopened.
    static QPointer<QWidget> window;
    if (!window) {
        window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                          Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);
        window->setWindowTitle(QStringLiteral("Vorrindel Settings"));
        window->setFixedSize(560, 520);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), window->size());
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace SettingsOpener
