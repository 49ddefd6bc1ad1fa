#include "ui/quickadd/QuickAddParts.h"

#include "ui/controls/ElidedText.h"
#include "ui/controls/GoogleCalendarMark.h"
#include "ui/controls/Symbol.h"
#include "ui/controls/Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace QuickAddPaint {

qreal baselineFor(const QFontMetricsF& metrics, qreal midY) {
    return std::round(midY - (metrics.ascent() + metrics.descent()) / 2 + metrics.ascent());
}

QPainterPath capsule(const QRectF& bounds) {
    QPainterPath path;
    const qreal r = bounds.height() / 2;
    path.addRoundedRect(bounds, r, r);
    return path;
}

} // namespace QuickAddPaint

using QuickAddPaint::baselineFor;
using QuickAddPaint::capsule;

// ---- ShapeCache

void ShapeCache::paint(QPainter& painter, const QRectF& area, size_t key,
                       const std::function<void(QPainter&)>& draw) {
    const qreal dpr = painter.device()->devicePixelRatioF();
    const QSize pixels = (area.size() * dpr).toSize();
    if (pixels.isEmpty())
        return;
    if (key != m_key || m_pixmap.size() != pixels || m_pixmap.devicePixelRatio() != dpr) {
        m_pixmap = QPixmap(pixels);
        m_pixmap.setDevicePixelRatio(dpr);
        m_pixmap.fill(Qt::transparent);
        QPainter p(&m_pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        m_key = key;
    }
    painter.drawPixmap(area.topLeft(), m_pixmap);
}

// ---- RoundedBox

RoundedBox::RoundedBox(Look look, QWidget* parent)
    : QWidget(parent)
    , m_look(look) {}

void RoundedBox::setHighlighted(bool highlighted) {
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    update();
}

void RoundedBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF area = boxRect();
    const qreal stroke = m_highlighted ? m_look.focusStroke : m_look.stroke;
    m_shape.paint(p, area, qHash(stroke), [&](QPainter& shape) {
        QPainterPath path;
        path.addRoundedRect(QRectF(QPointF(0, 0), area.size()).adjusted(0.5, 0.5, -0.5, -0.5), m_look.radius,
                            m_look.radius);
        shape.fillPath(path, Theme::white(m_look.fill));
        if (stroke > 0) {
            shape.setPen(QPen(Theme::white(stroke), 1));
            shape.drawPath(path);
        }
    });
}

// ---- RowStack

RowStack::RowStack(Look look, qreal padding, qreal spacing, QWidget* parent)
    : RoundedBox(look, parent)
    , m_padding(padding)
    , m_spacing(spacing) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void RowStack::setRows(const QList<QWidget*>& rows) {
    m_rows = rows;
    updateGeometry();
    place();
}

void RowStack::setHeightBudget(int height) {
    if (height == m_budget)
        return;
    m_budget = height;
    updateGeometry();
}

int RowStack::shownRows() const {
    return m_shown;
}

qreal RowStack::heightOf(int rows) const {
    qreal h = 2 * m_padding;
    for (int i = 0; i < rows && i < m_rows.size(); ++i)
        h += m_rows[i]->sizeHint().height() + (i > 0 ? m_spacing : 0);
    return h;
}

int RowStack::rowsWithin(qreal height) const {
    int rows = 0;
    while (rows < m_rows.size() && heightOf(rows + 1) <= height + 0.5)
        ++rows;
    return rows;
}

QSize RowStack::sizeHint() const {
    const int rows = rowsWithin(m_budget);
    if (rows == 0)
        return {0, 0};
    qreal w = 0;
    for (QWidget* row : m_rows)
        w = std::max<qreal>(w, row->sizeHint().width());
    return {int(std::ceil(w + 2 * m_padding)), int(std::ceil(heightOf(rows)))};
}

QSize RowStack::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

QRectF RowStack::boxRect() const {
    // Ends below the last row shown, should the layout give more room than asked for.
    if (m_shown == 0)
        return {};
    qreal bottom = m_padding;
    for (QWidget* row : m_rows) {
        if (!row->isHidden())
            bottom = std::max<qreal>(bottom, row->geometry().bottom() + 1);
    }
    return QRectF(0, 0, width(), std::min<qreal>(height(), bottom + m_padding));
}

