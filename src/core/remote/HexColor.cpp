#include "core/remote/HexColor.h"

namespace HexColor {

std::optional<QColor> color(QStringView hex) {
    auto blank = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    while (!hex.isEmpty() && blank(hex.front()))
        hex = hex.mid(1);
    while (!hex.isEmpty() && blank(hex.back()))
        hex.chop(1);
    if (hex.startsWith(u'#'))
        hex = hex.mid(1);
    if (hex.size() != 6)
        return std::nullopt;

    // Six characters read as an unsigned number: a sign may take the first place, and a minus sign
    // only reads when the value is zero.
    bool negative = false;
    QStringView digits = hex;
    if (digits.front() == u'+' || digits.front() == u'-') {
        negative = digits.front() == u'-';
        digits = digits.mid(1);
    }
    quint32 value = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        const int digit = u >= '0' && u <= '9'   ? u - '0'
                          : u >= 'a' && u <= 'f' ? u - 'a' + 10
                          : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + quint32(digit);
    }
    if (negative && value != 0)
        return std::nullopt;
    return QColor(int((value >> 16) & 0xff), int((value >> 8) & 0xff), int(value & 0xff));
}

} // namespace HexColor
