#pragma once

#include "core/model/UserFacingError.h"

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

struct Limits {
    // Enough: the listing stops after the page that brings the count to this or beyond (that page
    // stays whole). Servers may send pages short of the size asked for, or empty ones, while more
    // follow; such a listing still comes whole, however many pages it takes to reach its end or this.
    qsizetype items;
};

// A listing that would never end: a cursor came round again, or the pages went past the limit.
class EndlessListing : public UserFacingError {
public:
    // `source` names the server for the user ("Google").
    explicit EndlessListing(const QString& source);
};

// Every item of the listing, page by page, until a page names no next cursor or the items are
// enough. An error on any page fails the whole listing. A page that names a cursor already read (its
// own, or any before it) throws EndlessListing, and so does a page past twice `items`: even at one
// item a page a listing of `items` takes no more pages than that, and no real server sends as many
// empty pages again. Cursors are remembered by their digests, so that long ones cost a few bytes each.
QCoro::Task<QList<QJsonObject>> collect(Fetch fetch, Limits limits, QString source);

} // namespace Pager
