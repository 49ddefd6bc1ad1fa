#pragma once

#include "core/quickadd/QuickAddDerived.h"
#include "core/quickadd/QuickAddEnv.h"
#include "core/quickadd/QuickAddPanel.h"
#include "core/quickadd/QuickAddState.h"

#include <QCoroTask>
#include <QObject>

#include <memory>
#include <optional>

// Quick add without its widgets: one typed line (or an edited event's title and when-line) becoming
// an event, with its guests, Meet choice and destination, added or saved through the agenda. The
// widgets draw view() and forward the user's actions to the functions below; they decide nothing.
//
// One model per showing: create it when quick add is shown, call appear(), and delete it (with
// deleteLater()) when quick add closes. A model whose showing has ended stays inert: a reply of an
// add or a save that arrives late changes neither the panel nor the next showing.
//
// Binding: QuickAddStoreEnv over EventStore::shared(); a QuickAddPanel over NotchState and
// NotchController that emits changed() for every change of quickAdd, quickAddPrefill and
// editingEvent, at once (the model takes a burst of them in one step after it).
//
// Wiring, for the widget engineer:
//
//   Every change      changed() → read view() and redraw what differs (rows keep their keys: DayRow by
//                     event id, Chip by address, DestinationRow by destination id). The reference that
//                     view() returns is valid until the next change.
//   Focus             focusRequested(field) → give that line edit the focus. Report focus moves
//                     (clicks, Tab) with focused(field) from the line edits' focus-in; Tab itself
//                     needs nothing else. state().focus says which box to outline brighter.
//   Main line         textEdited → setText(); Return → add().
//   When-line         textEdited → setWhenText(); Return → whenReturn().
//   People field      textEdited → setPeopleQuery(); Return → commitPerson(); Backspace → if
//                     backspaceInPeopleField() returns true, swallow the key. A suggestion row →
//                     commitPerson() for the "Invite this address" row (invitesTypedAddress), else
//                     addPerson(row.person).
//   Chip ×            remove(chip.person); only chips with `removable` have the button.
//   Invite button     toggleInvite().          Meet toggle       toggleMeet().
//   Back button       back().                  Cancel            cancel().
//   Primary button    add().                   Google notice     connectGoogle().
//   Destination       toggleCalendars() for the button; pickDestination(row.destination.id()) for a row.
//   Escape            nothing to wire: appear() registers dismissOverlays() with the panel.
//   Snapshot mode     instead of appear(): load(the sample event) or setText(the sample line), and
//                     toggleInvite() for an open people field.
//
// What to show is all in view() (QuickAddDerived.h): each element's texts, its shown/enabled flags,
// its symbol names and colours, in the order the panel lays them out; fixed texts in QuickAdd::Text.
//
// Closing quick add (finish, Cancel, Back, the Escape of an edit) goes through the panel; when the
// owner deletes the model on that signal, the model has already done all it had to do.
class QuickAddModel : public QObject {
    Q_OBJECT

public:
    // Both must outlive the model.
    QuickAddModel(QuickAddEnv& env, QuickAddPanel& panel, QObject* parent = nullptr);
    ~QuickAddModel() override;

    const QuickAdd::State& state() const { return m_state; }
    // Everything to draw, for the current state and agenda.
    const QuickAdd::Derived& view() const;

    // ---- Showing

    // Quick add came on screen: takes the edited event, or else the prefilled line; registers the
    // Escape handler; asks for the main line's focus 0.2 s later.
    void appear();
    // The showing is over: the panel closed quick add. Replies arriving afterwards change nothing.
    bool isOpen() const { return m_appeared && !m_ended; }

    // Enters edit mode for the event: its title (empty for a placeholder title), its when-line, its
    // guests and Meet state, its local calendar.
    void load(const CalEvent& event);
    // Takes the panel's prefilled lines: behind the kept lines while the outbox keeps any, else into
    // the main line (ending a stale edit first).
    void consumePrefill();
    // Leaves edit mode and clears the line, the guests and the choices; keeps the people field,
    // the destination pick and an add under way. Then shows the oldest meeting line not yet on Google,
    // if any, and takes a prefilled line.
    void reset();
    // The Escape key: closes the destination list, else the people field, else an edit. False when
    // it had nothing to close (a new line): the panel then collapses. True, and nothing else, while
    // adding or saving.
    bool dismissOverlays();

