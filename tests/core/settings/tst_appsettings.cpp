#include "core/settings/AppSettings.h"
#include "core/settings/LaunchAtLogin.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// JSON written with single quotes, which keeps the test data readable.
QByteArray json(const char* text) {
    return QByteArray(text).replace('\'', '"');
}

QJsonObject readJson(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Every property a user can assign, each with a value other than its default.
QVariantMap nonDefaultValues() {
    GoogleConfig google{"pasted-id", "pasted-secret", {}};
    google.accounts.append(GoogleAccount{"ines@example.com",
                                         "rt",
                                         QStringLiteral("at"),
                                         QDateTime(QDate(2026, 3, 2), QTime(14, 5, 9), Qt::UTC),
                                         {GoogleCalendarInfo{"c1", "Work", "#7986cb", true, "owner"}},
                                         {"c2"},
                                         true,
                                         QStringList{"openid"}});
    return {
        {"expandOnHover", false},
        {"showPeek", false},
        {"peekMinutes", 25},
        {"hiddenCalendarIDs", QVariant::fromValue(QSet<QString>{"home", "work"})},
        {"notionDatabases",
         QVariant::fromValue(QList<NotionDatabaseSelection>{{"d1", "Tasks", QStringLiteral("✅"), "Due"},
                                                            {"d2", "Plans", std::nullopt, "When"}})},
        {"alertMinutes", -1},
        {"alertSound", false},
        {"defaultCalendarID", "home"},
        {"defaultEventMinutes", 45},
        {"quickAddHotkey", false},
        {"recentInvitees", QStringList{"b@example.com", "a@example.com"}},
        {"defaultMeetingTarget", "ines@example.com|c1"},
        {"googlePromptDismissed", true},
        {"notionToken", "secret_abc"},
        {"google", QVariant::fromValue(google)},
    };
}

QStringList writableProperties(const QObject& object) {
    QStringList names;
    const QMetaObject* meta = object.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        if (meta->property(i).isWritable())
            names.append(QString::fromLatin1(meta->property(i).name()));
    }
    return names;
}

} // namespace

class TestAppSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_home = std::make_unique<TempHome>();
        m_locations = SettingsLocations::standard();
    }
    void cleanup() {
        GoogleConfig::overrideBuiltInClientForTesting(QString(), QString());
        m_home.reset();
    }

    void freshStoreHasTheDefaultsAndWritesNothing() {
        AppSettings settings(m_locations);
        QCOMPARE(settings.expandOnHover(), true);
        QCOMPARE(settings.showPeek(), true);
        QCOMPARE(settings.peekMinutes(), 15);
        QCOMPARE(settings.hiddenCalendarIDs(), QSet<QString>());
        QCOMPARE(settings.notionDatabases(), QList<NotionDatabaseSelection>());
        QCOMPARE(settings.alertMinutes(), 2);
        QCOMPARE(settings.alertSound(), true);
        QCOMPARE(settings.defaultCalendarID(), QString());
        QCOMPARE(settings.defaultEventMinutes(), 60);
        QCOMPARE(settings.quickAddHotkey(), true);
        QCOMPARE(settings.recentInvitees(), QStringList());
        QCOMPARE(settings.defaultMeetingTarget(), QString());
        QCOMPARE(settings.googlePromptDismissed(), false);
        QCOMPARE(settings.notionToken(), QString());
        QCOMPARE(settings.google(), GoogleConfig());
        QCOMPARE(settings.launchAtLogin(), false);

        // Only the migration leaves a trace; no credential file appears.
        QCOMPARE(readJson(m_locations.settingsFile).keys(), QStringList{"migratedFromSaffrick"});
        QVERIFY(!QFile::exists(m_locations.appFolder));
    }

    void storedTypesDecide_data() {
        QTest::addColumn<QByteArray>("stored"); // the JSON value under the key
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("minutes as text read as the default") << json("'20'") << "peekMinutes" << QVariant(15);
        QTest::newRow("minutes as a number") << QByteArray("20") << "peekMinutes" << QVariant(20);
        QTest::newRow("minutes with a fraction") << QByteArray("20.5") << "peekMinutes" << QVariant(15);
        QTest::newRow("alert switched off") << QByteArray("-1") << "alertMinutes" << QVariant(-1);
        QTest::newRow("minutes as a flag") << QByteArray("true") << "defaultEventMinutes" << QVariant(60);
        QTest::newRow("flag stored false") << QByteArray("false") << "showPeek" << QVariant(false);
        QTest::newRow("flag as text") << json("'no'") << "expandOnHover" << QVariant(true);
        QTest::newRow("dismissed as text YES") << json("'YES'") << "googlePromptDismissed" << QVariant(true);
        QTest::newRow("dismissed as a number")
            << QByteArray("1") << "googlePromptDismissed" << QVariant(true);
        QTest::newRow("ids as a number")
            << QByteArray("5") << "hiddenCalendarIDs" << QVariant::fromValue(QSet<QString>());
        QTest::newRow("ids with a repeat")
            << json("['a', 'b', 'a']") << "hiddenCalendarIDs" << QVariant::fromValue(QSet<QString>{"a", "b"});
        QTest::newRow("invitees as text") << json("'a@b.c'") << "recentInvitees" << QVariant(QStringList());
        QTest::newRow("calendar id as a number") << QByteArray("42") << "defaultCalendarID" << QVariant("42");
        QTest::newRow("databases as plain text")
            << QByteArray(
                   "\"[{\\\"id\\\":\\\"d\\\",\\\"title\\\":\\\"T\\\",\\\"dateProperty\\\":\\\"D\\\"}]\"")
            << "notionDatabases" << QVariant::fromValue(QList<NotionDatabaseSelection>());
        QTest::newRow("databases as data")
            << (json("{'@data': '") + json("[{'id':'d','title':'T','dateProperty':'D'}]").toBase64() + "\"}")
            << "notionDatabases"
            << QVariant::fromValue(QList<NotionDatabaseSelection>{{"d", "T", std::nullopt, "D"}});
    }
    void storedTypesDecide() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, property);
        QFETCH(QVariant, expected);
        QVERIFY(TestFiles::write(m_locations.settingsFile, "{\"migratedFromSaffrick\": true, \"" +
                                                               property.toUtf8() + "\": " + stored + "}"));
        AppSettings settings(m_locations);
        QCOMPARE(settings.property(property.toLatin1()), expected);
    }

    void everyPropertySurvivesARestart() {
        GoogleConfig::overrideBuiltInClientForTesting("id", "secret");
        const QVariantMap values = nonDefaultValues();
        {
            AppSettings settings(m_locations);
            // The table covers every property there is.
            const QStringList names = writableProperties(settings);
            QCOMPARE(QSet<QString>(values.keyBegin(), values.keyEnd()),
                     QSet<QString>(names.cbegin(), names.cend()));
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                QVERIFY(settings.setProperty(it.key().toLatin1(), it.value()));
        }
        AppSettings again(m_locations);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            QVERIFY2(again.property(it.key().toLatin1()) == it.value(), qPrintable(it.key()));
    }

    void everyAssignmentWritesAndNotifies_data() {
        QTest::addColumn<QString>("property");
        const QVariantMap values = nonDefaultValues();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.key();
    }
    void everyAssignmentWritesAndNotifies() {
        QFETCH(QString, property);
        const QVariant value = nonDefaultValues().value(property);
        const QByteArray name = property.toLatin1();
        AppSettings settings(m_locations);
        settings.setProperty(name, value);

        // Take away what was written, then assign the same value once more.
        const QString written = property == u"notionToken" ? m_locations.appFolder + "/notion-token"
                                : property == u"google"    ? m_locations.appFolder + "/google.json"
                                                           : m_locations.settingsFile;
        QVERIFY(QFile::remove(written));
        const QMetaProperty meta =
            settings.metaObject()->property(settings.metaObject()->indexOfProperty(name));
        QSignalSpy own(&settings, meta.notifySignal());
        QSignalSpy any(&settings, &AppSettings::changed);
        settings.setProperty(name, value);

        QCOMPARE(own.count(), 1);
        QCOMPARE(any.count(), 1);
        QVERIFY(QFile::exists(written));
        if (written == m_locations.settingsFile)
            QVERIFY(readJson(written).contains(property));
    }

    void derivedFlags_data() {
        QTest::addColumn<bool>("builtInClient");
        QTest::addColumn<QString>("pastedClientID");
        QTest::addColumn<int>("accounts");
        QTest::addColumn<bool>("canOfferGoogle");
        QTest::addColumn<bool>("hasGoogle");
        QTest::newRow("built-in client, no account") << true << "" << 0 << true << false;
        QTest::newRow("built-in client, blank pasted id") << true << "  \t" << 0 << true << false;
        QTest::newRow("built-in client, one account") << true << "" << 1 << false << true;
        QTest::newRow("no client in the build") << false << "" << 0 << false << false;
        QTest::newRow("no client, account left from before") << false << "" << 1 << false << false;
        QTest::newRow("no built-in, pasted identity") << false << "mine" << 0 << true << false;
    }
    void derivedFlags() {
        QFETCH(bool, builtInClient);
        QFETCH(QString, pastedClientID);
        QFETCH(int, accounts);
        QFETCH(bool, canOfferGoogle);
        QFETCH(bool, hasGoogle);
        if (builtInClient)
            GoogleConfig::overrideBuiltInClientForTesting("123-abc.apps.googleusercontent.com", "GOCSPX-abc");
        AppSettings settings(m_locations);
        GoogleConfig config{pastedClientID, pastedClientID, {}};
        for (int i = 0; i < accounts; ++i)
            config.accounts.append(
                GoogleAccount{QStringLiteral("a%1@example.com").arg(i), "rt", {}, {}, {}, {}, false, {}});
        settings.setGoogle(config);
        QCOMPARE(settings.canOfferGoogle(), canOfferGoogle);
        QCOMPARE(settings.hasGoogle(), hasGoogle);
    }

    void notionNeedsTokenAndDatabase() {
        AppSettings settings(m_locations);
        settings.setNotionDatabases({{"d", "Tasks", std::nullopt, "Due"}});
        QVERIFY(!settings.hasNotion());
        settings.setNotionToken("secret_abc");
        QVERIFY(settings.hasNotion());
        QVERIFY(QFile::exists(m_locations.appFolder + "/notion-token"));

        settings.setNotionToken("");
        QVERIFY(!settings.hasNotion());
        QVERIFY(!QFile::exists(m_locations.appFolder + "/notion-token"));
        QCOMPARE(AppSettings(m_locations).notionToken(), QString());

        settings.setNotionToken("secret_abc");
        settings.setNotionDatabases({});
        QVERIFY(!settings.hasNotion());
    }

    void launchAtLogin_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("plain path") << "/usr/bin/vorrindel";
        QTest::newRow("path with blank and quote") << "/opt/My Apps/it's \"here\"/vorrindel";
        QTest::newRow("path with backslash, dollar and percent") << "/opt/a\\b/$HOME/100%/vorrindel";
    }
    void launchAtLogin() {
        QFETCH(QString, program);
        m_locations.executable = program;
        AppSettings settings(m_locations);
        QSignalSpy changed(&settings, &AppSettings::changed);

        settings.setLaunchAtLogin(true);
        QVERIFY(settings.launchAtLogin());
        QCOMPARE(changed.count(), 1);
        QProcess validate;
        validate.start(qEnvironmentVariable("DESKTOP_FILE_VALIDATE"), {m_locations.autostartFile});
        QVERIFY(validate.waitForFinished());
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
        QCOMPARE(execArguments(m_locations.autostartFile), QStringList{program});

        settings.setLaunchAtLogin(false);
        QVERIFY(!settings.launchAtLogin());
        QVERIFY(!QFile::exists(m_locations.autostartFile));
        QCOMPARE(changed.count(), 2);
    }

    void refusedLaunchAtLoginThrowsAndStaysQuiet() {
        // A file where the autostart folder should be: no entry can be written, even by root.
        QVERIFY(TestFiles::write(m_home->configHome() + "/autostart", "not a folder"));
        AppSettings settings(m_locations);
        QSignalSpy changed(&settings, &AppSettings::changed);
        QVERIFY_THROWS_EXCEPTION(LaunchAtLoginError, settings.setLaunchAtLogin(true));
        QCOMPARE(changed.count(), 0);
        QVERIFY(!settings.launchAtLogin());
    }

    void unreadableSettingsFileIsKeptAside() {
        QVERIFY(TestFiles::write(m_locations.settingsFile, json("{'peekMinutes': 30, 'showPeek': fals")));
        AppSettings settings(m_locations);
        QCOMPARE(settings.peekMinutes(), 15);
        settings.setShowPeek(false);
        QFile aside(m_locations.settingsFile + ".unreadable");
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), json("{'peekMinutes': 30, 'showPeek': fals"));
        QCOMPARE(AppSettings(m_locations).showPeek(), false);
    }

private:
    // The Exec line's single argument as a launcher splits it: desktop-entry escapes first, then the
    // quoting rules of the Exec key.
    static QStringList execArguments(const QString& entryFile) {
        QFile file(entryFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString value;
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
            if (line.startsWith("Exec="))
                value = line.mid(5);
        }
        value.replace("\\\\", "\\").replace("%%", "%");
        if (!value.startsWith('"'))
            return {value};
        QString argument;
        for (qsizetype i = 1; i < value.size() - 1; ++i) {
            if (value[i] == '\\')
                ++i;
            argument += value[i];
        }
        return {argument};
    }

    std::unique_ptr<TempHome> m_home;
    SettingsLocations m_locations;
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
