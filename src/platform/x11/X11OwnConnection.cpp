#include "platform/x11/X11OwnConnection.h"

#include <QSocketNotifier>

#include <cstdlib>

namespace X11Platform {

OwnConnection::OwnConnection()
    : m_connection(xcb_connect(nullptr, &m_screen)) {
    if (broken())
        return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < m_screen && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem > 0)
        m_root = screens.data->root;
}

OwnConnection::~OwnConnection() {
    m_notifier.reset();
    // Also for a failed connection: xcb hands out an error object that must be released.
    xcb_disconnect(m_connection);
}

bool OwnConnection::broken() const {
    return xcb_connection_has_error(m_connection) != 0;
}

void OwnConnection::watch(std::function<void(const xcb_generic_event_t&)> handle,
                          std::function<void()> gone) {
    if (broken() || m_notifier)
        return;
    m_handle = std::move(handle);
    m_gone = std::move(gone);
    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readEvents(); });
}

void OwnConnection::catchUp() const {
    if (m_notifier && m_notifier->isEnabled())
        QMetaObject::invokeMethod(
            m_notifier.get(), [this] { readEvents(); }, Qt::QueuedConnection);
}

void OwnConnection::readEvents() const {
    if (!m_notifier->isEnabled())
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        m_handle(*event);
        std::free(event);
    }
    if (broken()) {
        // The display has gone; the event loop must not keep waking for a dead socket.
        m_notifier->setEnabled(false);
        if (m_gone)
            m_gone();
    }
}

xcb_atom_t atom(xcb_connection_t* connection, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_NONE);
    std::free(reply);
    return found;
}

} // namespace X11Platform
