#include "support/FakeNotion.h"

#include <QJsonArray>

#include <algorithm>

namespace {

// The day of a date property's start ("2024-05-06" of "2024-05-06T09:00:00.000+02:00").
QString startDay(const QJsonObject& page, const QString& property) {
    return page.value(u"properties")
        .toObject()
        .value(property)
        .toObject()
        .value(u"date")
        .toObject()
        .value(u"start")
        .toString()
        .left(10);
}

} // namespace

FakeNotion::FakeNotion(QObject* parent)
    : QObject(parent) {
    m_server.setHandler([this](const HttpRequest& request) { return handle(request); });
}

QUrl FakeNotion::baseUrl() const {
    return m_server.url(QStringLiteral("/v1/"));
}

RemoteSession::Endpoints FakeNotion::endpoints(RemoteSession::Endpoints others) const {
    others.notion = baseUrl();
    return others;
}

void FakeNotion::addDatabase(const QJsonObject& database) {
    m_databases.append(database);
    m_pages[database.value(u"id").toString()];
}

void FakeNotion::addPage(const QString& databaseID, const QJsonObject& page) {
    m_pages[databaseID].append(page);
}

QJsonArray FakeNotion::richText(const QString& text) {
    return {QJsonObject{{"type", "text"}, {"text", QJsonObject{{"content", text}}}, {"plain_text", text}}};
}

QJsonObject FakeNotion::database(const QString& id, const QString& title,
                                 const QList<std::pair<QString, QString>>& properties,
                                 const std::optional<QString>& emoji) {
    QJsonObject schema;
    for (const auto& [name, type] : properties)
        schema.insert(
            name, QJsonObject{{"id", name.left(4)}, {"name", name}, {"type", type}, {type, QJsonObject()}});
    QJsonObject database{
        {"object", "database"}, {"id", id}, {"title", richText(title)}, {"properties", schema}};
    if (emoji)
        database.insert("icon", QJsonObject{{"type", "emoji"}, {"emoji", *emoji}});
    return database;
}

QJsonObject FakeNotion::page(const QString& id, const QString& title, const QString& dateProperty,
                             const QString& start, const std::optional<QString>& end) {
    QJsonObject date{{"start", start},
                     {"end", end ? QJsonValue(*end) : QJsonValue(QJsonValue::Null)},
                     {"time_zone", QJsonValue::Null}};
    return {
        {"object", "page"},
        {"id", id},
        {"url", "https://www.notion.so/Page-" + QString(id).remove(u'-')},
        {"last_edited_time", "2024-05-01T10:00:00.000Z"},
        {"properties",
         QJsonObject{{"Name", QJsonObject{{"id", "title"}, {"type", "title"}, {"title", richText(title)}}},
                     {dateProperty, QJsonObject{{"id", "dt"}, {"type", "date"}, {"date", date}}}}}};
}

HttpReply FakeNotion::error(int status, const QString& code, const QString& message) {
    return HttpReply::json(status,
                           {{"object", "error"}, {"status", status}, {"code", code}, {"message", message}});
}

