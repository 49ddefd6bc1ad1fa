#pragma once

#include "core/model/CalEvent.h"
#include "platform/CompositorCheck.h"
#include "platform/FocusBroker.h"
#include "platform/GlobalClickMonitor.h"
#include "platform/PointerSource.h"
#include "platform/ScreenSource.h"
#include "platform/WindowShaper.h"
#include "ui/notch/NotchGeometry.h"

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class AppSettings;
class EventStore;
class NotchPanel;
class NotchRootView;
class NotchState;

// How long the panel waits before it acts.
struct NotchTimings {
    std::chrono::milliseconds collapseDelay{350};       // after the pointer left an unpinned panel
    std::chrono::milliseconds shrinkDelay{450};         // before the window takes a smaller frame
    std::chrono::milliseconds pointerPollInterval{500}; // the pointer check while expanded
    std::chrono::milliseconds keyDelay{50};             // before quick add takes the keyboard
};

// Runs the panel: builds its window around the root view, decides its mode and window frame,
// follows the store's peek and alert and the panel settings, and reacts to the pointer, clicks
// elsewhere, the global hot key, Escape and screen changes with every transition between the bare
// notch, the peek, the alert and the expanded panel.
//
// The window jumps to its larger frame at once and the silhouette springs inside it; it takes a
// smaller frame 0.45 s after a collapse (or after the peek or alert went), once the spring has
// shrunk the silhouette. An unpinned expanded panel closes 0.35 s after the pointer left it (the
// pointer is also checked every 0.5 s while expanded); a pinned one stays until Escape, a click
// elsewhere, the hot key or an explicit collapse. Quick add and the editor pin the panel and hand
// it the keyboard 0.05 s later; closing them or collapsing hands the keyboard back.
//
// Only the silhouette takes the pointer. Without a compositor only the silhouette shows, too, and
// the panel drops its shadow; the cut follows the compositor as it starts and stops. The window
// takes its whole frame and cut again as it moves to another screen (its own gone, or of another
// scale).
//
// Views reach it through shared() (null in the developer modes: callers then do nothing). Main
// thread only.
class NotchController : public QObject {
    Q_OBJECT
public:
    // What the operating system does to the panel. Members left empty take Qt's own (screens,
    // pointer, activation, window mask), no click monitor (the pointer poll alone closes the panel)
    // and a compositor assumed present. The app binds the X11 ones.
    struct Platform {
        std::unique_ptr<ScreenSource> screens;
        std::unique_ptr<PointerSource> pointer;
        std::unique_ptr<GlobalClickMonitor> clicks;
        std::unique_ptr<FocusBroker> focus;
        std::unique_ptr<CompositorCheck> compositor;
        std::unique_ptr<WindowShaper> shaper;
        // Whether a window of this app other than the panel lies at this global point (the settings
        // window, a pop-up): clicks there are not clicks elsewhere.
        std::function<bool(QPoint)> ownWindowAt;
        NotchTimings timings;
    };

    // The outside test grows the panel's frame by this on every side.
    static constexpr int outsideSlack = 2;
    // The pointer opens a peek or alert only over the notch, this far inside its side edges.
    static constexpr qreal notchBandInset = 4;

    NotchController(EventStore& store, AppSettings& settings, Platform platform = {},
                    QObject* parent = nullptr);
    ~NotchController() override;

    // The app's controller (the last one made), or null.
    static NotchController* shared();

    NotchState& state() const { return *m_state; }
    NotchPanel* panel() const { return m_panel.get(); }
    NotchRootView* rootView() const { return m_root; }
    // The mode the window is sized for.
    NotchMode mode() const;

    // Grows the window to the expanded frame and expands the panel; pinned also pins it (an
    // expanded panel is only pinned). Dismisses a showing alert.
    void expand(bool pinned);
    // Unpins; when expanded, collapses the panel, clears the selection, quick add and the editor,
    // hands the keyboard back and shrinks the window 0.45 s later.
    void collapse();
    // Unpins and lets the pointer decide (closing 0.35 s later when it is outside), or expands pinned.
    void togglePinned();
    // Expands pinned with quick add shown, prefilled with `prefill` unless it is empty (an earlier
    // line not yet taken is kept then), and hands the panel the keyboard 0.05 s later.
    void openQuickAdd(const QString& prefill);
    // Expands pinned with quick add editing `event` (the detail view's event stays selected).
    void openEditor(const CalEvent& event);
    // Hides quick add and hands the keyboard back; the panel stays expanded and pinned, unless
    // `collapse`, which collapses it too.
    void closeQuickAdd(bool collapse);
    // Hands the panel the keyboard now (a click into one of its text fields).
    void makeKey();

private:
    NotchMode collapsedMode() const;
    bool pointerOutside() const;
    void hoverChanged(bool inside);
    void mouseMoved(QPointF point);
    void clicked(int button);
    void applyFrame();
    // Gives the window `frame`, in the pixels of the screen it lands on.
    void place(const QRect& frame);
    void screenChanged();
    void collapsedContentChanged();
    void hotkeyPressed();
    void scheduleCollapse();
    void startMouseCheck();
    void giveUpKeyboard();
    void updateMask();
    // Takes in a compositor that started or stopped; true when that changed the cut.
    bool followCompositor();
    // Runs `work` on a later turn of the event loop, unless the controller has gone by then.
    void later(std::function<void()> work);

    EventStore& m_store;
    AppSettings& m_settings;
    Platform m_platform;
    NotchState* m_state;
    NotchRootView* m_root;
    std::unique_ptr<NotchPanel> m_panel;
    QTimer m_collapseWork;
    QTimer m_shrinkWork;
    QTimer m_mouseCheck;
    QTimer m_keyWork;
    QRect m_frame; // the frame the window was last given
    bool m_hadPeek = false;
    bool m_hadAlert = false;
    bool m_hotkeySetting = false;
    bool m_masked = false;
};
