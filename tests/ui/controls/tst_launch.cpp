#include "ui/controls/Launch.h"

#include "support/Patience.h"
#include "support/TaskResult.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& content, QFile::Permissions permissions = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    if (permissions)
        file.setPermissions(permissions);
}

const QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

// The calendar-app launchers, with xdg-mime stubbed on PATH: the stub answers from files named after
// the MIME type, as the desktop's configuration would.
class TestLaunch : public QObject {
    Q_OBJECT

    std::unique_ptr<TempHome> m_home;
    QString m_bin;
    QByteArray m_path;

    void answer(const QString& mimeType, const QByteArray& desktopId) {
        QString name = mimeType;
        writeFile(m_home->path() + u'/' + name.replace(u'/', u'_'), desktopId + '\n');
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<TempHome>();
        m_bin = m_home->path() + QStringLiteral("/bin with space");
        writeFile(m_bin + QStringLiteral("/xdg-mime"),
                  "#!/bin/sh\n"
                  "[ \"$1\" = query ] && [ \"$2\" = default ] || exit 1\n"
                  "[ -n \"$STUB_SLEEP\" ] && exec sleep \"$STUB_SLEEP\"\n"
                  "f=\"$STUB_DIR/$(echo \"$3\" | tr / _)\"\n"
                  "[ -f \"$f\" ] && cat \"$f\"\n"
                  "exit 0\n",
                  executable);
        m_path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_bin) + ':' + m_path);
        qputenv("STUB_DIR", QFile::encodeName(m_home->path()));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_home->path() + QStringLiteral("/nowhere")));
        qunsetenv("STUB_SLEEP");
    }
    void cleanup() {
        qputenv("PATH", m_path);
        qunsetenv("STUB_SLEEP");
        m_home.reset();
    }

    void notionCalendarOpensItsSchemeOnlyWhenSomethingHandlesIt() {
        QList<QUrl> opened;
        const UrlOpener record = [&](const QUrl& url) {
            opened.append(url);
            return true;
        };
        QVERIFY(runTask(Launch::notionCalendar(record)).ok());
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://calendar.notion.so"))});

        answer(QStringLiteral("x-scheme-handler/cron"), "notion-calendar.desktop");
        opened.clear();
        QVERIFY(runTask(Launch::notionCalendar(record)).ok());
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("cron://"))});
    }

    // Links from Notion's servers: only the app's own scheme and http(s) ever open.
    void notionPageLinks_data() {
        QTest::addColumn<QString>("notionURL");
        QTest::addColumn<QString>("webLink");
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("web"); // empty: no button
        const QString page = QStringLiteral("https://www.notion.so/Plan-1a2b");
        const QString appPage = QStringLiteral("notion://www.notion.so/Plan-1a2b");
        QTest::newRow("app link and web link") << appPage << page << appPage << page;
        QTest::newRow("file link") << QStringLiteral("file:///etc/passwd") << QString() << QString()
                                   << QString();
        QTest::newRow("other scheme") << QStringLiteral("smb://server/share")
                                      << QStringLiteral("javascript:alert(1)") << QString() << QString();
    }
    void notionPageLinks() {
        QFETCH(QString, notionURL);
        QFETCH(QString, webLink);
        QFETCH(QString, app);
        QFETCH(QString, web);
        const auto link = [](const QString& text) {
            return text.isEmpty() ? std::nullopt : std::optional(QUrl(text));
        };
        const std::optional<Launch::NotionPage> target = Launch::notionPage(link(notionURL), link(webLink));
        QCOMPARE(target.has_value(), !web.isEmpty());
        if (target) {
            QCOMPARE(target->app, link(app));
            QCOMPARE(target->web, QUrl(web));
        }
    }

    void notionPageOpensInTheAppOnlyWhenSomethingHandlesIt() {
        QList<QUrl> opened;
        const UrlOpener record = [&](const QUrl& url) {
            opened.append(url);
            return true;
        };
        const auto page = Launch::notionPage(QUrl(QStringLiteral("notion://www.notion.so/p")), std::nullopt);
        QVERIFY(page);
        QVERIFY(runTask(Launch::openNotionPage(*page, record)).ok());
        answer(QStringLiteral("x-scheme-handler/notion"), "notion-app.desktop");
        QVERIFY(runTask(Launch::openNotionPage(*page, record)).ok());
        QCOMPARE(opened, (QList<QUrl>{QUrl(QStringLiteral("https://www.notion.so/p")),
                                      QUrl(QStringLiteral("notion://www.notion.so/p"))}));
    }

    void aHandlerIsADesktopEntryOrNothing() {
        QCOMPARE(*runTask(Launch::defaultHandler(QStringLiteral("text/calendar"))).value,
                 std::optional<QString>());
        answer(QStringLiteral("text/calendar"), "not a desktop entry");
        QCOMPARE(*runTask(Launch::defaultHandler(QStringLiteral("text/calendar"))).value,
                 std::optional<QString>());
        answer(QStringLiteral("text/calendar"), "org.example.Calendar.desktop");
        QCOMPARE(*runTask(Launch::defaultHandler(QStringLiteral("text/calendar"))).value,
                 std::optional<QString>(QStringLiteral("org.example.Calendar.desktop")));
    }

    void aHungXdgMimeCountsAsNoHandler() {
        qputenv("STUB_SLEEP", "30");
        QElapsedTimer clock;
        clock.start();
        const auto result = runTask(Launch::defaultHandler(QStringLiteral("text/calendar")));
        QVERIFY(result.ok());
        QCOMPARE(*result.value, std::optional<QString>());
        QVERIFY(clock.elapsed() < 10000);
    }

    // The calendar app starts on its own: no file, no URL, never one of our events' files.
    void theCalendarAppStartsWithoutAnyFile() {
        QCOMPARE(*runTask(Launch::hasCalendarApp()).value, false);
        QCOMPARE(*runTask(Launch::calendarApp()).value, false);

        const QString started = m_home->path() + QStringLiteral("/started");
        writeFile(
            m_bin + QStringLiteral("/stub cal"),
            "#!/bin/sh\n{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > \"$STUB_DIR/started\"\n",
            executable);
        writeFile(m_home->dataHome() + QStringLiteral("/applications/stub-cal.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Stub Calendar\n"
                  "Exec=\"" +
                      QFile::encodeName(m_bin) +
                      "/stub cal\" %U --title=%c\n"
                      "[Desktop Action New]\nExec=false\n");
        answer(QStringLiteral("text/calendar"), "stub-cal.desktop");
        QCOMPARE(*runTask(Launch::hasCalendarApp()).value, true);
        QCOMPARE(*runTask(Launch::calendarApp()).value, true);
        // Until the stub has written its last line.
        QCOMPARE_SOON(TestFiles::read(started), QByteArray("1\n--title=Stub Calendar\n"));
    }

    void execLines_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("file and URL codes left out")
            << "thunderbird %u -calendar %F" << QStringList{"thunderbird", "-calendar"};
        QTest::newRow("quoted with escapes") << "\"/opt/my app/run\" \"say \\\"hi\\\" \\$HOME\""
                                             << QStringList{"/opt/my app/run", "say \"hi\" $HOME"};
        QTest::newRow("unterminated quote") << "cal \"oops" << QStringList{};
    }
    void execLines() {
        QFETCH(QString, exec);
        QFETCH(QStringList, arguments);
        QCOMPARE(Launch::execArguments(exec, QStringLiteral("Calendar"), QStringLiteral("office-calendar")),
                 arguments);
    }
};

QTEST_MAIN(TestLaunch)
#include "tst_launch.moc"
