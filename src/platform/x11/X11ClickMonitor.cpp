#include "platform/x11/X11OwnConnection.h"
#include "platform/x11/X11Platform.h"

#include <xcb/xinput.h>

#include <cstdlib>

namespace {

class X11ClickMonitor final : public GlobalClickMonitor {
public:
    X11ClickMonitor() {
        xcb_connection_t* connection = m_own.get();
        if (m_own.broken() || m_own.root() == XCB_NONE)
            return;
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_input_id);
        if (!extension || !extension->present)
            return;
        m_opcode = extension->major_opcode;
        // XInput 2 events are sent only to clients that announced the version they speak; raw events
        // arrive whatever grabs other clients hold from 2.1 on.
        xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
            connection, xcb_input_xi_query_version(connection, 2, 2), nullptr);
        const bool usable = version && (version->major_version > 2 ||
                                        (version->major_version == 2 && version->minor_version >= 1));
        std::free(version);
        if (!usable)
            return;
        m_own.watch([this](const xcb_generic_event_t& event) { take(event); },
                    [this] { m_available = false; });
        m_available = true;
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
        xcb_input_xi_select_events(m_own.get(), m_own.root(), 1, &mask.head);
        xcb_flush(m_own.get());
        m_listening = on;
    }

private:
    void take(const xcb_generic_event_t& event) {
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        // Presses still on their way when listening stopped are dropped.
        if ((event.response_type & 0x7f) == XCB_GE_GENERIC && generic.extension == m_opcode &&
            generic.event_type == XCB_INPUT_RAW_BUTTON_PRESS && m_listening)
            emit pressed(int(reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event).detail));
    }

    X11Platform::OwnConnection m_own;
    uint8_t m_opcode = 0;
    bool m_available = false;
    bool m_listening = false;
};

} // namespace

namespace X11Platform {

std::unique_ptr<GlobalClickMonitor> clickMonitor() {
    return std::make_unique<X11ClickMonitor>();
}

} // namespace X11Platform
