#include "core/remote/NotionRecords.h"

#include "core/remote/StrictJson.h"

#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonDocument>

using namespace StrictJson;

// ---- NotionDatabase

QJsonObject NotionDatabase::toJson() const {
    QJsonObject o{{QStringLiteral("id"), id},
                  {QStringLiteral("title"), title},
                  {QStringLiteral("dateProperties"), QJsonArray::fromStringList(dateProperties)}};
    if (icon)
        o.insert(QStringLiteral("icon"), *icon);
    return o;
}

std::optional<NotionDatabase> NotionDatabase::fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    NotionDatabase database;
    const auto id = requiredString(o, QStringLiteral("id"));
    const auto title = requiredString(o, QStringLiteral("title"));
    const auto properties = stringList(o.value(QStringLiteral("dateProperties")));
    if (!id || !title || !properties || !optionalString(o, QStringLiteral("icon"), database.icon))
        return std::nullopt;
    database.dateProperties = *properties;
    database.id = *id;
    database.title = *title;
    return database;
}

size_t qHash(const NotionDatabase& d, size_t seed) {
    return qHashMulti(seed, d.id, d.title, d.icon.value_or(QString()), d.icon.has_value(), d.dateProperties);
}

// ---- NotionDatabaseSelection

QJsonObject NotionDatabaseSelection::toJson() const {
    QJsonObject o{{QStringLiteral("id"), id},
                  {QStringLiteral("title"), title},
                  {QStringLiteral("dateProperty"), dateProperty}};
    if (icon)
        o.insert(QStringLiteral("icon"), *icon);
    return o;
}

std::optional<NotionDatabaseSelection> NotionDatabaseSelection::fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    NotionDatabaseSelection selection;
    const auto id = requiredString(o, QStringLiteral("id"));
    const auto title = requiredString(o, QStringLiteral("title"));
    const auto dateProperty = requiredString(o, QStringLiteral("dateProperty"));
    if (!id || !title || !dateProperty || !optionalString(o, QStringLiteral("icon"), selection.icon))
        return std::nullopt;
    selection.id = *id;
    selection.title = *title;
    selection.dateProperty = *dateProperty;
    return selection;
}

QByteArray NotionDatabaseSelection::listToJson(const QList<NotionDatabaseSelection>& selections) {
    QJsonArray array;
    for (const NotionDatabaseSelection& selection : selections)
        array.append(selection.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<NotionDatabaseSelection>> NotionDatabaseSelection::listFromJson(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<NotionDatabaseSelection> selections;
    for (const QJsonValue& item : document.array()) {
        const auto selection = fromJson(item);
        if (!selection)
            return std::nullopt;
        selections.append(*selection);
    }
    return selections;
}

size_t qHash(const NotionDatabaseSelection& s, size_t seed) {
    return qHashMulti(seed, s.id, s.title, s.icon.value_or(QString()), s.icon.has_value(), s.dateProperty);
}
