#include "ui/controls/ElidedText.h"

#include "core/model/TextRules.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <cmath>
#include <memory>

namespace {

const QChar ellipsis(0x2026);
// The characters a line is first laid out from (see lay()).
constexpr qsizetype firstStretch = 256;

// One line keeps its text on one line; several break at line feeds, at word boundaries and, for a
// word longer than the line, anywhere. Only what the lines can show on any screen is laid out.
QString prepared(const QString& text, int maxLines) {
    QString out = TextRules::cutToScreen(text, maxLines);
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\n'), maxLines == 1 ? QChar(u' ') : QChar(QChar::LineSeparator));
    return out;
}

struct Laid {
    QString shown;
    std::unique_ptr<QTextLayout> layout;
    qreal height = 0;
    bool elided = false;
};

// Lays the text out at `width`; lines beyond `maxLines` are dropped and the last kept one is cut
// with "…". Line tops fall on whole pixels so that text stays sharp at scale 1.
std::unique_ptr<QTextLayout> layoutLines(const QString& text, const QFont& font, qreal width, int maxLines,
                                         Qt::Alignment alignment, int* linesOut) {
    auto layout = std::make_unique<QTextLayout>(text, font);
    QTextOption option(alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(maxLines == 1 ? QTextOption::NoWrap : QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    qreal y = 0;
    int count = 0;
    while (maxLines <= 0 || count < maxLines) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(std::max<qreal>(width, 0));
        line.setPosition(QPointF(0, std::round(y)));
        y += line.height();
        ++count;
    }
    layout->endLayout();
    *linesOut = count;
    return layout;
}

Laid lay(const QString& original, const QFont& font, qreal width, int maxLines, Qt::Alignment alignment) {
    const QString shortened = TextRules::cutToScreen(original, maxLines);
    const QString whole = prepared(shortened, maxLines);
    // A line seldom holds more than a few hundred characters: the lines are laid out from that many
    // characters a line, and from twice as many while they reach the end of those, so that a long
    // text costs what the lines shown of it do.
    qsizetype length = maxLines > 0 ? maxLines * firstStretch : whole.size();
    Laid laid;
    int lines = 0;
    for (;; length *= 2) {
        const QString text = length < whole.size() ? whole.first(length) : whole;
        laid.layout = layoutLines(text, font, width, maxLines, alignment, &lines);
        laid.shown = text;
        if (lines == 0)
            break;
        const QTextLine last = laid.layout->lineAt(lines - 1);
        const bool rest = last.textStart() + last.textLength() < text.size();
        const bool overflows = last.naturalTextWidth() > width + 0.5;
        if (!rest && !overflows) {
            if (text.size() < whole.size())
                continue;
            break;
        }
        // The last line keeps its own text and ends in "…": cut to the width when it is too long
        // itself, else with the "…" after it when a line break pushed the rest out.
        const QFontMetricsF metrics(font);
        const qreal room = std::max<qreal>(width, 0);
        const qsizetype lineBreak = text.indexOf(QChar(QChar::LineSeparator), last.textStart());
        QString cut;
        if (lineBreak >= 0) {
            const QString line = text.mid(last.textStart(), lineBreak - last.textStart());
            cut = metrics.horizontalAdvance(line + ellipsis) <= room
                      ? line + ellipsis
                      : metrics.elidedText(line, Qt::ElideRight, room);
        } else {
            cut = metrics.elidedText(text.mid(last.textStart()), Qt::ElideRight, room);
        }
        laid.shown = text.left(last.textStart()) + cut;
        laid.elided = true;
        laid.layout = layoutLines(laid.shown, font, width, maxLines, alignment, &lines);
        break;
    }
    if (lines > 0) {
        const QTextLine last = laid.layout->lineAt(lines - 1);
        laid.height = std::ceil(last.y() + last.height());
    }
    // Cut to what a screen shows, it ends in "…" even where the lines had room for more.
    laid.elided = laid.elided || shortened.size() != original.size();
    return laid;
}

} // namespace

ElidedText::ElidedText(QWidget* parent)
    : QWidget(parent)
    , m_color(Qt::white) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

ElidedText::ElidedText(const QString& text, const QFont& font, const QColor& color, int maxLines,
                       QWidget* parent)
    : ElidedText(parent) {
    setFont(font);
    setColor(color);
    setMaxLines(maxLines);
    setText(text);
}

void ElidedText::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    clearSelection();
    setAccessibleName(TextRules::cutToScreen(text, m_maxLines));
    updateGeometry();
    update();
}

