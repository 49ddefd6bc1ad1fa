#include "core/remote/Pager.h"

namespace Pager {

QCoro::Task<QList<QJsonObject>> collect(Fetch fetch, qsizetype limit) {
    QList<QJsonObject> items;
    std::optional<QString> cursor;
    while (true) {
        QCoro::Task<Page> call = fetch(cursor);
        Page page = co_await call;
        items.append(std::move(page.items));
        if (!page.next || items.size() >= limit || page.next == cursor)
            co_return items;
        cursor = std::move(page.next);
    }
}

} // namespace Pager
