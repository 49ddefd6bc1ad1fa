#pragma once

#include <QUrl>

#include <functional>

// Opens a link in the user's browser or the desktop's handler for its scheme. Injectable so that
// tests can see what would have been opened.
using UrlOpener = std::function<bool(const QUrl&)>;

// The desktop's opener (xdg-open through Qt).
UrlOpener desktopUrlOpener();

// True for the links taken from remote data that may be opened: http and https only.
bool isSafeRemoteLink(const QUrl& url);
