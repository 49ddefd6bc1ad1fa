#include "core/model/TextRules.h"

#include <QTextBoundaryFinder>

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

QString cutToScreen(const QString& text, int lines) {
    const qsizetype length = screenLineLength * lines;
    if (lines <= 0 || text.size() <= length)
        return text;
    // The last boundary between graphemes that leaves room for the "…". Whether a place is a
    // boundary depends on the characters before it and the one after it (whole, when that is a
    // surrogate pair), so only those are looked at, never the megabytes beyond.
    const qsizetype room = length - 1;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, QStringView(text).first(room + 2));
    graphemes.setPosition(room);
    qsizetype cut = graphemes.isAtBoundary() ? room : graphemes.toPreviousBoundary();
    // One grapheme longer than the room (a letter under thousands of marks): cut between code points.
    if (cut <= 0)
        cut = text[room].isLowSurrogate() ? room - 1 : room;
    return text.first(cut) + QChar(0x2026);
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
