#include "ui/panel/WeekStrip.h"

#include "core/model/Cal.h"
#include "core/model/Fmt.h"
#include "core/store/EventStore.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/Theme.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

constexpr qreal paddingY = 2;
constexpr qreal rowSpacing = 3;
constexpr qreal circleSide = 26;
constexpr qreal dotSide = 4;
constexpr qreal dotSpacing = 2.5;

} // namespace

DayCell::Style DayCell::style(bool selected, bool today, bool hovering) {
    if (selected)
        return {0.9, Theme::black(), Theme::white(), Qt::transparent};
    const QColor fill = hovering ? Theme::white(0.12) : QColor(Qt::transparent);
    if (today) {
        QColor ring = Theme::accent();
        ring.setAlphaF(0.8f);
        return {0.45, Theme::accent(), fill, ring};
    }
    return {0.45, Theme::white(), fill, Qt::transparent};
}

QString DayCell::weekdayLabel(const QDateTime& day, const Cal& cal) {
    return cal.locale().dayName(cal.weekday(day), QLocale::ShortFormat).toUpper();
}

QList<QColor> DayCell::dots(const QList<CalEvent>& events) {
    QList<QColor> colors;
    for (qsizetype i = 0; i < std::min<qsizetype>(events.size(), maxDots); ++i)
        colors << events[i].color;
    return colors;
}

DayCell::DayCell(EventStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_weekday(Theme::uiFont(9.5, QFont::Medium))
    , m_number(Theme::uiFont(13.5, QFont::Medium)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize DayCell::sizeHint() const {
    const qreal h =
        2 * paddingY + std::ceil(m_weekday.height()) + rowSpacing + circleSide + rowSpacing + dotSide;
    return {int(circleSide) + 4, int(std::ceil(h))};
}

QSize DayCell::minimumSizeHint() const {
    return {int(circleSide), sizeHint().height()};
}

void DayCell::setDay(const QDateTime& day) {
    if (day == m_day && m_store.cal().locale() == m_locale)
        return;
    m_day = day;
    const Cal& cal = m_store.cal();
    m_locale = cal.locale();
    m_weekday.set(weekdayLabel(day, cal));
    m_number.set(cal.locale().toString(cal.dateOf(day).day()));
    setAccessibleName(Fmt::dayHeader(day, cal));
    refresh();
    update();
}

void DayCell::refresh() {
    const Cal& cal = m_store.cal();
    if (cal.locale() != m_locale) {
        // The weekday and the number as the new locale writes them; setDay() comes back here.
        setDay(m_day);
        return;
    }
    const bool selected = cal.isSameDay(m_day, m_store.selectedDate());
    const bool today = cal.isSameDay(m_day, cal.startOfDay(m_store.now()));
    QList<QColor> colors = dots(m_store.events(m_day));
    if (selected == m_selected && today == m_today && colors == m_dots)
        return;
    // The selected day's number is bold: its font changes with the selection, never on a repaint.
    if (selected != m_selected)
        m_number.setFont(Theme::uiFont(13.5, selected ? QFont::Bold : QFont::Medium));
    m_selected = selected;
    m_today = today;
    m_dots = std::move(colors);
    update();
}

void DayCell::enterEvent(QEnterEvent*) {
    m_hovering = true;
    update();
}

void DayCell::leaveEvent(QEvent*) {
    m_hovering = false;
    update();
}

void DayCell::hideEvent(QHideEvent*) {
    // Hidden under the pointer (the agenda gave way to a detail): no leave event follows.
    m_hovering = false;
}

void DayCell::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

void DayCell::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = std::exchange(m_pressed, false) && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (click)
        m_store.select(m_day);
}

void DayCell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Style s = style(m_selected, m_today, m_hovering);
    const qreal midX = width() / 2.0;

    qreal y = paddingY;
    const qreal weekdayHeight = std::ceil(m_weekday.height());
    m_weekday.draw(p, QRectF(0, y, width(), weekdayHeight), Qt::AlignHCenter, Theme::white(s.weekdayOpacity));
    y += weekdayHeight + rowSpacing;

    const QRectF circle(std::round(midX - circleSide / 2), y, circleSide, circleSide);
    if (s.fill.alpha() > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(s.fill);
        p.drawEllipse(circle);
    }
    if (s.ring.alpha() > 0) {
        p.setPen(QPen(s.ring, 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    m_number.draw(p, circle, Qt::AlignHCenter, s.number);
    y += circleSide + rowSpacing;

    if (m_dots.isEmpty())
        return;
    const qreal rowWidth = m_dots.size() * dotSide + (m_dots.size() - 1) * dotSpacing;
    qreal x = midX - rowWidth / 2;
    p.setPen(Qt::NoPen);
    for (const QColor& color : m_dots) {
        p.setBrush(color);
        p.drawEllipse(QRectF(x, y, dotSide, dotSide));
        x += dotSide + dotSpacing;
    }
}

WeekStrip::WeekStrip(EventStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_previous(new IconButton(
          QStringLiteral("chevron.left"), tr("Previous week"), [&store] { store.shiftWeek(-1); }, this))
    , m_next(new IconButton(
          QStringLiteral("chevron.right"), tr("Next week"), [&store] { store.shiftWeek(1); }, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 8, 0, 4);
    row->setSpacing(2);
    row->addWidget(m_previous, 0, Qt::AlignVCenter);
    for (DayCell*& cell : m_cells) {
        cell = new DayCell(store, this);
        row->addWidget(cell, 1);
    }
    row->addWidget(m_next, 0, Qt::AlignVCenter);

    connect(&m_store, &EventStore::weekStartChanged, this, &WeekStrip::showWeek);
    connect(&m_store, &EventStore::selectedDateChanged, this, &WeekStrip::refreshCells);
    connect(&m_store, &EventStore::eventsByDayChanged, this, &WeekStrip::refreshCells);
    // Today moves at midnight.
    connect(&m_store, &EventStore::nowChanged, this, &WeekStrip::refreshCells);
    showWeek();
}

void WeekStrip::showWeek() {
    const QList<QDateTime> days = m_store.weekDays();
    for (size_t i = 0; i < m_cells.size(); ++i) {
        // A week whose day the zone skips entirely has six days; the seventh cell stays empty.
        m_cells[i]->setVisible(qsizetype(i) < days.size());
        if (qsizetype(i) < days.size())
            m_cells[i]->setDay(days[qsizetype(i)]);
    }
}

void WeekStrip::refreshCells() {
    for (DayCell* cell : m_cells)
        cell->refresh();
}
