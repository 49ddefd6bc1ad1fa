#pragma once

#include "platform/UrlOpener.h"

#include <QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

// Hands an event over to the user's calendar apps, for the detail view's footer buttons.
//
// Whether the desktop has an application for a URL scheme or a file type is asked of xdg-mime (the
// question xdg-open answers when it opens something), never guessed from opening the URL: the
// desktop's opener reports success as soon as xdg-open starts, handler or not. The questions run
// xdg-mime without blocking the panel and give up after `handlerTimeout`.
namespace Launch {

inline constexpr std::chrono::milliseconds handlerTimeout{1500};

// Notion Calendar's own scheme, and its web app for desktops without a handler for that scheme.
QUrl notionCalendarURL();
QUrl notionCalendarWebURL();

// The desktop entry (for example "org.gnome.Calendar.desktop") that opens the MIME type
// ("text/calendar", or "x-scheme-handler/cron" for a URL scheme); none when there is none, or
// xdg-mime is missing, fails or takes too long.
QCoro::Task<std::optional<QString>> defaultHandler(QString mimeType);

// Opens Notion Calendar at its own scheme when some application handles it, else its web app.
QCoro::Task<> notionCalendar(UrlOpener open);

// Where "Open in Notion" takes a page. A page's app link is its web address with the "notion" scheme;
// the app opens it where it is installed. Otherwise the page opens in the browser: at its http(s)
// web link, else at its app link turned back into https. Links come from Notion's servers, so only
// those two forms count; none when neither gives an http(s) address (nothing would open then).
struct NotionPage {
    std::optional<QUrl> app;
    QUrl web;
};
std::optional<NotionPage> notionPage(const std::optional<QUrl>& notionURL,
                                     const std::optional<QUrl>& webLink);
// Opens the page in the Notion app when some application handles notion://, else on the web.
QCoro::Task<> openNotionPage(NotionPage page, UrlOpener open);

// Whether the user has a default calendar application (the handler of text/calendar); the
// "Calendar" button shows only then.
QCoro::Task<bool> hasCalendarApp();
// Starts that application on its own, without any file: given one of our events' files, calendar
// applications import it as a new, duplicate event. False when there is none or it could not be
// started.
QCoro::Task<bool> calendarApp();

// Starts a desktop entry's application without files or URLs: through D-Bus activation when the
// entry asks for it and the session bus answers, else its Exec line with the file and URL
// placeholders left out. False when the entry cannot be found or read, or nothing could be started.
bool startDesktopEntry(const QString& desktopId);

// The program and arguments of an Exec line after unquoting and with no file or URL; empty when the
// line is malformed (an unterminated quote).
QStringList execArguments(const QString& exec, const QString& name = {}, const QString& icon = {},
                          const QString& entryPath = {});

} // namespace Launch
