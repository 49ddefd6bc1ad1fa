#pragma once

#include "core/quickadd/QuickAddDerived.h"
#include "core/quickadd/QuickAddState.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class CapsuleButton;
class ContentMotion;
class DestinationList;
class ElidedText;
class EventStore;
class IconButton;
class InviteeChip;
class LineLabel;
class MaybeHScroll;
class MeetToggle;
class NotchQuickAddPanel;
class NotchState;
class PillButton;
class QBoxLayout;
class QHBoxLayout;
class QLineEdit;
class QuickAddEnv;
class QuickAddModel;
class RoundedBox;
class RowStack;
class SameDayList;
class SuggestionRow;
class SymbolView;
class ActivitySpinner;

// The quick-add view in the expanded panel's body: the line (or an event's title and when-line),
// the guests with the people field, the preview, the Google notice, the error, the day's other
// events and the footer with the destination, Cancel and Add, plus the destination list over it.
//
// It draws what its QuickAddModel's view() says and forwards what the user does; it decides
// nothing. One model per showing: a model is made when the panel state shows quick add (or at
// construction when it already does) and let go when quick add closes, so a late reply of an old
// showing acts on nothing. Lists are updated in place by key (chips by address, suggestions by
// address, destinations by id), so that hover and the keyboard survive every change.
//
// Changes move (QuickAdd::transitionBetween says which, ContentMotion moves them): a spring when the
// guests change, a 0.18 s ease when the people field opens or closes or the line becomes a meeting or
// a plain event. The first drawing of a showing, and everything while the motion switch is off, shows
// at once.
//
// Sized by its host (540 × (394 − notch height) in the expanded panel). In the snapshot mode its text
// fields are static and the model is left for the snapshot renderer to seed (model()).
class QuickAddView : public QWidget {
    Q_OBJECT

public:
    // Reads and writes the agenda through `env`, which must outlive the view.
    QuickAddView(NotchState& state, QuickAddEnv& env, QWidget* parent = nullptr);
    // The app's binding: the agenda and settings of `store`.
    QuickAddView(NotchState& state, EventStore& store, QWidget* parent = nullptr);
    ~QuickAddView() override;

    // The model of the showing on screen; null while quick add is closed.
    QuickAddModel* model() const;

    // The controls, for tests and for the panel's focus handling.
    QLineEdit* mainField() const { return m_mainEdit; }
    QLineEdit* whenField() const { return m_whenEdit; }
    QLineEdit* peopleField() const { return m_peopleEdit; }
    QWidget* fieldWidget(QuickAdd::Field field) const;

signals:
    // A showing began (a fresh model) or ended.
    void showingChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void build();
    void quickAddChanged();
    void begin();
    void end();
    void refresh();
    void refreshGuests(bool moving);
    void refreshSuggestions();
    void placeCalendarList();
    void fitSuggestions();
    void focusField(QuickAdd::Field field);

    NotchState& m_state;
    QuickAddEnv& m_env;
    NotchQuickAddPanel* m_panel;
    QPointer<QuickAddModel> m_model;
    bool m_refreshing = false;
    // What is drawn, to tell what a change moves; none before the first drawing of a showing.
    std::optional<QuickAdd::Derived> m_shown;
    ContentMotion* m_motion = nullptr;

    // Header
    IconButton* m_back = nullptr;
    ElidedText* m_title = nullptr;
    ElidedText* m_headerHint = nullptr;
    // Lines
    RoundedBox* m_mainBox = nullptr;
    QLineEdit* m_mainEdit = nullptr;
    RoundedBox* m_whenBox = nullptr;
    QLineEdit* m_whenEdit = nullptr;
    ElidedText* m_whenHint = nullptr;
    // Guests
    QWidget* m_guestRow = nullptr;
    MaybeHScroll* m_strip = nullptr;
    QHBoxLayout* m_stripLayout = nullptr;
    QList<InviteeChip*> m_chips;
    QPointer<QWidget> m_inSight; // to scroll into sight after this change
    CapsuleButton* m_invite = nullptr;
    ElidedText* m_guestsNote = nullptr;
    MeetToggle* m_meet = nullptr;
    // People field
    QWidget* m_peopleBlock = nullptr;
    RoundedBox* m_peopleBox = nullptr;
    QLineEdit* m_peopleEdit = nullptr;
    RowStack* m_suggestionBox = nullptr;
    QList<SuggestionRow*> m_suggestions;
    // Preview
    SymbolView* m_previewSymbol = nullptr;
    LineLabel* m_previewText = nullptr;
    ElidedText* m_help = nullptr;
    // Google notice
    RoundedBox* m_notice = nullptr;
    ElidedText* m_noticeTitle = nullptr;
    ActivitySpinner* m_noticeSpinner = nullptr;
    PillButton* m_noticeButton = nullptr;
    // Error line
    QWidget* m_errorLine = nullptr;
    ElidedText* m_errorText = nullptr;
    // Same day
    SameDayList* m_sameDay = nullptr;
    // Footer
    CapsuleButton* m_destination = nullptr;
    LineLabel* m_routeHint = nullptr;
    PillButton* m_cancel = nullptr;
    PillButton* m_primary = nullptr;
    // Over everything
    DestinationList* m_calendarList = nullptr;
};
