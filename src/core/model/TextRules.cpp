#include "core/model/TextRules.h"

namespace TextRules {

bool isBlank(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimBlanks(QStringView text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return text.sliced(from, to - from).toString();
}

QStringList splitAtBlanks(QStringView text) {
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isBlank(text[i]))
            continue;
        if (i > start)
            pieces.append(text.sliced(start, i - start).toString());
        start = i + 1;
    }
    return pieces;
}

QRegularExpression compiled(const QString& pattern, QRegularExpression::PatternOptions options,
                            std::source_location where) {
    QRegularExpression re(pattern, options);
    if (!re.isValid())
        qFatal("%s:%u: invalid pattern \"%s\": %s", where.file_name(), unsigned(where.line()),
               qPrintable(pattern), qPrintable(re.errorString()));
    re.optimize();
    return re;
}

const QRegularExpression& emailPattern() {
    static const QRegularExpression pattern =
        compiled(QStringLiteral(R"([A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,})"));
    return pattern;
}

bool isEmailAddress(QStringView text) {
    static const QRegularExpression whole =
        compiled(QRegularExpression::anchoredPattern(emailPattern().pattern()));
    return whole.match(text).hasMatch();
}

} // namespace TextRules
