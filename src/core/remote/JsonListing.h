#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// One page of a listing as Google and Notion send it: a JSON object whose array member holds the
// page's objects beside a few members about paging. A server can send far more elements than were
// asked for; only the first `limit` are read, the rest are passed over in the text without being
// built, so a page's cost stays that of the page size asked for whatever arrives.
namespace JsonListing {

struct Page {
    QJsonObject fields;       // every member but the array, read whole
    QList<QJsonObject> items; // the objects among the array's first `limit` elements
    // The text of each of those items, for reading what QJsonObject loses (the order of keys); it
    // points into the text that was read.
    QList<QByteArrayView> itemTexts;
};

// The page in `json`; none when the text is not a JSON object or has no array at `arrayKey`. (Of a
// repeated key, the last counts, as in QJsonDocument.)
std::optional<Page> read(QByteArrayView json, QStringView arrayKey, qsizetype limit);

} // namespace JsonListing
