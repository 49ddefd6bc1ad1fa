#include "core/remote/PKCE.h"

#include <QCryptographicHash>
#include <QList>
#include <QRandomGenerator>

namespace {

QString base64Url(const QByteArray& bytes) {
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

namespace PKCE {

QString randomString(int count) {
    QList<quint32> words((count + 3) / 4);
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char*>(words.constData()), count);
    return base64Url(bytes);
}

QString challenge(const QString& verifier) {
    return base64Url(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256));
}

} // namespace PKCE
