#include "core/remote/Pager.h"

#include <QSet>

namespace Pager {

EndlessListing::EndlessListing(const QString& source)
    : UserFacingError(source + QStringLiteral(" kept sending pages without end")) {}

QCoro::Task<QList<QJsonObject>> collect(Fetch fetch, Limits limits, QString source) {
    QList<QJsonObject> items;
    std::optional<QString> cursor;
    QSet<QString> seen;
    for (int pages = 1;; ++pages) {
        QCoro::Task<Page> call = fetch(cursor);
        Page page = co_await call;
        items.append(std::move(page.items));
        if (!page.next || items.size() >= limits.items)
            co_return items;
        if (pages >= limits.pages || seen.contains(*page.next))
            throw EndlessListing(source);
        seen.insert(*page.next);
        cursor = std::move(page.next);
    }
}

} // namespace Pager
