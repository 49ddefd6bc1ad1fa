#include "ui/panel/TextLine.h"

#include "core/model/TextRules.h"
#include "ui/controls/ElidedText.h"

#include <QPainter>

#include <cmath>

TextLine::TextLine(const QFont& font)
    : m_font(font)
    , m_metrics(font) {}

void TextLine::setFont(const QFont& font) {
    if (font == m_font)
        return;
    m_font = font;
    m_metrics = QFontMetricsF(font);
    relayout();
}

bool TextLine::set(const QString& text, qreal maxWidth) {
    // Only what a screen can show is measured, however long the text.
    const QString shortened = TextRules::cutToScreen(text);
    if (shortened == m_text && maxWidth == m_maxWidth)
        return false;
    const QString before = m_shown;
    m_text = shortened;
    m_maxWidth = maxWidth;
    relayout();
    return m_shown != before;
}

void TextLine::relayout() {
    // Half a pixel of slack: a text that fits to the pixel is not cut for a rounding error.
    m_shown = ElidedText::elidedLine(m_metrics, m_text, std::max<qreal>(0, m_maxWidth + 0.5), Qt::ElideRight,
                                     &m_width);
    m_static.setTextFormat(Qt::PlainText);
    m_static.setPerformanceHint(QStaticText::AggressiveCaching);
    m_static.setText(m_shown);
    m_static.prepare(QTransform(), m_font);
}

qreal TextLine::baselineIn(qreal top, qreal boxHeight) const {
    return std::round(top + (boxHeight - height()) / 2 + ascent());
}

std::pair<qreal, qreal> TextLine::stackedBaselines(const TextLine& upper, const TextLine& lower, qreal gap,
                                                   qreal midY) {
    const qreal block = upper.height() + gap + lower.height();
    const qreal first = std::round(midY - block / 2 + upper.ascent());
    return {first, std::round(first + upper.descent() + gap + lower.ascent())};
}

void TextLine::draw(QPainter& painter, qreal x, qreal baseline, const QColor& color) const {
    if (m_shown.isEmpty())
        return;
    painter.setFont(m_font);
    painter.setPen(color);
    // A static text is placed by the top of its line, which lies one ascent above the baseline.
    painter.drawStaticText(QPointF(x, baseline - m_metrics.ascent()), m_static);
}

void TextLine::draw(QPainter& painter, const QRectF& box, Qt::Alignment alignment,
                    const QColor& color) const {
    qreal x = box.left();
    if (alignment & Qt::AlignRight)
        x = box.right() - m_width;
    else if (alignment & Qt::AlignHCenter)
        x = box.left() + (box.width() - m_width) / 2;
    draw(painter, x, baselineIn(box.top(), box.height()), color);
}
