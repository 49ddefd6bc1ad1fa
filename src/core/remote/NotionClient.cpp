#include "core/remote/NotionClient.h"

#include "core/remote/JsonKeyOrder.h"
#include "core/remote/JsonListing.h"
#include "core/remote/Pager.h"
#include "core/remote/RemoteHttp.h"
#include "core/remote/RemoteSession.h"
#include "core/remote/Rfc3339.h"
#include "core/remote/StrictJson.h"

#include <QCollator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

using StrictJson::link;
using StrictJson::text;

namespace {

constexpr int pageSize = 100;
constexpr Pager::Limits listingLimits{1000};

// Where a listed page carries the order of its properties as Notion wrote them, from the listing to
// the page's mapping. No Notion object has a key of this form.
const QString propertyOrderKey = QStringLiteral("vorrindel:propertyOrder");

// One request; the body of a reply with a status below 300. Every request carries the version and
// content type, also without a body.
QCoro::Task<QByteArray> call(QString token, QByteArray method, QString path,
                             std::optional<QJsonObject> body) {
    const RemoteSession session = RemoteSession::current();
    QNetworkRequest request(RemoteHttp::resolve(session.endpoints.notion, path));
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setRawHeader("Notion-Version", "2022-06-28");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QByteArray payload = body ? QJsonDocument(*body).toJson(QJsonDocument::Compact) : QByteArray();
    const RemoteHttp::Response response =
        co_await RemoteHttp::send(request, method, payload, session.timeouts.notion);
    if (response.status >= 300) {
        const QJsonValue message = RemoteHttp::jsonObject(response.body).value(u"message");
        throw NotionError(message.isString() ? message.toString()
                                             : QStringLiteral("HTTP %1").arg(response.status),
                          response.status, response.retryAfter, response.status == 429);
    }
    co_return response.body;
}

// One page of a listing: the body carries the page size and the page's cursor. Only as many results
// as were asked for are kept; a reply without its "results" array fails. With `propertyOrder`, each
// result carries its properties' order under propertyOrderKey.
QCoro::Task<Pager::Page> listingPage(QString token, QByteArray method, QString path, QJsonObject body,
                                     bool propertyOrder, std::optional<QString> cursor) {
    body.insert(QStringLiteral("page_size"), pageSize);
    if (cursor)
        body.insert(QStringLiteral("start_cursor"), *cursor);
    const QByteArray reply = co_await call(token, method, path, body);
    std::optional<JsonListing::Page> listing = JsonListing::read(reply, u"results", pageSize);
    const QJsonValue more = listing ? listing->fields.value(u"has_more") : QJsonValue();
    const QJsonValue next = listing ? listing->fields.value(u"next_cursor") : QJsonValue();
    if (!listing || !(StrictJson::isAbsent(more) || more.isBool()) ||
        !(StrictJson::isAbsent(next) || next.isString()))
        throw NotionError(QStringLiteral("Notion's reply could not be read"));
    Pager::Page page{std::move(listing->items), std::nullopt};
    if (propertyOrder) {
        for (qsizetype i = 0; i < page.items.size(); ++i) {
            const QStringList order = JsonKeyOrder::memberKeys(listing->itemTexts[i], u"properties");
            page.items[i].insert(propertyOrderKey, QJsonArray::fromStringList(order));
        }
    }
    if (more.toBool())
        page.next = text(listing->fields, u"next_cursor");
    co_return page;
}

// Collects "results" over the pages of a listing, up to the first page boundary at or past 1000.
QCoro::Task<QList<QJsonObject>> paginate(QString token, QByteArray method, QString path, QJsonObject body,
                                         bool propertyOrder = false) {
    return Pager::collect(
        [token, method, path, body, propertyOrder](std::optional<QString> cursor) {
            return listingPage(token, method, path, body, propertyOrder, std::move(cursor));
        },
        listingLimits, QStringLiteral("Notion"));
}

// A date as Notion writes it: a bare day is all-day, starting at the day's start in the calendar's zone.
std::optional<std::pair<QDateTime, bool>> parseDate(const QString& value, const Cal& cal) {
    if (value.size() == 10) {
        if (const auto day = Rfc3339::parseDay(value, cal))
            return std::pair{*day, true};
    }
    if (const auto instant = Rfc3339::parse(value))
        return std::pair{*instant, false};
    return std::nullopt;
}

QString plainText(const QJsonValue& value) {
    QString joined;
    for (const QJsonValue& part : value.toArray()) {
        if (const auto piece = text(part.toObject(), u"plain_text"))
            joined += *piece;
    }
    return joined.trimmed();
}

std::optional<QString> emoji(const QJsonValue& value) {
    const QJsonObject icon = value.toObject();
    if (icon.value(u"type") != QJsonValue(QStringLiteral("emoji")))
        return std::nullopt;
    return text(icon, u"emoji");
}

} // namespace