HttpReply FakeNotion::handle(const HttpRequest& request) {
    if (request.header("Authorization") != "Bearer " + m_token.toUtf8())
        return error(401, QStringLiteral("unauthorized"), QStringLiteral("API token is invalid."));
    if (!request.hasHeader("Notion-Version"))
        return error(
            400, QStringLiteral("missing_version"),
            QStringLiteral("Notion-Version header failed validation: Notion-Version header should be "
                           "defined, instead was `undefined`."));
    if (request.header("Notion-Version") != "2022-06-28")
        return error(400, QStringLiteral("validation_error"),
                     QStringLiteral("Notion-Version header failed validation."));

    if (request.method == "GET" && request.path == u"/v1/users/me") {
        QJsonObject me{{"object", "user"}, {"id", "bot-1"}, {"type", "bot"}, {"bot", QJsonObject()}};
        if (m_botName)
            me.insert("name", *m_botName);
        return HttpReply::json(200, me);
    }
    if (request.method == "POST" && request.path == u"/v1/search") {
        const QJsonObject filter = request.json().value(u"filter").toObject();
        if (filter.value(u"property") != QJsonValue("object") ||
            filter.value(u"value") != QJsonValue("database"))
            return listing(request, {});
        return listing(request, m_databases);
    }
    const QList<QByteArray> parts = request.rawPath.split('/'); // "", "v1", "databases", id, "query"
    if (request.method == "POST" && parts.size() == 5 && parts[2] == "databases" && parts[4] == "query") {
        const QString id = QUrl::fromPercentEncoding(parts[3]);
        if (!m_pages.contains(id))
            return error(404, QStringLiteral("object_not_found"),
                         QStringLiteral("Could not find database with ID: %1.").arg(id));
        const QJsonObject body = request.json();
        QList<QJsonObject> pages = m_pages.value(id);
        for (const QJsonValue& condition : body.value(u"filter").toObject().value(u"and").toArray()) {
            const QString property = condition.toObject().value(u"property").toString();
            const QJsonObject date = condition.toObject().value(u"date").toObject();
            pages.removeIf([&](const QJsonObject& page) {
                const QString day = startDay(page, property);
                if (day.isEmpty())
                    return true;
                if (date.contains(u"on_or_after") && day < date.value(u"on_or_after").toString())
                    return true;
                return date.contains(u"on_or_before") && day > date.value(u"on_or_before").toString();
            });
        }
        const QJsonArray sorts = body.value(u"sorts").toArray();
        if (!sorts.isEmpty()) {
            const QString property = sorts.first().toObject().value(u"property").toString();
            std::stable_sort(pages.begin(), pages.end(), [&](const QJsonObject& a, const QJsonObject& b) {
                return startDay(a, property) < startDay(b, property);
            });
        }
        return listing(request, pages);
    }
    return error(400, QStringLiteral("invalid_request_url"), QStringLiteral("Invalid request URL."));
}

HttpReply FakeNotion::listing(const HttpRequest& request, const QList<QJsonObject>& results) {
    const QJsonObject body = request.json();
    const QString cursor = body.value(u"start_cursor").toString();
    int size = m_pageSize;
    if (m_paging == Paging::Cycling)
        return HttpReply::json(200, {{"object", "list"},
                                     {"results", QJsonArray()},
                                     {"has_more", true},
                                     {"next_cursor", cursor == u"cycle-a" ? "cycle-b" : "cycle-a"}});
    // Empty pages run "empty-1", "empty-2", ... before the results' pages "cursor-0", "cursor-<n>", ...
    const int empty = cursor.startsWith(u"empty-") ? cursor.mid(6).toInt() : 0;
    if (!cursor.startsWith(u"cursor-") && empty < m_emptyPagesFirst)
        return HttpReply::json(
            200, {{"object", "list"},
                  {"results", QJsonArray()},
                  {"has_more", true},
                  {"next_cursor", empty + 1 < m_emptyPagesFirst ? QStringLiteral("empty-%1").arg(empty + 1)
                                                                : QStringLiteral("cursor-0")}});
    if (m_paging == Paging::Oversized)
        size = int(results.size());
    else if (body.value(u"page_size").isDouble())
        size = std::min(size, body.value(u"page_size").toInt());
    size = std::max(size, 1);
    const int from = cursor.startsWith(u"cursor-") ? cursor.mid(7).toInt() : 0;
    QJsonArray page;
    for (int i = from; i < std::min<int>(from + size, int(results.size())); ++i)
        page.append(results[i]);
    const bool more = from + size < results.size();
    return HttpReply::json(200,
                           {{"object", "list"},
                            {"results", page},
                            {"has_more", more},
                            {"next_cursor", more ? QJsonValue(QStringLiteral("cursor-%1").arg(from + size))
                                                 : QJsonValue(QJsonValue::Null)}});
}
