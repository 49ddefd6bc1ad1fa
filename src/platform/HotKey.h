#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

// How the system-wide key reaches us: on X11 a grab of Ctrl+Alt+N on the root window, in tests a
// fake. HotKey drives it.
class KeyGrab {
public:
    virtual ~KeyGrab() = default;
    // Starts calling `pressed` for each press of the grabbed key (auto-repeat left out). Called once,
    // before the first grab.
    virtual void installHandler(std::function<void()> pressed) = 0;
    // Takes Ctrl+Alt+N for the whole session, with CapsLock and NumLock on or off. 0 when taken, else
    // why not: the X error code (10, BadAccess, when another client holds the key), -1 without an X
    // server to grab from.
    virtual int grab() = 0;
    // Gives the key up; harmless when it is not taken.
    virtual void ungrab() = 0;
};

// Tells a press of a key from the auto-repeat of one held down. X servers repeat a held key either
// as further presses with no release between them (detectable auto-repeat) or as release-and-press
// pairs that carry one time stamp.
class KeyRepeatFilter {
public:
    // True for a real press; false for a repeat.
    bool press(quint32 time);
    void release(quint32 time);
    void reset() { *this = {}; }

private:
    bool m_down = false;
    bool m_released = false;
    quint32 m_releaseTime = 0;
};

// The system-wide shortcut Ctrl+Alt+N that opens quick add from any application. It can be switched
// on and off while the app runs; the notch controller follows the quick-add hot key setting with it.
// Main thread only.
namespace HotKey {

// Called once per press, on the event loop after the press has been handled, while set.
void setOnPress(std::function<void()> callback);
// Registers or unregisters the key. Registering twice grabs once; a refused grab is written to the
// debug log ("hotkey register failed: 10"), changes nothing else, and a later call tries again.
void set(bool enabled);
bool isRegistered();
// Where presses come from. Without one every registration fails (-1). Replacing it gives up the
// registration of the one before.
void setBackend(std::unique_ptr<KeyGrab> backend);

} // namespace HotKey
