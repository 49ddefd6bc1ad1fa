#pragma once

#include "core/model/CalEvent.h"
#include "ui/panel/TextLine.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <QWidget>

#include <optional>

class Cal;
class EventStore;
class JoinButton;

// One event of the day list: its times, calendar colour, title and subtitle, then at the right a
// "NOW" badge or a countdown, a Join button (or a camera symbol), an "N" for Notion pages and a
// chevron. Rows of today's events that are over are dimmed. A click opens the event's detail.
//
// The list keeps one row per event id and hands it every newer copy of its event and every tick of
// the clock; the row works out what it shows (model()) and repaints only the parts that changed, so
// a countdown repaints its own few pixels and the hover highlight survives every update.
class EventRow : public QWidget {
    Q_OBJECT
public:
    // Join appears this close to the start; a countdown this far ahead.
    static constexpr qint64 joinLeadSecs = 900;
    static constexpr qint64 countdownLeadSecs = 10800;

    // What a row shows of its event at one moment.
    struct Model {
        enum class Status { none, live, countdown };
        enum class Meeting { none, join, symbol };

        // From the event alone.
        bool allDay = false;
        QString startText; // "9:30 am"; "all day" for all-day events
        QString endText;   // empty for all-day events
        QColor color;
        QString icon; // a Notion page's icon, else empty
        QString title;
        QString subtitle;
        bool notion = false;
        bool hasLink = false;

        // From the clock too.
        bool past = false; // over, in the list of today
        Status status = Status::none;
        QString countdown;
        Meeting meeting = Meeting::none;

        qreal opacity() const { return past ? 0.45 : 1.0; }
        friend bool operator==(const Model&, const Model&) = default;
    };

    // The row of `event` at `now`, in a list of today when `viewingToday`.
    static Model model(const CalEvent& event, const QDateTime& now, bool viewingToday, const Cal& cal);
    // The service of the meeting link (else the location), the Notion status and the calendar,
    // joined by " · ".
    static QString subtitle(const CalEvent& event);

    EventRow(const CalEvent& event, EventStore& store, QWidget* parent = nullptr);

    const CalEvent& event() const { return m_event; }
    const Model& shown() const { return m_model; }
    bool isHovering() const { return m_hovering; }
    JoinButton* joinButton() const { return m_join; }

    // A newer copy of the event; nothing is redrawn when nothing shown of it changed.
    void setEvent(const CalEvent& event);
    // The store's clock moved on (or the list's day, or the user's zone or locale changed): redraws
    // only what changed.
    void refresh();

    static constexpr int rowHeight = 40;
    QSize sizeHint() const override;

signals:
    // The row was clicked: the list opens the event's detail.
    void activated(const CalEvent& event);

protected:
    using QWidget::event;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Where each part goes at the current width.
    struct Layout {
        QRectF time;
        QRectF bar;
        QRectF text;
        QRectF status;
        QRectF meeting;
        QRectF badge;
        QRectF chevron;
    };
    Layout layOut() const;
    void apply(const Model& model);
    void place();
    void setHovering(bool hovering);
    // Whether the store's calendar is another than the one the times were written in.
    bool calendarChanged() const;

    EventStore& m_store;
    CalEvent m_event;
    QTimeZone m_zone;
    QLocale m_locale;
    Model m_model;
    Layout m_layout;
    bool m_hovering = false;
    bool m_pressed = false;
    TextLine m_start;
    TextLine m_end;
    TextLine m_icon;
    TextLine m_title;
    TextLine m_subtitleLine;
    TextLine m_status;
    JoinButton* m_join;
};
