#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

// The smallest HTTP server an OAuth loopback redirect needs: it listens on 127.0.0.1 on a port the
// system picks, answers every request with the result page, closes the connection, and reports each
// request's path (but favicon requests) to its owner. Lives on the GUI thread.
//
// A request is read until the end of its request line (at most 16,384 bytes); a client that sends no
// complete line within the read time-out gets judged on what it sent, or dropped when it sent nothing.
class LoopbackServer : public QObject {
    Q_OBJECT
public:
    struct QueryItem {
        QString name;
        std::optional<QString> value; // none for an item without "="
    };

    static constexpr qsizetype maxRequestBytes = 16384;

    explicit LoopbackServer(QObject* parent = nullptr);
    ~LoopbackServer() override;

    // Starts listening and returns the port; throws TransportError when the listener cannot start.
    quint16 start();
    // Stops listening and drops every open connection; reports not yet delivered are dropped too.
    // Calling it twice is harmless; there is no restart.
    void stop();
    quint16 port() const;
    // Connections accepted and not yet closed.
    int connectionCount() const { return int(m_connections.size()); }

    // Called with each request's path (with its query) once its reply has gone out and the connection
    // has closed, never for a path beginning "/favicon". Always called from the event loop, never from
    // inside a socket handler, so the owner may stop or delete the server from it.
    std::function<void(const QString& path)> onRequest;
    // Decides whether a request gets the "connected" page. By default every path without "error="
    // does; the sign-in replaces this with its own check of the code and the state.
    std::function<bool(const QString& path)> judge;

    void setReadTimeout(std::chrono::milliseconds timeout) { m_readTimeout = timeout; }

    // The query items of a request path, decoded ("+" stays "+"), in order; none when the text does
    // not form a URL.
    static std::optional<QList<QueryItem>> queryItems(const QString& path);

private:
    struct Connection;

    void accept();
    void readFrom(QTcpSocket* socket);
    void serve(QTcpSocket* socket, const QByteArray& request);
    void drop(QTcpSocket* socket);

    QTcpServer m_listener;
    QHash<QTcpSocket*, std::shared_ptr<Connection>> m_connections;
    std::chrono::milliseconds m_readTimeout{5000};
    bool m_stopped = false;
};