    // ---- Typing

    // The main line changed: clears the error and closes the destination list.
    void setText(const QString& text);
    // The when-line changed: clears the error.
    void setWhenText(const QString& text);
    // Return in the when-line: the focus goes to the main line.
    void whenReturn();
    // The keyboard moved to a field (a click or Tab); no focusRequested() follows.
    void focused(QuickAdd::Field field);

    // ---- Adding and saving

    // Adds the event to its destination, or saves the edit. Does nothing unless view().canAdd. A local
    // calendar is written at once; Google is awaited with the primary button showing "Sending…" or
    // "Saving…". Success closes quick add; a failure shows its message and keeps everything typed and
    // chosen, ready to try again.
    //
    // A meeting is sent through the env's outbox, and its line takes no changes until Google has
    // answered. Quick add may close meanwhile (a click elsewhere, the hot key), and its line, guests
    // and choices come back in the next showing (still "Sending…", or with the failure) until the
    // meeting is known to be on Google, also after the app quit. Sending that line again reuses its
    // insert ids. A line handed over while a meeting is being sent, or while a failed one is kept,
    // waits its turn: quick add shows the oldest line not yet on Google, and the next one once that is
    // on Google or let go of (changed or cleared), also after the app quit.
    void add();
    // Closes quick add and keeps what was typed. Nothing while adding or saving.
    void cancel();
    // The header's back button: as cancel().
    void back();
    // Opens or closes the destination list (not in edit mode).
    void toggleCalendars();
    // Chooses a destination from the list and keeps it as the default for the next quick add.
    void pickDestination(const QString& destinationId);
    // Starts the Google sign-in of the notice.
    void connectGoogle();

    // ---- Guests (refused when the event's guests are not editable)

    // Opens or closes the people field.
    void toggleInvite();
    void setPeopleQuery(const QString& text);
    // Return in the people field: an empty field closes; an address or a known person is invited;
    // anything else shows why not.
    void commitPerson();
    // Invites the person, unless already invited (any letter case).
    void addPerson(const Person& person);
    // Un-invites the guest, taking a guest typed in the line out of the line. False when nothing was
    // removed: an organiser, guests that cannot be edited, or a line that could not be rewritten
    // without touching another guest (it is then left as it was, and the error line says why).
    bool remove(const Person& person);
    // Backspace in the empty people field removes the last removable guest; true when it did.
    bool backspaceInPeopleField();
    // Turns Meet on or off; from then on Meet no longer follows the guests.
    void toggleMeet();

signals:
    void changed();
    void focusRequested(QuickAdd::Field field);

private:
    // The outbox's send has ended: a showing waiting for it shows the failure, or the next line.
    void sendAnswered(bool taken);
    // The meeting line as the outbox keeps it.
    QuickAddOutbox::Line line() const;
    // Shows the outbox's oldest line, when it keeps one.
    void restoreHeldLine();
    // A meeting of this showing's new line is being sent.
    bool sending() const;
    QCoro::Task<> save(CalEvent event, QuickAddDraft draft, QList<Person> invitees, bool meet);
    // Starts reading the days the slot search needs, unless they are being read or failed to read.
    void readDaysForSlot();
    QCoro::Task<> readDays(QuickAdd::DayRange range);
    // A write has answered: ends the busy state and shows its failure; true when its success is still
    // to be shown (quick add still on screen, the write neither failed nor cancelled).
    bool answered(const std::optional<QString>& failure, bool cancelled);
    // Empties the line, its guests and Meet choice, and closes the people field.
    void clearLine();
    void finish();
    void close();
    void requestFocus(QuickAdd::Field field);
    void update();
    void panelChanged();
    void syncWithPanel();
    QuickAddDraft parse(const QString& text) const;

    QuickAddEnv& m_env;
    QuickAddPanel& m_panel;
    QuickAdd::State m_state;
    mutable std::optional<QuickAdd::Derived> m_view;
    std::unique_ptr<QuickAddPanel::EscapeHandler> m_escape;
    std::optional<QString> m_seenEditingId; // the panel's edited event as last taken
    QList<QuickAdd::DayRange> m_reading;    // the days being read for a free slot
    bool m_appeared = false;
    bool m_showedHeldLine = false; // the outbox's oldest line was on screen in this showing
    bool m_ended = false;
    bool m_syncQueued = false;
};
