#include "ui/controls/Symbol.h"

#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRawFont>
#include <QSet>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

const QString iconFamily = QStringLiteral("Material Icons");
// The font's pictures are drawn on a 24-unit grid with room around them; paths are kept at that size.
constexpr qreal grid = 24;

struct Glyph {
    char16_t codepoint;
    bool outline = false; // draw the outline of the filled picture
};

// The panel's symbol names and the Material pictures that stand for them.
const QHash<QString, Glyph>& table() {
    static const QHash<QString, Glyph> glyphs{
        {QStringLiteral("arrow.clockwise"), {0xe5d5}},                // refresh
        {QStringLiteral("at"), {0xe0e6}},                             // alternate_email
        {QStringLiteral("bell.fill"), {0xe7f4}},                      // notifications
        {QStringLiteral("calendar"), {0xe935}},                       // calendar_today
        {QStringLiteral("calendar.badge.exclamationmark"), {0xe615}}, // event_busy
        {QStringLiteral("checkmark"), {0xe5ca}},                      // check
        {QStringLiteral("checkmark.circle"), {0xe92d}},               // check_circle_outline
        {QStringLiteral("checkmark.circle.fill"), {0xe86c}},          // check_circle
        {QStringLiteral("chevron.left"), {0xe5cb}},
        {QStringLiteral("chevron.right"), {0xe5cc}},
        {QStringLiteral("chevron.up"), {0xe5ce}},                         // expand_less
        {QStringLiteral("circle"), {0xe836}},                             // radio_button_unchecked
        {QStringLiteral("clock"), {0xe8b5}},                              // schedule
        {QStringLiteral("exclamationmark.circle.fill"), {0xe000}},        // error
        {QStringLiteral("exclamationmark.triangle.fill"), {0xe002}},      // warning
        {QStringLiteral("gearshape"), {0xe8b8}},                          // settings
        {QStringLiteral("mappin.and.ellipse"), {0xe55f}},                 // place
        {QStringLiteral("pencil"), {0xe3c9}},                             // edit
        {QStringLiteral("person"), {0xe7ff}},                             // person_outline
        {QStringLiteral("person.2"), {0xe7fc}},                           // people_outline
        {QStringLiteral("person.crop.circle.badge.checkmark"), {0xe174}}, // how_to_reg
        {QStringLiteral("person.crop.circle.badge.plus"), {0xe7fe}},      // person_add
        {QStringLiteral("person.crop.circle.badge.xmark"), {0xef66}},     // person_remove
        {QStringLiteral("pin"), {0xf10d, true}},                          // push_pin, outlined
        {QStringLiteral("pin.fill"), {0xf10d}},                           // push_pin
        {QStringLiteral("plus"), {0xe145}},                               // add
        {QStringLiteral("questionmark.circle.fill"), {0xe887}},           // help
        {QStringLiteral("sparkles"), {0xe65f}},                           // auto_awesome
        {QStringLiteral("sun.max"), {0xe518}},                            // light_mode
        {QStringLiteral("trash"), {0xe92e}},                              // delete_outline
        {QStringLiteral("video.fill"), {0xe04b}},                         // videocam
        {QStringLiteral("video.slash"), {0xe04c}},                        // videocam_off
        {QStringLiteral("xmark"), {0xe5cd}},                              // close
        {QStringLiteral("xmark.circle.fill"), {0xe5c9}},                  // cancel
    };
    return glyphs;
}

// The font, loaded once; none when it is not installed.
const std::optional<QRawFont>& iconFont() {
    static const std::optional<QRawFont> font = []() -> std::optional<QRawFont> {
        if (QFontDatabase::families().contains(iconFamily)) {
            QFont font(iconFamily);
            font.setPixelSize(int(grid));
            QRawFont raw = QRawFont::fromFont(font);
            if (raw.isValid() && raw.familyName() == iconFamily)
                return raw;
        }
        qWarning("Symbol: the icon font \"%s\" is not installed (fonts-material-design-icons-iconfont); "
                 "symbols are left out",
                 qPrintable(iconFamily));
        return std::nullopt;
    }();
    return font;
}

// The picture of a known name on the 24-unit grid, its box at (0, 0); empty when the font lacks it.
const QPainterPath& gridPath(const QString& name, const Glyph& glyph) {
    static QHash<QString, QPainterPath> cache;
    auto found = cache.constFind(name);
    if (found != cache.constEnd())
        return *found;
    QPainterPath path;
    if (const auto& font = iconFont()) {
        const QList<quint32> indexes = font->glyphIndexesForString(QString(QChar(glyph.codepoint)));
        if (!indexes.isEmpty() && indexes.first() != 0) {
            path = font->pathForGlyph(indexes.first());
            // Glyphs hang from the baseline; the grid's top edge is the font's ascent above it.
            path.translate(0, font->ascent());
            if (glyph.outline) {
                QPainterPathStroker stroker;
                stroker.setWidth(1.7);
                stroker.setJoinStyle(Qt::RoundJoin);
                path = stroker.createStroke(path);
            }
        }
    }
    return *cache.insert(name, path);
}

