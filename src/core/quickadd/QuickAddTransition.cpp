#include "core/quickadd/QuickAddTransition.h"

namespace QuickAdd {
namespace {

// Guests are the same guest in any letter case, and chips keep their order.
QStringList guestKeys(const Derived& v) {
    QStringList keys;
    keys.reserve(v.invitees.size());
    for (const Person& person : v.invitees)
        keys << person.email.toLower();
    return keys;
}

} // namespace

Transition transitionBetween(const Derived& before, const Derived& after) {
    Transition t;
    if (guestKeys(before) != guestKeys(after))
        t.curve = Transition::Curve::spring;
    else if (before.showPeopleField != after.showPeopleField || before.isMeeting != after.isMeeting)
        t.curve = Transition::Curve::ease;
    t.titleFades = t.curve != Transition::Curve::none && before.headerTitle != after.headerTitle;
    return t;
}

} // namespace QuickAdd
