// Notion: the connection and the sync of the chosen databases' pages.
#include "core/store/EventStore.h"

#include "core/model/Tasks.h"
#include "core/remote/NotionClient.h"
#include "core/settings/AppSettings.h"

namespace {

// The stored choices in their order, each with its database as listed now: gone ones dropped, title
// and icon current, the date property kept while the database still has it.
QList<NotionDatabaseSelection> reconcile(const QList<NotionDatabaseSelection>& chosen,
                                         const QList<NotionDatabase>& listed) {
    QList<NotionDatabaseSelection> kept;
    for (const NotionDatabaseSelection& selection : chosen) {
        const auto database = std::find_if(listed.cbegin(), listed.cend(),
                                           [&](const NotionDatabase& d) { return d.id == selection.id; });
        if (database == listed.cend() || database->dateProperties.isEmpty())
            continue;
        NotionDatabaseSelection updated = selection;
        updated.title = database->title;
        updated.icon = database->icon;
        if (!database->dateProperties.contains(selection.dateProperty))
            updated.dateProperty = database->dateProperties.first();
        kept.append(updated);
    }
    return kept;
}

} // namespace

QCoro::Task<> EventStore::refreshNotion() {
    if (m_sampleMode)
        co_return;
    if (!m_settings.hasNotion()) {
        if (!m_notionEvents.isEmpty()) {
            setNotionEvents({});
            rebuild();
        }
        co_return;
    }
    if (m_isSyncingNotion)
        co_return;

    setSyncingNotion(true);
    QPointer self(this);
    const quint64 connection = m_notionConnection;
    const QString token = m_settings.notionToken();
    const QList<std::pair<QDateTime, QDateTime>> ranges = loadedRanges();
    const Cal cal = m_cal; // the whole run reads its dates in one zone
    const QList<NotionDatabaseSelection> selections = m_settings.notionDatabases();
    const QList<QColor>& palette = NotionClient::palette();
    QList<CalEvent> collected;
    QHash<QString, QSet<QString>> pagesOf; // of the databases read now
    QStringList kept;                      // databases whose pages stay as they were
    SyncRetry::Failures failures;
    bool someRead = false;

    for (int i = 0; i < selections.size(); ++i) {
        const NotionDatabaseSelection& selection = selections[i];
        std::optional<QList<CalEvent>> pages;
        std::exception_ptr failure;
        try {
            QCoro::Task<QList<CalEvent>> call =
                readRanges(ranges, [this, token, selection, color = palette[i % palette.size()],
                                    cal](QDateTime from, QDateTime to) {
                    return m_notion->pages(token, selection, std::move(from), std::move(to), color, cal);
                });
            pages = co_await call;
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self)
            co_return;
        if (!pages) {
            if (keptAfter(failures, selection.title, failure))
                kept << selection.id;
            continue;
        }
        QSet<QString>& ids = pagesOf[selection.id];
        for (const CalEvent& page : std::as_const(*pages))
            ids.insert(page.id);
        collected += *pages;
        someRead = true;
    }

    // Pages read under a connection that has since been dropped or replaced would bring it back, and
    // sample data installed meanwhile stays in their place.
    if (connection == m_notionConnection && !m_sampleMode) {
        // A new zone while the run was under way: its all-day pages move to the new zone's days.
        collected = DayMap::rezone(std::move(collected), cal, m_cal);
        for (const QString& database : std::as_const(kept)) {
            const QSet<QString> ids = m_notionPagesOf.value(database);
            for (const CalEvent& page : std::as_const(m_notionEvents)) {
                if (ids.contains(page.id))
                    collected.append(page);
            }
            pagesOf.insert(database, ids);
        }
        m_notionPagesOf = std::move(pagesOf);
        setNotionError(failures.first);
        setNotionEvents(std::move(collected));
        if (!failures.any() || someRead)
            setNotionLastSync(m_clock());
        rebuild();
        m_notionRetry.after(failures, m_clock());
    }
    setSyncingNotion(false);
}

QCoro::Task<bool> EventStore::connectNotion(QString token) {
    // Taken by value: a reference to the caller's text would not outlive the first suspension.
    QPointer self(this);
    // The user may disconnect while the token is checked or the databases listed; what this connect
    // learns afterwards must not bring the removed integration back.
    const quint64 disconnects = m_notionDisconnects;
    std::optional<QList<NotionDatabase>> listed;
    std::optional<QString> failure;
    try {
        QCoro::Task<QString> verify = m_notion->verify(token);
        const QString name = co_await verify;
        if (!self || disconnects != m_notionDisconnects)
            co_return false;
        setNotionUserName(name);
        QCoro::Task<QList<NotionDatabase>> list = m_notion->listDatabases(token);
        listed = co_await list;
    } catch (const std::exception& error) {
        failure = errorMessage(error);
    }
    if (!self || disconnects != m_notionDisconnects)
        co_return false;
    if (!listed) {
        setNotionError(failure);
        co_return false;
    }

    setDiscoveredDatabases(*listed);
    setNotionError(std::nullopt);
    ++m_notionConnection;
    m_settings.setNotionToken(token);
    m_settings.setNotionDatabases(reconcile(m_settings.notionDatabases(), *listed));

    // A sync still running belongs to the connection before; it drops its pages, and this one reads
    // the new connection's.
    while (m_isSyncingNotion) {
        QCoro::Task<bool> ended = Tasks::signalOrGone(this, &EventStore::isSyncingNotionChanged);
        co_await ended;
        if (!self)
            co_return true;
    }
    QCoro::Task<> refresh = refreshNotion();
    co_await refresh;
    co_return true;
}

void EventStore::disconnectNotion() {
    ++m_notionConnection;
    ++m_notionDisconnects;
    m_settings.setNotionToken(QString());
    m_settings.setNotionDatabases({});
    setDiscoveredDatabases({});
    setNotionUserName(std::nullopt);
    setNotionError(std::nullopt);
    setNotionLastSync(std::nullopt);
    setNotionEvents({});
    m_notionPagesOf.clear();
    m_notionRetry.succeeded();
    rebuild();
}
