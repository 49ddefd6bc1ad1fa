#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

class QTcpSocket;

// One request as a FakeHttpServer received it, kept for assertions.
struct HttpRequest {
    QByteArray method;
    // The request target exactly as sent ("/calendar/v3/calendars/a%23b/events?pageToken=x%2By").
    QByteArray target;
    // The target up to "?", still percent-encoded, and the same decoded.
    QByteArray rawPath;
    QString path;
    // The query items in order, names and values percent-decoded ("+" stays "+"). An item without
    // "=" has a null value.
    QList<std::pair<QString, QString>> query;
    // Header names as sent; look them up with header(), which ignores case.
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
    QString queryValue(QStringView name) const; // the first item of that name, null when absent
    bool hasQueryItem(QStringView name) const;
    // The body as a JSON object; empty when it is not one.
    QJsonObject json() const;
    // An application/x-www-form-urlencoded body, decoded ("+" is a blank there).
    QMap<QString, QString> form() const;
};

// What a FakeHttpServer answers to one request.
struct HttpReply {
    enum class Kind {
        Answer,            // status line, headers, body, then the connection is closed
        CloseWithoutReply, // the connection is closed with nothing sent
        Stall,             // nothing is ever sent; the client's own time-out has to end the request
        CutShort,          // the head as for Answer, then only the first `cutAt` bytes of the body
        Trickle,           // the head at once, then the body one byte every `interval`
    };
    // How a CutShort reply ends the connection.
    enum class Ending { Close, Reset };

    int status = 200;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    Kind kind = Kind::Answer;
    qsizetype cutAt = 0;
    Ending ending = Ending::Close;
    std::chrono::milliseconds interval{0};
    // An Answer the server keeps back until release(), as for a hold() that matches its request: a
    // handler's way of holding only some answers (those to requests that stored something, say).
    bool heldBack = false;

    static HttpReply json(int status, const QJsonObject& object);
    static HttpReply text(int status, QByteArray body, QByteArray contentType = "text/plain; charset=utf-8");
    static HttpReply empty(int status);
    static HttpReply redirect(const QUrl& location, int status = 302);
    static HttpReply closeWithoutReply();
    static HttpReply stall();
    // `whole` announced with its full Content-Length, but the connection ends after `keep` bytes of
    // its body: closed in order, or reset (an RST, as a dropped connection or a proxy gives).
    static HttpReply cutShort(HttpReply whole, qsizetype keep, Ending ending = Ending::Close);
    // `whole` sent a byte at a time, one every `interval`, so that the connection is never idle for
    // long but the reply takes body-size × interval to arrive.
    static HttpReply trickle(HttpReply whole, std::chrono::milliseconds interval);
    HttpReply& withHeader(QByteArray name, QByteArray value);
};

// A small HTTP/1.1 server on 127.0.0.1 for tests: it records every request and answers each one from
// a handler, or from replies scripted for the next matching requests. Every answer closes its
// connection. Replies can be held back and released later, so a test can look at a client while
// its request is in flight.
//
//     FakeHttpServer server;
//     server.setHandler([](const HttpRequest& r) { return HttpReply::json(200, {{"ok", true}}); });
//     server.scriptNext("GET", "/v1/users", HttpReply::json(401, {...}));   // the next match only
//     ... client talks to server.url("/v1/users/me") ...
//     QCOMPARE(server.requests().size(), 1);
class FakeHttpServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    // Listens at once on 127.0.0.1 with a port the system picks; throws std::runtime_error if it can't.
    explicit FakeHttpServer(QObject* parent = nullptr);
    ~FakeHttpServer() override;

    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by the given path and query, which are taken as encoded.
    QUrl url(const QString& pathAndQuery = QStringLiteral("/")) const;

    // Answers every request that no script matches. The default answers 404 with an empty body.
    void setHandler(Handler handler);

    // The next `times` requests whose method equals `method` (any method when empty) and whose decoded
    // path begins with `pathPrefix` get `reply` instead of the handler's answer. Scripts are matched
    // in the order they were added.
    void scriptNext(QByteArray method, QString pathPrefix, HttpReply reply, int times = 1);
    // The same, but those requests still reach the handler, and what it does stays done: only its
    // answer is replaced. A server that stores and then fails, or an answer lost on the way back.
    void scriptAnswerAfterHandling(QByteArray method, QString pathPrefix, HttpReply reply, int times = 1);

    // While holding, answers are kept back (the request is recorded at once) until release(): every
    // answer, or only those to requests with that method (any when empty) and path prefix.
    void hold();
    void hold(QByteArray method, QString pathPrefix);
    void release();
    int heldCount() const;

    const QList<HttpRequest>& requests() const { return m_requests; }
    // The recorded requests with that method (any when empty) whose decoded path begins with the prefix.
    QList<HttpRequest> requests(QByteArrayView method, QStringView pathPrefix) const;
    // Runs the event loop until at least `count` requests have been recorded; false on time-out.
    bool waitForRequests(int count, int timeoutMs = 5000);

    // Stops listening and drops every open connection: later connects are refused.
    void close();

private:
    struct Connection;
    struct Script {
        QByteArray method;
        QString pathPrefix;
        HttpReply reply;
        int remaining;
        bool handled = false; // the handler runs first
    };

    void accept();
    void readFrom(QTcpSocket* socket);
    void dispatch(QTcpSocket* socket, HttpRequest request);
    void answer(QTcpSocket* socket, const HttpReply& reply);
    void trickle(QTcpSocket* socket, QByteArray rest, std::chrono::milliseconds interval);
    void drop(QTcpSocket* socket);
    static bool matches(const HttpRequest& request, const QByteArray& method, const QString& pathPrefix);

    QTcpServer m_listener;
    QHash<QTcpSocket*, std::shared_ptr<Connection>> m_connections;
    QList<HttpRequest> m_requests;
    QList<Script> m_scripts;
    QList<std::pair<QPointer<QTcpSocket>, HttpReply>> m_held;
    Handler m_handler;
    QList<std::pair<QByteArray, QString>> m_holds; // method and path prefix of the requests held back
};
