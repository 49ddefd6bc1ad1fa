#include "core/remote/RemoteHttp.h"

#include "core/model/DebugLog.h"
#include "core/remote/RemoteError.h"
#include "core/remote/RemoteSession.h"
#include "core/remote/TransportError.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <QCoroNetworkReply>

#include <memory>

namespace {

struct LaterDeleter {
    void operator()(QNetworkReply* reply) const { reply->deleteLater(); }
};

QNetworkReply* start(QNetworkAccessManager& network, const QNetworkRequest& request, const QByteArray& method,
                     const QByteArray& body) {
    if (method == "GET")
        return network.get(request);
    if (method == "POST")
        return network.post(request, body);
    if (method == "DELETE")
        return network.deleteResource(request);
    return network.sendCustomRequest(request, method, body);
}

// Whether Qt's error says the exchange itself broke off (the connection closed or reset, a time-out,
// a cancellation, a garbled reply), as against naming the HTTP status of a reply that arrived whole.
// Qt numbers the connection's errors below 100; the statuses map elsewhere (400 to a protocol error,
// 407 to a proxy error).
bool isBrokenOff(QNetworkReply::NetworkError error) {
    return (error != QNetworkReply::NoError && int(error) < 100) || error == QNetworkReply::ProtocolFailure;
}

// Names the request in the debug log without its query, which may carry codes or page tokens.
QString describe(const QByteArray& method, const QUrl& url) {
    return QString::fromLatin1(method) + u' ' +
           url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString();
}

} // namespace

namespace RemoteHttp {

QCoro::Task<Response> send(QNetworkRequest request, QByteArray method, QByteArray body,
                           std::chrono::milliseconds timeout) {
    const RemoteSession session = RemoteSession::current();
    QPointer<QNetworkAccessManager> network = session.network;
    if (!network)
        throw TransportError(QStringLiteral("Network access is not available"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const QString what = describe(method, request.url());

    std::unique_ptr<QNetworkReply, LaterDeleter> reply(start(*network, request, method, body));
    QPointer<QNetworkReply> watched = reply.get();
    // Qt's transfer time-out starts again with every byte that arrives; this one does not. Queued, so
    // that the reply's end, which resumes this coroutine, never runs inside the timer's signal.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply.get(), &QNetworkReply::abort, Qt::QueuedConnection);
    deadline.start(timeout);
    co_await reply.get();
    const bool expired = !deadline.isActive();
    deadline.stop();
    if (!watched) {
        reply.release();
        throw TransportError(QStringLiteral("The request was abandoned"),
                             QNetworkReply::OperationCanceledError);
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    if (!status.isValid() || isBrokenOff(error)) {
        DebugLog::log([&] { return what + QStringLiteral(" failed: ") + reply->errorString(); });
        if (error == QNetworkReply::OperationCanceledError && expired)
            throw TransportError(QStringLiteral("The request timed out"), QNetworkReply::TimeoutError);
        throw TransportError(reply->errorString(), error);
    }
    DebugLog::log([&] { return what + QStringLiteral(" → ") + QString::number(status.toInt()); });
    co_return Response{status.toInt(), reply->readAll(),
                       RemoteError::retryDelay(reply->rawHeader("Retry-After"), session.clock())};
}

QJsonObject jsonObject(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    return document.isObject() ? document.object() : QJsonObject();
}

QString percentEncode(QStringView text, QStringView keep) {
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        const bool markOrNumber = category >= QChar::Mark_NonSpacing && category <= QChar::Number_Other;
        const bool letter = category >= QChar::Letter_Uppercase && category <= QChar::Letter_Other;
        if (markOrNumber || letter || (c < 0x80 && keep.contains(QChar(c)))) {
            out += QString::fromUcs4(&c, 1);
            continue;
        }
        for (const char byte : QString::fromUcs4(&c, 1).toUtf8())
            out += u'%' + QString::number(uchar(byte), 16).toUpper().rightJustified(2, u'0');
    }
    return out;
}

QUrl resolve(const QUrl& base, const QString& encodedPath, const Query& query) {
    QUrl url = base;
    url.setPath(base.path(QUrl::FullyEncoded) + encodedPath, QUrl::TolerantMode);
    if (!query.isEmpty()) {
        QByteArray encoded;
        for (auto it = query.cbegin(); it != query.cend(); ++it) {
            if (!encoded.isEmpty())
                encoded += '&';
            encoded += QUrl::toPercentEncoding(it.key()) + '=' + QUrl::toPercentEncoding(it.value());
        }
        url.setQuery(QString::fromLatin1(encoded), QUrl::TolerantMode);
    }
    return url;
}

} // namespace RemoteHttp
