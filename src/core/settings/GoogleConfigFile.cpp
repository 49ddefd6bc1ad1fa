#include "core/settings/GoogleConfigFile.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"

#include <QJsonDocument>

namespace GoogleConfigFile {

QString path(const QString& appFolder) {
    return appFolder + QStringLiteral("/google.json");
}

GoogleConfig read(const QString& appFolder, QString* unreadable) {
    const QString file = path(appFolder);
    QString error;
    const std::optional<QByteArray> bytes = PrivateFile::read(file, error);
    if (unreadable)
        *unreadable = error;
    if (!bytes)
        return GoogleConfig();
    std::optional<GoogleConfig> config;
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parse);
    if (parse.error == QJsonParseError::NoError)
        config = GoogleConfig::fromJson(document.object());
    if (config)
        return *config;
    // Decoding fails for the whole file when one account does; the next write would then destroy
    // every account in it.
    const QString aside = PrivateFile::keepAside(file);
    DebugLog::log([&] {
        return aside.isEmpty() ? QStringLiteral("google.json does not decode and could not be kept aside")
                               : QStringLiteral("google.json does not decode; kept aside as ") + aside;
    });
    return GoogleConfig();
}

void write(const QString& appFolder, const GoogleConfig& config) {
    // QJsonObject keeps its keys sorted, so every level comes out in key order.
    const QByteArray json = QJsonDocument(config.toJson()).toJson(QJsonDocument::Indented);
    const QString error = PrivateFile::write(path(appFolder), json);
    if (!error.isEmpty())
        DebugLog::log([&] { return QStringLiteral("google.json not saved: ") + error; });
}

} // namespace GoogleConfigFile
