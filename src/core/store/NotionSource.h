#pragma once

#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/remote/NotionRecords.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>

#include <QCoroTask>

#include <memory>

// Everything the event store asks of Notion, each call with the token it runs under. The app runs
// on remote() (NotionClient); tests put fakes in its place whose calls they can hold. The calls
// behave as their NotionClient namesakes.
class NotionSource {
public:
    virtual ~NotionSource() = default;

    virtual QCoro::Task<QString> verify(QString token) = 0;
    virtual QCoro::Task<QList<NotionDatabase>> listDatabases(QString token) = 0;
    virtual QCoro::Task<QList<CalEvent>> pages(QString token, NotionDatabaseSelection database,
                                               QDateTime from, QDateTime to, QColor color, Cal cal) = 0;

    static std::unique_ptr<NotionSource> remote();
};
