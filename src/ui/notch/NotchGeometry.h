#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Where the panel hangs: the screen it hangs from, the size of the notch it grows out of, and whether
// that notch is a camera notch. Linux screens have none, so the panel always hangs from a virtual notch
// at the top centre of the main screen; the camera-notch rule is kept for screens that report one.
//
// Rectangles are in Qt's global coordinates (origin top left, y growing downwards), in
// device-independent pixels.
struct NotchGeometry {
    QRectF screenFrame;
    QSizeF notchSize;
    bool hasPhysicalNotch = false;

    friend bool operator==(const NotchGeometry&, const NotchGeometry&) = default;

    // One screen as the platform reports it.
    struct Screen {
        QRectF frame;
        QRectF available;      // the frame less the desktop's panels and bars
        qreal safeAreaTop = 0; // the height a camera notch takes from the top edge; 0 for none
        std::optional<qreal> auxiliaryTopLeftWidth; // the usable widths left and right of a notch
        std::optional<qreal> auxiliaryTopRightWidth;
    };

    // The geometry for these screens, listed in the platform's order with the main screen at
    // `mainIndex` (-1 when there is none). With no screen at all, a 1280 × 800 screen is assumed.
    static NotchGeometry detect(const QList<Screen>& screens, int mainIndex);
    // The geometry of the screens as they are now.
    static NotchGeometry detect();
};

// The panel's four modes, in order of precedence within the collapsed modes.
enum class NotchMode { collapsed, peek, alert, expanded };

const char* modeName(NotchMode mode);

// The window rectangle of each mode: it hangs from the top edge of the screen, centred on the notch.
namespace NotchLayout {

// The size of the black silhouette in each mode.
QSizeF shapeSize(const QSizeF& notchSize, NotchMode mode);
// Room around the silhouette for its shadow, added to the window in the alert and expanded modes.
QSizeF shadowMargin(NotchMode mode);
QRectF windowFrame(const NotchGeometry& geometry, NotchMode mode);

} // namespace NotchLayout
