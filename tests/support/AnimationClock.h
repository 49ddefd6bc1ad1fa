#pragma once

#include <QAnimationDriver>
#include <QCoreApplication>

// Animation time moved on by hand while it lives, so that a test looks at a run at an exact moment
// of its course (half-way through, or held at its start for as long as the test needs).
class AnimationClock final : public QAnimationDriver {
public:
    AnimationClock() { install(); }
    ~AnimationClock() override { uninstall(); }
    void advanceBy(int ms) {
        m_elapsed += ms;
        advance();
    }
    qint64 elapsed() const override { return m_elapsed; }
    // Qt hands animations just started to the clock on the next turn of the event loop, and where the
    // clock stood still it starts it for them a turn or so later; true once it has them.
    bool takeUpStarted() {
        QCoreApplication::processEvents();
        for (int turn = 0; turn < 10 && !isRunning(); ++turn)
            QCoreApplication::processEvents();
        return isRunning();
    }

protected:
    // Counted from each start, as the timer that animations run on expects.
    void start() override {
        m_elapsed = 0;
        QAnimationDriver::start();
    }

private:
    qint64 m_elapsed = 0;
};
