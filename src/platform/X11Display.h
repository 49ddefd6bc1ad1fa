#pragma once

// The X server the app draws on (through XWayland in a Wayland session).
namespace X11Display {

// Whether an X server can be reached through $DISPLAY right now.
bool reachable();

} // namespace X11Display
