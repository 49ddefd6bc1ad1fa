#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <QCoroTask>

#include <functional>
#include <optional>

// The paging of the Google and Notion listings: both hand out their results a page at a time, each
// page naming the cursor of the next.
namespace Pager {

struct Page {
    QList<QJsonObject> items;
    std::optional<QString> next; // the next page's cursor; none after the last page
};

// Reads the page at a cursor (none: the first page).
using Fetch = std::function<QCoro::Task<Page>(std::optional<QString> cursor)>;

// Every item of the listing, page by page. Stops after the last page, after the page that brings the
// count to `limit` or beyond (that page stays whole), and at a cursor that names the page just read
// again, which would never end. An error on any page fails the whole listing.
QCoro::Task<QList<QJsonObject>> collect(Fetch fetch, qsizetype limit);

} // namespace Pager