NotionClient::NotionClient(QString token)
    : m_token(std::move(token)) {}

const QList<QColor>& NotionClient::palette() {
    static const QList<QColor> colors{
        QColor::fromRgbF(0.98f, 0.62f, 0.29f), QColor::fromRgbF(0.55f, 0.55f, 0.95f),
        QColor::fromRgbF(0.36f, 0.80f, 0.62f), QColor::fromRgbF(0.95f, 0.50f, 0.62f),
        QColor::fromRgbF(0.85f, 0.75f, 0.35f)};
    return colors;
}

QCoro::Task<QString> NotionClient::verify() const {
    // Everything the coroutine needs is copied before it first suspends: the client may be gone
    // when it resumes.
    return [](QString token) -> QCoro::Task<QString> {
        const QByteArray method = "GET";
        const QString path = QStringLiteral("users/me");
        const QByteArray me = co_await call(token, method, path, std::nullopt);
        co_return text(RemoteHttp::jsonObject(me), u"name").value_or(QStringLiteral("Notion integration"));
    }(m_token);
}

QCoro::Task<QList<NotionDatabase>> NotionClient::listDatabases() const {
    return [](QString token) -> QCoro::Task<QList<NotionDatabase>> {
        const QByteArray method = "POST";
        const QString path = QStringLiteral("search");
        const QJsonObject body{
            {QStringLiteral("filter"), QJsonObject{{QStringLiteral("property"), QStringLiteral("object")},
                                                   {QStringLiteral("value"), QStringLiteral("database")}}}};
        const QList<QJsonObject> results = co_await paginate(token, method, path, body);

        QList<NotionDatabase> databases;
        for (const QJsonObject& result : results) {
            const std::optional<QString> id = text(result, u"id");
            if (!id)
                continue;
            QStringList dateProperties;
            const QJsonObject properties = result.value(u"properties").toObject();
            for (auto it = properties.begin(); it != properties.end(); ++it) {
                if (it.value().toObject().value(u"type") == QJsonValue(QStringLiteral("date")))
                    dateProperties.append(it.key());
            }
            if (dateProperties.isEmpty())
                continue;
            std::sort(dateProperties.begin(), dateProperties.end());
            const QString title = plainText(result.value(u"title"));
            databases.append({*id, title.isEmpty() ? QStringLiteral("Untitled database") : title,
                              emoji(result.value(u"icon")), dateProperties});
        }
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(databases.begin(), databases.end(),
                         [&](const NotionDatabase& a, const NotionDatabase& b) {
                             return collator.compare(a.title, b.title) < 0;
                         });
        co_return databases;
    }(m_token);
}

