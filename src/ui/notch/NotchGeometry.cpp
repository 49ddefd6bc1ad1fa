#include "ui/notch/NotchGeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal virtualNotchWidth = 180;
constexpr qreal notchWidthWithoutAuxiliaryAreas = 200;
constexpr qreal minimumNotchHeight = 24;
constexpr qreal maximumNotchHeight = 40;

qreal clampedBarHeight(qreal height) {
    if (std::isnan(height) || height < minimumNotchHeight)
        return minimumNotchHeight;
    return std::min(height, maximumNotchHeight);
}

} // namespace

NotchGeometry NotchGeometry::detect(const QList<Screen>& screens, int mainIndex) {
    for (const Screen& screen : screens) {
        if (screen.safeAreaTop > 0) {
            const qreal width =
                screen.auxiliaryTopLeftWidth && screen.auxiliaryTopRightWidth
                    ? screen.frame.width() - *screen.auxiliaryTopLeftWidth - *screen.auxiliaryTopRightWidth
                    : notchWidthWithoutAuxiliaryAreas;
            return {screen.frame, QSizeF(width, screen.safeAreaTop), true};
        }
    }
    if (screens.isEmpty())
        return {QRectF(0, 0, 1280, 800), QSizeF(virtualNotchWidth, minimumNotchHeight), false};
    const Screen& main = screens.at(mainIndex >= 0 && mainIndex < screens.size() ? mainIndex : 0);
    // The desktop's top bar plays the menu bar's part.
    const qreal barHeight = main.available.top() - main.frame.top();
    return {main.frame, QSizeF(virtualNotchWidth, clampedBarHeight(barHeight)), false};
}

NotchGeometry NotchGeometry::detect() {
    QList<Screen> screens;
    int mainIndex = -1;
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QList<QScreen*> all = QGuiApplication::screens();
    for (const QScreen* screen : all) {
        if (screen == primary)
            mainIndex = int(screens.size());
        screens.append({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    }
    return detect(screens, mainIndex);
}

const char* modeName(NotchMode mode) {
    switch (mode) {
    case NotchMode::collapsed:
        return "collapsed";
    case NotchMode::peek:
        return "peek";
    case NotchMode::alert:
        return "alert";
    case NotchMode::expanded:
        return "expanded";
    }
    return "collapsed";
}

namespace NotchLayout {

QSizeF shapeSize(const QSizeF& notch, NotchMode mode) {
    switch (mode) {
    case NotchMode::collapsed:
        return notch;
    case NotchMode::peek:
        return {notch.width() + 312, notch.height()};
    case NotchMode::alert:
        return {notch.width() + 420, notch.height() + 46};
    case NotchMode::expanded:
        return {600, 410};
    }
    return notch;
}

QSizeF shadowMargin(NotchMode mode) {
    return mode == NotchMode::alert || mode == NotchMode::expanded ? QSizeF(72, 36) : QSizeF(0, 0);
}

QRectF windowFrame(const NotchGeometry& geometry, NotchMode mode) {
    const QSizeF size = shapeSize(geometry.notchSize, mode) + shadowMargin(mode);
    // Halves round away from zero, as std::round does.
    const qreal x = std::round(geometry.screenFrame.center().x() - size.width() / 2);
    return {x, geometry.screenFrame.top(), size.width(), size.height()};
}

} // namespace NotchLayout
