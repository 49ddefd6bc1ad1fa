#pragma once

#include <QColor>
#include <QStringView>

#include <optional>

// Colours written as hexadecimal text: Google's calendar colours ("#7986cb") and the "color" files of
// local calendars, which sync tools may write with an alpha pair ("#7986cbff").
namespace HexColor {

// An opaque colour from six hexadecimal digits, with an optional leading "#" and surrounding blanks;
// nothing for anything else. Callers fall back to their own default colour.
std::optional<QColor> color(QStringView hex);
// The same, also reading eight digits, whose last two (the alpha) are checked and then ignored.
std::optional<QColor> colorIgnoringAlpha(QStringView hex);

} // namespace HexColor
