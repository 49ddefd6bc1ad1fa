#include "support/XorgServer.h"

#include <QDir>
#include <QFile>

namespace {

// No input devices (XTEST's own still move the pointer), and room in memory for a few large outputs.
constexpr char configuration[] = R"(Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
EndSection
)";

} // namespace

bool XorgServer::start() {
    QFile config(m_dir.filePath(QStringLiteral("xorg.conf")));
    if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly) || config.write(configuration) < 0)
        return false;
    config.close();
    const QString folder = m_dir.filePath(QStringLiteral("xorg.conf.d"));
    if (!QDir().mkdir(folder))
        return false;
    // The configuration folder given is empty, so that the system's input classes stay out; the
    // console is shared with whatever holds it and never switched.
    return launch(QStringLiteral("Xorg"),
                  {QStringLiteral("-config"), config.fileName(), QStringLiteral("-configdir"), folder,
                   QStringLiteral("-logfile"), m_dir.filePath(QStringLiteral("Xorg.log")),
                   QStringLiteral("-sharevts"), QStringLiteral("-novtswitch"), QStringLiteral("-keeptty"),
                   QStringLiteral("-verbose"), QStringLiteral("0")});
}
