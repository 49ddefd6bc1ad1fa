#include "ui/settings/SettingsOpener.h"

#include <QPointer>
#include <QWidget>

namespace SettingsOpener {

void open() {
    // One window for the life of the process; closing it only hides it.
    static QPointer<QWidget> window;
    if (!window) {
        window = new QWidget(nullptr, Qt::Window);
        window->setWindowTitle(QStringLiteral("Vorrindel Settings"));
        window->setFixedSize(560, 520);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace SettingsOpener
