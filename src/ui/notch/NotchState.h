#pragma once

#include "core/model/CalEvent.h"
#include "ui/notch/NotchGeometry.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The panel's observable state: whether it is expanded or pinned, whether the quick-add line (or the
// editor of an existing event) is shown, which event the detail view shows, the notch geometry, and
// the Escape handlers of the views that want the Escape key first. The controller owns the app's
// instance; the snapshot mode makes its own.
//
// Each field has a NOTIFY signal, emitted after the field holds its new value. The flags, the prefill
// and the geometry notify only when they change; the two events notify on every assignment, because
// a saved copy of the same event compares equal to the old one (CalEvent's == looks at identity only)
// and must still be shown.
//
// Several fields changed together (collapsing clears four of them) go through update(): their
// signals follow once every field of the change holds its new value, so an observer never sees the
// panel half collapsed.
class NotchState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool expanded READ expanded WRITE setExpanded NOTIFY expandedChanged)
    Q_PROPERTY(bool pinned READ pinned WRITE setPinned NOTIFY pinnedChanged)
    Q_PROPERTY(bool quickAdd READ quickAdd WRITE setQuickAdd NOTIFY quickAddChanged)
    Q_PROPERTY(QStringList quickAddPrefill READ quickAddPrefill NOTIFY quickAddPrefillChanged)
    Q_PROPERTY(std::optional<CalEvent> editingEvent READ editingEvent WRITE setEditingEvent NOTIFY
                   editingEventChanged)
    Q_PROPERTY(std::optional<CalEvent> selectedEvent READ selectedEvent WRITE setSelectedEvent NOTIFY
                   selectedEventChanged)
    Q_PROPERTY(NotchGeometry geometry READ geometry WRITE setGeometry NOTIFY geometryChanged)

public:
    // The views that may answer Escape, asked in this order.
    enum class EscapeOwner { quickAdd, detail };
    // A handler answers true when it used the key itself (closing a pop-up of its own, cancelling a
    // pending confirmation) and false when the panel should handle it.
    using EscapeHandler = std::function<bool()>;
    // Names one registration, so that only its maker can remove it.
    using EscapeToken = quint64;

    explicit NotchState(const NotchGeometry& geometry, QObject* parent = nullptr);

    bool expanded() const { return m_expanded; }
    bool pinned() const { return m_pinned; }
    bool quickAdd() const { return m_quickAdd; }
    // The lines handed to quick add (by links) that it has not taken yet, oldest first.
    const QStringList& quickAddPrefill() const { return m_quickAddPrefill; }
    const std::optional<CalEvent>& editingEvent() const { return m_editingEvent; }
    const std::optional<CalEvent>& selectedEvent() const { return m_selectedEvent; }
    const NotchGeometry& geometry() const { return m_geometry; }

    void setExpanded(bool expanded);
    void setPinned(bool pinned);
    void setQuickAdd(bool quickAdd);
    // Hands quick add one more line; an empty one changes nothing.
    void addQuickAddPrefill(const QString& line);
    void clearQuickAddPrefill();
    void setEditingEvent(std::optional<CalEvent> event);
    void setSelectedEvent(std::optional<CalEvent> event);
    void setGeometry(const NotchGeometry& geometry);

    // Runs `change`, which sets several fields, and only then notifies of those that changed.
    void update(const std::function<void()>& change);

    // Registers the handler of `owner` while `context` (the view) lives, replacing the one registered
    // before. A view removes it with the token it got, so a view that is still fading out cannot remove
    // the handler that the view replacing it has just registered. A handler whose context has been
    // destroyed is never called; without a context the handler stays until it is removed.
    EscapeToken setEscapeHandler(EscapeOwner owner, QObject* context, EscapeHandler handler);
    // Removes the handler of `owner` if it is still the one registered under `token`.
    void removeEscapeHandler(EscapeOwner owner, EscapeToken token);
    bool hasEscapeHandler(EscapeOwner owner) const;

    // Offers Escape to the quick-add handler, then to the detail handler; true when one used it.
    bool handleEscape();

signals:
    void expandedChanged();
    void pinnedChanged();
    void quickAddChanged();
    void quickAddPrefillChanged();
    void editingEventChanged();
    void selectedEventChanged();
    void geometryChanged();

private:
    enum Field : unsigned {
        expandedField = 1u << 0,
        pinnedField = 1u << 1,
        quickAddField = 1u << 2,
        prefillField = 1u << 3,
        editingField = 1u << 4,
        selectedField = 1u << 5,
        geometryField = 1u << 6,
    };
    struct Registration {
        EscapeToken token = 0;
        QPointer<QObject> context;
        bool hasContext = false;
        EscapeHandler handler;

        bool alive() const { return handler && (!hasContext || context); }
    };

    void changed(Field field);
    void emitPending();
    // The handler of `owner` if it is registered and its view still exists; a stale entry is dropped.
    EscapeHandler liveHandler(EscapeOwner owner);

    bool m_expanded = false;
    bool m_pinned = false;
    bool m_quickAdd = false;
    QStringList m_quickAddPrefill;
    std::optional<CalEvent> m_editingEvent;
    std::optional<CalEvent> m_selectedEvent;
    NotchGeometry m_geometry;

    QHash<EscapeOwner, Registration> m_escapeHandlers;
    EscapeToken m_lastToken = 0;
    int m_updateDepth = 0;
    unsigned m_pending = 0;
};

// The panel's mode: expanded while the state says so; otherwise the alert when there is one (even with
// peeks switched off), else the peek when peeks are on and there is one, else the bare notch. The
// controller sizes the window by it and the root view draws by it.
NotchMode notchMode(bool expanded, bool hasAlert, bool showPeek, bool hasPeek);

// RAII for a view's Escape handler: registers it on construction and removes it (only it) on
// destruction or reset(). Outlives the state safely.
class EscapeHandlerGuard {
public:
    EscapeHandlerGuard() = default;
    EscapeHandlerGuard(NotchState& state, NotchState::EscapeOwner owner, QObject* context,
                       NotchState::EscapeHandler handler);
    ~EscapeHandlerGuard();
    EscapeHandlerGuard(EscapeHandlerGuard&& other) noexcept;
    EscapeHandlerGuard& operator=(EscapeHandlerGuard&& other) noexcept;
    EscapeHandlerGuard(const EscapeHandlerGuard&) = delete;
    EscapeHandlerGuard& operator=(const EscapeHandlerGuard&) = delete;

    void reset();

private:
    QPointer<NotchState> m_state;
    NotchState::EscapeOwner m_owner = NotchState::EscapeOwner::quickAdd;
    NotchState::EscapeToken m_token = 0;
};
