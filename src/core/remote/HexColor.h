#pragma once

#include <QColor>
#include <QStringView>

#include <optional>

// Google gives calendar colours as hexadecimal text ("#7986cb").
namespace HexColor {

// An opaque colour from six hexadecimal digits, with an optional leading "#" and surrounding blanks
// or tabs; nothing for anything else. Callers fall back to their own default colour.
std::optional<QColor> color(QStringView hex);

} // namespace HexColor