void RowStack::resizeEvent(QResizeEvent* event) {
    RoundedBox::resizeEvent(event);
    place();
}

void RowStack::place() {
    const int shown = rowsWithin(std::min<qreal>(height(), m_budget));
    qreal y = m_padding;
    const int w = int(width() - 2 * m_padding);
    for (int i = 0; i < m_rows.size(); ++i) {
        QWidget* row = m_rows[i];
        const int h = row->sizeHint().height();
        if (i < shown) {
            row->setGeometry(int(m_padding), int(y), w, h);
            y += h + m_spacing;
        }
        row->setVisible(i < shown);
    }
    m_shown = shown;
    update();
}

// ---- LineLabel

LineLabel::LineLabel(const QFont& font, const QColor& color, QWidget* parent)
    : QWidget(parent)
    , m_color(color)
    , m_font(font) {
    setFont(font);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineLabel::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    update();
}

void LineLabel::setColor(const QColor& color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void LineLabel::setLabelFont(const QFont& font) {
    if (font == m_font)
        return;
    m_font = font;
    setFont(font);
    update();
}

QSize LineLabel::sizeHint() const {
    return {0, int(std::ceil(QFontMetricsF(font()).height()))};
}

QSize LineLabel::minimumSizeHint() const {
    return sizeHint();
}

void LineLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetricsF metrics(font());
    p.setPen(m_color);
    p.drawText(QPointF(0, baselineFor(metrics, height() / 2.0)),
               ElidedText::elidedLine(metrics, m_text, width() + 0.5));
}

// ---- SymbolView

SymbolView::SymbolView(const QString& name, qreal fontSize, QFont::Weight weight, const QColor& color,
                       QWidget* parent)
    : QWidget(parent)
    , m_name(name)
    , m_fontSize(fontSize)
    , m_weight(weight)
    , m_color(color) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setName(const QString& name) {
    if (name == m_name)
        return;
    m_name = name;
    update();
}

