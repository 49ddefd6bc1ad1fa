#include "devtools/Snapshot.h"

#include "core/model/Fmt.h"
#include "core/model/ProcessArguments.h"
#include "core/remote/LoopbackServer.h"
#include "core/remote/TransportError.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

void printLine(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// "name=value" for each query item, decoded, joined by blanks; nothing for a path that is no URL.
QString describeQuery(const QString& path) {
    QStringList items;
    for (const auto& item : LoopbackServer::queryItems(path).value_or(QList<LoopbackServer::QueryItem>()))
        items << item.name + u'=' + item.value.value_or(QString());
    return items.join(u' ');
}

void runLoopbackTest(LoopbackServer* server) {
    quint16 port = 0;
    try {
        port = server->start();
    } catch (const TransportError& error) {
        printLine(QStringLiteral("loopback: failed ") + error.message());
        QCoreApplication::exit(1);
        return;
    }
    printLine(QStringLiteral("loopback: listening on 127.0.0.1:%1").arg(port));
    server->onRequest = [server](const QString& path) {
        printLine(QStringLiteral("loopback: request ") + path + QStringLiteral(" → ") + describeQuery(path));
        QTimer::singleShot(300, server, [server] {
            server->stop();
            QCoreApplication::exit(0);
        });
    };
}

struct Values {
    std::optional<QString> quickAddText; // made on first read
    bool quickAddShowPeople = false;
    std::optional<CalEvent> editingEvent;
    bool detailConfirmDelete = false;
};

Values& values() {
    static Values v;
    return v;
}

} // namespace

namespace Snapshot {

std::optional<int> runIfRequested(const QStringList& arguments) {
    const qsizetype option = arguments.indexOf(QStringLiteral("--snapshot"), 1);
    if (option < 0 || option + 1 >= arguments.size())
        return std::nullopt;
    const QDir dir(QDir::cleanPath(QDir::current().absoluteFilePath(arguments[option + 1])));
    // From here on views draw their static forms, and every change shows its final state at once.
    ProcessArguments::setSnapshotMode(true);
    // The store's own reading of the clock, taken as it was made a moment ago: the sample day is
    // placed from the instant the views count from, so that the stand-up is in 8 minutes, not 8 and
    // a fraction that a countdown rounds up to 9.
    EventStore& store = EventStore::shared();
    const int failures = render(dir, store.now(), store, AppSettings::shared(), printLine);
    return failures == 0 ? 0 : 1;
}

bool runLoopbackTestIfRequested(const QStringList& arguments) {
    if (!arguments.contains(QStringLiteral("--test-loopback")))
        return false;
    // Owned by the application for the rest of the process, which ends through the test itself.
    auto* server = new LoopbackServer(QCoreApplication::instance());
    QTimer::singleShot(0, server, [server] { runLoopbackTest(server); });
    return true;
}

QString quickAddText() {
    std::optional<QString>& text = values().quickAddText;
    if (!text) {
        const QDateTime soon = QDateTime::currentDateTimeUtc().addSecs(8 * 60);
        text = QStringLiteral("Coffee with Oskel today ") + Fmt::time(soon) + QStringLiteral(" for 45 min");
    }
    return *text;
}

void setQuickAddText(const QString& text) {
    values().quickAddText = text;
}

bool quickAddShowPeople() {
    return values().quickAddShowPeople;
}

void setQuickAddShowPeople(bool show) {
    values().quickAddShowPeople = show;
}

const std::optional<CalEvent>& editingEvent() {
    return values().editingEvent;
}

void setEditingEvent(const std::optional<CalEvent>& event) {
    values().editingEvent = event;
}

bool detailConfirmDelete() {
    return values().detailConfirmDelete;
}

void setDetailConfirmDelete(bool confirm) {
    values().detailConfirmDelete = confirm;
}

} // namespace Snapshot
