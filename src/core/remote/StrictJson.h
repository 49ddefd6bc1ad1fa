#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Field readers. Records decode strictly: a required field that is missing or of another type fails
// the whole record, as does an optional field present with another type. An optional field that is
// missing or null reads as absent. Server replies are read leniently with text() and isTrue().
namespace StrictJson {

// The text at `key`; none when it is missing or of another type.
inline std::optional<QString> text(const QJsonObject& o, QStringView key) {
    const QJsonValue v = o.value(key);
    return v.isString() ? std::optional(v.toString()) : std::nullopt;
}

// True only for the JSON literal true at `key`.
inline bool isTrue(const QJsonObject& o, QStringView key) {
    const QJsonValue v = o.value(key);
    return v.isBool() && v.toBool();
}

// The objects of the array `v` in order, other elements skipped; empty when `v` is no array.
inline QList<QJsonObject> objects(const QJsonValue& v) {
    QList<QJsonObject> list;
    for (const QJsonValue& item : v.toArray()) {
        if (item.isObject())
            list.append(item.toObject());
    }
    return list;
}

// A link as a reply gives it; none when the text is absent, empty or no valid URL.
inline std::optional<QUrl> link(const std::optional<QString>& address) {
    if (!address || address->isEmpty())
        return std::nullopt;
    const QUrl url(*address, QUrl::StrictMode);
    return url.isValid() ? std::optional(url) : std::nullopt;
}

inline std::optional<QString> requiredString(const QJsonObject& o, const QString& key) {
    return text(o, key);
}

inline std::optional<bool> requiredBool(const QJsonObject& o, const QString& key) {
    const QJsonValue v = o.value(key);
    return v.isBool() ? std::optional(v.toBool()) : std::nullopt;
}

inline std::optional<QStringList> stringList(const QJsonValue& v) {
    if (!v.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue& item : v.toArray()) {
        if (!item.isString())
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

inline bool isAbsent(const QJsonValue& v) {
    return v.isUndefined() || v.isNull();
}

// Reads an optional text field into `field`; false when it is present with another type.
inline bool optionalString(const QJsonObject& o, const QString& key, std::optional<QString>& field) {
    const QJsonValue v = o.value(key);
    if (isAbsent(v))
        return true;
    if (!v.isString())
        return false;
    field = v.toString();
    return true;
}

} // namespace StrictJson
