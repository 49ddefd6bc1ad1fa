#pragma once

// Whether a compositing manager runs: only then do a window's transparent pixels show what lies
// beneath; without one they show black.
class CompositorCheck {
public:
    virtual ~CompositorCheck() = default;
    virtual bool compositing() const = 0;
};
