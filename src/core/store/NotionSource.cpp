#include "core/store/NotionSource.h"

#include "core/remote/NotionClient.h"

namespace {

// A client per call: its calls copy the token, so it may go at once.
class RemoteNotionSource final : public NotionSource {
public:
    QCoro::Task<QString> verify(QString token) override { return NotionClient(std::move(token)).verify(); }
    QCoro::Task<QList<NotionDatabase>> listDatabases(QString token) override {
        return NotionClient(std::move(token)).listDatabases();
    }
    QCoro::Task<QList<CalEvent>> pages(QString token, NotionDatabaseSelection database, QDateTime from,
                                       QDateTime to, QColor color, Cal cal) override {
        return NotionClient(std::move(token))
            .pages(std::move(database), std::move(from), std::move(to), color, std::move(cal));
    }
};

} // namespace

std::unique_ptr<NotionSource> NotionSource::remote() {
    return std::make_unique<RemoteNotionSource>();
}
