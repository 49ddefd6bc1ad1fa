#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// QJsonObject keeps its keys sorted; where the order a server wrote them in carries meaning, it is
// read back from the reply's text.
namespace JsonKeyOrder {

// The keys of the member object `objectKey` of the JSON object in `json`, in the order written, a
// repeated key as often as it is written; empty when there is no such object. Meant for text that
// QJsonDocument has read; where the text is not valid JSON, the list stops there.
QStringList memberKeys(QByteArrayView json, QStringView objectKey);

} // namespace JsonKeyOrder
