#pragma once

#include "core/model/CalEvent.h"
#include "core/model/Person.h"
#include "core/remote/GoogleAPI.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The meeting quick add sent to Google last, with the line that made it, for as long as its success
// is not known. The line outlives the showing that sent it: closing quick add while the meeting is
// being sent (or after the send failed) brings the line back in the next showing, until the send is
// known to have succeeded. Sending the same line again goes out under the same insert ids, so that a
// send whose answer was lost and its retry store one meeting between them.
//
// One per agenda, shared by every showing (QuickAddEnv::outbox()). It holds one line: a newer send
// takes the place of an older one, whose answer then changes nothing here.
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

    using QObject::QObject;

    const std::optional<Held>& held() const { return m_held; }
    // The ids a send of this line goes out under: the held line's when it is the same line, else new.
    GoogleAPI::InsertIds idsFor(const Line& line) const;
    // Holds the line while `call`, the send under `ids`, runs; answered() follows its end.
    void send(const Line& line, const GoogleAPI::InsertIds& ids, QCoro::Task<CalEvent> call);
    // The user let go of the held line after its answer (changed or cleared it); nothing while it is
    // being sent.
    void drop();

signals:
    // The held line's send has ended: after a success nothing is held any more, else held() carries
    // the failure (none when the send was cancelled).
    void answered();

private:
    QCoro::Task<> follow(quint64 send, QCoro::Task<CalEvent> call);

    std::optional<Held> m_held;
    quint64 m_sends = 0; // sends begun, to know the held one's answer from an older one's
};
