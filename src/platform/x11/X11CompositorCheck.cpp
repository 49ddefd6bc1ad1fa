#include "platform/x11/X11Platform.h"

#include <QByteArray>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>

namespace {

// Asks and watches on a connection of its own, so that the answer to compositing() always matches
// the events seen so far, whatever Qt's connection has queued.
class X11CompositorCheck final : public CompositorCheck {
public:
    X11CompositorCheck() {
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return;
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        m_selection = atom ? atom->atom : xcb_atom_t(XCB_NONE);
        std::free(atom);
        watch(screenNumber);
    }

    ~X11CompositorCheck() override {
        delete m_notifier;
        xcb_disconnect(m_connection);
    }

    bool compositing() const override {
        if (m_selection == XCB_NONE || xcb_connection_has_error(m_connection))
            return false;
        xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        std::free(reply);
        return owned;
    }

private:
    // XFixes reports every change of the selection's owner: a compositor taking it, giving it up, or
    // ending (crashed or killed) without giving it up. Without XFixes the answer is only asked for.
    void watch(int screenNumber) {
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (!extension || !extension->present || m_selection == XCB_NONE || screens.rem == 0)
            return;
        m_notifyEvent = uint8_t(extension->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        // The server sends XFixes events only to clients that said which version they speak.
        std::free(xcb_xfixes_query_version_reply(m_connection, xcb_xfixes_query_version(m_connection, 1, 0),
                                                 nullptr));
        xcb_xfixes_select_selection_input(m_connection, screens.data->root, m_selection,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(m_connection);
        m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &X11CompositorCheck::readEvents);
    }

    void readEvents() {
        bool changes = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            changes = changes || (event->response_type & 0x7f) == m_notifyEvent;
            std::free(event);
        }
        if (xcb_connection_has_error(m_connection))
            // The display has gone; the event loop must not keep waking for a dead socket.
            m_notifier->setEnabled(false);
        else if (changes)
            emit changed();
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_atom_t m_selection = XCB_NONE;
    uint8_t m_notifyEvent = 0;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace

namespace X11Platform {

std::unique_ptr<CompositorCheck> compositorCheck() {
    return std::make_unique<X11CompositorCheck>();
}

} // namespace X11Platform
