#pragma once

#include "StoreHarness.h"

#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/RemoteTestSession.h"

// A store that reaches the fake Google and Notion servers through the real clients, over HTTP: Ada
// on the fake Google with her primary calendar, a database "Roadmap" (dated by "Due") on the fake
// Notion, the harness's calendar folder; today is Wednesday 4 March 2026, in Berlin.
struct RemoteWorld {
    static inline const QString ada = QStringLiteral("ada@example.org");

    RemoteWorld();
    // Runs the event loop until neither source is syncing; false when that takes longer than 30 s.
    bool synced();

    FakeGoogle google;
    FakeNotion notion;
    StoreHarness h;
    RemoteTestSession session;
};
