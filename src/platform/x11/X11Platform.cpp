#include "platform/x11/X11Platform.h"

#include <QGuiApplication>

namespace X11Platform {

bool available() {
    return qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>() != nullptr;
}

} // namespace X11Platform
