#pragma once

#include <chrono>
#include <functional>
#include <memory>

// A restartable timer for the store's tick and its delayed clean-ups (alert dismissal, toast
// clearing). Behind this interface so that tests drive time by hand instead of waiting.
class StoreTimer {
public:
    virtual ~StoreTimer() = default;
    // Schedules the timeout after `interval`, cancelling what was pending; a repeating timer keeps
    // firing every `interval` until stopped.
    virtual void start(std::chrono::milliseconds interval) = 0;
    // Cancels what is pending; stopping an idle timer does nothing.
    virtual void stop() = 0;
};

// Makes a timer that calls `timeout` on the thread that made it.
using TimerFactory =
    std::function<std::unique_ptr<StoreTimer>(bool repeating, std::function<void()> timeout)>;

// Timers on the Qt event loop.
TimerFactory qtTimerFactory();
