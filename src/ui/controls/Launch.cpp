#include "ui/controls/Launch.h"

#include "core/model/DebugLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

#include <qcoro/qcoroprocess.h>

#include <memory>

namespace {

// The value of a desktop entry string with its escapes (\s \n \t \r \\) resolved.
QString unescapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            out += u' ';
        else if (next == u'n')
            out += u'\n';
        else if (next == u't')
            out += u'\t';
        else if (next == u'r')
            out += u'\r';
        else if (next == u'\\')
            out += u'\\';
        else
            out += c, out += next; // left for the Exec quoting rules
    }
    return out;
}

struct DesktopEntry {
    QString path;
    QString exec;
    QString name;
    QString icon;
    bool dbusActivatable = false;
};

std::optional<DesktopEntry> readDesktopEntry(const QString& desktopId) {
    // An id "vendor-app.desktop" may also live at "vendor/app.desktop".
    QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    for (qsizetype dash = desktopId.indexOf(u'-'); path.isEmpty() && dash > 0;
         dash = desktopId.indexOf(u'-', dash + 1)) {
        QString nested = desktopId;
        nested[dash] = u'/';
        path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, nested);
    }
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    DesktopEntry entry;
    entry.path = path;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || line.startsWith(u'#') || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unescapeValue(line.mid(equals + 1).trimmed());
        if (key == u"Exec")
            entry.exec = value;
        else if (key == u"Name")
            entry.name = value;
        else if (key == u"Icon")
            entry.icon = value;
        else if (key == u"DBusActivatable")
            entry.dbusActivatable = value == u"true";
    }
    return entry;
}

bool startExec(const DesktopEntry& entry) {
    const QStringList arguments = Launch::execArguments(entry.exec, entry.name, entry.icon, entry.path);
    return !arguments.isEmpty() && QProcess::startDetached(arguments.first(), arguments.mid(1));
}

// org.freedesktop.Application's Activate, the way desktop shells start a D-Bus activatable entry;
// when the bus cannot activate it after all, its Exec line is run instead.
bool activateOverDBus(const QString& desktopId, const DesktopEntry& entry) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QString service = desktopId;
    service.chop(int(QStringLiteral(".desktop").size()));
    QString objectPath = u'/' + service;
    objectPath.replace(u'.', u'/').replace(u'-', u'_');
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, objectPath, QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
    call << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, entry] {
        if (watcher->isError())
            startExec(entry);
        watcher->deleteLater();
    });
    return true;
}

} // namespace

namespace Launch {

QUrl notionCalendarURL() {
    return QUrl(QStringLiteral("cron://"));
}

QUrl notionCalendarWebURL() {
    return QUrl(QStringLiteral("https://calendar.notion.so"));
}

QCoro::Task<std::optional<QString>> defaultHandler(QString mimeType) {
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::SeparateChannels);
    QStringList arguments;
    arguments << QString::fromLatin1("query") << QString::fromLatin1("default") << mimeType;
    if (!co_await qCoro(*process).start(QString::fromLatin1("xdg-mime"), arguments, QIODevice::ReadOnly,
                                        handlerTimeout)) {
        DebugLog::log([&] { return QString::fromLatin1("launch: xdg-mime could not be started"); });
        co_return std::nullopt;
    }
    if (!co_await qCoro(*process).waitForFinished(handlerTimeout)) {
        process->kill();
        process->waitForFinished(100);
        DebugLog::log([&] { return QString::fromLatin1("launch: xdg-mime did not answer for ") + mimeType; });
        co_return std::nullopt;
    }
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
        co_return std::nullopt;
    const QString handler = QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    if (handler.isEmpty() || handler.contains(u'\n') || !handler.endsWith(QLatin1String(".desktop")))
        co_return std::nullopt;
    co_return handler;
}

QCoro::Task<> notionCalendar(UrlOpener open) {
    const bool installed =
        (co_await defaultHandler(QString::fromLatin1("x-scheme-handler/cron"))).has_value();
    if (open)
        open(installed ? notionCalendarURL() : notionCalendarWebURL());
}

std::optional<NotionPage> notionPage(const std::optional<QUrl>& notionURL,
                                     const std::optional<QUrl>& webLink) {
    NotionPage page;
    if (notionURL && notionURL->scheme() == u"notion" && !notionURL->host().isEmpty())
        page.app = notionURL;
    if (webLink && isSafeRemoteLink(*webLink)) {
        page.web = *webLink;
    } else if (notionURL && isSafeRemoteLink(*notionURL)) {
        page.web = *notionURL;
    } else if (page.app) {
        QUrl web = *page.app;
        web.setScheme(QStringLiteral("https"));
        if (isSafeRemoteLink(web))
            page.web = web;
    }
    if (page.web.isEmpty())
        return std::nullopt;
    return page;
}

QCoro::Task<> openNotionPage(NotionPage page, UrlOpener open) {
    bool app = false;
    if (page.app)
        app = (co_await defaultHandler(QString::fromLatin1("x-scheme-handler/notion"))).has_value();
    if (open)
        open(app ? *page.app : page.web);
}

QCoro::Task<bool> hasCalendarApp() {
    const std::optional<QString> handler = co_await defaultHandler(QString::fromLatin1("text/calendar"));
    co_return handler.has_value();
}

QCoro::Task<bool> calendarApp() {
    const std::optional<QString> handler = co_await defaultHandler(QString::fromLatin1("text/calendar"));
    co_return handler&& startDesktopEntry(*handler);
}

bool startDesktopEntry(const QString& desktopId) {
    const std::optional<DesktopEntry> entry = readDesktopEntry(desktopId);
    if (!entry)
        return false;
    if (entry->dbusActivatable && activateOverDBus(desktopId, *entry))
        return true;
    return startExec(*entry);
}

QStringList execArguments(const QString& exec, const QString& name, const QString& icon,
                          const QString& entryPath) {
    // Split at unquoted blanks; inside double quotes a backslash keeps the next " ` $ or \.
    QStringList raw;
    QString current;
    bool inQuotes = false;
    bool hasToken = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == u'"') {
                inQuotes = false;
            } else if (c == u'\\' && i + 1 < exec.size() && QStringView(u"\"`$\\").contains(exec[i + 1])) {
                current += exec[++i];
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            hasToken = true;
        } else if (c == u' ' || c == u'\t') {
            if (hasToken)
                raw.append(current);
            current.clear();
            hasToken = false;
        } else {
            current += c;
            hasToken = true;
        }
    }
    if (inQuotes)
        return {};
    if (hasToken)
        raw.append(current);

    // Field codes: files and URLs are left out (we pass none), the others filled in.
    QStringList arguments;
    for (const QString& argument : std::as_const(raw)) {
        if (argument == u"%i") {
            if (!icon.isEmpty())
                arguments << QStringLiteral("--icon") << icon;
            continue;
        }
        QString expanded;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument[i] != u'%' || i + 1 == argument.size()) {
                expanded += argument[i];
                continue;
            }
            const QChar code = argument[++i];
            if (code == u'%')
                expanded += u'%';
            else if (code == u'c')
                expanded += name;
            else if (code == u'k')
                expanded += entryPath;
            // %f %F %u %U and the deprecated codes expand to nothing.
        }
        const bool onlyCodes = expanded.isEmpty() && argument.startsWith(u'%');
        if (!onlyCodes)
            arguments.append(expanded);
    }
    return arguments;
}

} // namespace Launch
