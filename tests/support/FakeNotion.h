#pragma once

#include "core/remote/RemoteSession.h"
#include "support/FakeHttpServer.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The Notion API on a FakeHttpServer, speaking its documented wire format (only the fields the app
// reads are filled in):
//
//   GET  /v1/users/me                     the integration's bot user ("name")
//   POST /v1/search                       the databases, paged by start_cursor / page_size
//   POST /v1/databases/{id}/query         the database's pages, filtered by the "and" of on_or_after /
//                                         on_or_before on a date property, sorted ascending, paged
//
// Every request needs "Authorization: Bearer <token()>" (else 401 "API token is invalid.") and
// "Notion-Version: 2022-06-28" (else 400 missing_version), as the real API does. Requests stay
// recorded on server(), where tests can also script failures or hold replies back.
//
//     FakeNotion notion;
//     notion.addDatabase(FakeNotion::database("db1", "Roadmap", {{"Due", "date"}}));
//     notion.addPage("db1", FakeNotion::page("p1", "Launch", "Due", "2024-05-06"));
//     session.setEndpoints(notion.endpoints());
class FakeNotion : public QObject {
    Q_OBJECT
public:
    explicit FakeNotion(QObject* parent = nullptr);

    FakeHttpServer& server() { return m_server; }
    QUrl baseUrl() const;
    // The production endpoints, or `others` (a FakeGoogle's, for a test of both), with the Notion base
    // replaced by this fake's.
    RemoteSession::Endpoints
    endpoints(RemoteSession::Endpoints others = RemoteSession::Endpoints::production()) const;

    // The integration token the fake accepts.
    QString token() const { return m_token; }
    // The bot's name in users/me; none leaves "name" out.
    void setBotName(std::optional<QString> name) { m_botName = std::move(name); }
    // Results per page, unless the request's page_size asks for fewer (default 100).
    void setPageSize(int size) { m_pageSize = size; }
    // Empty pages that come first in every listing, each naming the next, as Notion may send.
    void setEmptyPagesFirst(int count) { m_emptyPagesFirst = count; }
    // How listings page, for tests of servers that misbehave.
    enum class Paging {
        Normal,    // as above
        Oversized, // one page holds every result, whatever the request asked for
        Cycling,   // empty pages whose cursors go round: "cycle-a", "cycle-b", "cycle-a", ...
    };
    void setPaging(Paging paging) { m_paging = paging; }

    // A search result (a database object); its pages are kept under its "id".
    void addDatabase(const QJsonObject& database);
    void addPage(const QString& databaseID, const QJsonObject& page);

    // A database object with a plain-text title and properties given as name → type.
    static QJsonObject database(const QString& id, const QString& title,
                                const QList<std::pair<QString, QString>>& properties,
                                const std::optional<QString>& emoji = std::nullopt);
    // A page with a title property "Name" and a date property; `end` may be left out.
    static QJsonObject page(const QString& id, const QString& title, const QString& dateProperty,
                            const QString& start, const std::optional<QString>& end = std::nullopt);
    // The rich-text array Notion uses for titles.
    static QJsonArray richText(const QString& text);

private:
    HttpReply handle(const HttpRequest& request);
    HttpReply listing(const HttpRequest& request, const QList<QJsonObject>& results);
    static HttpReply error(int status, const QString& code, const QString& message);

    FakeHttpServer m_server;
    QString m_token = QStringLiteral("secret_fakeNotionIntegrationToken");
    std::optional<QString> m_botName = QStringLiteral("Vorrindel Sync");
    QList<QJsonObject> m_databases;
    QHash<QString, QList<QJsonObject>> m_pages;
    int m_pageSize = 100;
    int m_emptyPagesFirst = 0;
    Paging m_paging = Paging::Normal;
};
