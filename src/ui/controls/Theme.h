#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// The panel's look in one place. The panel draws on black: text and symbols are white at a handful
// of fixed opacities, the accent marks today, green marks what is running, red is for destructive
// actions and declines, orange for errors and warnings. Sizes are device-independent pixels.
namespace Theme {

inline QColor white(qreal opacity = 1.0) {
    return QColor::fromRgbF(1, 1, 1, float(opacity));
}
inline QColor black(qreal opacity = 1.0) {
    return QColor::fromRgbF(0, 0, 0, float(opacity));
}

// The dark-appearance system colours the panel was designed against.
inline QColor accent() {
    return QColor(10, 132, 255);
}
inline QColor green() {
    return QColor(48, 209, 88);
}
inline QColor red() {
    return QColor(255, 69, 58);
}
inline QColor orange() {
    return QColor(255, 159, 10);
}
inline QColor yellow() {
    return QColor(255, 214, 10);
}
// The destructive pill (red 1.0, green 0.27, blue 0.23).
inline QColor danger() {
    return QColor::fromRgbF(1.0f, 0.27f, 0.23f);
}
// The pale green of an enabled Meet toggle (red 0.62, green 0.93, blue 0.70).
inline QColor paleGreen() {
    return QColor::fromRgbF(0.62f, 0.93f, 0.70f);
}

// The opacities of white the panel's texts use most.
namespace Opacity {
inline constexpr qreal secondary = 0.55; // subtitles
inline constexpr qreal tertiary = 0.45;  // end times, unselected weekdays
inline constexpr qreal symbol = 0.5;     // the symbols of detail lines
} // namespace Opacity

// The family every panel text is set in. Its digits all have the same advance, so a countdown or a
// clock does not jitter as it changes: Roboto when it is installed, else DejaVu Sans (whose digits
// are tabular too), else the desktop's sans-serif.
QString fontFamily();

// The panel font at a size in device-independent pixels, the same whatever DPI the desktop reports.
// The designs use half sizes (9.5, 10.5, 11.5, 13.5 …); Qt 6.4 renders fonts at whole pixel sizes
// only, so a half size is drawn at the next whole one (10.5 as 11) at every scale. Weights the
// family does not have are mapped to its nearest one (semibold to Roboto's medium).
QFont uiFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);

// For Notion's emoji icons: the colour emoji where the desktop has them, else the panel font's
// fallback. Without it a symbol that text fonts also have (✍️) is drawn as a plain outline.
QFont emojiFont(qreal pixelSize);

} // namespace Theme
