#include "core/remote/NotionRecords.h"

#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

std::optional<QString> requiredString(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    return v.isString() ? std::optional(v.toString()) : std::nullopt;
}

// Absent or null reads as no icon; a present icon of another type fails the record.
bool readIcon(const QJsonObject& o, std::optional<QString>& icon) {
    const QJsonValue v = o.value(QStringLiteral("icon"));
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString())
        return false;
    icon = v.toString();
    return true;
}

} // namespace

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
    const QJsonValue properties = o.value(QStringLiteral("dateProperties"));
    if (!id || !title || !properties.isArray() || !readIcon(o, database.icon))
        return std::nullopt;
    for (const QJsonValue& property : properties.toArray()) {
        if (!property.isString())
            return std::nullopt;
        database.dateProperties.append(property.toString());
    }
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
    if (!id || !title || !dateProperty || !readIcon(o, selection.icon))
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
