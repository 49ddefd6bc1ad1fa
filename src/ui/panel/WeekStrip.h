#pragma once

#include "core/model/CalEvent.h"
#include "ui/panel/TextLine.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QWidget>

#include <array>

class Cal;
class EventStore;
class IconButton;

// One day of the week strip: the weekday, the day of the month in a circle (white when selected, an
// accent ring for today) and a dot for each of the day's first four events. A click selects the day.
class DayCell : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxDots = 4;

    // How the day's number is drawn, by whether the day is selected, is today and is under the pointer.
    struct Style {
        qreal weekdayOpacity;
        QColor number; // bold when selected
        QColor fill;   // behind the number; transparent for none
        QColor ring;   // around it; transparent for none
        friend bool operator==(const Style&, const Style&) = default;
    };
    static Style style(bool selected, bool today, bool hovering);
    // The locale's abbreviated weekday, in capitals whatever the locale writes ("WED", "MI.").
    static QString weekdayLabel(const QDateTime& day, const Cal& cal);
    // The colours of the dots under a day with these events: the first four, in their order.
    static QList<QColor> dots(const QList<CalEvent>& events);

    DayCell(EventStore& store, QWidget* parent = nullptr);

    const QDateTime& day() const { return m_day; }
    // Shows another day (paging the week).
    void setDay(const QDateTime& day);
    // Reads the selection, today and the day's events again; repaints only on a visible change.
    void refresh();

    bool isSelected() const { return m_selected; }
    bool isToday() const { return m_today; }
    bool isHovering() const { return m_hovering; }
    const QList<QColor>& dotColors() const { return m_dots; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    EventStore& m_store;
    QDateTime m_day;
    bool m_selected = false;
    bool m_today = false;
    bool m_hovering = false;
    bool m_pressed = false;
    QList<QColor> m_dots;
    QLocale m_locale;
    TextLine m_weekday;
    TextLine m_number;
};

// The top row of the agenda: the seven days of the viewed week between buttons for the previous and
// the next week. Everything it shows lives in the store; it follows the store in place.
class WeekStrip : public QWidget {
    Q_OBJECT
public:
    explicit WeekStrip(EventStore& store, QWidget* parent = nullptr);

    const std::array<DayCell*, 7>& cells() const { return m_cells; }
    IconButton* previousButton() const { return m_previous; }
    IconButton* nextButton() const { return m_next; }

private:
    void showWeek();
    void refreshCells();

    EventStore& m_store;
    IconButton* m_previous;
    IconButton* m_next;
    std::array<DayCell*, 7> m_cells{};
};
