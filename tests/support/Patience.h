#pragma once

#include <QTest>

#include <functional>

// Waiting for what the event loop or another thread brings about. The suite also runs on slow and busy
// machines, so a wait is bounded only to end a test that would otherwise hang: a minute, which a test
// that passes never waits out. Nothing here measures how long anything took.
namespace Patience {

inline constexpr int ms = 60000;

// Runs the event loop until `done` holds; false when it still does not after `ms`.
inline bool until(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, ms);
}

} // namespace Patience

// QVERIFY and QCOMPARE for a state still to come. They fail once, after the bound, naming what never
// came (Qt's QTRY_ macros wait three times their bound before failing).
#define QVERIFY_SOON(expr)                                                                                   \
    do {                                                                                                     \
        if (!Patience::until([&]() -> bool { return bool(expr); }))                                          \
            QFAIL("waited a minute in vain for: " #expr);                                                    \
    } while (false)

#define QCOMPARE_SOON(actual, expected)                                                                      \
    do {                                                                                                     \
        Patience::until([&]() -> bool { return (actual) == (expected); });                                   \
        QCOMPARE(actual, expected);                                                                          \
    } while (false)
