#pragma once

#include "ui/notch/NotchGeometry.h"

#include <QPainterPath>
#include <QRectF>
#include <QSizeF>

// The panel's outline: a body hanging from the top edge that flares outwards into the top bar at its
// two top corners, so that it reads as a continuation of the notch, and has rounded bottom corners.
// The radii are in device-independent pixels; out-of-range values (negative, not a number, or more
// than the rectangle has room for, as a spring passing its target produces) are clamped, so the path
// is always one valid closed outline.
struct NotchShape {
    qreal topRadius = 0;    // the outward flare at each top corner
    qreal bottomRadius = 0; // the two rounded bottom corners

    // The outline in `rect`, whose top edge is the edge the panel hangs from.
    QPainterPath path(const QRectF& rect) const;
};

// Everything that makes up the silhouette of one mode: the shape's size and radii, the outline
// and the drop shadow. "None" is an opacity (or radius, offset) of 0, so that every quantity morphs
// smoothly from one mode to the next.
struct NotchSilhouette {
    QSizeF size;
    qreal topRadius = 0;
    qreal bottomRadius = 0;
    qreal outlineOpacity = 0; // a 1-pixel white line along the outline
    qreal shadowOpacity = 0;  // a black shadow under the shape
    qreal shadowBlur = 0;
    qreal shadowOffsetY = 0;

    static NotchSilhouette forMode(const QSizeF& notchSize, NotchMode mode);
    // The silhouette `progress` of the way from `from` to `to`; a spring takes progress a little past
    // 1 and back.
    static NotchSilhouette interpolate(const NotchSilhouette& from, const NotchSilhouette& to,
                                       qreal progress);

    NotchShape shape() const { return {topRadius, bottomRadius}; }

    friend bool operator==(const NotchSilhouette&, const NotchSilhouette&) = default;
};
