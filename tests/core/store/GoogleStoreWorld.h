#pragma once

#include "StoreHarness.h"

#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/RemoteTestSession.h"

// A store whose Google accounts live on a FakeGoogle, reached by the real clients over HTTP, with a
// browser for signing in: Ada, signed in with a valid token, owning her primary calendar and writing
// to a team calendar. Tests add accounts and events to the fake, then start the store.
struct GoogleStoreWorld {
    static inline const QString ada = QStringLiteral("ada@corp.io");
    static inline const QString team = QStringLiteral("team@group.corp.io");

    explicit GoogleStoreWorld(const QString& wallStart = QStringLiteral("2026-03-04 10:00"))
        : h(wallStart) {
        session.setEndpoints(google.endpoints());
        session.setClock(h.clock.clock());
        session.setBrowser(browser.opener());
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {}});
        connect(ada, {{team, QStringLiteral("Team"), std::nullopt, false, QStringLiteral("writer")}});
        h.google = GoogleSource::remote();
    }

    // An account on the fake with its primary calendar and these others, signed in with fresh tokens.
    void connect(const QString& email, const QList<GoogleCalendarInfo>& others = {}) {
        google.addAccount(email);
        GoogleAccount account;
        account.email = email;
        account.refreshToken = google.issueRefreshToken(email);
        account.accessToken = google.issueAccessToken(email);
        account.expiry = h.clock.now().addSecs(3600);
        account.scopes = QStringList{FakeGoogle::eventsScope};
        account.calendars = {{email, email, std::nullopt, true, QStringLiteral("owner")}};
        for (const GoogleCalendarInfo& calendar : others) {
            google.addCalendar(email, {{"id", calendar.id},
                                       {"summary", calendar.summary},
                                       {"selected", true},
                                       {"accessRole", calendar.accessRole.value_or(QString())}});
            account.calendars << calendar;
        }
        GoogleConfig config = h.settings->google();
        config.accounts << account;
        h.settings->setGoogle(config);
    }
    // A half-hour event of the calendar from the wall time.
    void addEvent(const QString& calendar, const QString& title, const QString& wall) {
        const QString id = QString(title).remove(QLatin1Char(' ')).toLower();
        google.addEvent(calendar, FakeGoogle::timedEvent(id, title, h.at(wall), h.at(wall).addSecs(1800)));
    }

    // The store's copy of a Google event, by title.
    CalEvent googleEvent(const QString& title) const {
        for (const CalEvent& event : h.store->googleEvents()) {
            if (event.title == title)
                return event;
        }
        return {};
    }
    QStringList titles() const { return StoreHarness::titles(h.store->googleEvents()); }
    // The account as the settings hold it now; an empty one when it is not connected.
    GoogleAccount stored(const QString& email) const {
        for (const GoogleAccount& account : h.settings->google().accounts) {
            if (account.email == email)
                return account;
        }
        return {};
    }
    QList<HttpRequest> writes() {
        return google.server().requests("PATCH", u"/") + google.server().requests("DELETE", u"/") +
               google.server().requests("POST", u"/calendar");
    }
    static QString eventsPath(const QString& calendar) {
        return QStringLiteral("/calendar/v3/calendars/") + calendar + QStringLiteral("/events");
    }

    FakeGoogle google;
    StoreHarness h;
    RemoteTestSession session;
    FakeBrowser browser;
};