void ElidedText::setColor(const QColor& color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void ElidedText::setMaxLines(int maxLines) {
    if (maxLines == m_maxLines)
        return;
    m_maxLines = maxLines;
    // One line is exactly one line high; more take the height their width gives them.
    QSizePolicy policy = sizePolicy();
    policy.setVerticalPolicy(maxLines == 1 ? QSizePolicy::Fixed : QSizePolicy::Preferred);
    policy.setHeightForWidth(maxLines != 1);
    setSizePolicy(policy);
    updateGeometry();
    update();
}

void ElidedText::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

void ElidedText::setSelectable(bool selectable) {
    m_selectable = selectable;
    setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
    setCursor(selectable ? Qt::IBeamCursor : Qt::ArrowCursor);
    setContextMenuPolicy(selectable ? Qt::DefaultContextMenu : Qt::NoContextMenu);
    if (!selectable)
        clearSelection();
}

bool ElidedText::isElided() const {
    return lay(m_text, font(), width(), m_maxLines, m_alignment).elided;
}

bool ElidedText::hasHeightForWidth() const {
    return m_maxLines != 1;
}

int ElidedText::heightForWidth(int width) const {
    return int(textHeight(m_text, font(), width, m_maxLines));
}

QSize ElidedText::sizeHint() const {
    const QFontMetricsF metrics(font());
    const qreal natural = metrics.horizontalAdvance(prepared(m_text, 1));
    const int lineHeight = int(std::ceil(metrics.height()));
    if (m_maxLines == 1)
        return {int(std::ceil(natural)), lineHeight};
    // Wrapping text asks for a paragraph's width, not for its whole length on one line.
    const int preferred = int(std::ceil(std::min<qreal>(natural, 400)));
    return {preferred, std::max(lineHeight, heightForWidth(preferred))};
}

QSize ElidedText::minimumSizeHint() const {
    return {0, int(std::ceil(QFontMetricsF(font()).height()))};
}

qreal ElidedText::textHeight(const QString& text, const QFont& font, qreal width, int maxLines) {
    if (text.isEmpty())
        return 0;
    return lay(text, font, width, maxLines, Qt::AlignLeft).height;
}

QString ElidedText::shownText(const QString& text, const QFont& font, qreal width, int maxLines) {
    QString shown = lay(text, font, width, maxLines, Qt::AlignLeft).shown;
    shown.replace(QChar(QChar::LineSeparator), QChar(u'\n'));
    return shown;
}

QString ElidedText::elidedLine(const QFontMetricsF& metrics, const QString& text, qreal width,
                               Qt::TextElideMode mode, qreal* shownWidth) {
    const QString whole = TextRules::cutToScreen(text);
    const auto cut = [&](const QString& from) {
        QString shown = metrics.elidedText(from, mode, width);
        if (shownWidth)
            *shownWidth = metrics.horizontalAdvance(shown);
        return shown;
    };
    // Cut at its end, a line is the same whether it is cut from the whole text or from any part of
    // its beginning that is too wide itself: measured from a stretch that grows until it is.
    for (qsizetype length = firstStretch; mode == Qt::ElideRight && length < whole.size(); length *= 2) {
        const QString stretch = whole.first(length);
        if (metrics.horizontalAdvance(stretch) > width)
            return cut(stretch);
    }
    // Whole when it fits (any width, unbounded ones too), measured once.
    const qreal wholeWidth = metrics.horizontalAdvance(whole);
    if (!(wholeWidth <= width))
        return cut(whole);
    if (shownWidth)
        *shownWidth = wholeWidth;
    return whole;
}

qreal ElidedText::lineWidth(const QFontMetricsF& metrics, const QString& text) {
    return metrics.horizontalAdvance(TextRules::cutToScreen(text));
}

qreal ElidedText::draw(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                       const QColor& color, int maxLines, Qt::Alignment alignment) {
    const Laid laid = lay(text, font, box.width(), maxLines, alignment);
    painter.save();
    painter.setPen(color);
    laid.layout->draw(&painter, QPointF(box.left(), std::round(box.top())));
    painter.restore();
    return laid.height;
}

qreal ElidedText::textTop() const {
    if (m_maxLines == 1 && (m_alignment & Qt::AlignVCenter)) {
        const qreal h = QFontMetricsF(font()).height();
        return std::round((height() - h) / 2);
    }
    if (m_alignment & Qt::AlignBottom)
        return height() - textHeight(m_text, font(), width(), m_maxLines);
    return 0;
}

void ElidedText::paintEvent(QPaintEvent*) {
    if (m_text.isEmpty())
        return;
    QPainter p(this);
    p.setPen(m_color);
    const Laid laid = lay(m_text, font(), width(), m_maxLines, m_alignment);
    QList<QTextLayout::FormatRange> selections;
    if (m_anchor >= 0 && m_cursor >= 0 && m_anchor != m_cursor) {
        QTextLayout::FormatRange range;
        range.start = std::min(m_anchor, m_cursor);
        range.length = std::abs(m_cursor - m_anchor);
        QColor highlight = palette().color(QPalette::Highlight);
        highlight.setAlphaF(0.55f);
        range.format.setBackground(highlight);
        range.format.setForeground(m_color);
        selections.append(range);
    }
    laid.layout->draw(&p, QPointF(0, textTop()), selections);
}

void ElidedText::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}

