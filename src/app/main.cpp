#include "app/AppDelegate.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorrindel"));
    QApplication::setQuitOnLastWindowClosed(false);

    AppDelegate delegate(QApplication::arguments());
    // Start-up runs inside the event loop: quitting before exec() would do nothing.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
