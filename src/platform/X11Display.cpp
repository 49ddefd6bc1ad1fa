#include "platform/X11Display.h"

#include <xcb/xcb.h>

namespace X11Display {

bool reachable() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    // Also for a failed connection: xcb hands out an error object that must be released.
    xcb_disconnect(connection);
    return ok;
}

} // namespace X11Display
