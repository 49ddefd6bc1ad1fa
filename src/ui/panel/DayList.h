#pragma once

#include "core/calendar/CalendarAccess.h"
#include "core/model/CalEvent.h"

#include <QHash>
#include <QList>
#include <QWidget>

class AppSettings;
class EventRow;
class EventStore;
class MaybeScroll;
class NotchState;
class PillButton;
class SourceFooter;

// The selected day's agenda below the week strip: one row per event, scrolled to the next event
// when it comes on screen for today. In its place an invitation to add an event on a day without
// any, or a prompt for calendar access when the app can read nothing at all. The footer pill floats
// over its bottom edge.
//
// Rows are kept by event id: a publish of the store hands each row its newer copy and moves rows
// only when the order changed, so hover, scroll position and the Join buttons stay as they are.
// Only the rows on screen and a margin of rows around them exist, made and dropped as the list
// scrolls, so a day of thousands of events costs what a screenful does.
class DayList : public QWidget {
    Q_OBJECT
public:
    enum class Content { accessPrompt, events, emptyDay };

    // The access prompt while the calendar folder cannot be read and no other source has anything
    // (no Google account, no Google or Notion events); else the events, or the empty day.
    static Content content(CalendarAccess access, bool hasNotionEvents, bool hasGoogleEvents, bool hasGoogle,
                           bool dayHasEvents);

    DayList(EventStore& store, NotchState& state, AppSettings& settings, QWidget* parent = nullptr);

    Content shownContent() const { return m_content; }
    MaybeScroll* scroller() const { return m_scroll; }
    // Rows made beyond those on screen, above and below.
    static constexpr int rowMargin = 24;
    // The top of the row at `index` in the list.
    static int rowTop(qsizetype index);
    // The rows that exist, in their order on screen.
    QList<EventRow*> rows() const;
    // The event's row; null when the event is not on the day, or too far off screen to have one.
    EventRow* row(const QString& eventId) const { return m_rows.value(eventId); }
    SourceFooter* footer() const { return m_footer; }
    QWidget* emptyDay() const { return m_emptyDay; }
    QWidget* accessPrompt() const { return m_accessPrompt; }
    QString accessHeadline() const;
    PillButton* accessButton() const { return m_accessButton; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refreshContent();
    void syncRows();
    // Makes the rows from a margin above the screen to a margin below it, drops the others, and
    // puts each at its place.
    // `newerEvents`: the day's events changed, and the rows that stay take their newer copies.
    void placeRows(bool newerEvents);
    void tick();
    void dayChanged();
    // Brings today's next event to the top, or any other day's list back to its top.
    void scrollToStart();
    QWidget* buildEmptyDay();
    QWidget* buildAccessPrompt();
    void refreshAccessPrompt();

    EventStore& m_store;
    NotchState& m_state;
    AppSettings& m_settings;
    Content m_content = Content::emptyDay;
    QWidget* m_rowsBox;
    // Gives the box the height of every row of the day; the rows themselves are placed by hand.
    class QSpacerItem* m_rowsHeight;
    MaybeScroll* m_scroll;
    QList<CalEvent> m_events; // the day's, in order
    QHash<QString, EventRow*> m_rows;
    qsizetype m_first = 0; // the rows that exist are those of m_events[m_first, m_last)
    qsizetype m_last = 0;
    int m_rowsWidth = 0; // theirs
    // Filled in by buildAccessPrompt(), which runs after them.
    class ElidedText* m_accessHeadline = nullptr;
    class ElidedText* m_accessText = nullptr;
    PillButton* m_accessButton = nullptr;
    QWidget* m_emptyDay;
    QWidget* m_accessPrompt;
    SourceFooter* m_footer;
};
