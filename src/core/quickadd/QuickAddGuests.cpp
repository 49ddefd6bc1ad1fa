#include "core/quickadd/QuickAddGuests.h"

#include "core/model/TextRules.h"
#include "core/quickadd/QuickAddDerived.h"

#include <QList>
#include <QRegularExpression>

#include <algorithm>

namespace QuickAdd {
namespace {

QRegularExpression compile(const char* pattern,
                           std::source_location where = std::source_location::current()) {
    return TextRules::compiled(QString::fromUtf8(pattern), QRegularExpression::UseUnicodePropertiesOption,
                               where);
}

// What separates two names in a "with" list, as the parser splits it.
const QRegularExpression& nameSeparator() {
    static const QRegularExpression re = compile(R"(\s*,\s*|\s+(?i:and|&)\s+)");
    return re;
}
const QRegularExpression& commaRuns() {
    static const QRegularExpression re = compile(R"(\s*,\s*,+)");
    return re;
}
const QRegularExpression& blankRuns() {
    static const QRegularExpression re = compile(R"(\s{2,})");
    return re;
}

// A connector and the guest address it joins to the list before it.
const QRegularExpression& joinedAddress() {
    static const QRegularExpression re =
        compile(R"(^\s*(?:(?i:and)\s+|&\s*|,\s*)(?=[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,}))");
    return re;
}

// The address goes wherever the parser reads it; with `connector`, together with the word that joined
// it to the line ("with", "w/", "and", "&" or a comma), as a name goes with its "with".
QString withoutAddress(QString text, const QString& address, bool connector) {
    QList<std::pair<qsizetype, qsizetype>> hits;
    for (auto it = TextRules::emailPattern().globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0).compare(address, Qt::CaseInsensitive) == 0)
            hits.append({m.capturedStart(0), m.capturedEnd(0)});
    }
    for (auto hit = hits.crbegin(); hit != hits.crend(); ++hit) {
        qsizetype from = hit->first;
        qsizetype wordEnd = from;
        while (wordEnd > 0 && text[wordEnd - 1].isSpace())
            --wordEnd;
        qsizetype wordStart = wordEnd;
        while (wordStart > 0 && !text[wordStart - 1].isSpace())
            --wordStart;
        const QString word = text.sliced(wordStart, wordEnd - wordStart).toLower();
        if (connector && (word == u"with" || word == u"and" || word == u"w/" || word == u"&"))
            from = wordStart;
        else if (connector && word.endsWith(u','))
            from = wordEnd - 1;
        text.remove(from, hit->second - from);
    }
    return text;
}

struct Piece {
    qsizetype separator; // where the separator in front of it starts (its own start for the first)
    qsizetype from;
    qsizetype to;
    qsizetype nameTo; // the end of the words that name the guest
    bool drop = false;
};

// One name of the list with the words the parser will have read as the name. The line may hold
// words there that the parser takes out before it reads names ("with Ondrea Fri 3pm" is a date and
// "Ondrea"), so the longest run of leading words that names someone is the name.
void resolvePiece(const QString& text, Piece& piece, const QString& address,
                  const QuickAddParser::Resolver& resolve) {
    QList<qsizetype> wordEnds;
    for (qsizetype i = piece.from; i < piece.to;) {
        while (i < piece.to && text[i].isSpace())
            ++i;
        while (i < piece.to && !text[i].isSpace())
            ++i;
        if (wordEnds.isEmpty() || wordEnds.last() != i)
            wordEnds.append(i);
    }
    for (auto end = wordEnds.crbegin(); end != wordEnds.crend(); ++end) {
        const std::optional<Person> who =
            resolve(TextRules::trimBlanks(text.sliced(piece.from, *end - piece.from)));
        if (!who)
            continue;
        piece.drop = who->email.toLower() == address;
        piece.nameTo = *end;
        return;
    }
}

