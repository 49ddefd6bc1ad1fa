#include "platform/x11/X11Platform.h"

#include <QHash>
#include <QScreen>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// The server's active monitors (RandR 1.5) by name, in its pixels; none where it has no such list.
QHash<QString, QRect> serverMonitors() {
    QHash<QString, QRect> monitors;
    xcb_connection_t* connection = X11Platform::qtConnection();
    if (!connection)
        return monitors;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
    if (!randr || !randr->present)
        return monitors;
    std::vector<xcb_randr_get_monitors_cookie_t> asked;
    for (auto root = xcb_setup_roots_iterator(xcb_get_setup(connection)); root.rem; xcb_screen_next(&root))
        asked.push_back(xcb_randr_get_monitors(connection, root.data->root, 1));
    std::vector<std::pair<xcb_get_atom_name_cookie_t, QRect>> named;
    for (const xcb_randr_get_monitors_cookie_t& cookie : asked) {
        xcb_randr_get_monitors_reply_t* reply = xcb_randr_get_monitors_reply(connection, cookie, nullptr);
        if (!reply)
            continue;
        for (auto m = xcb_randr_get_monitors_monitors_iterator(reply); m.rem; xcb_randr_monitor_info_next(&m))
            named.emplace_back(xcb_get_atom_name(connection, m.data->name),
                               QRect(m.data->x, m.data->y, m.data->width, m.data->height));
        std::free(reply);
    }
    for (const auto& [cookie, frame] : named) {
        xcb_get_atom_name_reply_t* name = xcb_get_atom_name_reply(connection, cookie, nullptr);
        if (!name)
            continue;
        monitors.insert(QString::fromUtf8(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name)),
                        frame);
        std::free(name);
    }
    return monitors;
}

// When an output left of another is switched off, the server moves the other one over, and Qt
// hears of it, but its screen goes on reporting the old place: the window would hang off every
// screen. The server's monitors are read afresh instead, and a screen the server does not name
// keeps Qt's frame. Qt's screens keep the server's origin and scale only their size.
class X11ScreenSource final : public QtScreenSource {
public:
    QList<ScreenInfo> screens() const override {
        const QHash<QString, QRect> monitors = serverMonitors();
        return screensWith([&monitors](const QScreen& screen) {
            const auto found = monitors.constFind(screen.name());
            if (found == monitors.constEnd())
                return QRectF(screen.geometry());
            return QRectF(found->topLeft(), QSizeF(found->size()) / screen.devicePixelRatio());
        });
    }
};

} // namespace

namespace X11Platform {

std::unique_ptr<ScreenSource> screenSource() {
    return std::make_unique<X11ScreenSource>();
}

} // namespace X11Platform
