#pragma once

#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "support/FakeKeyGrab.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"
#include "ui/notch/NotchController.h"

#include <memory>

class FakeScreens final : public ScreenSource {
public:
    QList<ScreenInfo> screens() const override { return list; }
    int primaryIndex() const override { return 0; }
    QList<ScreenInfo> list{{QRectF(0, 0, 1512, 982), QRectF(0, 0, 1512, 982)}};
};

class FakeClicks final : public GlobalClickMonitor {
public:
    bool available() const override { return true; }
    void setListening(bool on) override { listening = on; }
    void press(int button) { emit pressed(button); }
    bool listening = false;
};

// Whether the panel's window has the keyboard, and how often it was given and taken back.
class FakeFocus final : public FocusBroker {
public:
    void take(QWindow*) override { ++takes, panelHasIt = true; }
    void giveBack(QWindow*) override { ++givenBack, panelHasIt = false; }
    bool hasFocus(QWindow*) const override { return panelHasIt; }
    int takes = 0, givenBack = 0;
    bool panelHasIt = false;
};

class FakeCompositor final : public CompositorCheck {
public:
    bool compositing() const override { return on; }
    bool on = true;
};

// A panel on one 1512 × 982 screen without a top bar (so a 180 × 24 notch), over a store on a fixed
// clock at 10:00, with fakes for clicks, focus, the hot key and the compositor. The pointer is Qt's
// own: the offscreen platform turns QCursor::setPos into enter, leave and move events.
//
// Parts given in `platform` are used instead of the fakes (their fake pointers stay null), as the
// X11 tests give the real ones.
class PanelWorld {
public:
    explicit PanelWorld(NotchController::Platform platform = {});
    ~PanelWorld();

    NotchState& state() const { return controller->state(); }
    QRect frame() const;
    static QRect frameOf(NotchMode mode);

    void setPeek(bool present); // an event in five minutes, or none
    void showAlert();

    TempHome home;
    std::unique_ptr<AppSettings> settings;
    ManualClock clock;
    std::unique_ptr<EventStore> store;
    FakeScreens* screens = nullptr;
    FakeClicks* clicks = nullptr;
    FakeFocus* focus = nullptr;
    FakeKeyGrab* keys;
    QList<QPoint> ownWindows; // where other windows of the app lie
    std::unique_ptr<NotchController> controller;
};
