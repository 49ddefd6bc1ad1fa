#pragma once

#include <memory>

class QWindow;

// Hands the keyboard to a window that never takes it by itself (the panel shows without activating)
// and back to whoever had it before. Giving it back is explicit: hiding a focused window would leave
// no application with the keyboard.
class FocusBroker {
public:
    virtual ~FocusBroker() = default;

    // Remembers where the keyboard is now, unless `window` already has it, and gives it to `window`.
    virtual void take(QWindow* window) = 0;
    // Gives the keyboard back to the window remembered by take(), when `window` has it; to the
    // desktop when that window has gone meanwhile.
    virtual void giveBack(QWindow* window) = 0;
    virtual bool hasFocus(QWindow* window) const = 0;
};

// Qt's own activation: enough where the app's windows are the only ones it can see (off screen,
// Wayland); it can hand the keyboard back only to a window of this app.
std::unique_ptr<FocusBroker> qtFocusBroker();
