#pragma once

#include <QPainterPath>
#include <QRectF>

#include <memory>

class QWindow;

// Cuts a window to the shape it draws. The outline decides what shows (all of the window when it is
// empty, as where a compositor blends the transparent rest); the pointer area decides what takes the
// pointer, so that clicks on transparent parts reach the windows below. Both are given in the
// window's device-independent pixels and turned into the display's pixels at the window's scale of
// that moment: a window that moved to a screen of another scale must be cut again.
class WindowShaper {
public:
    virtual ~WindowShaper() = default;

    virtual void cut(QWindow* window, const QPainterPath& outline, const QRectF& pointerArea) = 0;
    // Asks compositors to leave the window without a shadow of their own: a window that draws its own
    // would otherwise get a second one, framing the whole transparent window.
    virtual void declineShadow(QWindow* window) = 0;
};

// Qt's window mask: the outline only. The pointer follows the outline, and no shadow is declined.
std::unique_ptr<WindowShaper> qtWindowShaper();
