#pragma once

#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "platform/CompositorCheck.h"
#include "platform/FocusBroker.h"
#include "platform/GlobalClickMonitor.h"
#include "platform/HotKey.h"
#include "platform/ScreenSource.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"
#include "ui/notch/NotchController.h"

#include <memory>

class FakeScreens final : public ScreenSource {
public:
    QList<ScreenInfo> screens() const override { return list; }
    int primaryIndex() const override { return list.isEmpty() ? -1 : 0; }
    QList<ScreenInfo> list{{QRectF(0, 0, 1512, 982), QRectF(0, 0, 1512, 982)}};
};

class FakeClicks final : public GlobalClickMonitor {
public:
    bool available() const override { return true; }
    void setListening(bool on) override { listening = on; }
    void press(int button) { emit pressed(button); }
    bool listening = false;
};

// Who has the keyboard, as far as the panel's window is concerned.
class FakeFocus final : public FocusBroker {
public:
    void take(QWindow*) override {
        ++takes;
        panelHasIt = true;
    }
    void giveBack(QWindow*) override {
        ++givenBack;
        panelHasIt = false;
    }
    bool hasFocus(QWindow*) const override { return panelHasIt; }
    int takes = 0;
    int givenBack = 0;
    bool panelHasIt = false;
};

class FakeKeyGrab final : public KeyGrab {
public:
    void installHandler(std::function<void()> handler) override {
        ++installs;
        pressed = std::move(handler);
    }
    int grab() override {
        ++grabs;
        return refuseWith;
    }
    void ungrab() override { ++ungrabs; }
    void press() {
        if (pressed)
            pressed();
    }
    std::function<void()> pressed;
    int installs = 0, grabs = 0, ungrabs = 0;
    int refuseWith = 0;
};

class FakeCompositor final : public CompositorCheck {
public:
    bool compositing() const override { return on; }
    bool on = true;
};

// A panel on one 1512 × 982 screen without a top bar (so a 180 × 24 notch), over a store on a
// fixed clock at 10:00, with fakes for clicks, focus, the hot key and the compositor. The pointer is
// Qt's own cursor: the offscreen platform turns QCursor::setPos into enter, leave and move events.
class PanelWorld {
public:
    explicit PanelWorld(bool compositing = true);
    ~PanelWorld();

    NotchState& state() const { return controller->state(); }
    QRect frame() const;
    static QRect frameOf(NotchMode mode);

    // An event in five minutes (a peek), or none.
    void setPeek(bool present);
    void showAlert();

    TempHome home;
    std::unique_ptr<AppSettings> settings;
    ManualClock clock;
    std::unique_ptr<EventStore> store;
    FakeScreens* screens = nullptr;
    FakeClicks* clicks = nullptr;
    FakeFocus* focus = nullptr;
    FakeCompositor* compositor = nullptr;
    FakeKeyGrab* keys = nullptr;
    QList<QPoint> ownWindows; // points where another window of the app lies
    std::unique_ptr<NotchController> controller;
};