void warnUnknown(QStringView name) {
    static QSet<QString> reported;
    const QString key = name.toString();
    if (reported.contains(key))
        return;
    reported.insert(key);
    qWarning("Symbol: no picture for \"%s\"", qPrintable(key));
}

// Extra stroke, in grid units, that thickens the picture for heavier weights.
qreal weightStroke(QFont::Weight weight) {
    if (weight >= QFont::Bold)
        return 0.9;
    if (weight >= QFont::DemiBold)
        return 0.55;
    if (weight >= QFont::Medium)
        return 0.25;
    return 0;
}

// Draws the picture into a box of `size` × `size` whose top left is at the painter's origin.
void fill(QPainter& painter, const QPainterPath& path, qreal size, const QColor& color,
          QFont::Weight weight) {
    const qreal scale = size / grid;
    painter.scale(scale, scale);
    painter.fillPath(path, color);
    if (const qreal stroke = weightStroke(weight); stroke > 0)
        painter.strokePath(path, QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

// The symbol drawn once into a pixmap of whole device pixels, with the symbol centred in it. Views
// repaint their symbols on every frame of a morph and every tick; filling and stroking the outlines
// each time would cost more than the rest of the frame.
const QPixmap& picture(const QString& name, const QPainterPath& path, qreal size, const QColor& color,
                       QFont::Weight weight, qreal scale) {
    static QHash<QString, QPixmap> cache;
    const QString key = name + QLatin1Char('|') + QString::number(qRound(size * scale * 64)) +
                        QLatin1Char('|') + QString::number(color.rgba(), 16) + QLatin1Char('|') +
                        QString::number(int(weight)) + QLatin1Char('|') + QString::number(qRound(scale * 64));
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    if (cache.size() > 512)
        cache.clear();
    const int pixels = int(std::ceil(size * scale)) + 2;
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal inset = (pixels - size * scale) / 2;
        painter.translate(inset, inset);
        painter.scale(scale, scale);
        fill(painter, path, size, color, weight);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(scale);
    return *cache.insert(key, pixmap);
}

} // namespace

namespace Symbol {

bool exists(QStringView name) {
    return table().contains(name.toString());
}

QStringList names() {
    QStringList list = table().keys();
    list.sort();
    return list;
}

qreal side(qreal fontSize) {
    // The pictures fill about five sixths of their grid; this makes a symbol about as tall as the
    // capitals and ascenders of the text beside it.
    return fontSize * 1.3;
}

void paint(QPainter& painter, QStringView name, const QRectF& box, const QColor& color,
           QFont::Weight weight) {
    const auto glyph = table().constFind(name.toString());
    if (glyph == table().constEnd()) {
        warnUnknown(name);
        return;
    }
    const QPainterPath& path = gridPath(glyph.key(), *glyph);
    if (path.isEmpty() || box.isEmpty())
        return;
    const qreal size = std::min(box.width(), box.height());
    const QTransform device = painter.deviceTransform();
    if (device.type() <= QTransform::TxScale && device.m11() > 0 &&
        qFuzzyCompare(device.m11(), device.m22())) {
        // Placed on whole device pixels, centred on the box as nearly as they allow.
        const QPixmap& pixmap = picture(glyph.key(), path, size, color, weight, device.m11());
        const QPointF centre = device.map(box.center());
        const QPointF topLeft(std::round(centre.x() - pixmap.width() / 2.0),
                              std::round(centre.y() - pixmap.height() / 2.0));
        painter.drawPixmap(device.inverted().map(topLeft), pixmap);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center().x() - size / 2, box.center().y() - size / 2);
    fill(painter, path, size, color, weight);
    painter.restore();
}

void paint(QPainter& painter, QStringView name, const QPointF& centre, qreal fontSize, const QColor& color,
           QFont::Weight weight) {
    const qreal s = side(fontSize);
    paint(painter, name, QRectF(centre.x() - s / 2, centre.y() - s / 2, s, s), color, weight);
}

QPixmap pixmap(QStringView name, qreal side, const QColor& color, qreal devicePixelRatio) {
    const int pixels = std::max(1, qRound(side * devicePixelRatio));
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, name, QRectF(0, 0, side, side), color);
    return pixmap;
}

} // namespace Symbol
