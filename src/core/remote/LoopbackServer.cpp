#include "core/remote/LoopbackServer.h"

#include "core/model/DebugLog.h"
#include "core/remote/LoopbackPage.h"
#include "core/remote/TransportError.h"

#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

struct LoopbackServer::Connection {
    QByteArray buffer;
    QTimer deadline;
    bool served = false;
    // The path to report once the reply has gone out and the connection has closed.
    std::optional<QString> report;
};

LoopbackServer::LoopbackServer(QObject* parent)
    : QObject(parent) {
    connect(&m_listener, &QTcpServer::newConnection, this, &LoopbackServer::accept);
}

LoopbackServer::~LoopbackServer() {
    stop();
}

quint16 LoopbackServer::start() {
    if (!m_listener.listen(QHostAddress::LocalHost, 0))
        throw TransportError(m_listener.errorString());
    DebugLog::log([&] { return QStringLiteral("loopback: listening on port %1").arg(port()); });
    return port();
}

void LoopbackServer::stop() {
    m_stopped = true;
    m_listener.close();
    const auto sockets = m_connections.keys();
    for (QTcpSocket* socket : sockets)
        drop(socket);
}

quint16 LoopbackServer::port() const {
    return m_listener.serverPort();
}

void LoopbackServer::accept() {
    while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
        socket->setParent(this);
        auto connection = std::make_shared<Connection>();
        m_connections.insert(socket, connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        // A client that never completes its request line is judged on what it sent by then, or
        // dropped when it sent nothing.
        connection->deadline.setSingleShot(true);
        connect(&connection->deadline, &QTimer::timeout, this, [this, socket] {
            const auto found = m_connections.constFind(socket);
            if (found == m_connections.cend())
                return;
            if ((*found)->buffer.isEmpty())
                drop(socket);
            else
                serve(socket, (*found)->buffer);
        });
        connection->deadline.start(m_readTimeout);
    }
}

void LoopbackServer::readFrom(QTcpSocket* socket) {
    const auto found = m_connections.constFind(socket);
    if (found == m_connections.cend())
        return;
    const std::shared_ptr<Connection> connection = *found;
    if (connection->served) {
        socket->readAll();
        return;
    }
    connection->buffer += socket->read(maxRequestBytes - connection->buffer.size());
    const qsizetype lineEnd = connection->buffer.indexOf("\r\n");
    if (lineEnd >= 0)
        serve(socket, connection->buffer.left(lineEnd));
    else if (connection->buffer.size() >= maxRequestBytes)
        serve(socket, connection->buffer);
}

void LoopbackServer::serve(QTcpSocket* socket, const QByteArray& requestLine) {
    const std::shared_ptr<Connection> connection = m_connections.value(socket);
    if (!connection || connection->served)
        return;
    connection->served = true;
    connection->deadline.stop();

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString line = decoder.decode(requestLine);
    if (decoder.hasError()) {
        drop(socket);
        return;
    }
    const QStringList pieces = line.split(u' ', Qt::SkipEmptyParts);
    const QString path = pieces.size() >= 2 ? pieces[1] : QStringLiteral("/");
    const bool success = judge ? judge(path) : !path.contains(QLatin1String("error="));

    const QByteArray page = LoopbackPage::html(success).toUtf8();
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
    if (!path.startsWith(QLatin1String("/favicon")))
        connection->report = path;
    // Closes once the reply is written; the disconnect then reports the path.
    socket->disconnectFromHost();
}

void LoopbackServer::drop(QTcpSocket* socket) {
    const std::shared_ptr<Connection> connection = m_connections.take(socket);
    if (!connection)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (!connection->report || m_stopped)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, path = *connection->report] {
            if (!m_stopped && onRequest)
                onRequest(path);
        },
        Qt::QueuedConnection);
}

std::optional<QList<LoopbackServer::QueryItem>> LoopbackServer::queryItems(const QString& path) {
    const QUrl url(QStringLiteral("http://127.0.0.1") + path, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    QList<QueryItem> items;
    if (!url.hasQuery())
        return items;
    const QString query = url.query(QUrl::FullyEncoded);
    if (query.isEmpty())
        return items;
    for (const QString& piece : query.split(u'&')) {
        const qsizetype eq = piece.indexOf(u'=');
        const QString name = QUrl::fromPercentEncoding((eq < 0 ? piece : piece.left(eq)).toUtf8());
        if (eq < 0)
            items.append({name, std::nullopt});
        else
            items.append({name, QUrl::fromPercentEncoding(piece.mid(eq + 1).toUtf8())});
    }
    return items;
}