QString withoutNames(QString text, const QString& address, const QuickAddParser::Resolver& resolve) {
    QList<QRegularExpressionMatch> clauses;
    for (auto it = QuickAddParser::mentions().globalMatch(text); it.hasNext();)
        clauses.append(it.next());
    for (auto clause = clauses.crbegin(); clause != clauses.crend(); ++clause) {
        const qsizetype start = clause->capturedStart(0);
        const qsizetype listFrom = clause->capturedStart(1);
        const qsizetype listTo = clause->capturedEnd(1);

        QList<Piece> pieces;
        qsizetype at = listFrom;
        qsizetype separator = listFrom;
        const QString list = clause->captured(1);
        for (auto it = nameSeparator().globalMatch(list); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            pieces.append({separator, at, listFrom + m.capturedStart(0), listFrom + m.capturedStart(0)});
            separator = listFrom + m.capturedStart(0);
            at = listFrom + m.capturedEnd(0);
        }
        pieces.append({separator, at, listTo, listTo});
        for (Piece& piece : pieces)
            resolvePiece(text, piece, address, resolve);
        if (std::none_of(pieces.cbegin(), pieces.cend(), [](const Piece& p) { return p.drop; }))
            continue;

        QString rebuilt;
        QStringList leftovers;
        for (const Piece& piece : std::as_const(pieces)) {
            if (piece.drop) {
                if (const QString rest = text.sliced(piece.nameTo, piece.to - piece.nameTo).trimmed();
                    !rest.isEmpty())
                    leftovers << rest;
                continue;
            }
            // "with " before the first name kept, the name's own separator before each later one.
            rebuilt += rebuilt.isEmpty() ? text.sliced(start, listFrom - start)
                                         : text.sliced(piece.separator, piece.from - piece.separator);
            rebuilt += text.sliced(piece.from, piece.to - piece.from);
        }
        for (const QString& rest : std::as_const(leftovers))
            rebuilt += (rebuilt.isEmpty() ? QString() : QStringLiteral(" ")) + rest;
        qsizetype end = listTo;
        if (rebuilt.isEmpty()) {
            // The guests joined on after the list keep its "with": "with Ondrea and bob@corp.io"
            // without Ondrea is "with bob@corp.io".
            if (const QRegularExpressionMatch next = joinedAddress().match(QStringView(text).sliced(listTo));
                next.hasMatch()) {
                rebuilt = text.sliced(start, listFrom - start);
                end = listTo + next.capturedLength(0);
            }
        }
        text.replace(start, end - start, rebuilt);
    }
    return text;
}

QString tidy(QString text) {
    text.replace(commaRuns(), QStringLiteral(","));
    text.replace(blankRuns(), QStringLiteral(" "));
    const auto edge = [](QChar c) { return c == u',' || (c.isSpace() && c != u'\n' && c != u'\r'); };
    qsizetype from = 0, to = text.size();
    while (from < to && edge(text[from]))
        ++from;
    while (to > from && edge(text[to - 1]))
        --to;
    return text.sliced(from, to - from);
}

bool holds(const QList<Person>& people, const QString& address) {
    return std::any_of(people.cbegin(), people.cend(),
                       [&](const Person& p) { return p.email.toLower() == address; });
}

} // namespace

std::optional<QString> lineWithoutGuest(const QString& text, const Person& guest,
                                        const std::function<QuickAddDraft(const QString&)>& parse,
                                        const QuickAddParser::Resolver& resolve) {
    const QString address = guest.email.toLower();
    const QuickAddDraft before = parse(text);
    const auto onlyGuestGone = [&](const QuickAddDraft& after) {
        if (holds(after.invitees, address))
            return false;
        for (const Person& other : before.invitees) {
            if (other.email.toLower() != address && !holds(after.invitees, other.email.toLower()))
                return false;
        }
        return after.title == before.title && after.start == before.start && after.end == before.end &&
               after.isAllDay == before.isAllDay && after.hasDate == before.hasDate &&
               after.hasTime == before.hasTime;
    };
    // The tidier line first; an address whose connector belongs to the title is taken out alone.
    QString tried;
    for (const bool connector : {true, false}) {
        const QString line =
            tidy(withoutNames(withoutAddress(text, guest.email, connector), address, resolve));
        if (line == tried)
            continue;
        if (onlyGuestGone(parse(line)))
            return line;
        tried = line;
    }
    return std::nullopt;
}

QString guestStaysMessage(const Person& guest) {
    return QStringLiteral("Can’t take “") + displayName(guest) +
           QStringLiteral("” out of the line without changing the rest of it — edit the line to remove them");
}

} // namespace QuickAdd
