#include "app/AppDelegate.h"
#include "app/DefaultAppServices.h"
#include "core/calendar/ReadingThreads.h"
#include "core/model/ProcessArguments.h"
#include "platform/X11Display.h"

#include <QApplication>
#include <QTimer>

namespace {

// Picks Qt's platform before the application object exists, which would abort without a display.
// The app draws on X11 (through XWayland in a Wayland session). Without a reachable display the
// developer modes still run off screen, and a normal start ends with a clear message. An explicit
// QT_QPA_PLATFORM other than xcb is honoured as it is.
bool choosePlatform() {
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (!chosen.isEmpty() && !chosen.startsWith("xcb"))
        return true;
    if (X11Display::reachable()) {
        if (chosen.isEmpty())
            qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return false;
}

// Without a session runtime folder (an ssh login, a container) Qt says so on every start; the app
// brings its own private folder for that case (SingleInstance), so the remark is only noise.
QtMessageHandler qtHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv) {
    // Before QApplication takes out the options it understands.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    ProcessArguments::set(arguments);
    const bool hasDisplay = choosePlatform();
    qtHandler = qInstallMessageHandler(quietHandler);

    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Vorrindel"));
        QApplication::setQuitOnLastWindowClosed(false);

        DefaultAppServices services(hasDisplay);
        AppDelegate delegate(arguments, services);
        // Start-up runs inside the event loop: ending the loop before exec() would do nothing.
        QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
        status = QApplication::exec();
    }
    return ReadingThreads::beforeExit(status, std::chrono::seconds(3));
}
