#pragma once

#include <xcb/xcb.h>

#include <QByteArray>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace X11Platform {

// A connection of the app's own to the X server that $DISPLAY names, beside Qt's: for events that
// Qt would otherwise handle itself, or hold back behind its own, read on the event loop as they come.
class OwnConnection {
public:
    OwnConnection();
    ~OwnConnection();
    OwnConnection(const OwnConnection&) = delete;
    OwnConnection& operator=(const OwnConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    // Whether the display could not be reached, or has gone since.
    bool broken() const;
    // The number and root window of the screen $DISPLAY names; no root where there is no such screen.
    int screen() const { return m_screen; }
    xcb_window_t root() const { return m_root; }

    // Hands every event to `handle` on the event loop from now on. Once the display has gone the
    // connection is read no more, and `gone` runs.
    void watch(std::function<void(const xcb_generic_event_t&)> handle, std::function<void()> gone = {});
    // To be called after each wait for a reply on a watched connection: the events that came in
    // meanwhile wait in xcb's queue, where the socket gives no sign of them. They are handed on at the
    // next turn of the event loop.
    void catchUp() const;

private:
    void readEvents() const;

    xcb_connection_t* m_connection;
    int m_screen = 0;
    xcb_window_t m_root = XCB_NONE;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(const xcb_generic_event_t&)> m_handle;
    std::function<void()> m_gone;
};

// The atom of that name, made if need be; none when the server does not answer.
xcb_atom_t atom(xcb_connection_t* connection, const QByteArray& name);

} // namespace X11Platform
