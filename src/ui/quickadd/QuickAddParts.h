#pragma once

#include "core/quickadd/QuickAddDerived.h"
#include "ui/controls/Theme.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <optional>

class QFontMetricsF;
class QPainter;
class QPainterPath;

// The pieces quick add builds its rows from: boxes, symbols, capsule buttons, the same-day list and
// the Google mark. They only paint what they are given; QuickAddView fills them from the model's view.

// Geometry the pieces (and the guest chips) paint with.
namespace QuickAddPaint {
// Where text of `metrics` sits so that its ink is centred on `midY`, on a whole pixel.
qreal baselineFor(const QFontMetricsF& metrics, qreal midY);
// A rectangle with half-round ends.
QPainterPath capsule(const QRectF& bounds);
} // namespace QuickAddPaint

// A shape drawn once into a pixmap and blitted on later paints while its size and look stay the
// same. Antialiased paths cost the raster engine a rasterizer pass on every paint, and large ones a
// round trip through its thread pool; the boxes and capsules redrawn on every keystroke do not need
// that.
class ShapeCache {
public:
    // Draws `area` (in the painter's coordinates) through the cache: `draw` paints the shape into a
    // painter whose origin is the area's top left, and is called again only when `key` or the size
    // changed.
    void paint(QPainter& painter, const QRectF& area, size_t key, const std::function<void(QPainter&)>& draw);

private:
    QPixmap m_pixmap;
    size_t m_key = 0;
};

// A rounded box behind a row of controls: a faint fill and a hairline that brightens while the row
// holds the keyboard (the text boxes) or stays as it is (the notice, the suggestions).
class RoundedBox : public QWidget {
    Q_OBJECT

public:
    struct Look {
        qreal radius = 8;
        qreal fill = 0.08;     // white opacity
        qreal stroke = 0;      // white opacity of the hairline; 0 draws none
        qreal focusStroke = 0; // the hairline while highlighted
    };
    explicit RoundedBox(Look look, QWidget* parent = nullptr);

    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return m_highlighted; }

protected:
    // The part of the widget the box covers: all of it unless a subclass says otherwise.
    virtual QRectF boxRect() const { return QRectF(rect()); }
    void paintEvent(QPaintEvent* event) override;

private:
    Look m_look;
    bool m_highlighted = false;
    ShapeCache m_shape;
};

// A rounded box holding a column of rows (the suggestions). Within a height budget it shows the
// first rows that fit whole and leaves the others out (all of them, in a panel too full for one), so
// that a short panel never squeezes or cuts a row, and asks for the height of the rows it shows, so
// that no gap is left below them.
class RowStack : public RoundedBox {
    Q_OBJECT

public:
    RowStack(Look look, qreal padding, qreal spacing, QWidget* parent = nullptr);

    // The rows in order, all children of the stack.
    void setRows(const QList<QWidget*>& rows);
    // The most height the stack may take. Unlimited unless set.
    void setHeightBudget(int height);
    // How many rows show at the current height.
    int shownRows() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    QRectF boxRect() const override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // How many of the rows, from the first, fit whole into `height`.
    int rowsWithin(qreal height) const;
    qreal heightOf(int rows) const;
    void place();

    qreal m_padding;
    qreal m_spacing;
    QList<QWidget*> m_rows;
    int m_budget = QWIDGETSIZE_MAX;
    int m_shown = 0;
};

// One line of text cut with "…" to the width it is given, as high as its font's line. Unlike
// ElidedText it asks for no width of its own, so changing its text repaints it without laying the
// view out again: for the lines that change on every keystroke (the preview, the route hint).
class LineLabel : public QWidget {
    Q_OBJECT

public:
    LineLabel(const QFont& font, const QColor& color, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    void setColor(const QColor& color);
    // A font of the same size keeps the height: no new layout either.
    void setLabelFont(const QFont& font);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_color;
    QFont m_font; // as given: font() is it merged with the parent's
};

// One symbol at the size it has beside text of `fontSize` pixels, tinted.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(const QString& name, qreal fontSize, QFont::Weight weight, const QColor& color,
               QWidget* parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString& name);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    qreal m_fontSize;
    QFont::Weight m_weight;
    QColor m_color;
};

