#include "app/SingleInstance.h"

#include "app/UrlRouter.h"
#include "core/model/PrivateFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A launch hands over a few URLs; anything longer is not one of ours.
constexpr qint64 maxRequestBytes = 64 * 1024;
// What the running instance answers once it has taken a launch's requests.
constexpr char answer[] = "ok\n";

QString socketPath(const QString& folder) {
    return folder + QStringLiteral("/vorrindel.socket");
}

QString lockPath(const QString& folder) {
    return folder + QStringLiteral("/vorrindel.lock");
}

} // namespace

SingleInstance::SingleInstance(QString folder, std::chrono::milliseconds answerTimeout, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_answerTimeout(answerTimeout) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    // No session runtime folder (a plain ssh login, say): one of our own in the temporary folder,
    // used only when it is a real folder that nobody else can enter.
    const QString own = QDir::tempPath() + QStringLiteral("/vorrindel-") + QString::number(::getuid());
    PrivateFile::makeFolder(own);
    struct stat st;
    if (::lstat(QFile::encodeName(own).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        return QString();
    return own;
}

bool SingleInstance::takeLock() {
    auto lock = std::make_unique<QLockFile>(lockPath(m_folder));
    // A lock left by a process that no longer runs is taken over; a live owner's never is.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    // QLockFile creates the file for everyone to read (0666 less the umask).
    PrivateFile::makePrivate(lockPath(m_folder));
    m_lock = std::move(lock);
    return true;
}

SingleInstance::Role SingleInstance::claimOrForward(const QStringList& requests) {
    if (m_folder.isEmpty())
        return Role::First;

    QByteArray message;
    for (const QString& request : requests)
        message += request.toUtf8() + '\n';
    message += '\n';
    // The owner may still be starting, or be quitting: keep trying until it listens or has let go.
    const QDeadlineTimer deadline(m_answerTimeout);
    QLocalSocket socket;
    while (true) {
        if (takeLock())
            return Role::First;
        socket.connectToServer(socketPath(m_folder));
        if (socket.waitForConnected(qMax(1, int(deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return Role::Unreachable;
        socket.abort();
        QThread::msleep(50);
    }
    // Only an answer tells that the owner took the requests: a stopped owner's socket still accepts.
    socket.write(message);
    socket.flush();
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(qMax(1, int(deadline.remainingTime()))))
            return Role::Unreachable;
    }
    return socket.readLine() == answer ? Role::Forwarded : Role::Unreachable;
}

bool SingleInstance::listen() {
    if (m_folder.isEmpty())
        return false;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock means any socket file left there belongs to an instance that has gone.
    QLocalServer::removeServer(socketPath(m_folder));
    if (!m_server->listen(socketPath(m_folder)))
        return false;
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::readRequests);
    return true;
}

void SingleInstance::release() {
    // The socket first: a launch that then finds the lock free makes its own socket at the same place.
    m_server.reset();
    m_lock.reset();
}

void SingleInstance::readRequests() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > maxRequestBytes) {
                socket->abort();
                return;
            }
            // The requests end with an empty line.
            if (!socket->peek(socket->bytesAvailable()).endsWith("\n\n"))
                return;
            QStringList requests;
            for (const QByteArray& line : socket->readAll().split('\n')) {
                const QString request = QString::fromUtf8(line);
                if (request == u"reopen" || UrlRouter::isAppUrl(request))
                    requests.append(request);
            }
            socket->write(answer);
            socket->flush();
            if (!requests.isEmpty())
                emit requestsReceived(requests);
        });
    }
}
