#include "platform/x11/X11Platform.h"

#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <utility>

namespace {

using X11Platform::qtConnection;

xcb_window_t focusedWindow(xcb_connection_t* connection) {
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    const xcb_window_t focus = reply ? reply->focus : xcb_window_t(XCB_NONE);
    std::free(reply);
    return focus;
}

// Focus is set with the server's current time: a time stamp of the last event Qt saw may lie before
// the latest focus change of another client, and the server would then ignore the request.
class X11FocusBroker final : public FocusBroker {
public:
    void take(QWindow* window) override {
        xcb_connection_t* connection = qtConnection();
        if (!connection || !window)
            return;
        const auto target = xcb_window_t(window->winId());
        if (const xcb_window_t focused = focusedWindow(connection); focused != target)
            m_previous = focused;
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, target, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }

    void giveBack(QWindow* window) override {
        xcb_connection_t* connection = qtConnection();
        if (!connection || !hasFocus(window))
            return;
        const xcb_window_t previous = std::exchange(m_previous, xcb_window_t(XCB_NONE));
        bool given = false;
        // None and PointerRoot are not windows to give the keyboard to.
        if (previous > XCB_INPUT_FOCUS_POINTER_ROOT) {
            xcb_generic_error_t* error = xcb_request_check(
                connection, xcb_set_input_focus_checked(connection, XCB_INPUT_FOCUS_POINTER_ROOT, previous,
                                                        XCB_CURRENT_TIME));
            given = error == nullptr;
            std::free(error);
        }
        // Gone or unmapped meanwhile: to whatever lies under the pointer, as without a window manager.
        if (!given)
            xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT,
                                XCB_CURRENT_TIME);
        xcb_flush(connection);
    }

    bool hasFocus(QWindow* window) const override {
        xcb_connection_t* connection = qtConnection();
        return connection && window && window->handle() &&
               focusedWindow(connection) == xcb_window_t(window->winId());
    }

private:
    xcb_window_t m_previous = XCB_NONE;
};

} // namespace

namespace X11Platform {

std::unique_ptr<FocusBroker> focusBroker() {
    return std::make_unique<X11FocusBroker>();
}

} // namespace X11Platform