QCoro::Task<QList<CalEvent>> NotionClient::pages(NotionDatabaseSelection database, QDateTime from,
                                                 QDateTime to, QColor color, Cal cal) const {
    return [](QString token, NotionDatabaseSelection database, QDateTime from, QDateTime to, QColor color,
              Cal cal) -> QCoro::Task<QList<CalEvent>> {
        const QString property = database.dateProperty;
        const auto condition = [&](const QString& comparison, const QDateTime& instant) {
            return QJsonObject{
                {QStringLiteral("property"), property},
                {QStringLiteral("date"), QJsonObject{{comparison, Rfc3339::formatDay(instant, cal)}}}};
        };
        const QJsonObject body{
            {QStringLiteral("filter"),
             QJsonObject{{QStringLiteral("and"), QJsonArray{condition(QStringLiteral("on_or_after"), from),
                                                            condition(QStringLiteral("on_or_before"), to)}}}},
            {QStringLiteral("sorts"),
             QJsonArray{QJsonObject{{QStringLiteral("property"), property},
                                    {QStringLiteral("direction"), QStringLiteral("ascending")}}}}};
        // The id comes from the settings: encoded, it stays one path segment whatever it holds.
        const QString path = QStringLiteral("databases/") + RemoteHttp::percentEncode(database.id, u"-_~") +
                             QStringLiteral("/query");
        const QByteArray method = "POST";
        const QList<QJsonObject> results = co_await paginate(token, method, path, body, true);

        QList<CalEvent> events;
        for (QJsonObject result : results) {
            const QStringList order =
                StrictJson::stringList(result.take(propertyOrderKey)).value_or(QStringList());
            if (auto one = event(result, database, color, cal, order))
                events.append(std::move(*one));
        }
        co_return events;
    }(m_token, std::move(database), std::move(from), std::move(to), std::move(color), std::move(cal));
}

std::optional<CalEvent> NotionClient::event(const QJsonObject& page, const NotionDatabaseSelection& database,
                                            const QColor& color, const Cal& cal,
                                            const QStringList& propertyOrder) {
    const std::optional<QString> pageID = text(page, u"id");
    if (!pageID)
        return std::nullopt;
    const QJsonObject properties = page.value(u"properties").toObject();
    const QJsonObject date = properties.value(database.dateProperty).toObject().value(u"date").toObject();
    const std::optional<QString> startText = text(date, u"start");
    const auto start = startText ? parseDate(*startText, cal) : std::nullopt;
    if (!start)
        return std::nullopt;

    const std::optional<QString> endText = text(date, u"end");
    const auto readEnd = endText ? parseDate(*endText, cal) : std::nullopt;
    QDateTime end;
    bool allDay = false;
    if (readEnd) {
        allDay = start->second && readEnd->second;
        end = allDay ? cal.addDays(readEnd->first, 1) : readEnd->first; // the end day is inclusive
    } else {
        allDay = start->second;
        end = allDay ? cal.addDays(start->first, 1) : start->first.addSecs(1800);
    }
    if (end <= start->first)
        end = start->first.addSecs(allDay ? 86400 : 1800);

    // The page's own order decides which of two title or status properties counts: the last one.
    QString title = QStringLiteral("Untitled");
    std::optional<QString> status;
    QSet<QString> named;
    for (const QString& name : propertyOrder + properties.keys()) {
        if (!properties.contains(name) || named.contains(name))
            continue;
        named.insert(name);
        const QJsonObject property = properties.value(name).toObject();
        const std::optional<QString> type = text(property, u"type");
        if (type == u"title") {
            const QString plain = plainText(property.value(u"title"));
            title = plain.isEmpty() ? QStringLiteral("Untitled") : plain;
        } else if (type == u"status") {
            status = text(property.value(u"status").toObject(), u"name");
        }
    }
    if (!status)
        status = text(properties.value(u"Status").toObject().value(u"select").toObject(), u"name");

    const QString address = page.value(u"url").toString();
    CalEvent result;
    result.id = CalEvent::notionId(*pageID);
    result.title = title;
    result.start = start->first;
    result.end = end;
    result.isAllDay = allDay;
    result.color = color;
    result.calendarName = database.title;
    result.webLink = link(address);
    result.url = result.webLink;
    result.source = EventSource::notion;
    const auto appLink =
        link(QString(address).replace(QLatin1String("https://"), QLatin1String("notion://")));
    result.notionURL = appLink ? appLink : result.webLink;
    result.notionStatus = status;
    result.notionIcon = emoji(page.value(u"icon"));
    if (const auto edited = text(page, u"last_edited_time")) {
        if (const auto parsed = parseDate(*edited, cal))
            result.lastEdited = parsed->first;
    }
    result.organizerIsMe = true;
    result.calendarEditable = true;
    return result;
}
