#include "core/settings/AppSettings.h"
#include "core/settings/LaunchAtLogin.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
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
    return QJsonDocument::fromJson(TestFiles::read(path)).object();
}

// Every property a user can assign: its name, its default and a value other than the default.
struct Property {
    const char* name;
    QVariant initial;
    QVariant other;
};

QList<Property> properties() {
    GoogleConfig google{"pasted-id", "pasted-secret", {}};
    google.accounts.append({"ines@example.com",
                            "rt",
                            QStringLiteral("at"),
                            QDateTime(QDate(2026, 3, 2), QTime(14, 5, 9), Qt::UTC),
                            {{"c1", "Work", "#7986cb", true, "owner"}},
                            {"c2"},
                            true,
                            QStringList{"openid"}});
    const QList<NotionDatabaseSelection> databases{{"d1", "Tasks", QStringLiteral("✅"), "Due"},
                                                   {"d2", "Plans", std::nullopt, "When"}};
    return {
        {"expandOnHover", true, false},
        {"showPeek", true, false},
        {"peekMinutes", 15, 25},
        {"hiddenCalendarIDs", QVariant::fromValue(QSet<QString>()),
         QVariant::fromValue(QSet<QString>{"a", "b"})},
        {"notionDatabases", QVariant::fromValue(QList<NotionDatabaseSelection>()),
         QVariant::fromValue(databases)},
        {"alertMinutes", 2, -1},
        {"alertSound", true, false},
        {"defaultCalendarID", QString(), "home"},
        {"defaultEventMinutes", 60, 45},
        {"quickAddHotkey", true, false},
        {"recentInvitees", QStringList(), QStringList{"b@example.com", "a@example.com"}},
        {"defaultMeetingTarget", QString(), "ines@example.com|c1"},
        {"googlePromptDismissed", false, true},
        {"notionToken", QString(), "secret_abc"},
        {"google", QVariant::fromValue(GoogleConfig()), QVariant::fromValue(google)},
    };
}

// The defaults (`&Property::initial`) or the other values (`&Property::other`) by name.
QVariantMap values(QVariant Property::*which) {
    QVariantMap map;
    for (const Property& p : properties())
        map.insert(p.name, p.*which);
    return map;
}

