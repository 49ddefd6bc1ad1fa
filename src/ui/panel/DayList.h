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
class QVBoxLayout;

// The selected day's agenda below the week strip: one row per event, scrolled to the next event
// when it comes on screen for today. In its place an invitation to add an event on a day without
// any, or a prompt for calendar access when the app can read nothing at all. The footer pill floats
// over its bottom edge.
//
// Rows are kept by event id: a publish of the store hands each row its newer copy and moves rows
// only when the order changed, so hover, scroll position and the Join buttons stay as they are.
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
    // The rows in their order on screen.
    QList<EventRow*> rows() const;
    EventRow* row(const QString& eventId) const { return m_rows.value(eventId); }
    SourceFooter* footer() const { return m_footer; }
    QWidget* emptyDay() const { return m_emptyDay; }
    QWidget* accessPrompt() const { return m_accessPrompt; }
    QString accessHeadline() const;
    PillButton* accessButton() const { return m_accessButton; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refreshContent();
    void syncRows();
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
    QVBoxLayout* m_rowsLayout;
    MaybeScroll* m_scroll;
    QHash<QString, EventRow*> m_rows;
    QList<QString> m_order;
    // Filled in by buildAccessPrompt(), which runs after them.
    class ElidedText* m_accessHeadline = nullptr;
    class ElidedText* m_accessText = nullptr;
    PillButton* m_accessButton = nullptr;
    QWidget* m_emptyDay;
    QWidget* m_accessPrompt;
    SourceFooter* m_footer;
};
