#pragma once

#include "core/model/Clock.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <functional>

// Shows a page in the user's browser; false when nothing could be opened.
using BrowserOpener = std::function<bool(const QUrl&)>;

// What the Google and Notion clients take from their surroundings: where they send requests, the one
// network access manager they send them through, their time-outs, the clock and the browser. The app
// runs on the defaults; tests install fake servers on 127.0.0.1, a fixed clock and short time-outs.
// Read and installed on the GUI thread only. Clients copy the session when a call starts, so an
// install never changes a request already under way.
struct RemoteSession {
    struct Endpoints {
        QUrl googleConsent;  // the OAuth consent page
        QUrl googleToken;    // the OAuth token endpoint
        QUrl googleCalendar; // the Calendar API v3 base, ending in "/calendar/v3/"
        QUrl notion;         // the Notion API base, ending in "/v1/"

        static Endpoints production();
        // The production addresses, each replaced by its environment variable (VORRINDEL_GOOGLE_AUTH_URL,
        // VORRINDEL_GOOGLE_TOKEN_URL, VORRINDEL_GOOGLE_API_URL, VORRINDEL_NOTION_API_URL) when that
        // names 127.0.0.1 or localhost. Any other host is ignored, so a stray variable can never send
        // a token elsewhere.
        static Endpoints fromEnvironment();
        static bool isLoopback(const QUrl& url);
    };

    struct Timeouts {
        std::chrono::milliseconds googleRead{20000};
        std::chrono::milliseconds googleWrite{25000};
        std::chrono::milliseconds googleToken{20000};
        std::chrono::milliseconds notion{20000};
        std::chrono::milliseconds signIn{600000};
    };

    Endpoints endpoints = Endpoints::fromEnvironment();
    Timeouts timeouts;
    Clock clock = systemClock();
    BrowserOpener openBrowser = desktopBrowser();
    // None means the process's shared manager.
    QPointer<QNetworkAccessManager> network;

    // A copy of the installed session (the defaults until something is installed), with `network`
    // always set.
    static RemoteSession current();
    static void install(RemoteSession session);
    // Opens pages through the desktop (xdg-open); false without a GUI application.
    static BrowserOpener desktopBrowser();
    // The one manager of the process, created on first use and owned by the application object.
    static QNetworkAccessManager* sharedNetwork();
};
