#pragma once

#include "core/model/CalEvent.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// What quick add needs of the panel that shows it: the requests the panel hands it (show quick add,
// a line to type in, an event to edit), the selected event it replaces after a save, closing itself,
// and its answer to the Escape key. The panel binds it to NotchState and NotchController.
class QuickAddPanel : public QObject {
    Q_OBJECT

public:
    // Keeps an Escape handler registered while it lives.
    class EscapeHandler {
    public:
        virtual ~EscapeHandler() = default;
    };

    using QObject::QObject;

    // Quick add (or the editor) is shown in the expanded panel.
    virtual bool isQuickAddShown() const = 0;
    // The lines handed over for quick add to take, oldest first; several when links came faster than
    // quick add could take them.
    virtual QStringList prefill() const = 0;
    // Empties the prefill once quick add has taken it.
    virtual void clearPrefill() = 0;
    // The event to edit; none for a new event.
    virtual std::optional<CalEvent> editingEvent() const = 0;
    // The event the detail view shows.
    virtual void setSelectedEvent(const CalEvent& event) = 0;
    // Hides quick add (and clears the edited event), then gives the keyboard back; with `collapse`
    // the panel collapses as well. Does nothing when there is no panel controller. May delete the
    // model that asks, when its owner deletes it as quick add closes.
    virtual void closeQuickAdd(bool collapse) = 0;
    // Registers quick add's Escape handler, asked before the detail view's; it returns true when it
    // used the key, false to let the panel handle it (the panel then collapses).
    virtual std::unique_ptr<EscapeHandler> handleEscape(std::function<bool()> handler) = 0;

signals:
    // Any of the above changed. Emit it for every single change, at once: quick add takes a burst of
    // changes (a prefill and the end of an edit, say) in one step after the burst.
    void changed();
};