int ElidedText::cursorAt(const QPointF& position) const {
    const Laid laid = lay(m_text, font(), width(), m_maxLines, m_alignment);
    const QPointF local = position - QPointF(0, textTop());
    const int lines = laid.layout->lineCount();
    if (lines == 0)
        return 0;
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = laid.layout->lineAt(i);
        if (local.y() < line.y() + line.height() || i == lines - 1)
            return line.xToCursor(local.x());
    }
    return 0;
}

void ElidedText::clearSelection() {
    if (m_anchor < 0 && m_cursor < 0)
        return;
    m_anchor = m_cursor = -1;
    update();
}

QString ElidedText::selectedText() const {
    if (m_anchor < 0 || m_cursor < 0 || m_anchor == m_cursor)
        return {};
    const Laid laid = lay(m_text, font(), width(), m_maxLines, m_alignment);
    const int from = std::min(m_anchor, m_cursor);
    const int to = std::max(m_anchor, m_cursor);
    // Up to the "…", the shown text matches the original character for character.
    const QString text = prepared(m_text, m_maxLines);
    QString selected;
    const int cut = laid.elided ? int(laid.shown.lastIndexOf(ellipsis)) : -1;
    if (cut >= 0 && to > cut)
        selected = m_text.mid(from);
    else
        selected = text.mid(from, to - from);
    selected.replace(QChar(QChar::LineSeparator), QChar(u'\n'));
    return selected;
}

void ElidedText::copySelection() const {
    const QString selected = selectedText();
    if (!selected.isEmpty())
        QApplication::clipboard()->setText(selected);
}

void ElidedText::mousePressEvent(QMouseEvent* event) {
    if (!m_selectable || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_anchor = m_cursor = cursorAt(event->position());
    update();
}

void ElidedText::mouseMoveEvent(QMouseEvent* event) {
    if (!m_selectable || !(event->buttons() & Qt::LeftButton) || m_anchor < 0) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    m_cursor = cursorAt(event->position());
    update();
}

void ElidedText::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_selectable)
        QWidget::mouseReleaseEvent(event);
}

void ElidedText::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!m_selectable) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const Laid laid = lay(m_text, font(), width(), m_maxLines, m_alignment);
    const int at = cursorAt(event->position());
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, laid.shown);
    words.setPosition(at);
    const int start = words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
                          ? at
                          : int(words.toPreviousBoundary());
    words.setPosition(at);
    const int end = int(words.toNextBoundary());
    m_anchor = std::max(0, start);
    m_cursor = end < 0 ? int(laid.shown.size()) : end;
    update();
}

void ElidedText::keyPressEvent(QKeyEvent* event) {
    if (m_selectable && event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    if (m_selectable && event->matches(QKeySequence::SelectAll)) {
        m_anchor = 0;
        m_cursor = int(lay(m_text, font(), width(), m_maxLines, m_alignment).shown.size());
        update();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ElidedText::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_selectable)
        return;
    QMenu menu;
    QAction* copy = menu.addAction(tr("Copy"), this, [this] { copySelection(); });
    copy->setEnabled(!selectedText().isEmpty());
    menu.addAction(tr("Select All"), this, [this] {
        m_anchor = 0;
        m_cursor = int(lay(m_text, font(), width(), m_maxLines, m_alignment).shown.size());
        update();
    });
    menu.exec(event->globalPos());
}
