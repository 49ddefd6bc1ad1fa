#include "ui/notch/NotchState.h"

#include <utility>

NotchState::NotchState(const NotchGeometry& geometry, QObject* parent)
    : QObject(parent)
    , m_geometry(geometry) {}

void NotchState::setExpanded(bool expanded) {
    if (m_expanded == expanded)
        return;
    m_expanded = expanded;
    changed(expandedField);
}

void NotchState::setPinned(bool pinned) {
    if (m_pinned == pinned)
        return;
    m_pinned = pinned;
    changed(pinnedField);
}

void NotchState::setQuickAdd(bool quickAdd) {
    if (m_quickAdd == quickAdd)
        return;
    m_quickAdd = quickAdd;
    changed(quickAddField);
}

void NotchState::addQuickAddPrefill(const QString& line) {
    if (line.isEmpty())
        return;
    m_quickAddPrefill.append(line);
    changed(prefillField);
}

void NotchState::clearQuickAddPrefill() {
    if (m_quickAddPrefill.isEmpty())
        return;
    m_quickAddPrefill.clear();
    changed(prefillField);
}

void NotchState::setEditingEvent(std::optional<CalEvent> event) {
    m_editingEvent = std::move(event);
    changed(editingField);
}

void NotchState::setSelectedEvent(std::optional<CalEvent> event) {
    m_selectedEvent = std::move(event);
    changed(selectedField);
}

void NotchState::setGeometry(const NotchGeometry& geometry) {
    if (m_geometry == geometry)
        return;
    m_geometry = geometry;
    changed(geometryField);
}

void NotchState::update(const std::function<void()>& change) {
    ++m_updateDepth;
    try {
        change();
    } catch (...) {
        --m_updateDepth;
        emitPending();
        throw;
    }
    --m_updateDepth;
    emitPending();
}

void NotchState::changed(Field field) {
    m_pending |= field;
    emitPending();
}

void NotchState::emitPending() {
    if (m_updateDepth > 0)
        return;
    // In declaration order. A handler may change the state again: what it changes is emitted by its
    // own call, so take the set before emitting.
    const unsigned pending = std::exchange(m_pending, 0u);
    if (pending & expandedField)
        emit expandedChanged();
    if (pending & pinnedField)
        emit pinnedChanged();
    if (pending & quickAddField)
        emit quickAddChanged();
    if (pending & prefillField)
        emit quickAddPrefillChanged();
    if (pending & editingField)
        emit editingEventChanged();
    if (pending & selectedField)
        emit selectedEventChanged();
    if (pending & geometryField)
        emit geometryChanged();
}

NotchState::EscapeToken NotchState::setEscapeHandler(EscapeOwner owner, QObject* context,
                                                     EscapeHandler handler) {
    const EscapeToken token = ++m_lastToken;
    m_escapeHandlers.insert(owner, {token, context, context != nullptr, std::move(handler)});
    return token;
}

void NotchState::removeEscapeHandler(EscapeOwner owner, EscapeToken token) {
    const auto found = m_escapeHandlers.constFind(owner);
    if (found != m_escapeHandlers.cend() && found->token == token)
        m_escapeHandlers.erase(found);
}

bool NotchState::hasEscapeHandler(EscapeOwner owner) const {
    const auto found = m_escapeHandlers.constFind(owner);
    return found != m_escapeHandlers.cend() && found->alive();
}

NotchState::EscapeHandler NotchState::liveHandler(EscapeOwner owner) {
    const auto found = m_escapeHandlers.find(owner);
    if (found == m_escapeHandlers.end())
        return {};
    if (!found->alive()) {
        m_escapeHandlers.erase(found);
        return {};
    }
    // A copy: the handler may register or remove handlers while it runs.
    return found->handler;
}

bool NotchState::handleEscape() {
    if (const EscapeHandler quickAdd = liveHandler(EscapeOwner::quickAdd); quickAdd && quickAdd())
        return true;
    if (const EscapeHandler detail = liveHandler(EscapeOwner::detail))
        return detail();
    return false;
}

EscapeHandlerGuard::EscapeHandlerGuard(NotchState& state, NotchState::EscapeOwner owner, QObject* context,
                                       NotchState::EscapeHandler handler)
    : m_state(&state)
    , m_owner(owner)
    , m_token(state.setEscapeHandler(owner, context, std::move(handler))) {}

EscapeHandlerGuard::~EscapeHandlerGuard() {
    reset();
}

EscapeHandlerGuard::EscapeHandlerGuard(EscapeHandlerGuard&& other) noexcept
    : m_state(std::move(other.m_state))
    , m_owner(other.m_owner)
    , m_token(std::exchange(other.m_token, 0)) {
    other.m_state.clear();
}

EscapeHandlerGuard& EscapeHandlerGuard::operator=(EscapeHandlerGuard&& other) noexcept {
    if (this != &other) {
        reset();
        m_state = std::move(other.m_state);
        other.m_state.clear();
        m_owner = other.m_owner;
        m_token = std::exchange(other.m_token, 0);
    }
    return *this;
}

void EscapeHandlerGuard::reset() {
    if (m_state && m_token != 0)
        m_state->removeEscapeHandler(m_owner, m_token);
    m_state.clear();
    m_token = 0;
}

NotchMode notchMode(bool expanded, bool hasAlert, bool showPeek, bool hasPeek) {
    if (expanded)
        return NotchMode::expanded;
    if (hasAlert)
        return NotchMode::alert;
    return showPeek && hasPeek ? NotchMode::peek : NotchMode::collapsed;
}
