#pragma once

#include "core/model/CalEvent.h"
#include "core/model/Person.h"
#include "core/remote/GoogleAPI.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// The meeting quick add sent to Google last, with the line that made it, for as long as its success
// is not known. The line outlives the showing that sent it, and the app: closing quick add while the
// meeting is being sent (or after the send failed) brings the line back in the next showing, and
// quitting keeps it in a private file until the send is known to have succeeded, so that it comes
// back after the next start. Sending the same line again goes out under the same insert ids, so that
// a send whose answer was lost and its retry store one meeting between them.
//
// One per agenda, shared by every showing (QuickAddEnv::outbox()). It holds one line: quick add sends
// no other while it is being sent, and a line whose failure the user was shown gives way to the next
// one sent.
class QuickAddOutbox : public QObject {
    Q_OBJECT

public:
    // What the user typed and chose for a new meeting.
    struct Line {
        QString text;
        QList<Person> manualInvitees;
        std::optional<bool> meetChoice;
        QString destinationID;

        friend bool operator==(const Line&, const Line&) = default;
    };
    struct Held {
        Line line;
        GoogleAPI::InsertIds ids;
        bool sending = false;
        std::optional<QString> failure; // the last send's error, once it has failed
        bool failureShown = false;      // a showing has shown that error with the line
    };
    // Told of new ids a send goes out under from then on (Google held something else under the old).
    using Renewed = std::function<void(const GoogleAPI::InsertIds&)>;
    // Starts the send of a line under the ids given.
    using Send = std::function<QCoro::Task<CalEvent>(GoogleAPI::InsertIds ids, Renewed renewed)>;

    // The failure a line comes back with when the app ended before its send was answered.
    static const QString interrupted;

    // Keeps the held line in `file` (none: in memory only), 0600 and replaced atomically, and takes up
    // the line an earlier run left there, ready to be sent again.
    explicit QuickAddOutbox(QString file = QString(), QObject* parent = nullptr);

    const std::optional<Held>& held() const { return m_held; }
    // Sends the line through `send` and holds it until answered (answered() follows): under the held
    // line's ids when it is the same line, else under new ones.
    void send(const Line& line, const Send& send);
    // The held line's failure is on screen with it.
    void showFailure();
    // The user let go of the held line after its answer (changed or cleared it); nothing while it is
    // being sent.
    void drop();

signals:
    // The held line's send has ended: after a success nothing is held any more, else held() carries
    // the failure (none when the send was cancelled).
    void answered();

private:
    QCoro::Task<> follow(quint64 send, QCoro::Task<CalEvent> call);
    void restore();
    void save();

    QString m_file;
    std::optional<Held> m_held;
    quint64 m_sends = 0; // sends begun, to know the held one's answer from an older one's
};
