#include "ui/controls/Theme.h"

#include <QFontDatabase>

#include <algorithm>

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

} // namespace

namespace Theme {

QString fontFamily() {
    static const QString family = pickFamily();
    return family;
}

QFont uiFont(qreal pixelSize, QFont::Weight weight) {
    QFont font(fontFamily());
    // Qt 6.4 renders every font at a whole pixel size, whatever fraction it is asked for; say so
    // here rather than through a point size that depends on the desktop's DPI.
    font.setPixelSize(std::max(1, qRound(pixelSize)));
    font.setWeight(availableWeight(font.family(), weight));
    font.setHintingPreference(QFont::PreferVerticalHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont emojiFont(qreal pixelSize) {
    QFont font = uiFont(pixelSize);
    font.setFamilies({QStringLiteral("Noto Color Emoji"), font.family()});
    return font;
}

} // namespace Theme
