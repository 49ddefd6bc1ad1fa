#include "platform/x11/X11OwnConnection.h"
#include "platform/x11/X11Platform.h"

#include <xcb/xfixes.h>

#include <cstdlib>

namespace {

// Asks and watches on a connection of its own, so that the answer to compositing() always matches
// the events seen so far, whatever Qt's connection has queued.
class X11CompositorCheck final : public CompositorCheck {
public:
    X11CompositorCheck() {
        if (m_own.broken())
            return;
        m_selection = X11Platform::atom(m_own.get(), "_NET_WM_CM_S" + QByteArray::number(m_own.screen()));
        watch();
    }

    bool compositing() const override {
        xcb_connection_t* connection = m_own.get();
        if (m_selection == XCB_NONE || m_own.broken())
            return false;
        xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, m_selection), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        std::free(reply);
        // A change read along with the answer is still reported, in case it came after the answer.
        m_own.catchUp();
        return owned;
    }

private:
    // XFixes reports every change of the selection's owner: a compositor taking it, giving it up, or
    // ending (crashed or killed) without giving it up. Without XFixes the answer is only asked for.
    void watch() {
        xcb_connection_t* connection = m_own.get();
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_xfixes_id);
        if (!extension || !extension->present || m_selection == XCB_NONE || m_own.root() == XCB_NONE)
            return;
        const uint8_t notifyEvent = uint8_t(extension->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        // The server sends XFixes events only to clients that said which version they speak.
        std::free(
            xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 1, 0), nullptr));
        xcb_xfixes_select_selection_input(connection, m_own.root(), m_selection,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(connection);
        m_own.watch([this, notifyEvent](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) == notifyEvent)
                emit changed();
        });
    }

    X11Platform::OwnConnection m_own;
    xcb_atom_t m_selection = XCB_NONE;
};

} // namespace

namespace X11Platform {

std::unique_ptr<CompositorCheck> compositorCheck() {
    return std::make_unique<X11CompositorCheck>();
}

} // namespace X11Platform
