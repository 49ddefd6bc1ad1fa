#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QStringList>
#include <QStringView>

class QPainter;

// The panel's symbols, named as the panel's designs name them ("bell.fill", "chevron.left",
// "person.crop.circle.badge.xmark" …) and drawn from the Material icon font that Debian ships
// (fonts-material-design-icons-iconfont), tinted with any colour at any size. "Outline" names whose
// font has only the filled picture ("pin") are drawn as the outline of that picture.
//
// A name the layer does not know draws nothing; it is reported once as a warning. So is a missing
// icon font, after which every symbol draws nothing and the panel stays usable.
namespace Symbol {

// Whether the layer has a picture for the name.
bool exists(QStringView name);
// Every name the layer knows, sorted.
QStringList names();

// The side of the square a symbol takes when it stands beside text of `fontSize` pixels, as a symbol
// set "in the system font at 11 pt" does.
qreal side(qreal fontSize);

// Paints the symbol filling the largest square centred in `box`. Heavier weights than regular
// thicken the strokes a little; lighter ones draw as regular.
void paint(QPainter& painter, QStringView name, const QRectF& box, const QColor& color,
           QFont::Weight weight = QFont::Normal);
// Paints the symbol at the size it has beside text of `fontSize` pixels, centred on `centre`.
void paint(QPainter& painter, QStringView name, const QPointF& centre, qreal fontSize, const QColor& color,
           QFont::Weight weight = QFont::Normal);

// The symbol as a pixmap of `side` × `side` device-independent pixels at the given device pixel ratio,
// for menus and other places that take icons.
QPixmap pixmap(QStringView name, qreal side, const QColor& color, qreal devicePixelRatio = 1.0);

} // namespace Symbol