// A plain capsule button with a label: something before it (a symbol, a coloured dot or the Google
// mark), its text, and optionally a symbol after it that can turn over (the destination's chevron).
// The fill and an optional outline (solid or dashed) are set by the caller; it takes no focus, and
// its text (or, without text, its tooltip) is its accessible name.
class CapsuleButton : public QAbstractButton {
    Q_OBJECT

public:
    struct Look {
        QColor fill;
        QColor stroke; // invalid: no outline
        bool dashed = false;
        QColor text;
        qreal fontSize = 11;
        QFont::Weight weight = QFont::Medium;
        QMarginsF padding{9, 4, 9, 4};
        qreal spacing = 4;
        friend bool operator==(const Look&, const Look&) = default;
    };
    struct Leading {
        enum class Kind { none, symbol, dot, googleMark } kind = Kind::none;
        QString symbol;
        qreal size = 0; // the symbol's font size, the dot's or the mark's side
        QFont::Weight weight = QFont::Normal;
        QColor color; // the dot's colour; a symbol takes the text colour
        friend bool operator==(const Leading&, const Leading&) = default;
    };
    struct Trailing {
        QString symbol; // empty: none
        qreal fontSize = 8;
        QFont::Weight weight = QFont::Bold;
        QColor color; // invalid: the text colour
        bool flipped = false;
        friend bool operator==(const Trailing&, const Trailing&) = default;
    };

    explicit CapsuleButton(QWidget* parent = nullptr);

    void setLook(const Look& look);
    void setLeading(const Leading& leading);
    void setTrailing(const Trailing& trailing);
    // The text is cut with "…" beyond this width of the whole button.
    void setMaximumButtonWidth(int width);
    void setLabel(const QString& text);
    void setHelp(const QString& help);

    const Look& look() const { return m_look; }
    const Trailing& trailing() const { return m_trailing; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;
    qreal leadingWidth() const;
    qreal trailingWidth() const;

    Look m_look;
    Leading m_leading;
    Trailing m_trailing;
    int m_maxWidth = QWIDGETSIZE_MAX;
    ShapeCache m_shape;
};

// The events of the typed day: a heading in capitals and one row per event with its times, a bar in
// its calendar's colour, its title and, when it collides with the draft, an "overlaps" badge. Rows
// that do not fit the height it is given are left out whole rather than cut.
class SameDayList : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal timeWidth = 118;

    explicit SameDayList(QWidget* parent = nullptr);

    void setContent(const QString& heading, const QList<QuickAdd::DayRow>& rows);
    const QList<QuickAdd::DayRow>& rows() const { return m_rows; }
    // How many rows the current height shows.
    int shownRows() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal headingHeight() const;
    qreal rowHeight() const;

    QString m_heading;
    QList<QuickAdd::DayRow> m_rows;
};

// A list row that is a button as a whole: a leading picture, a title over an optional second line,
// and a small trailing symbol, on a rounded highlight while the pointer is over it. The suggestion
// and destination rows are made of it.
class RowButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit RowButton(QWidget* parent = nullptr);

    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // The picture's side, the title and its weight, the second line, the trailing symbol's name, size
    // and colour.
    virtual qreal leadingSide() const = 0;
    virtual void paintLeading(QPainter& painter, const QRectF& box) const = 0;
    virtual QString title() const = 0;
    virtual QFont::Weight titleWeight() const { return QFont::Medium; }
    virtual std::optional<QString> detail() const = 0;
    virtual QString trailingSymbol() const = 0;
    virtual qreal trailingSize() const = 0;
    virtual QColor trailingColor() const { return Theme::white(); }

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_hovering = false;
};
