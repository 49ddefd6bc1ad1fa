#pragma once

#include "core/quickadd/QuickAddPanel.h"

class NotchState;

// Quick add's panel as the notch shows it: the requests come from NotchState (quick add shown, the
// prefilled line, the event to edit), closing goes through the app's NotchController, and the Escape
// handler is registered with the state under the quick-add owner. Every change of the three requests
// is passed on at once, one changed() per field (the model takes a burst of them in one step).
//
// Closing does nothing when there is no controller, or when the controller runs another panel state
// (the snapshot mode makes a state of its own).
class NotchQuickAddPanel final : public QuickAddPanel {
    Q_OBJECT

public:
    explicit NotchQuickAddPanel(NotchState& state, QObject* parent = nullptr);

    bool isQuickAddShown() const override;
    QStringList prefill() const override;
    void clearPrefill() override;
    std::optional<CalEvent> editingEvent() const override;
    void setSelectedEvent(const CalEvent& event) override;
    void closeQuickAdd(bool collapse) override;
    std::unique_ptr<EscapeHandler> handleEscape(std::function<bool()> handler) override;

private:
    NotchState& m_state;
};
