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

SingleInstance::Role SingleInstance::claimOrForward(const QStringList& requests) {
    if (m_folder.isEmpty())
        return Role::First;
    m_lock = std::make_unique<QLockFile>(lockPath(m_folder));
    // A lock left by a process that no longer runs is taken over; a live owner's never is.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        // QLockFile creates the file for everyone to read (0666 less the umask).
        PrivateFile::makePrivate(lockPath(m_folder));
        return Role::First;
    }
    m_lock.reset();

    QByteArray message;
    for (const QString& request : requests)
        message += request.toUtf8() + '\n';
    // The owner may still be starting: keep trying until it listens.
    const QDeadlineTimer deadline(m_answerTimeout);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(socketPath(m_folder));
        if (socket.waitForConnected(qMax(1, int(deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return Role::Unreachable;
        socket.abort();
        QThread::msleep(50);
    }
    socket.write(message);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState &&
        !socket.waitForDisconnected(qMax(1, int(deadline.remainingTime()))))
        return Role::Unreachable;
    return Role::Forwarded;
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

void SingleInstance::readRequests() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (socket->bytesAvailable() > maxRequestBytes)
                socket->abort();
        });
        connect(socket, &QLocalSocket::readChannelFinished, this, [this, socket] {
            if (!socket->isOpen() || socket->bytesAvailable() > maxRequestBytes)
                return;
            const QByteArray message = socket->readAll();
            QStringList requests;
            for (const QByteArray& line : message.split('\n')) {
                const QString request = QString::fromUtf8(line);
                if (request == u"reopen" || UrlRouter::isAppUrl(request))
                    requests.append(request);
            }
            if (!requests.isEmpty())
                emit requestsReceived(requests);
        });
    }
}
