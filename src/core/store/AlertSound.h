#pragma once

// The sound a meeting alert makes. The desktop's event sound in the app; tests count plays.
// Playing never fails: a machine without a sound device simply stays silent.
class AlertSound {
public:
    virtual ~AlertSound() = default;
    virtual void play() = 0;
};
