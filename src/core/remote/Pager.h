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
    // stays whole).
    qsizetype items;
    // More pages than this cannot be a listing of at most `items`, even of pages well short of their
    // size: the server is handing out cursors without end.
    int pages;
};

// A listing that would never end: a cursor came round again, or the pages went past the limit.
class EndlessListing : public UserFacingError {
public:
    // `source` names the server for the user ("Google").
    explicit EndlessListing(const QString& source);
};

// Every item of the listing, page by page, until a page names no next cursor or the items are
// enough. A page that names a cursor already read (its own, or any before it) or one past the page
// limit throws EndlessListing; an error on any page fails the whole listing.
QCoro::Task<QList<QJsonObject>> collect(Fetch fetch, Limits limits, QString source);

} // namespace Pager
