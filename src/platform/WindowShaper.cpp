#include "platform/WindowShaper.h"

#include <QPointer>
#include <QRegion>
#include <QWindow>

namespace {

class QtWindowShaper final : public WindowShaper {
public:
    void cut(QWindow* window, const QPainterPath& outline, const QRectF&) override {
        if (!window)
            return;
        const QRegion mask = outline.isEmpty() ? QRegion() : QRegion(outline.toFillPolygon().toPolygon());
        // Qt turns the mask into pixels when it is set, so the same mask at another scale is new.
        const qreal scale = window->devicePixelRatio();
        if (mask == window->mask() && (mask.isEmpty() || (m_window == window && scale == m_scale)))
            return;
        m_window = window;
        m_scale = scale;
        window->setMask(mask);
    }

    void declineShadow(QWindow*) override {}

private:
    QPointer<QWindow> m_window; // the window last cut, and its scale then
    qreal m_scale = 0;
};

} // namespace

std::unique_ptr<WindowShaper> qtWindowShaper() {
    return std::make_unique<QtWindowShaper>();
}
