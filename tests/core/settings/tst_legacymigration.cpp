#include "core/model/DebugLog.h"
#include "core/settings/JsonSettingsFormat.h"
#include "core/settings/LegacyMigration.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <memory>
#include <sys/stat.h>

class TestLegacyMigration : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_home = std::make_unique<TempHome>();
        m_locations = SettingsLocations::standard();
    }
    void cleanup() { m_home.reset(); }

    void preferences_data() {
        QTest::addColumn<QVariantMap>("current");
        QTest::addColumn<QVariantMap>("former");
        QTest::addColumn<QVariantMap>("expected"); // afterwards, the flag aside
        const QVariantMap none;
        const QVariantMap allTen{{"expandOnHover", false},
                                 {"showPeek", false},
                                 {"peekMinutes", "1"}, // copied as it is, even of the wrong type
                                 {"hiddenCalendarIDs", QStringList{"a", "b"}},
                                 {"notionDatabases", QByteArray("x")},
                                 {"alertMinutes", 3},
                                 {"alertSound", false},
                                 {"defaultCalendarID", "c"},
                                 {"defaultEventMinutes", 30},
                                 {"quickAddHotkey", false}};
        QTest::newRow("all ten copied unchanged") << none << allTen << allTen;
        QTest::newRow("present values win, later settings are not taken")
            << QVariantMap{{"peekMinutes", 5}}
            << QVariantMap{{"peekMinutes", 20},
                           {"recentInvitees", QStringList{"a@b.c"}},
                           {"defaultMeetingTarget", "a@b.c|x"},
                           {"googlePromptDismissed", true},
                           {"somethingElse", 1},
                           {"quickAddHotkey", false}}
            << QVariantMap{{"peekMinutes", 5}, {"quickAddHotkey", false}};
        QTest::newRow("flag stored false still blocks")
            << QVariantMap{{"migratedFromSaffrick", false}} << QVariantMap{{"peekMinutes", 20}} << none;
    }
    void preferences() {
        QFETCH(QVariantMap, current);
        QFETCH(QVariantMap, former);
        QFETCH(QVariantMap, expected);
        store(m_locations.legacySettingsFile, former);
        store(m_locations.settingsFile, current);
        QVERIFY(TestFiles::write(m_locations.legacyAppFolder + "/notion-token", "secret"));

        QSettings settings(m_locations.settingsFile, JsonSettingsFormat::format());
        LegacyMigration::run(settings, m_locations);

        QVariantMap after = reread(m_locations.settingsFile);
        QCOMPARE(after.take("migratedFromSaffrick"), current.value("migratedFromSaffrick", true));
        QCOMPARE(after, expected);
        QCOMPARE(reread(m_locations.legacySettingsFile), former); // the former domain is left as it was
        QCOMPARE(QFile::exists(m_locations.appFolder), !current.contains("migratedFromSaffrick"));
    }

    void brokenFormerPreferencesAreSkipped() {
        QVERIFY(TestFiles::write(m_locations.legacySettingsFile, "{\"peekMinutes\": 2"));
        QVERIFY(TestFiles::write(m_locations.legacyAppFolder + "/notion-token", "secret"));
        QSettings settings(m_locations.settingsFile, JsonSettingsFormat::format());
        LegacyMigration::run(settings, m_locations);
        QCOMPARE(reread(m_locations.settingsFile), (QVariantMap{{"migratedFromSaffrick", true}}));
        QVERIFY(QFile::exists(m_locations.appFolder + "/notion-token")); // the folder still comes over
    }

    void folder_data() {
        QTest::addColumn<QString>("appFolderBefore"); // "" or "empty folder"
        QTest::addColumn<bool>("copied");
        QTest::newRow("no app folder yet") << "" << true;
        QTest::newRow("empty app folder exists") << "empty folder" << false;
    }
    void folder() {
        QFETCH(QString, appFolderBefore);
        QFETCH(bool, copied);
        QVERIFY(TestFiles::write(m_locations.legacyAppFolder + "/notion-token", "secret"));
        QVERIFY(TestFiles::write(m_locations.legacyAppFolder + "/google.json", "{}"));
        QVERIFY(TestFiles::write(m_locations.legacyAppFolder + "/calendars/Work/displayname", "Work"));
        // Left readable by others: the copy is not.
        QFile::setPermissions(m_locations.legacyAppFolder + "/google.json",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        if (!appFolderBefore.isEmpty())
            QDir().mkpath(m_locations.appFolder);

        QSettings settings(m_locations.settingsFile, JsonSettingsFormat::format());
        LegacyMigration::run(settings, m_locations);

        QCOMPARE(QFile::exists(m_locations.appFolder + "/notion-token"), copied);
        QVERIFY(QFile::exists(m_locations.legacyAppFolder + "/notion-token"));
        if (copied) {
            QCOMPARE(TestFiles::mode(m_locations.appFolder + "/google.json"), 0600u);
            QCOMPARE(TestFiles::mode(m_locations.appFolder + "/notion-token"), 0600u);
            QCOMPARE(TestFiles::read(m_locations.appFolder + "/calendars/Work/displayname"),
                     QByteArray("Work"));
            QCOMPARE(TestFiles::mode(m_locations.appFolder), 0700u);
        }
    }

    // Links and special files stay behind, named in the debug log: a copied link would send later
    // writes and permission changes of the credential files to wherever it points.
    void folderCopiesRegularFilesOnly() {
        const QString former = m_locations.legacyAppFolder;
        const QString outside = m_home->path() + "/elsewhere";
        QVERIFY(TestFiles::write(outside + "/system.conf", "keep"));
        QVERIFY(TestFiles::write(former + "/calendars/Work/a.ics", "item"));
        QVERIFY(QFile::link(outside + "/system.conf", former + "/google.json"));
        QVERIFY(QFile::link(outside, former + "/calendars/Shared"));
        QCOMPARE(::mkfifo(QFile::encodeName(former + "/calendars/Work/pipe.ics").constData(), 0600), 0);
        const QString log = m_home->stateHome() + "/test.log";
        DebugLog::overrideForTesting(true, log);

        QSettings settings(m_locations.settingsFile, JsonSettingsFormat::format());
        LegacyMigration::run(settings, m_locations);
        DebugLog::overrideForTesting(false, QString());

        const auto entries = [](const QString& folder) {
            return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                          QDir::NoDotAndDotDot);
        };
        QCOMPARE(entries(m_locations.appFolder), QStringList{"calendars"});
        QCOMPARE(entries(m_locations.appFolder + "/calendars"), QStringList{"Work"});
        QCOMPARE(entries(m_locations.appFolder + "/calendars/Work"), QStringList{"a.ics"});
        QCOMPARE(TestFiles::read(outside + "/system.conf"), QByteArray("keep"));
        const QString written = QString::fromUtf8(TestFiles::read(log));
        for (const QString& skipped :
             {former + "/google.json", former + "/calendars/Shared", former + "/calendars/Work/pipe.ics"})
            QVERIFY2(written.contains(skipped), qPrintable(written));
    }

private:
    static void store(const QString& path, const QVariantMap& values) {
        QSettings file(path, JsonSettingsFormat::format());
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            file.setValue(it.key(), it.value());
        file.sync();
    }
    static QVariantMap reread(const QString& path) {
        QSettings file(path, JsonSettingsFormat::format());
        QVariantMap values;
        for (const QString& key : file.allKeys())
            values.insert(key, file.value(key));
        return values;
    }

    std::unique_ptr<TempHome> m_home;
    SettingsLocations m_locations;
};

QTEST_GUILESS_MAIN(TestLegacyMigration)
#include "tst_legacymigration.moc"
