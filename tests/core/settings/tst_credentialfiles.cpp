#include "core/model/DebugLog.h"
#include "core/settings/AppSettings.h"
#include "core/settings/GoogleConfigFile.h"
#include "core/settings/SettingsLocations.h"
#include "core/settings/TokenFile.h"
#include "support/OrdinaryUser.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

// A stored configuration as it must look on disk: keys sorted at every level, the date in UTC with
// "Z", absent optionals (the access token, the calendar's access role) left out.
const QByteArray sampleFile = R"({
    "accounts": [
        {
            "calendars": [
                {
                    "colorHex": "#7986cb",
                    "id": "c1",
                    "primary": true,
                    "summary": "Work"
                }
            ],
            "email": "ines@example.com",
            "expiry": "2026-03-02T14:05:09Z",
            "hiddenCalendarIDs": [
                "alpha",
                "zeta"
            ],
            "needsReauth": false,
            "refreshToken": "1-rt",
            "scopes": [
                "openid"
            ]
        }
    ],
    "clientID": "",
    "clientSecret": ""
}
)";

GoogleConfig sampleConfig() {
    return GoogleConfig::fromJson(QJsonDocument::fromJson(sampleFile).object()).value_or(GoogleConfig());
}

// Restores the umask when a test ends, however it ends.
struct UmaskGuard {
    explicit UmaskGuard(mode_t mask)
        : old(::umask(mask)) {}
    ~UmaskGuard() { ::umask(old); }
    mode_t old;
};

} // namespace

class TestCredentialFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Permissions must apply to the process for the files it cannot read.
    void initTestCase() {
        const QString refused = OrdinaryUser::become();
        QVERIFY2(refused.isEmpty(), qPrintable(refused));
    }
    void init() {
        m_home = std::make_unique<TempHome>();
        m_folder = m_home->dataHome() + "/Vorrindel";
    }
    void cleanup() { m_home.reset(); }

    void tokenIsReadTrimmed_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("token");
        QTest::newRow("tabs and CRLF") << QByteArray("\t secret_abc\r\n") << "secret_abc";
        QTest::newRow("not UTF-8") << QByteArray("secret\xff\xfe") << "";
        QTest::newRow("UTF-8 beyond ASCII") << QByteArray("s\xc3\xa9") << QString::fromUtf8("s\xc3\xa9");
    }
    void tokenIsReadTrimmed() {
        QFETCH(QByteArray, content);
        QFETCH(QString, token);
        QVERIFY(TestFiles::write(m_folder + "/notion-token", content));
        QCOMPARE(TokenFile::read(m_folder), token);
    }

    void tokenIsStoredExactlyAndDeletedWhenEmpty() {
        QCOMPARE(TokenFile::read(m_folder), QString());
        TokenFile::write(m_folder, " secret_abc ");
        QCOMPARE(TestFiles::read(m_folder + "/notion-token"), QByteArray(" secret_abc "));
        QCOMPARE(TokenFile::read(m_folder), "secret_abc");
        TokenFile::write(m_folder, "");
        QVERIFY(!QFile::exists(m_folder + "/notion-token"));
        TokenFile::write(m_folder, ""); // nothing to delete: no harm
        QCOMPARE(TokenFile::read(m_folder), QString());
    }

    void filesArePrivateWhateverTheUmask_data() {
        QTest::addColumn<bool>("google");
        QTest::addColumn<bool>("folderExisted");
        QTest::newRow("token, new folder") << false << false;
        QTest::newRow("google.json, new folder") << true << false;
        QTest::newRow("google.json replacing an open file") << true << true;
    }
    void filesArePrivateWhateverTheUmask() {
        QFETCH(bool, google);
        QFETCH(bool, folderExisted);
        const QString name = google ? "google.json" : "notion-token";
        // Two levels missing, as on a first start with no ~/.local/share yet.
        const QString folder = m_home->path() + "/fresh/share/Vorrindel";
        QFile reader(folder + "/" + name);
        if (folderExisted) {
            QVERIFY(TestFiles::write(folder + "/" + name, "old"));
            QFile::setPermissions(folder + "/" + name, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                           QFileDevice::ReadOther | QFileDevice::ReadGroup);
            QVERIFY(reader.open(QIODevice::ReadOnly));
        }
        {
            UmaskGuard everythingAllowed(0);
            if (google)
                GoogleConfigFile::write(folder, sampleConfig());
            else
                TokenFile::write(folder, "secret_abc");
        }
        QCOMPARE(TestFiles::mode(folder + "/" + name), 0600u);
        if (!folderExisted) {
            QCOMPARE(TestFiles::mode(folder), 0700u);
            QCOMPARE(TestFiles::mode(m_home->path() + "/fresh/share"), 0700u);
        }
        // Replaced, not rewritten in place: a reader of the old file still reads it whole, and nothing
        // is left over.
        if (folderExisted)
            QCOMPARE(reader.readAll(), QByteArray("old"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    void googleFileLayout() {
        QVERIFY(!sampleConfig().accounts.isEmpty());
        GoogleConfigFile::write(m_folder, sampleConfig());
        QCOMPARE(TestFiles::read(m_folder + "/google.json"), sampleFile);
        QCOMPARE(GoogleConfigFile::read(m_folder), sampleConfig());
    }

    void unreadableGoogleFileIsKeptAside_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("account without needsReauth") << QByteArray(
            R"({"clientID":"","clientSecret":"","accounts":[{"email":"a@b.c","refreshToken":"rt",
                             "calendars":[],"hiddenCalendarIDs":[]}]})");
        QTest::newRow("broken JSON") << QByteArray(R"({"clientID":"","clientSecret":"","accounts":[)");
        QTest::newRow("empty file") << QByteArray();
    }
    void unreadableGoogleFileIsKeptAside() {
        QFETCH(QByteArray, content);
        const QString file = m_folder + "/google.json";
        QVERIFY(TestFiles::write(file, content));
        QFile::setPermissions(file,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);

        QCOMPARE(GoogleConfigFile::read(m_folder), GoogleConfig());
        QVERIFY(!QFile::exists(file));
        QCOMPARE(TestFiles::read(file + ".unreadable"), content);
        QCOMPARE(TestFiles::mode(file + ".unreadable"), 0600u);

        // A later write leaves it alone, and a second bad file does not replace the first.
        GoogleConfigFile::write(m_folder, sampleConfig());
        QCOMPARE(TestFiles::read(file + ".unreadable"), content);
        QVERIFY(TestFiles::write(file, "{"));
        QCOMPARE(GoogleConfigFile::read(m_folder), GoogleConfig());
        QCOMPARE(TestFiles::read(file + ".unreadable"), content);
        QCOMPARE(TestFiles::read(file + ".unreadable-2"), QByteArray("{"));
    }

    // At start the credential files become the user's alone, as their folder does. A link is never
    // followed to change a mode, keep a file aside or write: what it points to (a system file when run
    // as root) keeps its content and mode, and the app's next write puts a file of its own there.
    void startTightensTheFilesButNeverThroughALink_data() {
        QTest::addColumn<QString>("linked");
        QTest::newRow("google.json linked") << "google.json";
        QTest::newRow("notion-token linked") << "notion-token";
    }
    void startTightensTheFilesButNeverThroughALink() {
        QFETCH(QString, linked);
        const QString regular = linked == "google.json" ? "notion-token" : "google.json";
        const QString outside = m_home->path() + "/etc/passwd";
        const QByteArray system = "root:x:0:0:root:/root:/bin/sh\n";
        QVERIFY(TestFiles::write(outside, system));
        QVERIFY(
            TestFiles::write(m_folder + "/" + regular, regular == "google.json" ? sampleFile : "secret_abc"));
        QVERIFY(QFile::link(outside, m_folder + "/" + linked));
        const auto readableByAll = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                   QFileDevice::ReadOther;
        QFile::setPermissions(outside, readableByAll);
        QFile::setPermissions(m_folder + "/" + regular, readableByAll);
        QFile::setPermissions(m_folder, readableByAll | QFileDevice::ExeOwner | QFileDevice::ExeOther);

        {
            AppSettings settings(SettingsLocations::standard());
            QCOMPARE(TestFiles::mode(m_folder), 0700u);
            QCOMPARE(TestFiles::mode(m_folder + "/" + regular), 0600u);
            QCOMPARE(TestFiles::mode(outside), 0644u);
            settings.setGoogle(sampleConfig());
            settings.setNotionToken("secret_new");
        }
        QCOMPARE(TestFiles::read(outside), system);
        QCOMPARE(TestFiles::mode(outside), 0644u);
        QVERIFY(!QFileInfo(m_folder + "/" + linked).isSymLink());
        QCOMPARE(TestFiles::mode(m_folder + "/" + linked), 0600u);
        // The link that did not decode was kept aside as the link it is.
        if (linked == "google.json")
            QCOMPARE(QFileInfo(m_folder + "/google.json.unreadable").symLinkTarget(), outside);
    }

    // A file the user may not read can hold accounts that decode once it can be read: it is left where
    // it is, the settings and the trace say why it was not read, and nothing replaces or deletes it
    // until it has gone.
    void aFileThatCannotBeReadIsLeftAlone_data() {
        QTest::addColumn<bool>("google");
        QTest::newRow("google.json") << true;
        QTest::newRow("notion-token") << false;
    }
    void aFileThatCannotBeReadIsLeftAlone() {
        QFETCH(bool, google);
        const QString file = m_folder + (google ? "/google.json" : "/notion-token");
        const QByteArray content = google ? sampleFile : QByteArray("secret_abc");
        QVERIFY(TestFiles::write(file, content));
        QVERIFY(QFile::setPermissions(file, {}));
        const QString trace = m_home->path() + "/trace.log";
        DebugLog::overrideForTesting(true, trace);
        AppSettings settings(SettingsLocations::standard());
        DebugLog::overrideForTesting(false, QString());
        const auto problem = [&] {
            return google ? settings.googleFileProblem() : settings.notionTokenFileProblem();
        };
        const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));

        QCOMPARE(settings.google(), GoogleConfig());
        QCOMPARE(settings.notionToken(), QString());
        QVERIFY(problem() && problem()->contains(file + " (" + denied + ")"));
        QVERIFY(TestFiles::read(trace).contains(
            (QFileInfo(file).fileName() + " cannot be read (" + denied + "); left as it is").toUtf8()));

        // Signing in again, or disconnecting, holds for this run only.
        if (google) {
            settings.setGoogle(sampleConfig());
            QCOMPARE(settings.google(), sampleConfig());
        } else {
            settings.setNotionToken("secret_new");
            settings.setNotionToken("");
        }
        QVERIFY(problem());
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(file).fileName()});
        QCOMPARE(TestFiles::mode(file), 0u);
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(TestFiles::read(file), content);
        {
            const AppSettings readable(SettingsLocations::standard());
            QCOMPARE(readable.google(), google ? sampleConfig() : GoogleConfig());
            QCOMPARE(readable.notionToken(), google ? QString() : "secret_abc");
            QVERIFY(!readable.googleFileProblem() && !readable.notionTokenFileProblem());
        }

        // Once the file has gone, the next assignment writes it again.
        QVERIFY(QFile::remove(file));
        if (google)
            settings.setGoogle(sampleConfig());
        else
            settings.setNotionToken("secret_new");
        QVERIFY(!problem());
        QCOMPARE(TestFiles::read(file), google ? sampleFile : QByteArray("secret_new"));
    }

private:
    std::unique_ptr<TempHome> m_home;
    QString m_folder;
};

QTEST_GUILESS_MAIN(TestCredentialFiles)
#include "tst_credentialfiles.moc"