// Whether the object holds exactly these values, and the map names every property it can assign.
bool holds(const QObject& object, const QVariantMap& values) {
    QSet<QString> writable;
    const QMetaObject* meta = object.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        if (meta->property(i).isWritable())
            writable.insert(QString::fromLatin1(meta->property(i).name()));
    }
    if (writable != QSet<QString>(values.keyBegin(), values.keyEnd()))
        return false;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (object.property(it.key().toLatin1()) != it.value()) {
            qWarning() << it.key() << object.property(it.key().toLatin1()) << "is not" << it.value();
            return false;
        }
    }
    return true;
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
        QVERIFY(holds(settings, values(&Property::initial)));
        QVERIFY(!settings.launchAtLogin());
        // Only the migration leaves a trace; no credential file appears.
        QCOMPARE(readJson(m_locations.settingsFile).keys(), QStringList{"migratedFromSaffrick"});
        QVERIFY(!QFile::exists(m_locations.appFolder));
    }

    // Settings files written by hand or by the former product; what the file does not hold, or holds
    // with the wrong type, reads as the default.
    void storedTypesDecide_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QVariantMap>("expected"); // beyond the defaults
        QTest::newRow("wrong types")
            << json("{'peekMinutes': '20', 'alertMinutes': 20.5, 'defaultEventMinutes': "
                    "true, 'expandOnHover': 'no', 'hiddenCalendarIDs': 5, "
                    "'recentInvitees': 'a@b.c', 'notionDatabases': '[{\\'id\\': "
                    "\\'d\\', \\'title\\': \\'T\\', \\'dateProperty\\': \\'D\\'}]'}")
            << QVariantMap();
        QTest::newRow("loose types")
            << json("{'showPeek': false, 'googlePromptDismissed': 'YES', 'alertSound': 0, "
                    "'hiddenCalendarIDs': ['a', 'b', 'a'], 'defaultCalendarID': 42}")
            << QVariantMap{{"showPeek", false},
                           {"googlePromptDismissed", true},
                           {"alertSound", false},
                           {"hiddenCalendarIDs", QVariant::fromValue(QSet<QString>{"a", "b"})},
                           {"defaultCalendarID", "42"}};
        QTest::newRow("dismissed as a number")
            << json("{'googlePromptDismissed': 1}") << QVariantMap{{"googlePromptDismissed", true}};
    }
    void storedTypesDecide() {
        QFETCH(QByteArray, file);
        QFETCH(QVariantMap, expected);
        QVERIFY(TestFiles::write(m_locations.settingsFile, file));
        QVERIFY(QJsonDocument::fromJson(file).isObject());
        QVariantMap values = ::values(&Property::initial);
        values.insert(expected);
        QVERIFY(holds(AppSettings(m_locations), values));
    }

    void everyPropertySurvivesARestart() {
        GoogleConfig::overrideBuiltInClientForTesting("id", "secret");
        {
            AppSettings settings(m_locations);
            for (const Property& p : properties())
                QVERIFY(settings.setProperty(p.name, p.other));
        }
        QVERIFY(holds(AppSettings(m_locations), values(&Property::other)));
    }

    void everyAssignmentWritesAndNotifies_data() {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        for (const Property& p : properties())
            QTest::newRow(p.name) << QString::fromLatin1(p.name) << p.other;
    }
    void everyAssignmentWritesAndNotifies() {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
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
        settings.setNotionDatabases({});
        QVERIFY(!settings.hasNotion());
    }

    // The program and the Exec line that starts it: quoted where the path holds a reserved character,
    // then escaped as every value of a desktop entry.
    void launchAtLogin_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain path") << "/usr/bin/vorrindel"
                                    << "/usr/bin/vorrindel";
        QTest::newRow("blank and quotes") << "/opt/My Apps/it's \"here\"/vorrindel"
                                          << "\"/opt/My Apps/it's \\\\\"here\\\\\"/vorrindel\"";
        QTest::newRow("backslash, dollar and percent") << "/opt/a\\b/$HOME/100%/vorrindel"
                                                       << "\"/opt/a\\\\\\\\b/\\\\$HOME/100%%/vorrindel\"";
        QTest::newRow("line break and tab") << "/opt/a\nb\tc/vorrindel"
                                            << "\"/opt/a\\nb\\tc/vorrindel\"";
    }
    void launchAtLogin() {
        QFETCH(QString, program);
        QFETCH(QString, exec);
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
        QVERIFY(TestFiles::read(m_locations.autostartFile).contains("\nExec=" + exec.toUtf8() + "\n"));

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
        const QByteArray broken = json("{'peekMinutes': 30, 'showPeek': fals");
        QVERIFY(TestFiles::write(m_locations.settingsFile, broken));
        AppSettings settings(m_locations);
        QCOMPARE(settings.peekMinutes(), 15);
        settings.setShowPeek(false);
        QCOMPARE(TestFiles::read(m_locations.settingsFile + ".unreadable"), broken);
        QCOMPARE(AppSettings(m_locations).showPeek(), false);
    }

    // The settings hold the recent invitees' addresses and the app folder the credentials: both are
    // the user's alone, also when an earlier version left them readable by others.
    void settingsAreReadableOnlyByTheUser_data() {
        QTest::addColumn<bool>("leftReadable");
        QTest::newRow("first start") << false;
        QTest::newRow("left readable by others") << true;
    }

    void settingsAreReadableOnlyByTheUser() {
        QFETCH(bool, leftReadable);
        const QString settingsFolder = QFileInfo(m_locations.settingsFile).absolutePath();
        if (leftReadable) {
            QVERIFY(TestFiles::write(m_locations.settingsFile, json("{'peekMinutes': 20}")));
            QVERIFY(TestFiles::write(m_locations.appFolder + "/notion-token", "secret"));
            for (const QString& path : {settingsFolder, m_locations.appFolder})
                QFile::setPermissions(path, QFileDevice::Permissions(0x7755));
            QFile::setPermissions(m_locations.settingsFile, QFileDevice::Permissions(0x6644));
        }
        AppSettings settings(m_locations);
        QCOMPARE(settings.peekMinutes(), leftReadable ? 20 : 15);
        settings.setPeekMinutes(25); // a write keeps the file as private as it is
        QCOMPARE(TestFiles::mode(settingsFolder), 0700u);
        QCOMPARE(TestFiles::mode(m_locations.settingsFile), 0600u);
        QCOMPARE(TestFiles::mode(m_locations.appFolder), leftReadable ? 0700u : 0u);
        QCOMPARE(AppSettings(m_locations).peekMinutes(), 25);
    }

private:
    std::unique_ptr<TempHome> m_home;
    SettingsLocations m_locations;
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
