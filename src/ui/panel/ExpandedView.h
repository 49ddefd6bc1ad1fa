#pragma once

#include "core/model/CalEvent.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class AppSettings;
class DayList;
class EventStore;
class GoogleNudge;
class HeaderBand;
class NotchState;
class WeekStrip;

// The expanded panel's content, 600 × 410: the header band beside the notch and below it one body
// area showing, first match wins, quick add, the detail of the selected event, or the agenda (week
// strip, the Google card while it is offered, the day list).
//
// The body's views come and go with short transitions (quick add slides up from the bottom, the
// detail in from the right, the agenda fades); with animations off, while the panel is closed and
// while it fades this view in, each change is final at once.
// The agenda lives as long as the panel. The detail is made when an event gets selected and is then
// handed every fresh copy of that event the store publishes, never rebuilt, so a pending
// confirmation or a running delete survives the store's ticks.
class ExpandedView : public QWidget {
    Q_OBJECT
public:
    static constexpr int paddingX = 30;
    static constexpr int paddingBottom = 16;

    // The body's views that are built elsewhere: the event detail (EventDetailView) and quick add
    // (QuickAddView). Tests put their own in.
    //
    // makeDetail builds the detail of an event; updateDetail hands it a fresh copy of that event
    // (called only when something in it changed). makeQuickAdd builds quick add, which reads the
    // state (prefill, the event being edited) itself. Each view is sized to the body area:
    // 600 − 60 wide and 410 − 16 − the header band high (the notch height, at least 30).
    struct BodyViews {
        std::function<QWidget*(NotchState&, EventStore&, const CalEvent&, QWidget* parent)> makeDetail;
        std::function<void(QWidget* detail, const CalEvent&)> updateDetail;
        std::function<QWidget*(NotchState&, EventStore&, AppSettings&, QWidget* parent)> makeQuickAdd;
    };
    static BodyViews& bodyViews();

    enum class Body { agenda, detail, quickAdd };
    // Which view the body shows: quick add over the detail over the agenda.
    static Body body(bool quickAdd, bool hasSelection);
    // The Google card is offered while an account can be connected and the user has not closed it.
    static bool offersGoogle(bool canOfferGoogle, bool promptDismissed);

    ExpandedView(NotchState& state, EventStore& store, AppSettings& settings, QWidget* parent = nullptr);
    ~ExpandedView() override;

    Body shownBody() const { return m_body; }
    HeaderBand* header() const { return m_header; }
    QWidget* agenda() const { return m_agenda; }
    WeekStrip* weekStrip() const { return m_weekStrip; }
    GoogleNudge* googleNudge() const { return m_nudge; }
    DayList* dayList() const { return m_dayList; }
    QWidget* detail() const { return m_detail; }
    QWidget* quickAdd() const { return m_quickAdd; }
    // The area below the header band.
    QRect bodyRect() const;

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Whether a change of the body moves: not while the panel is closed or fading this view in.
    bool bodyMoves() const;
    void refreshBody();
    void refreshDetail();
    void refreshNudge();
    void place();

    NotchState& m_state;
    EventStore& m_store;
    AppSettings& m_settings;
    HeaderBand* m_header;
    QWidget* m_agenda;
    WeekStrip* m_weekStrip;
    GoogleNudge* m_nudge;
    DayList* m_dayList;
    QPointer<QWidget> m_detail;
    QPointer<QWidget> m_quickAdd;
    std::optional<CalEvent> m_detailEvent; // the copy the detail was last given
    Body m_body = Body::agenda;
    bool m_nudgeOffered = false;
};
