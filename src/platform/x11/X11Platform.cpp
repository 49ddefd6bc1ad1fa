#include "platform/x11/X11Platform.h"

#include <QGuiApplication>

namespace X11Platform {

bool available() {
    return qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>() != nullptr;
}

xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace X11Platform
