#include "core/settings/JsonSettingsFormat.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <optional>

namespace JsonSettingsFormat {

namespace {

const QString dataTag = QStringLiteral("@data");

QJsonValue toJson(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QByteArray:
        return QJsonObject{{dataTag, QString::fromLatin1(value.toByteArray().toBase64())}};
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(value.toStringList());
    case QMetaType::QVariantList: {
        QJsonArray array;
        for (const QVariant& item : value.toList())
            array.append(toJson(item));
        return array;
    }
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.insert(it.key(), toJson(it.value()));
        return object;
    }
    default:
        // Nothing else is ever stored; keep what can be kept rather than dropping the key.
        return QJsonValue::fromVariant(value);
    }
}

QVariant fromJson(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double: {
        const double number = value.toDouble();
        if (std::trunc(number) == number && std::abs(number) < 9007199254740992.0)
            return qint64(number);
        return number;
    }
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue& item : value.toArray())
            list.append(fromJson(item));
        return list;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.size() == 1 && object.value(dataTag).isString())
            return QByteArray::fromBase64(object.value(dataTag).toString().toLatin1());
        QVariantMap map;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            map.insert(it.key(), fromJson(it.value()));
        return map;
    }
    default:
        return QVariant();
    }
}

QByteArray encode(const QSettings::SettingsMap& values) {
    QJsonObject object;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        object.insert(it.key(), toJson(it.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<QSettings::SettingsMap> decode(const QByteArray& json) {
    if (json.trimmed().isEmpty())
        return QSettings::SettingsMap();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QSettings::SettingsMap map;
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        map.insert(it.key(), fromJson(it.value()));
    return map;
}

bool readFile(QIODevice& device, QSettings::SettingsMap& map) {
    const auto values = decode(device.readAll());
    if (!values)
        return false;
    map = *values;
    return true;
}

bool writeFile(QIODevice& device, const QSettings::SettingsMap& map) {
    const QByteArray json = encode(map);
    return device.write(json) == json.size();
}

} // namespace

QSettings::Format format() {
    static const QSettings::Format registered =
        QSettings::registerFormat(QStringLiteral("json"), readFile, writeFile, Qt::CaseSensitive);
    return registered;
}

} // namespace JsonSettingsFormat
