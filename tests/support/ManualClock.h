#pragma once

#include "core/model/Clock.h"
#include "core/store/StoreTimer.h"

#include <QDateTime>

#include <memory>
#include <vector>

// A clock and timers that move only when the test says so. advance() walks time forward and fires
// every timer that falls due on the way, in order, with the clock set to its due time; jump() moves
// the wall clock alone, as a sleep or a clock change does, leaving the timers' schedule as it was.
class ManualClock {
public:
    explicit ManualClock(QDateTime start);
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    QDateTime now() const { return m_now; }
    Clock clock();
    TimerFactory timers();

    void advance(qint64 seconds) { advanceMs(seconds * 1000); }
    void advanceMs(qint64 ms);
    void jump(qint64 seconds);

private:
    struct Entry;
    class Timer;
    friend class Timer;

    QDateTime m_now;
    qint64 m_elapsedMs = 0; // the timers' own time, unaffected by jump()
    std::shared_ptr<std::vector<Entry*>> m_entries;
};
