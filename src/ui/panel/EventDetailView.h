#pragma once

#include "core/model/CalEvent.h"
#include "core/store/StoreTimer.h"
#include "platform/UrlOpener.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/EventDetailModel.h"

#include <QCoroTask>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

namespace EventDetailParts {
class AttendeeChip;
class ColorDot;
class ConfirmationRow;
class DetailBadge;
class DetailLine;
class StatusCapsule;
} // namespace EventDetailParts
class ElidedText;
class EventStore;
class IconButton;
class MaybeScroll;
class PillButton;
class QBoxLayout;
class QLabel;

// The expanded panel's page for one event of any source: title, calendar and Notion status, a
// countdown (or the store's latest message), the time, place, attendees with their answers,
// organiser, Notion edit time and notes, a Join button and buttons that open the event in other
// apps. It offers the actions the source and the user's role allow: Edit, Delete, or Decline.
//
// Delete and Decline ask first, in a row that replaces the footer: pressing the header button again,
// Cancel, Escape or six seconds without a decision close it. Confirming runs the store's call; while
// it runs Back, Cancel, Escape and the header actions do nothing, and the confirm button says what
// is happening. A success clears the selection (the panel returns to the day list); a failure shows
// its message above the footer, and the event stays selected. The call belongs to the store, not to
// the view: a view taken down meanwhile (the panel collapsed) is simply not told, and the selection
// is cleared only while it still names this event.
//
// The panel hands it a fresh copy of the selected event on every store publish through setEvent():
// widgets are updated in place, so hover, scroll position, text selection, a pending confirmation and
// a running call survive. A different event starts afresh.
class EventDetailView : public QWidget {
    Q_OBJECT

public:
    using Confirm = EventDetailModel::Confirm;

    static constexpr std::chrono::milliseconds revertDelay{6000};

    struct Options {
        // Starts in the delete confirmation, for the snapshot of it (an event without Delete ignores it).
        bool confirmDelete = false;
        // Opens web and app links; the desktop's when empty.
        UrlOpener openUrl;
        // Runs the confirmation's automatic close; Qt's timers when empty.
        TimerFactory timers;
    };

    EventDetailView(NotchState& state, EventStore& store, const CalEvent& event, QWidget* parent = nullptr);
    EventDetailView(NotchState& state, EventStore& store, const CalEvent& event, Options options,
                    QWidget* parent = nullptr);
    ~EventDetailView() override;

    const CalEvent& event() const { return m_event; }
    void setEvent(const CalEvent& event);

    std::optional<Confirm> confirming() const { return m_confirming; }
    bool isBusy() const { return m_busy; }
    const std::optional<QString>& error() const { return m_error; }
    MaybeScroll* details() const { return m_details; }

protected:
    using QWidget::event;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    using AttendeeChip = EventDetailParts::AttendeeChip;
    using ColorDot = EventDetailParts::ColorDot;
    using ConfirmationRow = EventDetailParts::ConfirmationRow;
    using DetailBadge = EventDetailParts::DetailBadge;
    using DetailLine = EventDetailParts::DetailLine;
    using StatusCapsule = EventDetailParts::StatusCapsule;

    // How a store call ended, as far as this view is concerned.
    enum class Outcome { done, failed, cancelled };

    void buildHeader(QBoxLayout* column);
    void buildDetails(QBoxLayout* column);
    void buildBottom(QBoxLayout* column);

    void back();
    void edit();
    void ask(Confirm confirm);
    void perform(Confirm confirm);
    // Runs the call without the view: it may be gone when the call ends.
    static QCoro::Task<> run(QPointer<EventDetailView> view, QPointer<NotchState> state,
                             QPointer<EventStore> store, CalEvent event, Confirm confirm, quint64 generation);
    void finish(quint64 generation, Outcome outcome, const QString& message);
    bool escape();
    void setConfirming(std::optional<Confirm> confirm);
    void startRevert();
    void stopRevert();
    void openLink(EventDetailModel::Link link);
    QCoro::Task<> findCalendarApp();

    // Everything shown, from m_event and the store.
    void refresh();
    void refreshHeader();
    void refreshBadge();
    void refreshDetails();
    void refreshAttendees();
    void refreshBottom();
    void refreshBusy();

    NotchState& m_state;
    EventStore& m_store;
    CalEvent m_event;
    Options m_options;

    std::optional<Confirm> m_confirming;
    bool m_busy = false;
    std::optional<QString> m_error;
    std::unique_ptr<StoreTimer> m_revert;
    // Counts the events this view has shown: a call for an earlier one no longer speaks to it.
    quint64 m_generation = 0;
    // Whether the desktop has a calendar app; unknown until asked.
    std::optional<bool> m_hasCalendarApp;
    bool m_askingCalendarApp = false;
    EscapeHandlerGuard m_escape;

    // Header.
    IconButton* m_back = nullptr;
    QLabel* m_icon = nullptr;
    ElidedText* m_title = nullptr;
    ColorDot* m_calendarDot = nullptr;
    ElidedText* m_calendarName = nullptr;
    StatusCapsule* m_status = nullptr;
    DetailBadge* m_badge = nullptr;
    IconButton* m_edit = nullptr;
    IconButton* m_delete = nullptr;
    IconButton* m_decline = nullptr;

    // Details.
    MaybeScroll* m_details = nullptr;
    DetailLine* m_time = nullptr;
    DetailLine* m_unexpandedRule = nullptr;
    DetailLine* m_location = nullptr;
    QWidget* m_attendees = nullptr;
    DetailLine* m_attendeeSummary = nullptr;
    QWidget* m_chipArea = nullptr;
    QList<AttendeeChip*> m_chips;
    ElidedText* m_more = nullptr;
    DetailLine* m_organizer = nullptr;
    DetailLine* m_notionEdited = nullptr;
    QWidget* m_notesBox = nullptr;
    ElidedText* m_notes = nullptr;

    // Bottom: the error line, then the footer or the confirmation.
    QWidget* m_errorLine = nullptr;
    ElidedText* m_errorText = nullptr;
    QWidget* m_footer = nullptr;
    PillButton* m_join = nullptr;
    QList<std::pair<EventDetailModel::Link, PillButton*>> m_links;
    ConfirmationRow* m_confirmation = nullptr;
};
