#include "platform/x11/X11OwnConnection.h"
#include "platform/x11/X11Platform.h"

#include <QRegion>
#include <QTransform>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <optional>
#include <vector>

namespace {

using X11Platform::qtConnection;

// The outline is turned into pixels at the window's scale, not its pixels scaled up, so that a
// scaled outline keeps its smooth corners.
QRegion devicePixels(const QPainterPath& outline, qreal scale) {
    return QRegion(QTransform::fromScale(scale, scale).map(outline).toFillPolygon().toPolygon());
}

// Both shapes through the SHAPE extension on Qt's connection, in the window's device pixels. The last
// cut is kept in those pixels with the window it was made for (a window made anew has a new id), so
// that a cut repeated on every frame of a morph sends nothing while the shape stands still, and one at
// a new scale, or of another window, always reaches the server.
class X11WindowShaper final : public WindowShaper {
public:
    void cut(QWindow* window, const QPainterPath& outline, const QRectF& pointerArea) override {
        xcb_connection_t* connection = qtConnection();
        if (!connection || !window || !hasShape(connection))
            return;
        const auto id = xcb_window_t(window->winId());
        const qreal scale = window->devicePixelRatio();
        const std::optional<QRegion> bounding =
            outline.isEmpty() ? std::nullopt : std::optional(devicePixels(outline, scale));
        const QRegion input(
            QRectF(pointerArea.topLeft() * scale, pointerArea.size() * scale).toAlignedRect());
        const bool anew = m_last.window != id;
        if (anew || m_last.bounding != bounding)
            setShape(connection, id, XCB_SHAPE_SK_BOUNDING, bounding);
        if (anew || m_last.input != input)
            setShape(connection, id, XCB_SHAPE_SK_INPUT, input);
        m_last = {id, bounding, input};
        xcb_flush(connection);
    }

    void declineShadow(QWindow* window) override {
        xcb_connection_t* connection = qtConnection();
        if (!connection || !window)
            return;
        // picom (and compton before it) reads it whatever its configuration says.
        if (m_shadowAtom == XCB_NONE)
            m_shadowAtom = X11Platform::atom(connection, "_COMPTON_SHADOW");
        const uint32_t none = 0;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()), m_shadowAtom,
                            XCB_ATOM_CARDINAL, 32, 1, &none);
        xcb_flush(connection);
    }

private:
    struct Cut {
        xcb_window_t window = XCB_NONE;
        std::optional<QRegion> bounding; // none: the whole window shows
        QRegion input;
    };

    static bool hasShape(xcb_connection_t* connection) {
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_shape_id);
        return extension && extension->present;
    }

    static void setShape(xcb_connection_t* connection, xcb_window_t window, xcb_shape_kind_t kind,
                         const std::optional<QRegion>& region) {
        if (!region) {
            xcb_shape_mask(connection, XCB_SHAPE_SO_SET, kind, window, 0, 0, XCB_NONE);
            return;
        }
        std::vector<xcb_rectangle_t> rectangles;
        rectangles.reserve(size_t(region->rectCount()));
        for (const QRect& r : *region)
            rectangles.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
        xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                             uint32_t(rectangles.size()), rectangles.data());
    }

    Cut m_last;
    xcb_atom_t m_shadowAtom = XCB_NONE;
};

} // namespace

namespace X11Platform {

std::unique_ptr<WindowShaper> windowShaper() {
    return std::make_unique<X11WindowShaper>();
}

} // namespace X11Platform
