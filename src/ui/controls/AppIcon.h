#pragma once

#include <QColor>
#include <QImage>

// The app's icon, drawn in code so that the tray, the desktop entry and the sign-in page show one
// picture at every size: a calendar page with a clock badge. It needs nothing but QtGui, so that the
// build can render the shipped PNG from it before the app's own libraries exist.
namespace AppIcon {

// The picture alone, `side` pixels square, in one ink on a transparent ground.
QImage glyph(int side, const QColor& ink);
// The full icon: the picture in white on the notch's black, a square with rounded corners that
// fills the image to its edges.
QImage tile(int side);
// The WCAG contrast ratio of two colours, from 1 (alike) to 21 (black on white).
double contrast(const QColor& a, const QColor& b);
// The ink that reads on that background: near-black on light, near-white on dark.
QColor inkFor(const QColor& background);
// The picture as a panel of that colour shows it: in the ink that reads there, edged with a faint
// line of the other ink, which keeps it legible where the panel's colour was only a guess.
QImage onPanel(int side, const QColor& panel);

} // namespace AppIcon
