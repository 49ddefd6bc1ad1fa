#include "core/remote/JsonKeyOrder.h"

#include "core/remote/JsonReader.h"

namespace JsonKeyOrder {

QStringList memberKeys(QByteArrayView json, QStringView objectKey) {
    JsonReader reader(json);
    QStringList keys;
    reader.members([&](const QString& member) {
        if (member != objectKey || !reader.at('{'))
            return reader.skipValue();
        keys.clear(); // a repeated key: the last one counts, as in QJsonDocument
        return reader.members([&](const QString& name) {
            keys.append(name);
            return reader.skipValue();
        });
    });
    return keys;
}

} // namespace JsonKeyOrder
