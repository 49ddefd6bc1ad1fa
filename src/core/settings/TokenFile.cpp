#include "core/settings/TokenFile.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"

#include <QFile>
#include <QStringDecoder>

namespace TokenFile {

QString path(const QString& appFolder) {
    return appFolder + QStringLiteral("/notion-token");
}

QString read(const QString& appFolder, QString* unreadable) {
    QString error;
    const std::optional<QByteArray> bytes = PrivateFile::read(path(appFolder), error);
    if (unreadable)
        *unreadable = error;
    if (!bytes)
        return QString();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(*bytes);
    if (utf8.hasError())
        return QString();
    return text.trimmed();
}

void write(const QString& appFolder, const QString& token) {
    if (token.isEmpty()) {
        QFile::remove(path(appFolder));
        return;
    }
    const QString error = PrivateFile::write(path(appFolder), token.toUtf8());
    if (!error.isEmpty())
        DebugLog::log([&] { return QStringLiteral("notion token not saved: ") + error; });
}

} // namespace TokenFile