void SymbolView::setColor(const QColor& color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

QSize SymbolView::sizeHint() const {
    const int side = int(std::ceil(Symbol::side(m_fontSize)));
    return {side, side};
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Symbol::paint(p, m_name, QRectF(rect()).center(), m_fontSize, m_color, m_weight);
}

// ---- CapsuleButton

CapsuleButton::CapsuleButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CapsuleButton::setLook(const Look& look) {
    if (look == m_look)
        return;
    const bool resized = look.fontSize != m_look.fontSize || look.weight != m_look.weight ||
                         look.padding != m_look.padding || look.spacing != m_look.spacing;
    m_look = look;
    if (resized)
        updateGeometry();
    update();
}

void CapsuleButton::setLeading(const Leading& leading) {
    if (leading == m_leading)
        return;
    m_leading = leading;
    updateGeometry();
    update();
}

void CapsuleButton::setTrailing(const Trailing& trailing) {
    if (trailing == m_trailing)
        return;
    const bool resized = trailing.symbol.isEmpty() != m_trailing.symbol.isEmpty();
    m_trailing = trailing;
    if (resized)
        updateGeometry();
    update();
}

void CapsuleButton::setMaximumButtonWidth(int width) {
    m_maxWidth = width;
    updateGeometry();
}

void CapsuleButton::setLabel(const QString& text) {
    if (text == this->text())
        return;
    setText(text);
    setAccessibleName(text.isEmpty() ? toolTip() : text);
    updateGeometry();
    update();
}

void CapsuleButton::setHelp(const QString& help) {
    if (help == toolTip())
        return;
    setToolTip(help);
    if (text().isEmpty())
        setAccessibleName(help);
    setAccessibleDescription(help);
}

QFont CapsuleButton::labelFont() const {
    return Theme::uiFont(m_look.fontSize, m_look.weight);
}

qreal CapsuleButton::leadingWidth() const {
    switch (m_leading.kind) {
    case Leading::Kind::none:
        return 0;
    case Leading::Kind::symbol:
        return Symbol::side(m_leading.size);
    case Leading::Kind::dot:
    case Leading::Kind::googleMark:
        return m_leading.size;
    }
    return 0;
}

qreal CapsuleButton::trailingWidth() const {
    return m_trailing.symbol.isEmpty() ? 0 : Symbol::side(m_trailing.fontSize);
}

QSize CapsuleButton::sizeHint() const {
    const QFontMetricsF metrics(labelFont());
    qreal w = m_look.padding.left() + m_look.padding.right();
    int parts = 0;
    for (const qreal part : {leadingWidth(), ElidedText::lineWidth(metrics, text()), trailingWidth()}) {
        if (part > 0) {
            w += part;
            ++parts;
        }
    }
    w += std::max(0, parts - 1) * m_look.spacing;
    const qreal content = std::max({metrics.height(), m_leading.kind == Leading::Kind::symbol
                                                          ? Symbol::side(m_leading.size) * 0.8
                                                          : m_leading.size});
    const int h = int(std::round(content + m_look.padding.top() + m_look.padding.bottom()));
    return {std::min(m_maxWidth, int(std::ceil(w))), std::max(h, 22)};
}

QSize CapsuleButton::minimumSizeHint() const {
    return sizeHint();
}

void CapsuleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        p.setOpacity(0.7);
    const size_t key =
        qHashMulti(0, m_look.fill.rgba(), m_look.stroke.isValid() ? m_look.stroke.rgba() : 0u, m_look.dashed);
    m_shape.paint(p, QRectF(rect()), key, [&](QPainter& painter) {
        const QPainterPath shape = capsule(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.fillPath(shape, m_look.fill);
        if (m_look.stroke.isValid()) {
            QPen pen(m_look.stroke, 1);
            if (m_look.dashed)
                pen.setDashPattern({3, 3});
            painter.setPen(pen);
            painter.drawPath(shape);
        }
    });

    const qreal midY = QRectF(rect()).center().y();
    qreal x = m_look.padding.left();
    const qreal lead = leadingWidth();
    switch (m_leading.kind) {
    case Leading::Kind::none:
        break;
    case Leading::Kind::symbol:
        Symbol::paint(p, m_leading.symbol, QPointF(x + lead / 2, midY), m_leading.size, m_look.text,
                      m_leading.weight);
        break;
    case Leading::Kind::dot:
        p.setPen(Qt::NoPen);
        p.setBrush(m_leading.color);
        p.drawEllipse(QRectF(x, midY - lead / 2, lead, lead));
        break;
    case Leading::Kind::googleMark:
        GoogleCalendarMark::paint(p, QRectF(x, midY - lead / 2, lead, lead), m_look.text);
        break;
    }
    if (lead > 0)
        x += lead + m_look.spacing;

    const qreal trail = trailingWidth();
    const qreal textRight = width() - m_look.padding.right() - (trail > 0 ? trail + m_look.spacing : 0);
    if (!text().isEmpty()) {
        const QFont font = labelFont();
        const QFontMetricsF metrics(font);
        const QString shown =
            ElidedText::elidedLine(metrics, text(), std::max<qreal>(0, textRight - x + 0.5));
        p.setFont(font);
        p.setPen(m_look.text);
        p.drawText(QPointF(x, baselineFor(metrics, midY)), shown);
        x = std::min(textRight, x + metrics.horizontalAdvance(shown)) + m_look.spacing;
    }
    if (trail > 0) {
        const QPointF centre(x + trail / 2, midY);
        p.save();
        if (m_trailing.flipped) {
            p.translate(centre);
            p.rotate(180);
            p.translate(-centre);
        }
        Symbol::paint(p, m_trailing.symbol, centre, m_trailing.fontSize,
                      m_trailing.color.isValid() ? m_trailing.color : m_look.text, m_trailing.weight);
        p.restore();
    }
}

// ---- SameDayList

namespace {
constexpr qreal topPadding = 2;
constexpr qreal spacing = 4;
constexpr qreal barWidth = 3;
constexpr qreal barHeight = 13;
constexpr qreal gap = 8;

QFont headingFont() {
    return Theme::uiFont(10.5, QFont::DemiBold);
}
QFont timeFont() {
    return Theme::uiFont(11);
}
QFont titleFont(bool overlaps) {
    return Theme::uiFont(11.5, overlaps ? QFont::DemiBold : QFont::Normal);
}
QFont badgeFont() {
    return Theme::uiFont(9, QFont::Bold);
}
} // namespace

SameDayList::SameDayList(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
}

void SameDayList::setContent(const QString& heading, const QList<QuickAdd::DayRow>& rows) {
    const bool resized = rows.size() != m_rows.size() || heading.isEmpty() != m_heading.isEmpty();
    const bool same =
        heading == m_heading && rows.size() == m_rows.size() &&
        std::equal(rows.cbegin(), rows.cend(), m_rows.cbegin(), [](const auto& a, const auto& b) {
            return a.eventId == b.eventId && a.time == b.time && a.color == b.color && a.title == b.title &&
                   a.overlaps == b.overlaps;
        });
    if (same)
        return;
    m_heading = heading;
    m_rows = rows;
    if (resized)
        updateGeometry();
    update();
    const QStringList titles = [&] {
        QStringList out;
        for (const QuickAdd::DayRow& row : m_rows)
            out << row.time + QStringLiteral(" ") + row.title;
        return out;
    }();
    setAccessibleName(m_heading);
    setAccessibleDescription(titles.join(QStringLiteral("; ")));
}

qreal SameDayList::headingHeight() const {
    return std::ceil(QFontMetricsF(headingFont()).height());
}

qreal SameDayList::rowHeight() const {
    return std::ceil(
        std::max({QFontMetricsF(titleFont(true)).height(), QFontMetricsF(timeFont()).height(), barHeight}));
}

int SameDayList::shownRows() const {
    const qreal room = height() - topPadding - headingHeight();
    return std::clamp(int(std::floor((room + 0.01) / (spacing + rowHeight()))), 0, int(m_rows.size()));
}

QSize SameDayList::sizeHint() const {
    const qreal h = topPadding + headingHeight() + m_rows.size() * (spacing + rowHeight());
    return {int(timeWidth + 200), int(std::ceil(h))};
}

QSize SameDayList::minimumSizeHint() const {
    return {0, int(std::ceil(topPadding + headingHeight()))};
}

void SameDayList::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    qreal y = topPadding;
    {
        const QFont font = headingFont();
        const QFontMetricsF metrics(font);
        p.setFont(font);
        p.setPen(Theme::white(0.45));
        p.drawText(QPointF(0, y + metrics.ascent()), metrics.elidedText(m_heading, Qt::ElideRight, width()));
        y += headingHeight();
    }
    const qreal rowH = rowHeight();
    const int shown = shownRows();
    // The fonts of every row, made once a paint.
    const QFont time = timeFont();
    const QFontMetricsF timeMetrics(time);
    const QFont badge = badgeFont();
    const QFontMetricsF badgeMetrics(badge);
    const qreal badgeWidth = badgeMetrics.horizontalAdvance(QuickAdd::Text::overlaps) + 10;
    const QFont titles[] = {titleFont(false), titleFont(true)};
    const QFontMetricsF titleMetricsOf[] = {QFontMetricsF(titles[0]), QFontMetricsF(titles[1])};
    for (int i = 0; i < shown; ++i) {
        const QuickAdd::DayRow& row = m_rows[i];
        y += spacing;
        const qreal midY = y + rowH / 2;

        p.setFont(time);
        p.setPen(Theme::white(0.55));
        const QString timeText = timeMetrics.elidedText(row.time, Qt::ElideLeft, timeWidth);
        p.drawText(
            QPointF(timeWidth - timeMetrics.horizontalAdvance(timeText), baselineFor(timeMetrics, midY)),
            timeText);

        qreal x = timeWidth + gap;
        QPainterPath bar;
        bar.addRoundedRect(QRectF(x, midY - barHeight / 2, barWidth, barHeight), 1.5, 1.5);
        p.fillPath(bar, row.color.isValid() ? row.color : Theme::accent());
        x += barWidth + gap;

        const QFont& title = titles[row.overlaps];
        const QFontMetricsF& titleMetrics = titleMetricsOf[row.overlaps];
        const qreal room = width() - x - (row.overlaps ? badgeWidth + gap : 0);
        const QString titleText = ElidedText::elidedLine(titleMetrics, row.title, std::max<qreal>(0, room));
        p.setFont(title);
        p.setPen(Theme::white());
        p.drawText(QPointF(x, baselineFor(titleMetrics, midY)), titleText);
        if (row.overlaps) {
            x += titleMetrics.horizontalAdvance(titleText) + gap;
            const qreal h = std::ceil(badgeMetrics.height()) + 2;
            const QRectF pill(x, midY - h / 2, badgeWidth, h);
            QColor fill = Theme::orange();
            fill.setAlphaF(0.9f);
            p.fillPath(capsule(pill), fill);
            p.setFont(badge);
            p.setPen(Theme::black());
            p.drawText(QPointF(x + 5, baselineFor(badgeMetrics, midY)), QuickAdd::Text::overlaps);
        }
        y += rowH;
    }
}

