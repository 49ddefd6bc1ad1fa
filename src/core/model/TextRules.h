#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <source_location>

// What the app means by a blank and by an e-mail address, in one place, so that quick add, the people
// directory, the settings and the remote records trim and recognise text alike.
namespace TextRules {

// A tab or a Unicode space separator (the blank, the no-break space, the thin space and their kin).
// Line breaks are not blanks: a pasted text that ends in one keeps it.
bool isBlank(QChar c);
// The text without blanks at either end.
QString trimBlanks(QStringView text);
// The pieces between runs of blanks, empty ones dropped.
QStringList splitAtBlanks(QStringView text);

// The most characters of a text that one line on screen ever shows: an 8K screen is 7,680 pixels
// wide, and at the smallest size the app draws text (9 pixels) no letter is narrower than two.
inline constexpr qsizetype screenLineLength = 4096;
// What of `text` `lines` lines of a screen can show: the text itself when it is within `lines` ×
// screenLineLength characters, else its beginning ended by "…" within that length, cut between two
// characters as the reader sees them (never inside a surrogate pair, nor between a letter and its
// marks). Texts come from calendars and servers without any bound on their length, and laying out
// or measuring a title of megabytes costs seconds; what is cut off never reaches a screen anyway.
// 0 lines means no bound.
QString cutToScreen(const QString& text, int lines = 1);

// A pattern compiled at once. The app's patterns are statics that the reading threads and the GUI
// thread match alike; Qt would compile one on its first match, on whichever thread came first. A
// pattern that does not compile is a programming error, reported with where it was written.
QRegularExpression compiled(const QString& pattern,
                            QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption,
                            std::source_location where = std::source_location::current());

// An e-mail address anywhere in a text: a local part of letters, digits and "._%+-", "@", a domain
// of letters, digits, dots and hyphens, a dot and a final part of at least two letters.
const QRegularExpression& emailPattern();
// The whole text is one e-mail address.
bool isEmailAddress(QStringView text);

} // namespace TextRules
