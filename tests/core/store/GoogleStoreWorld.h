#pragma once

#include "StoreHarness.h"

#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"

#include <QTimeZone>

// A store in Europe/Berlin whose one Google account lives on a FakeGoogle, reached by the real
// clients over HTTP: Ada, signed in with a valid token, owning her primary calendar and writing to
// a team calendar. Tests add events to the fake, then start the store.
struct GoogleStoreWorld {
    static inline const QString ada = QStringLiteral("ada@corp.io");
    static inline const QString team = QStringLiteral("team@group.corp.io");

    explicit GoogleStoreWorld(const QString& wallStart)
        : h(wallStart, Cal(QTimeZone("Europe/Berlin"), QLocale(QLocale::German, QLocale::Germany))) {
        google.addAccount(ada);
        google.addCalendar(ada,
                           {{"id", team}, {"summary", "Team"}, {"selected", true}, {"accessRole", "writer"}});
        session.setEndpoints(google.endpoints());
        session.setClock(h.clock.clock());

        GoogleAccount account;
        account.email = ada;
        account.refreshToken = google.issueRefreshToken(ada);
        account.accessToken = google.issueAccessToken(ada);
        account.expiry = h.clock.now().addSecs(3600);
        account.scopes = QStringList{FakeGoogle::eventsScope};
        account.calendars = {{ada, ada, std::nullopt, true, QStringLiteral("owner")},
                             {team, QStringLiteral("Team"), std::nullopt, false, QStringLiteral("writer")}};
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {account}});
        h.google = GoogleSource::remote();
    }

    // The store's copy of a Google event, by title.
    CalEvent googleEvent(const QString& title) const {
        for (const CalEvent& event : h.store->googleEvents()) {
            if (event.title == title)
                return event;
        }
        return {};
    }
    QList<HttpRequest> writes() {
        return google.server().requests("PATCH", u"/") + google.server().requests("DELETE", u"/") +
               google.server().requests("POST", u"/calendar");
    }

    FakeGoogle google;
    StoreHarness h;
    RemoteTestSession session;
};
