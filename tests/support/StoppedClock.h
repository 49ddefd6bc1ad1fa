#pragma once

#include "support/Patience.h"

#include <atomic>
#include <chrono>
#include <functional>

// A steady clock for timing work against a limit (ReadingThreads::parallelForWithin, a load's items)
// that moves only when the test says so, and counts how often it was read: the caller of
// parallelForWithin reads it once per look at its helpers.
struct StoppedClock {
    std::atomic<qint64> ms{0};
    std::atomic<int> reads{0};

    std::function<std::chrono::steady_clock::time_point()> clock() {
        return [this] {
            ++reads;
            return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms.load()));
        };
    }
    // Waits until the caller has looked at its helpers twice more: the second look began after this
    // call, and saw what they run now at the time the clock shows now.
    bool looked() {
        const int from = reads.load();
        return Patience::until([&] { return reads.load() >= from + 2; });
    }
};
