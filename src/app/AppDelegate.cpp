#include "app/AppDelegate.h"

#include "devtools/CalendarDiagnostics.h"
#include "devtools/ParseDiagnostics.h"
#include "devtools/Snapshot.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

AppDelegate::AppDelegate(QStringList arguments, QObject* parent)
    : QObject(parent)
    , m_arguments(std::move(arguments)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    if (Snapshot::runIfRequested(m_arguments) || CalendarDiagnostics::runIfRequested(m_arguments) ||
        ParseDiagnostics::runIfRequested(m_arguments)) {
        QCoreApplication::exit(0);
        return;
    }
    if (Snapshot::runLoopbackTestIfRequested(m_arguments))
        return;

    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QStringLiteral("Quit"), qApp, &QCoreApplication::quit);
    m_tray = new QSystemTrayIcon(QIcon::fromTheme(QStringLiteral("x-office-calendar")), this);
    m_tray->setContextMenu(m_menu.get());
    m_tray->show();
}
