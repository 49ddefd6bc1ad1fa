#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class QLocalServer;

// One running instance per user. The first launch holds a lock file and listens on a local socket,
// both in the user's private runtime folder; a later launch finds the lock taken and hands its
// requests ("reopen" or "vorrindel:" URLs) over the socket instead, and waits for the answer that
// the running instance took them.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        First,       // no other instance: this one holds the lock
        Forwarded,   // the running instance took the requests
        Unreachable, // the lock is held, but its owner did not take the requests
    };

    // `folder`: where the lock and the socket live; defaultFolder() for the app. `answerTimeout`: how
    // long a later launch waits for the running instance to take its requests (it may still be
    // starting).
    explicit SingleInstance(QString folder, std::chrono::milliseconds answerTimeout = std::chrono::seconds(5),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR, else a private folder of the user's in the temporary folder; empty when no
    // safe folder exists, and then every launch runs on its own.
    static QString defaultFolder();

    // Takes the lock, or hands the requests to the instance that holds it.
    Role claimOrForward(const QStringList& requests);
    // Starts listening for later launches; only after claimOrForward() answered First.
    bool listen();
    // Lets go of the lock and the socket, so that a later launch becomes the running instance.
    void release();

signals:
    // Requests of a later launch: only "reopen" and "vorrindel:" URLs get through.
    void requestsReceived(const QStringList& requests);

private:
    bool takeLock();
    void readRequests();

    QString m_folder;
    std::chrono::milliseconds m_answerTimeout;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
