#pragma once

#include "core/model/CalEvent.h"
#include "ui/panel/TextLine.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QWidget>

#include <optional>

class EventStore;
class IconButton;
class NotchState;
class PillButton;

// The expanded panel's top band, as high as the notch: the selected day and a one-line
// summary of it on the left ("Wednesday, Mar 4" over "5 events · Standup in 8 min"), the panel's
// buttons on the right (Today, new event, refresh, pin, settings), and between them a gap that keeps
// both clear of the notch. The two halves share what is left beside the gap equally, so the gap
// stays centred under the notch.
//
// A notch lower than the band's two lines (the 24-pixel virtual notch of a desktop without a top
// bar) would cut them at the screen's edge; the band is then as high as the lines need.
class HeaderBand : public QWidget {
    Q_OBJECT
public:
    // "Nothing scheduled", or the number of events; for today with a next timed event that has a
    // countdown, followed by " · ", its title and the countdown.
    static QString subtitle(qsizetype count, const std::optional<CalEvent>& next, bool viewingToday,
                            const QDateTime& now);
    // The subtitle cut to `maxWidth`: the next event's title gives way first, so that the count and
    // the countdown stay whole while they fit.
    static QString fittedSubtitle(qsizetype count, const std::optional<CalEvent>& next, bool viewingToday,
                                  const QDateTime& now, const QFontMetricsF& metrics, qreal maxWidth);
    static constexpr qreal notchClearance = 6;
    static constexpr int minimumHeight = 30;
    // The band's height under a notch of this height.
    static int bandHeight(qreal notchHeight);

    HeaderBand(NotchState& state, EventStore& store, QWidget* parent = nullptr);

    QString titleText() const { return m_title.text(); }
    QString subtitleText() const { return m_subtitle.text(); }
    PillButton* todayButton() const { return m_today; }
    IconButton* newEventButton() const { return m_plus; }
    IconButton* refreshButton() const { return m_refresh; }
    IconButton* pinButton() const { return m_pin; }
    IconButton* settingsButton() const { return m_settings; }
    // Where the gap beside the notch lies, in this band's coordinates.
    QRectF gap() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshTexts();
    void refreshButtons();
    void place();
    qreal blockWidth() const;

    NotchState& m_state;
    EventStore& m_store;
    TextLine m_title;
    TextLine m_subtitle;
    // The subtitle before it was cut to its room, and that room.
    QString m_wholeSubtitle;
    qreal m_subtitleWidth = -1;
    PillButton* m_today;
    IconButton* m_plus;
    IconButton* m_refresh;
    IconButton* m_pin;
    IconButton* m_settings;
};
