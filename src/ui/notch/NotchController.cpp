#include "ui/notch/NotchController.h"

#include "core/model/DebugLog.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "platform/HotKey.h"
#include "ui/notch/NotchPanel.h"
#include "ui/notch/NotchState.h"
#include "ui/panel/NotchRootView.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace {

NotchController* sharedController = nullptr;

class AssumedCompositor final : public CompositorCheck {
public:
    bool compositing() const override { return true; }
};

NotchGeometry detect(const ScreenSource& source) {
    QList<NotchGeometry::Screen> screens;
    const QList<ScreenInfo> found = source.screens();
    for (const ScreenInfo& screen : found)
        screens.append({screen.frame, screen.available});
    return NotchGeometry::detect(screens, source.primaryIndex());
}

QString describe(NotchMode mode) {
    return QString::fromLatin1(modeName(mode));
}

} // namespace

NotchController::NotchController(EventStore& store, AppSettings& settings, Platform platform, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_settings(settings)
    , m_platform(std::move(platform)) {
    if (!m_platform.screens)
        m_platform.screens = std::make_unique<QtScreenSource>();
    if (!m_platform.pointer)
        m_platform.pointer = cursorPointerSource();
    if (!m_platform.focus)
        m_platform.focus = qtFocusBroker();
    if (!m_platform.compositor)
        m_platform.compositor = std::make_unique<AssumedCompositor>();
    if (!m_platform.shaper)
        m_platform.shaper = qtWindowShaper();
    if (!m_platform.ownWindowAt)
        m_platform.ownWindowAt = [](QPoint at) { return QGuiApplication::topLevelAt(at) != nullptr; };

    m_state = new NotchState(detect(*m_platform.screens), this);
    sharedController = this;

    m_root = new NotchRootView(*m_state, m_store, m_settings);
    m_panel = std::make_unique<NotchPanel>(
        m_root, NotchLayout::windowFrame(m_state->geometry(), NotchMode::collapsed).toRect());
    QPointer self(this);
    m_panel->onHover = [self](bool inside) {
        if (self)
            self->hoverChanged(inside);
    };
    m_panel->onMove = [self](QPointF point) {
        if (self)
            self->mouseMoved(point);
    };
    m_panel->onEscape = [self] {
        if (self && !self->m_state->handleEscape())
            self->collapse();
    };
    m_panel->onTextInputPressed = [self] {
        if (self)
            self->makeKey();
    };
    connect(m_root, &NotchRootView::silhouetteChanged, this, &NotchController::updateMask);

    for (QTimer* timer : {&m_collapseWork, &m_shrinkWork, &m_keyWork})
        timer->setSingleShot(true);
    const NotchTimings& timings = m_platform.timings;
    m_collapseWork.setInterval(timings.collapseDelay);
    m_shrinkWork.setInterval(timings.shrinkDelay);
    // Qt's default timers may fire up to a twentieth early: the smaller frame would clip the end of
    // the spring that shrinks the silhouette.
    m_shrinkWork.setTimerType(Qt::PreciseTimer);
    m_mouseCheck.setInterval(timings.pointerPollInterval);
    m_keyWork.setInterval(timings.keyDelay);
    connect(&m_collapseWork, &QTimer::timeout, this, [this] {
        if (!m_state->pinned() && pointerOutside())
            collapse();
    });
    connect(&m_shrinkWork, &QTimer::timeout, this, [this] {
        if (!m_state->expanded())
            applyFrame();
    });
    connect(&m_mouseCheck, &QTimer::timeout, this, [this] {
        if (m_state->expanded() && !m_state->pinned() && pointerOutside())
            collapse();
    });
    // A panel collapsed within the 0.05 s must not take the keyboard any more.
    connect(&m_keyWork, &QTimer::timeout, this, [this] {
        if (m_state->expanded())
            makeKey();
    });

    m_masked = !m_platform.compositor->compositing();
    m_root->setShadowEnabled(!m_masked);
    m_platform.shaper->declineShadow(m_panel->windowHandle());
    m_panel->show();
    applyFrame();
    // Size, place and cut are made in the pixels of the window's screen of that moment. When that
    // screen goes away, Qt moves the window to another one keeping its pixels, which at another scale
    // make it half or twice its size, off centre, and cut in the wrong places: the whole frame is
    // given again, whichever of this and the news of the screens comes first. A window made anew for
    // another X screen has lost the request for no shadow, too.
    connect(m_panel->windowHandle(), &QWindow::screenChanged, this, [this] {
        later([this] {
            m_platform.shaper->declineShadow(m_panel->windowHandle());
            place(m_frame);
            updateMask();
        });
    });
    connect(m_platform.compositor.get(), &CompositorCheck::changed, this, [this] {
        later([this] {
            if (followCompositor())
                updateMask();
        });
    });

    connect(m_platform.screens.get(), &ScreenSource::changed, this,
            [this] { later([this] { screenChanged(); }); });
    // Whether there is a peek or an alert decides the frame; a peek counting down does not.
    m_hadPeek = m_store.peek().has_value();
    m_hadAlert = m_store.alert().has_value();
    connect(&m_store, &EventStore::peekChanged, this, [this] {
        const bool hasPeek = m_store.peek().has_value();
        if (std::exchange(m_hadPeek, hasPeek) != hasPeek)
            later([this] { collapsedContentChanged(); });
    });
    connect(&m_store, &EventStore::alertChanged, this, [this] {
        const bool hasAlert = m_store.alert().has_value();
        if (std::exchange(m_hadAlert, hasAlert) != hasAlert)
            later([this] { collapsedContentChanged(); });
    });
    connect(&m_settings, &AppSettings::showPeekChanged, this,
            [this] { later([this] { collapsedContentChanged(); }); });
    // The alert preview shows its alert on the bare notch.
    connect(&m_store, &EventStore::collapseRequested, this, &NotchController::collapse);

    if (m_platform.clicks)
        connect(m_platform.clicks.get(), &GlobalClickMonitor::pressed, this, &NotchController::clicked);

    HotKey::setOnPress([self] {
        if (self)
            self->hotkeyPressed();
    });
    m_hotkeySetting = m_settings.quickAddHotkey();
    HotKey::set(m_hotkeySetting);
    // The settings notify on every assignment; the key is grabbed or given up only on a change.
    connect(&m_settings, &AppSettings::quickAddHotkeyChanged, this, [this] {
        const bool enabled = m_settings.quickAddHotkey();
        if (std::exchange(m_hotkeySetting, enabled) != enabled)
            HotKey::set(enabled);
    });
}

NotchController::~NotchController() {
    if (sharedController == this) {
        sharedController = nullptr;
        HotKey::setOnPress({});
    }
}

NotchController* NotchController::shared() {
    return sharedController;
}

NotchMode NotchController::collapsedMode() const {
    return notchMode(false, m_store.alert().has_value(), m_settings.showPeek(), m_store.peek().has_value());
}

NotchMode NotchController::mode() const {
    return m_state->expanded() ? NotchMode::expanded : collapsedMode();
}

bool NotchController::pointerOutside() const {
    const QRect grown =
        m_panel->geometry().adjusted(-outsideSlack, -outsideSlack, outsideSlack, outsideSlack);
    // QRect's right edge is its last pixel; the frame grown by 2 reaches 2 pixels past the window.
    return !grown.contains(m_platform.pointer->position());
}

void NotchController::later(std::function<void()> work) {
    QTimer::singleShot(0, this, std::move(work));
}

void NotchController::applyFrame() {
    const NotchMode current = mode();
    const QRectF frame = NotchLayout::windowFrame(m_state->geometry(), current);
    DebugLog::log([&] {
        return QStringLiteral("applyFrame ") + DebugLog::describe(frame) + QStringLiteral(" mode=") +
               describe(current) + QStringLiteral(" screen=") +
               DebugLog::describe(m_state->geometry().screenFrame) + QStringLiteral(" notch=") +
               DebugLog::describe(m_state->geometry().notchSize);
    });
    // Also where no compositor reports its coming and going.
    followCompositor();
    place(frame.toRect());
    updateMask();
    m_panel->show();
    m_panel->raise();
}

void NotchController::place(const QRect& frame) {
    m_frame = frame;
    QWindow* window = m_panel->windowHandle();
    // The window's own geometry is its pixels on the server read at its screen's scale of now: after
    // Qt moved it to a screen of another scale it differs from the frame, while the widget may still
    // hold the frame and take it for a change of nothing.
    if (m_panel->geometry() == frame && window->geometry() == frame)
        return;
    m_panel->setGeometry(frame);
    if (window->geometry() != frame)
        window->setGeometry(frame);
    // Painted before the next turn of the event loop, so the larger window never shows empty.
    m_panel->repaint();
}

bool NotchController::followCompositor() {
    const bool masked = !m_platform.compositor->compositing();
    if (masked == m_masked)
        return false;
    m_masked = masked;
    m_root->setShadowEnabled(!masked);
    return true;
}

void NotchController::updateMask() {
    // Without a compositor the transparent margins would show as black boxes: the window is cut to
    // the silhouette (and loses its shadow, which nothing could blend). With one, the margins still
    // let clicks through to the windows below, as they would without.
    const QPainterPath outline = m_root->silhouettePath();
    m_platform.shaper->cut(m_panel->windowHandle(), m_masked ? outline : QPainterPath(),
                           outline.boundingRect());
}

void NotchController::screenChanged() {
    const NotchGeometry geometry = detect(*m_platform.screens);
    m_state->setGeometry(geometry);
    applyFrame();
}

void NotchController::collapsedContentChanged() {
    if (m_state->expanded())
        return;
    m_shrinkWork.stop();
    const QRectF target = NotchLayout::windowFrame(m_state->geometry(), collapsedMode());
    const QRect now = m_panel->geometry();
    if (now.width() <= target.width() && now.height() <= target.height())
        applyFrame();
    else
        // The window keeps its size while the silhouette shrinks inside it.
        m_shrinkWork.start();
}

void NotchController::expand(bool pinned) {
    DebugLog::log([&] { return QStringLiteral("expand(pinned: ") + DebugLog::describe(pinned) + u')'; });
    m_collapseWork.stop();
    m_shrinkWork.stop();
    if (pinned)
        m_state->setPinned(true);
    if (m_state->expanded())
        return;
    m_store.dismissAlert();
    place(NotchLayout::windowFrame(m_state->geometry(), NotchMode::expanded).toRect());
    m_panel->show();
    m_panel->raise();
    m_state->setExpanded(true);
    updateMask();
    if (m_platform.clicks)
        m_platform.clicks->setListening(true);
    startMouseCheck();
}

void NotchController::collapse() {
    DebugLog::log([] { return QStringLiteral("collapse()"); });
    m_collapseWork.stop();
    m_state->setPinned(false);
    if (!m_state->expanded())
        return;
    m_mouseCheck.stop();
    m_keyWork.stop();
    if (m_platform.clicks)
        m_platform.clicks->setListening(false);
    m_state->update([this] {
        m_state->setExpanded(false);
        m_state->setSelectedEvent(std::nullopt);
        m_state->setQuickAdd(false);
        m_state->setEditingEvent(std::nullopt);
    });
    giveUpKeyboard();
    m_shrinkWork.start();
}

void NotchController::togglePinned() {
    if (m_state->pinned()) {
        m_state->setPinned(false);
        scheduleCollapse();
    } else {
        expand(true);
    }
}

void NotchController::openQuickAdd(const QString& prefill) {
    expand(true);
    m_state->update([&] {
        m_state->addQuickAddPrefill(prefill);
        m_state->setSelectedEvent(std::nullopt);
        m_state->setEditingEvent(std::nullopt);
        m_state->setQuickAdd(true);
    });
    m_keyWork.start();
}

void NotchController::openEditor(const CalEvent& event) {
    expand(true);
    m_state->update([&] {
        m_state->setEditingEvent(event);
        m_state->setQuickAdd(true);
    });
    m_keyWork.start();
}

void NotchController::closeQuickAdd(bool collapsePanel) {
    if (collapsePanel) {
        collapse();
        return;
    }
    m_keyWork.stop();
    m_state->update([this] {
        m_state->setQuickAdd(false);
        m_state->setEditingEvent(std::nullopt);
    });
    giveUpKeyboard();
}

void NotchController::makeKey() {
    m_platform.focus->take(m_panel->windowHandle());
}

void NotchController::giveUpKeyboard() {
    QWindow* window = m_panel->windowHandle();
    if (m_platform.focus->hasFocus(window))
        m_platform.focus->giveBack(window);
}

void NotchController::hotkeyPressed() {
    if (m_state->expanded() && m_state->quickAdd())
        collapse();
    else
        openQuickAdd(QString());
}

void NotchController::hoverChanged(bool inside) {
    DebugLog::log([&] {
        return QStringLiteral("hover inside=") + DebugLog::describe(inside) + QStringLiteral(" mode=") +
               describe(mode()) + QStringLiteral(" pinned=") + DebugLog::describe(m_state->pinned());
    });
    if (inside) {
        m_collapseWork.stop();
        // A peek or an alert opens only from the notch itself (mouseMoved).
        if (!m_state->expanded() && m_settings.expandOnHover() && collapsedMode() == NotchMode::collapsed)
            expand(false);
    } else if (!m_state->pinned()) {
        scheduleCollapse();
    }
}

void NotchController::mouseMoved(QPointF point) {
    if (m_state->expanded() || !m_settings.expandOnHover())
        return;
    const NotchMode collapsed = collapsedMode();
    if (collapsed != NotchMode::peek && collapsed != NotchMode::alert)
        return;
    const QSizeF notch = m_state->geometry().notchSize;
    const qreal middle = m_panel->width() / 2.0;
    // The notch is the band at the top of the window (Qt's y grows downwards), between the wings.
    if (std::abs(point.x() - middle) <= notch.width() / 2 - notchBandInset && point.y() <= notch.height())
        expand(false);
}

void NotchController::clicked(int button) {
    // Only the left and right buttons: scrolling or a middle click in another window is no click
    // elsewhere.
    if ((button != 1 && button != 3) || !m_state->expanded())
        return;
    const QPoint at = m_platform.pointer->position();
    if (!pointerOutside() || m_platform.ownWindowAt(at))
        return;
    // Pinning protects only against the pointer leaving.
    collapse();
}

void NotchController::scheduleCollapse() {
    m_collapseWork.start();
}

void NotchController::startMouseCheck() {
    m_mouseCheck.start();
}
