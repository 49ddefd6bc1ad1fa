#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QStaticText>
#include <QString>

#include <limits>
#include <utility>

class QPainter;

// One line of text that a view paints itself (titles, times, countdowns): cut with "…" at the end to
// the width it is given, laid out once and redrawn cheaply after that. The panel repaints on every
// frame of a morph and every tick of the clock, and laying text out again each time would cost more
// than the whole frame may take.
class TextLine {
public:
    static constexpr qreal unlimited = std::numeric_limits<qreal>::max();

    TextLine() = default;
    explicit TextLine(const QFont& font);

    // True when what is drawn changed (another text, or another cut of it).
    bool set(const QString& text, qreal maxWidth = unlimited);
    void setFont(const QFont& font);

    // The text as measured: as given, or as much of it as a screen can show (TextRules::cutToScreen).
    const QString& text() const { return m_text; }
    // The text as drawn, with "…" when it was cut.
    const QString& shown() const { return m_shown; }
    bool isElided() const { return m_shown != m_text; }
    const QFont& font() const { return m_font; }
    // The width the drawn text takes.
    qreal width() const { return m_width; }
    qreal ascent() const { return m_metrics.ascent(); }
    qreal descent() const { return m_metrics.descent(); }
    qreal height() const { return m_metrics.ascent() + m_metrics.descent(); }

    // The baseline that centres the line in a box from `top`, `boxHeight` high (on whole pixels, so
    // the text keeps its place from one frame to the next).
    qreal baselineIn(qreal top, qreal boxHeight) const;
    // The baselines of `upper` over `lower`, `gap` apart, the two centred as one block on `midY` (on
    // whole pixels, like baselineIn()).
    static std::pair<qreal, qreal> stackedBaselines(const TextLine& upper, const TextLine& lower, qreal gap,
                                                    qreal midY);

    // Draws the line with its left end at `x` and its baseline at `baseline`.
    void draw(QPainter& painter, qreal x, qreal baseline, const QColor& color) const;
    // Draws the line centred vertically in `box`, at its left or right edge or in its middle.
    void draw(QPainter& painter, const QRectF& box, Qt::Alignment alignment, const QColor& color) const;

private:
    void relayout();

    QFont m_font;
    QFontMetricsF m_metrics{QFont()};
    QString m_text;
    QString m_shown;
    qreal m_maxWidth = unlimited;
    qreal m_width = 0;
    QStaticText m_static;
};
