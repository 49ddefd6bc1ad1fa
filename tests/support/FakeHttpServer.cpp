#include "support/FakeHttpServer.h"

#include "core/remote/RemoteHttp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

#include <algorithm>
#include <stdexcept>

namespace {

QString decodeComponent(QByteArrayView text) {
    return QUrl::fromPercentEncoding(text.toByteArray());
}

QByteArray reasonPhrase(int status) {
    static const QHash<int, QByteArray> phrases{{200, "OK"},
                                                {201, "Created"},
                                                {204, "No Content"},
                                                {302, "Found"},
                                                {400, "Bad Request"},
                                                {401, "Unauthorized"},
                                                {403, "Forbidden"},
                                                {404, "Not Found"},
                                                {409, "Conflict"},
                                                {410, "Gone"},
                                                {412, "Precondition Failed"},
                                                {429, "Too Many Requests"},
                                                {500, "Internal Server Error"},
                                                {503, "Service Unavailable"}};
    return phrases.value(status, "Status");
}

} // namespace

// ---- HttpRequest

QByteArray HttpRequest::header(QByteArrayView name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool HttpRequest::hasHeader(QByteArrayView name) const {
    return std::any_of(headers.cbegin(), headers.cend(), [&](const auto& entry) {
        return entry.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString HttpRequest::queryValue(QStringView name) const {
    for (const auto& [key, value] : query) {
        if (key == name)
            return value.isNull() ? QString(QLatin1String("")) : value;
    }
    return {};
}

bool HttpRequest::hasQueryItem(QStringView name) const {
    return std::any_of(query.cbegin(), query.cend(), [&](const auto& entry) { return entry.first == name; });
}

QJsonObject HttpRequest::json() const {
    return RemoteHttp::jsonObject(body);
}

QMap<QString, QString> HttpRequest::form() const {
    QMap<QString, QString> fields;
    for (const QByteArray& pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        QByteArray name = eq < 0 ? pair : pair.left(eq);
        QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        name.replace('+', ' ');
        value.replace('+', ' ');
        fields.insert(decodeComponent(name), decodeComponent(value));
    }
    return fields;
}

// ---- HttpReply

HttpReply HttpReply::json(int status, const QJsonObject& object) {
    return text(status, QJsonDocument(object).toJson(QJsonDocument::Compact),
                "application/json; charset=UTF-8");
}

HttpReply HttpReply::text(int status, QByteArray body, QByteArray contentType) {
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.headers.append({"Content-Type", std::move(contentType)});
    return reply;
}

HttpReply HttpReply::empty(int status) {
    HttpReply reply;
    reply.status = status;
    return reply;
}

HttpReply HttpReply::redirect(const QUrl& location, int status) {
    HttpReply reply = empty(status);
    reply.headers.append({"Location", location.toEncoded()});
    return reply;
}

HttpReply HttpReply::closeWithoutReply() {
    HttpReply reply;
    reply.kind = Kind::CloseWithoutReply;
    return reply;
}

HttpReply HttpReply::stall() {
    HttpReply reply;
    reply.kind = Kind::Stall;
    return reply;
}

HttpReply HttpReply::cutShort(HttpReply whole, qsizetype keep, Ending ending) {
    whole.kind = Kind::CutShort;
    whole.cutAt = keep;
    whole.ending = ending;
    return whole;
}

HttpReply HttpReply::trickle(HttpReply whole, std::chrono::milliseconds interval) {
    whole.kind = Kind::Trickle;
    whole.interval = interval;
    return whole;
}

HttpReply& HttpReply::withHeader(QByteArray name, QByteArray value) {
    headers.append({std::move(name), std::move(value)});
    return *this;
}

// ---- FakeHttpServer

struct FakeHttpServer::Connection {
    QByteArray buffer;
    bool dispatched = false;
};

FakeHttpServer::FakeHttpServer(QObject* parent)
    : QObject(parent)
    , m_handler([](const HttpRequest&) { return HttpReply::empty(404); }) {
    if (!m_listener.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("FakeHttpServer cannot listen: " + m_listener.errorString().toStdString());
    connect(&m_listener, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
}

FakeHttpServer::~FakeHttpServer() {
    close();
}

quint16 FakeHttpServer::port() const {
    return m_listener.serverPort();
}

QUrl FakeHttpServer::url(const QString& pathAndQuery) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(pathAndQuery), QUrl::TolerantMode);
}

void FakeHttpServer::setHandler(Handler handler) {
    m_handler = std::move(handler);
}

void FakeHttpServer::scriptNext(QByteArray method, QString pathPrefix, HttpReply reply, int times) {
    m_scripts.append({std::move(method), std::move(pathPrefix), std::move(reply), times});
}

void FakeHttpServer::scriptAnswerAfterHandling(QByteArray method, QString pathPrefix, HttpReply reply,
                                               int times) {
    m_scripts.append({std::move(method), std::move(pathPrefix), std::move(reply), times, true});
}

void FakeHttpServer::hold() {
    hold({}, QString());
}

void FakeHttpServer::hold(QByteArray method, QString pathPrefix) {
    m_holds.append({std::move(method), std::move(pathPrefix)});
}

void FakeHttpServer::release() {
    m_holds.clear();
    const auto held = std::exchange(m_held, {});
    for (const auto& [socket, reply] : held) {
        if (socket)
            answer(socket, reply);
    }
}

int FakeHttpServer::heldCount() const {
    return int(m_held.size());
}

QList<HttpRequest> FakeHttpServer::requests(QByteArrayView method, QStringView pathPrefix) const {
    QList<HttpRequest> matching;
    for (const HttpRequest& request : m_requests) {
        if (matches(request, method.toByteArray(), pathPrefix.toString()))
            matching.append(request);
    }
    return matching;
}

bool FakeHttpServer::matches(const HttpRequest& request, const QByteArray& method,
                             const QString& pathPrefix) {
    return (method.isEmpty() || request.method == method) && request.path.startsWith(pathPrefix);
}

bool FakeHttpServer::waitForRequests(int count, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (m_requests.size() < count && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return m_requests.size() >= count;
}

void FakeHttpServer::close() {
    m_listener.close();
    const auto sockets = m_connections.keys();
    for (QTcpSocket* socket : sockets)
        drop(socket);
    m_held.clear();
}

void FakeHttpServer::accept() {
    while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
        socket->setParent(this);
        m_connections.insert(socket, std::make_shared<Connection>());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void FakeHttpServer::readFrom(QTcpSocket* socket) {
    const auto found = m_connections.constFind(socket);
    if (found == m_connections.cend())
        return;
    const std::shared_ptr<Connection> connection = *found;
    connection->buffer += socket->readAll();
    if (connection->dispatched)
        return;

    const qsizetype headerEnd = connection->buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = connection->buffer.left(headerEnd).split('\n');
    HttpRequest request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        if (line.left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0)
            contentLength = line.mid(colon + 1).trimmed().toLongLong();
    }
    if (connection->buffer.size() < headerEnd + 4 + contentLength)
        return; // the body is still coming
    request.body = connection->buffer.mid(headerEnd + 4, contentLength);
    connection->dispatched = true;

    const qsizetype question = request.target.indexOf('?');
    request.rawPath = question < 0 ? request.target : request.target.left(question);
    request.path = decodeComponent(request.rawPath);
    if (question >= 0) {
        for (const QByteArray& item : request.target.mid(question + 1).split('&')) {
            if (item.isEmpty())
                continue;
            const qsizetype eq = item.indexOf('=');
            request.query.append({decodeComponent(eq < 0 ? item : item.left(eq)),
                                  eq < 0 ? QString() : decodeComponent(item.mid(eq + 1))});
        }
    }
    dispatch(socket, std::move(request));
}

void FakeHttpServer::dispatch(QTcpSocket* socket, HttpRequest request) {
    m_requests.append(request);
    HttpReply reply;
    bool scripted = false;
    for (qsizetype i = 0; i < m_scripts.size(); ++i) {
        Script& script = m_scripts[i];
        if (matches(request, script.method, script.pathPrefix)) {
            if (script.handled)
                m_handler(request);
            reply = script.reply;
            scripted = true;
            if (--script.remaining <= 0)
                m_scripts.removeAt(i);
            break;
        }
    }
    if (!scripted)
        reply = m_handler(request);

    const bool held = std::any_of(m_holds.cbegin(), m_holds.cend(), [&](const auto& hold) {
        return matches(request, hold.first, hold.second);
    });
    if ((held || reply.heldBack) && reply.kind == HttpReply::Kind::Answer)
        m_held.append({socket, reply});
    else
        answer(socket, reply);
}

void FakeHttpServer::answer(QTcpSocket* socket, const HttpReply& reply) {
    switch (reply.kind) {
    case HttpReply::Kind::Stall:
        return;
    case HttpReply::Kind::CloseWithoutReply:
        socket->abort();
        return;
    case HttpReply::Kind::Answer:
    case HttpReply::Kind::CutShort:
    case HttpReply::Kind::Trickle:
        break;
    }
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    if (reply.kind == HttpReply::Kind::Trickle) {
        socket->write(head);
        trickle(socket, reply.body, reply.interval);
        return;
    }
    if (reply.kind == HttpReply::Kind::Answer) {
        socket->write(head + reply.body);
        socket->disconnectFromHost();
        return;
    }
    socket->write(head + reply.body.left(reply.cutAt));
    socket->flush();
    if (reply.ending == HttpReply::Ending::Reset) {
        // A zero linger time makes the close an RST instead of an orderly end.
        const linger reset{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        drop(socket);
    } else {
        socket->disconnectFromHost();
    }
}

void FakeHttpServer::trickle(QTcpSocket* socket, QByteArray rest, std::chrono::milliseconds interval) {
    if (rest.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    socket->write(rest.left(1));
    QPointer<QTcpSocket> alive = socket;
    QTimer::singleShot(interval, this, [this, alive, rest = rest.mid(1), interval] {
        if (alive && m_connections.contains(alive))
            trickle(alive, rest, interval);
    });
}

void FakeHttpServer::drop(QTcpSocket* socket) {
    if (!m_connections.remove(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
