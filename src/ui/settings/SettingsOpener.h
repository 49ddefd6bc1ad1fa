#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

// Opens the settings window "Vorrindel Settings" (560 × 520, closable and minimisable, not
// resizable) with the settings view on the app's settings and event store: created and centred on
// first use, reused afterwards where the user left it, brought to the front. On a screen too small
// for it (a small one at a large scale) it is made as large as the screen's free area allows, its
// forms scrolling, and its title bar stays on the screen. Closing it only hides it; the app keeps
// running. An expanded panel collapses first.
namespace SettingsOpener {

void open();
// The window, once the first open() made it; null before.
QWidget* window();

// The title bar and borders a desktop adds around a window, as far as one can tell before the window
// first shows.
inline constexpr QMargins typicalFrame{4, 40, 4, 4};
// The window's own rectangle (without its frame) for a window of `wanted` size whose frame is
// `frame`, centred in `available` with the frame and kept inside it: as large as `wanted` where it
// fits, smaller where it does not, but never smaller than a form can be used at (its title bar
// stays on the screen then, and the bottom gives way).
QRect placement(QSize wanted, QMargins frame, const QRect& available);

} // namespace SettingsOpener
