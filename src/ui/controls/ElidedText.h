#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

class QFontMetricsF;
class QPainter;

// Text that keeps to a number of lines: one line cut with "…" at the end (titles, subtitles), or
// wrapped onto at most N lines with the last one cut (2 for detail titles, 12 for notes); 0 lines
// means no limit. Long words and links wrap anywhere rather than spill over. It can be made
// selectable (detail lines and notes): drag or double-click to select, copy with Ctrl+C or the
// context menu; a selection that reaches the "…" copies the text through to its real end.
//
// The font is the widget's font (set it with Theme::uiFont); the colour is its own. For rows that
// paint themselves, the static textHeight() and draw() do the same without a widget.
class ElidedText : public QWidget {
    Q_OBJECT

public:
    explicit ElidedText(QWidget* parent = nullptr);
    ElidedText(const QString& text, const QFont& font, const QColor& color, int maxLines = 1,
               QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    int maxLines() const { return m_maxLines; }
    void setMaxLines(int maxLines);
    // Horizontal alignment of the lines, and where a single line sits vertically (left and centred
    // unless set).
    void setAlignment(Qt::Alignment alignment);
    bool isSelectable() const { return m_selectable; }
    void setSelectable(bool selectable);

    // Whether the text shown at the current width is cut.
    bool isElided() const;
    // The selected part as it would be copied; empty without a selection.
    QString selectedText() const;

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The height the text takes at `width` within `maxLines`.
    static qreal textHeight(const QString& text, const QFont& font, qreal width, int maxLines);
    // Paints the text into `box` from its top, within `maxLines`; returns the height used.
    static qreal draw(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                      const QColor& color, int maxLines, Qt::Alignment alignment = Qt::AlignLeft);
    // The text as shown at `width` within `maxLines`: cut with "…" when it does not fit.
    static QString shownText(const QString& text, const QFont& font, qreal width, int maxLines);

    // For views that paint a line of their own: the line as shown at `width`, cut with "…" at its
    // end (or `mode`) when it does not fit, and the width it takes whole. Either measures only what a
    // screen can show of a text (TextRules::cutToScreen), however long it is. `shownWidth`, when
    // given, is set to the width the line as shown takes.
    static QString elidedLine(const QFontMetricsF& metrics, const QString& text, qreal width,
                              Qt::TextElideMode mode = Qt::ElideRight, qreal* shownWidth = nullptr);
    static qreal lineWidth(const QFontMetricsF& metrics, const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int cursorAt(const QPointF& position) const;
    qreal textTop() const;
    void copySelection() const;
    void clearSelection();

    QString m_text;
    QColor m_color;
    int m_maxLines = 1;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_selectable = false;
    int m_anchor = -1; // selection in the shown text, [min, max) of anchor and cursor
    int m_cursor = -1;
};