// ---- RowButton

namespace {
constexpr qreal rowPadH = 8;
constexpr qreal rowPadV = 4;
constexpr qreal rowSpacing = 8;
constexpr qreal rowMinSpacer = 4;

QFont rowTitleFont(QFont::Weight weight) {
    return Theme::uiFont(11.5, weight);
}
QFont rowDetailFont() {
    return Theme::uiFont(9.5);
}
} // namespace

RowButton::RowButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize RowButton::sizeHint() const {
    const QFontMetricsF titleMetrics(rowTitleFont(QFont::DemiBold));
    const QFontMetricsF detailMetrics(rowDetailFont());
    // Every row is as high as one with a second line, so that lists do not jump as hints come and go.
    const qreal text = std::ceil(titleMetrics.height()) + std::ceil(detailMetrics.height());
    const qreal h = std::max(text, leadingSide()) + 2 * rowPadV;
    const qreal w = 2 * rowPadH + leadingSide() + rowSpacing + ElidedText::lineWidth(titleMetrics, title()) +
                    rowMinSpacer + Symbol::side(trailingSize());
    return {int(std::ceil(w)), int(std::ceil(h))};
}

QSize RowButton::minimumSizeHint() const {
    return {int(2 * rowPadH + leadingSide() + 40), sizeHint().height()};
}

