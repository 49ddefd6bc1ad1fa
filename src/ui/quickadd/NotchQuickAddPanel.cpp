#include "ui/quickadd/NotchQuickAddPanel.h"

#include "ui/notch/NotchController.h"
#include "ui/notch/NotchState.h"

namespace {

class Registration final : public QuickAddPanel::EscapeHandler {
public:
    Registration(NotchState& state, QObject* context, std::function<bool()> handler)
        : m_guard(state, NotchState::EscapeOwner::quickAdd, context, std::move(handler)) {}

private:
    EscapeHandlerGuard m_guard;
};

} // namespace

NotchQuickAddPanel::NotchQuickAddPanel(NotchState& state, QObject* parent)
    : QuickAddPanel(parent)
    , m_state(state) {
    connect(&state, &NotchState::quickAddChanged, this, &QuickAddPanel::changed);
    connect(&state, &NotchState::quickAddPrefillChanged, this, &QuickAddPanel::changed);
    connect(&state, &NotchState::editingEventChanged, this, &QuickAddPanel::changed);
}

bool NotchQuickAddPanel::isQuickAddShown() const {
    return m_state.quickAdd();
}

QStringList NotchQuickAddPanel::prefill() const {
    return m_state.quickAddPrefill();
}

void NotchQuickAddPanel::clearPrefill() {
    m_state.clearQuickAddPrefill();
}

std::optional<CalEvent> NotchQuickAddPanel::editingEvent() const {
    return m_state.editingEvent();
}

void NotchQuickAddPanel::setSelectedEvent(const CalEvent& event) {
    m_state.setSelectedEvent(event);
}

void NotchQuickAddPanel::closeQuickAdd(bool collapse) {
    NotchController* controller = NotchController::shared();
    if (controller && &controller->state() == &m_state)
        controller->closeQuickAdd(collapse);
}

std::unique_ptr<QuickAddPanel::EscapeHandler>
NotchQuickAddPanel::handleEscape(std::function<bool()> handler) {
    return std::make_unique<Registration>(m_state, this, std::move(handler));
}
