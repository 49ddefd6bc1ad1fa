#include "core/remote/JsonListing.h"

#include "core/remote/JsonReader.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// The next value, read whole, and its text.
std::optional<std::pair<QJsonValue, QByteArrayView>> value(JsonReader& reader) {
    const std::optional<QByteArrayView> text = reader.rawValue();
    if (!text)
        return std::nullopt;
    const QJsonArray read = QJsonDocument::fromJson('[' + text->toByteArray() + ']').array();
    if (read.size() != 1)
        return std::nullopt;
    return std::pair{read.first(), *text};
}

} // namespace

namespace JsonListing {

std::optional<Page> read(QByteArrayView json, QStringView arrayKey, qsizetype limit) {
    JsonReader reader(json);
    Page page;
    bool hasArray = false;
    qsizetype elements = 0;
    const auto element = [&] {
        if (elements++ >= limit)
            return reader.skipValue();
        const auto item = value(reader);
        if (item && item->first.isObject()) {
            page.items.append(item->first.toObject());
            page.itemTexts.append(item->second);
        }
        return item.has_value();
    };
    const bool read = reader.members([&](const QString& key) {
        if (key == arrayKey) {
            page.items.clear();
            page.itemTexts.clear();
            elements = 0;
            hasArray = reader.at('[');
            return hasArray && reader.elements(element);
        }
        const auto field = value(reader);
        if (field)
            page.fields.insert(key, field->first);
        return field.has_value();
    });
    if (!read || !hasArray || !reader.atEnd())
        return std::nullopt;
    return page;
}

} // namespace JsonListing
