#include "core/remote/Pager.h"

#include <QCryptographicHash>
#include <QSet>

namespace Pager {

EndlessListing::EndlessListing(const QString& source)
    : UserFacingError(source + QStringLiteral(" kept sending pages without end")) {}

QCoro::Task<QList<QJsonObject>> collect(Fetch fetch, Limits limits, QString source) {
    const qsizetype maxPages = 2 * limits.items;
    QList<QJsonObject> items;
    std::optional<QString> cursor;
    QSet<QByteArray> seen;
    for (qsizetype pages = 1;; ++pages) {
        QCoro::Task<Page> call = fetch(cursor);
        Page page = co_await call;
        items.append(std::move(page.items));
        if (!page.next || items.size() >= limits.items)
            co_return items;
        const QByteArray digest = QCryptographicHash::hash(page.next->toUtf8(), QCryptographicHash::Sha256);
        if (pages >= maxPages || seen.contains(digest))
            throw EndlessListing(source);
        seen.insert(digest);
        cursor = std::move(page.next);
    }
}

} // namespace Pager
