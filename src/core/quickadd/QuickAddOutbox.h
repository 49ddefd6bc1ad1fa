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

// The meeting lines quick add was handed and Google has not taken yet, oldest first: the one sent
// last, for as long as its success is not known, and the lines handed in (by a link) while it was
// being sent or held after a failure, waiting their turn. The lines outlive the showing that took
// them, and the app: closing quick add while the meeting is being sent (or after the send failed)
// brings the oldest line back in the next showing, and quitting keeps them all in a private file
// until each is known to be on Google or let go of, so that they come back after the next start.
// Sending the same line again goes out under the same insert ids, so that a send whose answer was
// lost and its retry store one meeting between them.
//
// One per agenda, shared by every showing (QuickAddEnv::outbox()). Quick add shows the oldest line and
// sends only that one; the next one comes up when it is on Google or the user let go of it.
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
    };
    // Told of new ids a send goes out under from then on (Google held something else under the old).
    using Renewed = std::function<void(const GoogleAPI::InsertIds&)>;
    // Starts the send of a line under the ids given.
    using Send = std::function<QCoro::Task<CalEvent>(GoogleAPI::InsertIds ids, Renewed renewed)>;

    // The failure a line comes back with when the app ended before its send was answered.
    static const QString interrupted;

    // Keeps the lines in `file` (none: in memory only), 0600 and replaced atomically, and takes up
    // the lines an earlier run left there, ready to be sent again.
    explicit QuickAddOutbox(QString file = QString(), QObject* parent = nullptr);

    // Oldest first.
    const QList<Held>& lines() const { return m_lines; }
    // The oldest line, the one quick add shows; none when no line is kept.
    const Held* held() const { return m_lines.isEmpty() ? nullptr : &m_lines.first(); }
    // Sends the line through `send` in place of the oldest one (as the oldest when none is kept), and
    // holds it until answered (answered() follows): under the oldest line's ids when it is the same
    // line, else under new ones. Only while the oldest line is not being sent.
    void send(const Line& line, const Send& send);
    // A line handed in while others are kept: it waits behind them.
    void add(const Line& line);
    // The user let go of the oldest line (changed or cleared it); nothing while it is being sent.
    void drop();

signals:
    // The oldest line's send has ended. Taken: it is on Google and no longer kept. Else held() carries
    // the failure (none when the send was cancelled).
    void answered(bool taken);

private:
    QCoro::Task<> follow(quint64 send, QCoro::Task<CalEvent> call);
    void restore();
    void save();

    QString m_file;
    QList<Held> m_lines;
    quint64 m_sends = 0; // sends begun, to know the held one's answer from an older one's
};
