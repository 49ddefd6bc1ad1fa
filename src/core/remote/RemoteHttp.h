#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <optional>

// The HTTP exchange under the Google and Notion clients. A complete HTTP reply of any status comes
// back with its status and body (the body is read whatever Qt's error code says about the status); a
// request that gets no HTTP status at all, or whose reply breaks off before its end (a reset, a body
// shorter than its Content-Length), throws TransportError with Qt's description.
namespace RemoteHttp {

struct Response {
    int status = 0;
    QByteArray body;
    // The wait a Retry-After header asked for, counted from the reply (RemoteError::retryDelay).
    std::optional<std::chrono::seconds> retryAfter;
};

// Query parameters as name → value; the order in the URL is not significant.
using Query = QMap<QString, QString>;

// Sends one request through the session's network access manager and waits for the reply. The
// request ends `timeout` after it was sent however its bytes arrive (a server that trickles a byte
// now and then is never idle), with TransportError "The request timed out". Redirects are not
// followed, so a token is never sent on to another address.
QCoro::Task<Response> send(QNetworkRequest request, QByteArray method, QByteArray body,
                           std::chrono::milliseconds timeout);

// The body as a JSON object; empty when it is empty, not JSON, or JSON but not an object.
QJsonObject jsonObject(const QByteArray& body);

// Keeps Unicode letters, marks and digits and the characters in `keep`; every other character becomes
// "%" and two upper-case hexadecimal digits per UTF-8 byte.
QString percentEncode(QStringView text, QStringView keep);

// `base` (whose path ends in "/") followed by an already encoded relative path, with the query's
// names and values each encoded as a query component ("+" and "&" included).
QUrl resolve(const QUrl& base, const QString& encodedPath, const Query& query = {});

} // namespace RemoteHttp