void RowButton::enterEvent(QEnterEvent*) {
    m_hovering = true;
    update();
}

void RowButton::leaveEvent(QEvent*) {
    m_hovering = false;
    update();
}

void RowButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    if (m_hovering) {
        QPainterPath shape;
        shape.addRoundedRect(bounds, 6, 6);
        p.fillPath(shape, Theme::white(0.12));
    }
    const qreal midY = bounds.center().y();
    const qreal lead = leadingSide();
    paintLeading(p, QRectF(rowPadH, midY - lead / 2, lead, lead));

    const qreal trail = Symbol::side(trailingSize());
    const QString symbol = trailingSymbol();
    if (!symbol.isEmpty())
        Symbol::paint(p, symbol, QPointF(width() - rowPadH - trail / 2, midY), trailingSize(),
                      trailingColor(), QFont::Bold);

    const qreal x = rowPadH + lead + rowSpacing;
    const qreal room = std::max<qreal>(0, width() - rowPadH - trail - rowMinSpacer - x);
    const QFont titleFont = rowTitleFont(titleWeight());
    const QFontMetricsF titleMetrics(titleFont);
    const std::optional<QString> second = detail();
    const QFont detailFont = rowDetailFont();
    const QFontMetricsF detailMetrics(detailFont);
    const qreal titleH = std::ceil(titleMetrics.height());
    const qreal blockH = titleH + (second ? std::ceil(detailMetrics.height()) : 0);
    const qreal top = std::round(midY - blockH / 2);
    p.setFont(titleFont);
    p.setPen(Theme::white());
    p.drawText(QPointF(x, top + titleMetrics.ascent()), ElidedText::elidedLine(titleMetrics, title(), room));
    if (second) {
        p.setFont(detailFont);
        p.setPen(Theme::white(0.5));
        p.drawText(QPointF(x, top + titleH + detailMetrics.ascent()),
                   ElidedText::elidedLine(detailMetrics, *second, room));
    }
}
