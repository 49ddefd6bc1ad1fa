#include "devtools/Snapshot.h"

#include "core/remote/LoopbackServer.h"
#include "core/remote/TransportError.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

void printLine(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// "name=value" for each query item, decoded, joined by blanks; nothing for a path that is no URL.
QString describeQuery(const QString& path) {
    QStringList items;
    for (const auto& item : LoopbackServer::queryItems(path).value_or(QList<LoopbackServer::QueryItem>()))
        items << item.name + u'=' + item.value.value_or(QString());
    return items.join(u' ');
}

void runLoopbackTest(LoopbackServer* server) {
    quint16 port = 0;
    try {
        port = server->start();
    } catch (const TransportError& error) {
        printLine(QStringLiteral("loopback: failed ") + error.message());
        QCoreApplication::exit(1);
        return;
    }
    printLine(QStringLiteral("loopback: listening on 127.0.0.1:%1").arg(port));
    server->onRequest = [server](const QString& path) {
        printLine(QStringLiteral("loopback: request ") + path + QStringLiteral(" → ") + describeQuery(path));
        QTimer::singleShot(300, server, [server] {
            server->stop();
            QCoreApplication::exit(0);
        });
    };
}

} // namespace

namespace Snapshot {

bool runIfRequested(const QStringList& arguments) {
    Q_UNUSED(arguments);
    return false;
}

bool runLoopbackTestIfRequested(const QStringList& arguments) {
    if (!arguments.contains(QStringLiteral("--test-loopback")))
        return false;
    // Owned by the application for the rest of the process, which ends through the test itself.
    auto* server = new LoopbackServer(QCoreApplication::instance());
    QTimer::singleShot(0, server, [server] { runLoopbackTest(server); });
    return true;
}

} // namespace Snapshot
