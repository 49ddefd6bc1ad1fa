#pragma once

#include "core/quickadd/QuickAddDerived.h"

// How quick add moves from what it shows to what it shows next: which curve carries the change, and
// whether the header's title fades from one wording to the other. The widgets run it; with
// animations switched off they show the new view at once whatever this says.
namespace QuickAdd {

struct Transition {
    enum class Curve {
        none,   // the change shows at once (typing that changes no guest, a publish, the focus)
        spring, // the guests changed: chips come and go, the rows around them follow
        ease,   // the people field opened or closed, or the line became a meeting or a plain event
    };
    Curve curve = Curve::none;
    bool titleFades = false; // the header's title changed wording within a moving change

    friend bool operator==(const Transition&, const Transition&) = default;
};

// The guests decide first: the first guest typed into the line also makes it a meeting, and the
// spring carries both changes.
Transition transitionBetween(const Derived& before, const Derived& after);

} // namespace QuickAdd
