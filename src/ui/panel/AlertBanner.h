#pragma once

#include "core/store/MeetingAlert.h"
#include "ui/panel/TextLine.h"

#include <QDateTime>
#include <QWidget>

#include <optional>

class Cal;
class EventStore;
class IconButton;
class JoinButton;
class NotchState;

// The meeting alert: wings beside the notch with a bell and "Starts in 2 min" on the left and the
// meeting's time on the right, and below them a row with the calendar colour, the title, where the
// meeting happens, a Join button for a meeting link and a button that dismisses the alert.
//
// It follows the store's alert and clock in place; the headline counts down with every tick. When
// the alert goes, it keeps showing the last one while the root view fades it out.
class AlertBanner : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal wingWidth = 210;
    static constexpr qreal padding = 26;
    static constexpr qreal lowerRowHeight = 46;

    AlertBanner(EventStore& store, NotchState& state, QWidget* parent = nullptr);

    // "Starts in 2 min" (minutes rounded up) while the start is ahead, "Meeting started" while it
    // runs, else "Starting now" (a meeting already over, or one without length at its start).
    static QString headline(const CalEvent& event, const QDateTime& now);
    // The meeting service (else the location) and the calendar, joined by " · ".
    static QString subtitle(const CalEvent& event);
    // "All day", or the meeting's time range.
    static QString timeText(const CalEvent& event, const Cal& cal);

    const std::optional<MeetingAlert>& alert() const { return m_alert; }
    JoinButton* joinButton() const { return m_join; }
    IconButton* dismissButton() const { return m_dismiss; }
    // The texts as drawn now.
    QString headlineText() const { return m_headline.text(); }
    QString subtitleText() const { return m_subtitle.text(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void tick();
    void place();
    qreal topRowHeight() const;

    EventStore& m_store;
    NotchState& m_state;
    std::optional<MeetingAlert> m_alert;
    TextLine m_headline;
    TextLine m_time;
    TextLine m_icon;
    TextLine m_title;
    TextLine m_subtitle;
    JoinButton* m_join;
    IconButton* m_dismiss;
};
