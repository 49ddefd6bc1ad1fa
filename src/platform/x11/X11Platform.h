#pragma once

#include "platform/CompositorCheck.h"
#include "platform/FocusBroker.h"
#include "platform/GlobalClickMonitor.h"
#include "platform/HotKey.h"
#include "platform/ScreenSource.h"
#include "platform/WindowShaper.h"

#include <memory>

struct xcb_connection_t;

// The panel's platform on an X server (also XWayland), through xcb. Qt's own connection carries the
// focus changes, the window shapes and the key grab. The click monitor listens on a connection of its
// own, so that Qt's XInput handling is left as it is, and so does the compositor check, so that its
// answers come in order with the compositor's comings and goings.
namespace X11Platform {

// Whether the app runs on Qt's xcb platform.
bool available();
// Qt's own connection to the X server; null where the app does not run on X11.
xcb_connection_t* qtConnection();

// Qt's screens at the places the server gives them now (RandR monitors), where Qt's own may lag
// behind.
std::unique_ptr<ScreenSource> screenSource();
// XInput 2 raw button presses on the root window; available() is false without XInput 2.1.
std::unique_ptr<GlobalClickMonitor> clickMonitor();
// Sets the X input focus directly, so that it works on override-redirect windows and without a
// window manager.
std::unique_ptr<FocusBroker> focusBroker();
// An owner of the _NET_WM_CM_S<screen> selection means a compositing manager runs; XFixes reports
// each change of owner.
std::unique_ptr<CompositorCheck> compositorCheck();
// The bounding and input shapes of the SHAPE extension, and _COMPTON_SHADOW for no shadow.
std::unique_ptr<WindowShaper> windowShaper();
// Grabs Ctrl+Alt+N on the root window, in the four variants of CapsLock and NumLock, and grabs it
// again when the keyboard mapping changes.
std::unique_ptr<KeyGrab> keyGrab();

} // namespace X11Platform
