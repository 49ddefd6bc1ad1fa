#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// QJsonObject keeps its keys sorted; where the order a server wrote them in carries meaning, it is
// read back from the reply's text.
namespace JsonKeyOrder {

// For each element of the array `arrayKey` of the text's top-level object, the keys of the element's
// member object `objectKey` in the order written, a repeated key as often as it is written (an empty
// list for an element that has no such object). Meant for text that QJsonDocument has read; where the text is
// not valid JSON, the lists stop there. Empty when there is no such array.
QList<QStringList> memberKeys(QByteArrayView json, QStringView arrayKey, QStringView objectKey);

} // namespace JsonKeyOrder
