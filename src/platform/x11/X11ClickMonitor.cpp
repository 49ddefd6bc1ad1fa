#include "platform/x11/X11Platform.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace {

class X11ClickMonitor final : public GlobalClickMonitor {
public:
    X11ClickMonitor() {
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_connection, &xcb_input_id);
        if (!extension || !extension->present)
            return;
        m_opcode = extension->major_opcode;
        // XInput 2 events are sent only to clients that announced the version they speak; raw events
        // arrive whatever grabs other clients hold from 2.1 on.
        xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
            m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr);
        const bool usable = version && (version->major_version > 2 ||
                                        (version->major_version == 2 && version->minor_version >= 1));
        std::free(version);
        if (!usable)
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem == 0)
            return;
        m_root = screens.data->root;
        m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &X11ClickMonitor::readEvents);
        m_available = true;
    }

    ~X11ClickMonitor() override {
        delete m_notifier;
        xcb_disconnect(m_connection);
    }

    bool available() const override { return m_available; }

    void setListening(bool on) override {
        if (!m_available || on == m_listening)
            return;
        struct {
            xcb_input_event_mask_t head;
            uint32_t bits;
        } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
               on ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
        xcb_input_xi_select_events(m_connection, m_root, 1, &mask.head);
        xcb_flush(m_connection);
        m_listening = on;
    }

private:
    void readEvents() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            const bool press = (event->response_type & 0x7f) == XCB_GE_GENERIC &&
                               generic->extension == m_opcode &&
                               generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS;
            const int button =
                press ? int(reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event)->detail) : 0;
            std::free(event);
            // Presses still on their way when listening stopped are dropped.
            if (press && m_listening)
                emit pressed(button);
        }
        if (xcb_connection_has_error(m_connection)) {
            // The display has gone; the event loop must not keep waking for a dead socket.
            m_notifier->setEnabled(false);
            m_available = false;
        }
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    uint8_t m_opcode = 0;
    QSocketNotifier* m_notifier = nullptr;
    bool m_available = false;
    bool m_listening = false;
};

} // namespace

namespace X11Platform {

std::unique_ptr<GlobalClickMonitor> clickMonitor() {
    return std::make_unique<X11ClickMonitor>();
}

} // namespace X11Platform
