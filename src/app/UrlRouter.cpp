#include "app/UrlRouter.h"

#include <QUrlQuery>

namespace UrlRouter {

Action route(const QUrl& url) {
    const QString host = url.host().toLower();
    if (host == u"open")
        return {Action::Kind::Open, {}};
    if (host == u"settings")
        return {Action::Kind::Settings, {}};
    if (host == u"preview-alert")
        return {Action::Kind::PreviewAlert, {}};
    if (host == u"quickadd" || host == u"add" || host == u"new") {
        // Item names are compared exactly: "Text" is not "text". A "+" stays a "+".
        const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
        for (const auto& [name, value] : items) {
            if (name == u"text")
                return {Action::Kind::QuickAdd, value};
        }
        return {Action::Kind::QuickAdd, {}};
    }
    return {};
}

bool isAppUrl(const QString& text) {
    return text.startsWith(QStringLiteral("vorrindel:"), Qt::CaseInsensitive);
}

} // namespace UrlRouter
