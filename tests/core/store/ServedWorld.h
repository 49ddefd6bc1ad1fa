#pragma once

#include "StoreHarness.h"

#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/Patience.h"
#include "support/RemoteTestSession.h"

#include <QTest>

// A store that reaches the fake Google and Notion servers over HTTP through the real clients: Ada on
// the fake Google with her primary calendar and a fresh token, a database "Roadmap" (date property
// "Due") on the fake Notion, and the harness's calendar folder and clock, which the clients read too.
// Today is Wednesday 4 March 2026, in Berlin.
struct ServedWorld {
    inline static const QString ada = QStringLiteral("ada@example.org");

    ServedWorld() {
        session.setEndpoints(notion.endpoints(google.endpoints()));
        session.setClock(h.clock.clock());
        h.googleSource = GoogleSource::remote();
        h.notionSource = NotionSource::remote();
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {account(ada)}});
        notion.addDatabase(FakeNotion::database("db1", "Roadmap", {{"Due", "date"}}));
        h.settings->setNotionToken(notion.token());
        h.settings->setNotionDatabases({{"db1", "Roadmap", std::nullopt, "Due"}});
    }

    // An account on the fake Google with its primary calendar, and its record for the settings with
    // fresh tokens.
    GoogleAccount account(const QString& email) {
        google.addAccount(email);
        return {email,
                google.issueRefreshToken(email),
                google.issueAccessToken(email),
                h.clock.now().addSecs(3600),
                {{email, email, std::nullopt, true, QStringLiteral("owner")}},
                {},
                false,
                QStringList{FakeGoogle::eventsScope}};
    }
    // Runs the event loop until neither sync runs.
    bool synced() {
        return Patience::until([&] { return !h.store->isSyncingGoogle() && !h.store->isSyncingNotion(); });
    }
    // Moves the clock on tick by tick, each sync a tick starts ending before the next tick.
    void step(int seconds) {
        for (int passed = 0; passed < seconds; passed += 10) {
            h.advance(10);
            QVERIFY(synced());
        }
    }

    FakeGoogle google;
    FakeNotion notion;
    StoreHarness h;
    RemoteTestSession session;
};
