#pragma once

#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/remote/NotionRecords.h"

#include <QColor>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <optional>

// Reads a Notion workspace through an internal-integration token: checks the token, lists the
// databases that have a date property, and reads the pages of a chosen database within a range of
// days as read-only events. Nothing is written to Notion. Requests go through the RemoteSession.
//
// Errors: an HTTP status of 300 or more throws NotionError with Notion's "message" (else
// "HTTP <n>"), its status and Retry-After; a request that gets no HTTP reply throws TransportError
// unchanged; a failed page of a listing fails the whole listing, as does a page that is not a listing
// ("Notion's reply could not be read") and a cursor that comes round again or pages past 2,000
// (Pager::EndlessListing); short and empty pages are read on. A page keeps at most the 100 results it asked
// for. Messages can quote Notion's servers: show them as plain text.
//
// The client holds only its token; calls copy it, so a client may go away while its calls run.
class NotionClient {
public:
    explicit NotionClient(QString token);

    const QString& token() const { return m_token; }

    // The integration's name ("Notion integration" when the reply has none).
    QCoro::Task<QString> verify() const;
    // The databases the integration can see that have at least one date property, sorted by title
    // (ignoring case; equal titles keep Notion's order).
    QCoro::Task<QList<NotionDatabase>> listDatabases() const;
    // The database's pages whose date property falls on a day from `from`'s day to `to`'s day (both
    // included, days of the calendar's zone), as events in the given colour, in Notion's order.
    QCoro::Task<QList<CalEvent>> pages(NotionDatabaseSelection database, QDateTime from, QDateTime to,
                                       QColor color, Cal cal) const;

    // One page object as an event of the chosen database; none when it has no id or no readable
    // start in the database's date property. A bare day starts at its start in the calendar's zone.
    // `propertyOrder`: the page's property names in the order Notion wrote them (QJsonObject sorts
    // them); of two title or status properties the later one counts. Names missing from it follow
    // in the object's order.
    static std::optional<CalEvent> event(const QJsonObject& page, const NotionDatabaseSelection& database,
                                         const QColor& color, const Cal& cal,
                                         const QStringList& propertyOrder = {});
    // The colours given to the selected databases by position (i mod 5).
    static const QList<QColor>& palette();

private:
    QString m_token;
};
