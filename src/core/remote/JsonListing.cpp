#include "core/remote/JsonListing.h"

#include "core/remote/JsonReader.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace JsonListing {

std::optional<Page> read(QByteArrayView json, QStringView arrayKey, qsizetype limit) {
    JsonReader reader(json);
    Page page;
    bool hasArray = false;
    qsizetype elements = 0;
    const auto element = [&] {
        if (elements++ >= limit) {
            page.cut = true;
            return reader.skipValue();
        }
        const std::optional<QByteArrayView> text = reader.rawValue();
        if (!text)
            return false;
        const QJsonArray item = QJsonDocument::fromJson('[' + text->toByteArray() + ']').array();
        if (item.size() != 1)
            return false;
        if (item.first().isObject()) {
            page.items.append(item.first().toObject());
            page.itemTexts.append(*text);
        }
        return true;
    };
    const bool read = reader.members([&](const QString& key) {
        if (key == arrayKey) {
            page.items.clear();
            page.itemTexts.clear();
            page.cut = false;
            elements = 0;
            hasArray = reader.at('[');
            return hasArray && reader.elements(element);
        }
        const std::optional<QByteArrayView> text = reader.rawValue();
        if (!text)
            return false;
        const QJsonArray value = QJsonDocument::fromJson('[' + text->toByteArray() + ']').array();
        if (value.size() != 1)
            return false;
        page.fields.insert(key, value.first());
        return true;
    });
    if (!read || !hasArray || !reader.atEnd())
        return std::nullopt;
    return page;
}

} // namespace JsonListing
