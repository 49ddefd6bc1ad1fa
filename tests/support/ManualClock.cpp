#include "support/ManualClock.h"

#include <algorithm>

struct ManualClock::Entry {
    bool repeating = false;
    bool active = false;
    qint64 dueMs = 0;
    qint64 intervalMs = 0;
    std::function<void()> timeout;
};

class ManualClock::Timer final : public StoreTimer {
public:
    Timer(ManualClock* clock, bool repeating, std::function<void()> timeout)
        : m_clock(clock)
        , m_entries(clock->m_entries) {
        m_entry.repeating = repeating;
        m_entry.timeout = std::move(timeout);
        m_entries->push_back(&m_entry);
    }
    ~Timer() override { std::erase(*m_entries, &m_entry); }

    void start(std::chrono::milliseconds interval) override {
        m_entry.active = true;
        m_entry.intervalMs = interval.count();
        m_entry.dueMs = m_clock->m_elapsedMs + interval.count();
    }
    void stop() override { m_entry.active = false; }

private:
    ManualClock* m_clock;
    std::shared_ptr<std::vector<Entry*>> m_entries;
    Entry m_entry;
};

ManualClock::ManualClock(QDateTime start)
    : m_now(start.toUTC())
    , m_entries(std::make_shared<std::vector<Entry*>>()) {}

ManualClock::~ManualClock() = default;

Clock ManualClock::clock() {
    return [this] { return m_now; };
}

TimerFactory ManualClock::timers() {
    return [this](bool repeating, std::function<void()> timeout) -> std::unique_ptr<StoreTimer> {
        return std::make_unique<Timer>(this, repeating, std::move(timeout));
    };
}

void ManualClock::advanceMs(qint64 ms) {
    const qint64 target = m_elapsedMs + ms;
    for (;;) {
        // The earliest due timer; ties go to the one made first.
        Entry* next = nullptr;
        for (Entry* e : *m_entries) {
            if (e->active && e->dueMs <= target && (!next || e->dueMs < next->dueMs))
                next = e;
        }
        if (!next)
            break;
        m_now = m_now.addMSecs(next->dueMs - m_elapsedMs);
        m_elapsedMs = next->dueMs;
        if (next->repeating)
            next->dueMs += std::max<qint64>(next->intervalMs, 1);
        else
            next->active = false;
        // The timeout may destroy or restart timers; the entry is looked up afresh next round.
        auto timeout = next->timeout;
        timeout();
    }
    m_now = m_now.addMSecs(target - m_elapsedMs);
    m_elapsedMs = target;
}

void ManualClock::jump(qint64 seconds) {
    m_now = m_now.addSecs(seconds);
}
