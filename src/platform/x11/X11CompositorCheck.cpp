#include "platform/x11/X11Platform.h"

#include <QByteArray>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

class X11CompositorCheck final : public CompositorCheck {
public:
    X11CompositorCheck() {
        xcb_connection_t* connection = qtConnection();
        if (!connection)
            return;
        // Qt connects to the screen that $DISPLAY names.
        int screen = 0;
        char* host = nullptr;
        int display = 0;
        if (xcb_parse_display(nullptr, &host, &display, &screen))
            std::free(host);
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        m_selection = reply ? reply->atom : xcb_atom_t(XCB_NONE);
        std::free(reply);
    }

    bool compositing() const override {
        xcb_connection_t* connection = qtConnection();
        if (!connection || m_selection == XCB_NONE)
            return false;
        xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, m_selection), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        std::free(reply);
        return owned;
    }

private:
    xcb_atom_t m_selection = XCB_NONE;
};

} // namespace

namespace X11Platform {

std::unique_ptr<CompositorCheck> compositorCheck() {
    return std::make_unique<X11CompositorCheck>();
}

} // namespace X11Platform
