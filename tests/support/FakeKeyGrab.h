#pragma once

#include "platform/HotKey.h"

// The hot key's grab without an X server: counts what HotKey asks of it; press() plays a press.
class FakeKeyGrab final : public KeyGrab {
public:
    void installHandler(std::function<void()> handler) override {
        ++installs;
        pressed = std::move(handler);
    }
    int grab() override { return ++grabs, refuseWith; }
    void ungrab() override { ++ungrabs; }
    void press() { pressed ? pressed() : void(); }

    std::function<void()> pressed;
    int installs = 0, grabs = 0, ungrabs = 0;
    int refuseWith = 0; // what grab() answers
};
