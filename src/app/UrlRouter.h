#pragma once

#include <QString>
#include <QUrl>

// What a "vorrindel:" URL asks for. Only the host counts (compared in lower case); the scheme, path
// and fragment are never looked at.
namespace UrlRouter {

struct Action {
    enum class Kind {
        None,         // no host, or a host the app does not know
        Open,         // "open": the panel, expanded and pinned
        Settings,     // "settings"
        PreviewAlert, // "preview-alert": a sample meeting alert
        QuickAdd,     // "quickadd", "add" or "new"
    };
    Kind kind = Kind::None;
    // For quick add: the value of the first query item named exactly "text", percent-decoded;
    // empty when there is none.
    QString prefill;

    friend bool operator==(const Action&, const Action&) = default;
};

Action route(const QUrl& url);

// Whether a command-line argument or forwarded request is one of the app's URLs.
bool isAppUrl(const QString& text);

} // namespace UrlRouter
