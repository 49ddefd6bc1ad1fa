#include "core/model/Person.h"
#include "core/model/TextRules.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <array>

namespace {

// FNV-1a: a fixed hash, unlike qHash's per-process seed, so an address keeps its colour across launches.
quint64 stableHash(const QByteArray& bytes) {
    quint64 hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash ^= quint8(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

QString firstGrapheme(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype end = finder.toNextBoundary();
    return text.left(end > 0 ? end : text.size());
}

} // namespace

QString Person::id() const {
    return email.toLower();
}

QString Person::initials() const {
    QString source = name;
    if (source.isEmpty()) {
        const qsizetype at = email.indexOf(QLatin1Char('@'));
        source = at < 0 ? email : email.left(at);
    }
    // Only the first two words count: a name of megabytes is not split whole on every paint.
    source.truncate(TextRules::screenLineLength);
    static const QRegularExpression separators = TextRules::compiled(QStringLiteral("[ ._]+"));
    const QStringList pieces = source.split(separators, Qt::SkipEmptyParts);
    QString result;
    for (qsizetype i = 0; i < std::min<qsizetype>(pieces.size(), 2); ++i)
        result += firstGrapheme(pieces.at(i));
    return result.isEmpty() ? QStringLiteral("?") : result.toUpper();
}

QColor Person::color() const {
    static constexpr std::array<float, 8> hues = {0.58f, 0.36f, 0.08f, 0.78f, 0.92f, 0.50f, 0.15f, 0.68f};
    const float hue = hues[stableHash(id().toUtf8()) % hues.size()];
    return QColor::fromHsvF(hue, 0.55f, 0.85f, 1.0f);
}

size_t qHash(const Person& person, size_t seed) noexcept {
    return qHashMulti(seed, person.email, person.name);
}
