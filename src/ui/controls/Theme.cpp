#include "ui/controls/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

namespace {

const QString roboto = QStringLiteral("Roboto");

QString pickFamily() {
    const QStringList families = QFontDatabase::families();
    for (const QString& family : {roboto, QStringLiteral("DejaVu Sans")}) {
        if (families.contains(family))
            return family;
    }
    return QStringLiteral("Sans Serif");
}

// Roboto comes in thin, light, regular, medium, bold and black. Left to itself the font matcher
// rounds semibold up to bold, which makes every title shout; medium is the closer look.
QFont::Weight availableWeight(const QString& family, QFont::Weight weight) {
    if (family != roboto)
        return weight;
    switch (weight) {
    case QFont::DemiBold:
        return QFont::Medium;
    case QFont::ExtraBold:
        return QFont::Black;
    case QFont::ExtraLight:
        return QFont::Light;
    default:
        return weight;
    }
}

qreal logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

} // namespace

namespace Theme {

QString fontFamily() {
    static const QString family = pickFamily();
    return family;
}

QFont uiFont(qreal pixelSize, QFont::Weight weight) {
    QFont font(fontFamily());
    // QFont takes whole pixel sizes only; a point size converted with the DPI the text will be
    // rendered at keeps the fraction.
    font.setPointSizeF(pixelSize * 72.0 / logicalDpi());
    font.setWeight(availableWeight(font.family(), weight));
    font.setHintingPreference(QFont::PreferVerticalHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

} // namespace Theme
