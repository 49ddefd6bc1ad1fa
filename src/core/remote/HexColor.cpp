#include "core/remote/HexColor.h"

#include "core/model/TextRules.h"

namespace HexColor {

namespace {

int digitValue(QChar c) {
    const char16_t u = c.unicode();
    return u >= '0' && u <= '9'   ? u - '0'
           : u >= 'a' && u <= 'f' ? u - 'a' + 10
           : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                  : -1;
}

// Six characters, once the blanks and the "#" are gone.
std::optional<QColor> fromDigits(QStringView hex) {
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
        const int digit = digitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + quint32(digit);
    }
    if (negative && value != 0)
        return std::nullopt;
    return QColor(int((value >> 16) & 0xff), int((value >> 8) & 0xff), int(value & 0xff));
}

QString digitsOf(QStringView hex) {
    const QString trimmed = TextRules::trimBlanks(hex);
    return trimmed.startsWith(u'#') ? trimmed.mid(1) : trimmed;
}

} // namespace

std::optional<QColor> color(QStringView hex) {
    return fromDigits(digitsOf(hex));
}

std::optional<QColor> colorIgnoringAlpha(QStringView hex) {
    const QString digits = digitsOf(hex);
    if (digits.size() != 8)
        return fromDigits(digits);
    if (digitValue(digits[6]) < 0 || digitValue(digits[7]) < 0)
        return std::nullopt;
    return fromDigits(QStringView(digits).first(6));
}

} // namespace HexColor
