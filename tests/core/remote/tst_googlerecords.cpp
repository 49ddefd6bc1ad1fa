#include "core/remote/GoogleRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

QJsonObject parse(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

// A complete account as another version of the app may have written it; rows take keys away or
// change them.
QJsonObject fullAccount() {
    return parse(R"({
        "email": "ines@example.com", "refreshToken": "rt-1", "accessToken": "ya29.at",
        "expiry": "2026-03-02T14:05:09Z", "needsReauth": false,
        "hiddenCalendarIDs": ["b@group"], "scopes": ["www.googleapis.com/auth/calendar.events"],
        "calendars": [{"id": "ines@example.com", "summary": "Ines", "colorHex": "#7986cb",
                       "primary": true, "accessRole": "owner"},
                      {"id": "b@group", "summary": "Birthdays", "primary": false}]})");
}

QJsonObject configWith(const QJsonObject& account) {
    return QJsonObject{{"clientID", ""}, {"clientSecret", ""}, {"accounts", QJsonArray{account}}};
}

} // namespace

class TestGoogleRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { GoogleConfig::overrideBuiltInClientForTesting(QString(), QString()); }

    void strictDecoding_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: the key is removed
        QTest::addColumn<bool>("decodes");
        const QJsonValue removed(QJsonValue::Undefined);
        const QJsonValue null(QJsonValue::Null);
        QTest::newRow("complete record") << "" << removed << true;
        QTest::newRow("no needsReauth") << "needsReauth" << removed << false;
        QTest::newRow("no calendars") << "calendars" << removed << false;
        QTest::newRow("no hiddenCalendarIDs") << "hiddenCalendarIDs" << removed << false;
        QTest::newRow("needsReauth as text") << "needsReauth" << QJsonValue("false") << false;
        QTest::newRow("access token null") << "accessToken" << null << true;
        QTest::newRow("access token a number") << "accessToken" << QJsonValue(5) << false;
        QTest::newRow("expiry with fraction") << "expiry" << QJsonValue("2026-03-02T14:05:09.5Z") << false;
        QTest::newRow("expiry without offset") << "expiry" << QJsonValue("2026-03-02T14:05:09") << false;
        QTest::newRow("expiry on no day") << "expiry" << QJsonValue("2026-02-30T14:05:09Z") << false;
        QTest::newRow("unknown key") << "color" << QJsonValue("green") << true;
        QTest::newRow("calendar without primary")
            << "calendars" << QJsonValue(QJsonArray{QJsonObject{{"id", "x"}, {"summary", "X"}}}) << false;
    }
    void strictDecoding() {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(bool, decodes);
        QJsonObject account = fullAccount();
        if (!key.isEmpty()) {
            if (value.isUndefined())
                account.remove(key);
            else
                account.insert(key, value);
        }
        // One bad account fails the whole configuration, not just itself.
        QJsonObject config = configWith(account);
        QJsonArray accounts = config.value("accounts").toArray();
        accounts.prepend(fullAccount());
        config.insert("accounts", accounts);
        QCOMPARE(GoogleConfig::fromJson(config).has_value(), decodes);
    }

    void roundTripKeepsEverything() {
        GoogleConfig config{" my-id ", "secret\n", {}};
        GoogleAccount account{"ines@example.com",
                              "1//rt",
                              QStringLiteral("ya29.at"),
                              QDateTime(QDate(2026, 3, 2), QTime(15, 5, 9), Qt::OffsetFromUTC, 3600),
                              {GoogleCalendarInfo{"c1", "Work", "#7986CB", true, "owner"},
                               GoogleCalendarInfo{"c2", "Team", std::nullopt, false, "reader"}},
                              {"c2", "gone"},
                              true,
                              QStringList{"openid", "https://www.googleapis.com/auth/calendar"}};
        config.accounts = {account, GoogleAccount{"b@example.com", "t", {}, {}, {}, {}, false, {}}};
        const QJsonObject json = config.toJson();
        QCOMPARE(json.value("accounts")[0]["expiry"].toString(), "2026-03-02T14:05:09Z");
        QCOMPARE(GoogleConfig::fromJson(json), config);

        QJsonObject offset = json.value("accounts")[0].toObject();
        offset.insert("expiry", "2026-03-02T16:05:09+02:00");
        QCOMPARE(GoogleAccount::fromJson(offset)->expiry, account.expiry);

        for (const char* key : {"clientID", "clientSecret", "accounts"}) {
            QJsonObject missing = json;
            missing.remove(key);
            QVERIFY2(!GoogleConfig::fromJson(missing), key);
        }
    }

    void effectiveClientIdentity_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("builtIn");
        QTest::addColumn<QString>("effective");
        QTest::addColumn<bool>("hasClient");
        QTest::newRow("empty uses the built-in") << ""
                                                 << "built-in"
                                                 << "built-in" << true;
        QTest::newRow("blanks and tabs count as empty") << " \t\u00a0 "
                                                        << "built-in"
                                                        << "built-in" << true;
        QTest::newRow("pasted value is trimmed") << "\t mine  "
                                                 << "built-in"
                                                 << "mine" << true;
        QTest::newRow("line breaks are not trimmed") << "mine\n"
                                                     << "built-in"
                                                     << "mine\n"
                                                     << true;
        QTest::newRow("build without a client") << "  "
                                                << ""
                                                << "" << false;
        QTest::newRow("pasted into a build without one") << "mine"
                                                         << ""
                                                         << "mine" << true;
    }
    void effectiveClientIdentity() {
        QFETCH(QString, stored);
        QFETCH(QString, builtIn);
        QFETCH(QString, effective);
        QFETCH(bool, hasClient);
        // The same text for the ID and the secret, so that both follow one row.
        GoogleConfig::overrideBuiltInClientForTesting(builtIn, builtIn);
        const GoogleConfig config{stored, stored, {}};
        QCOMPARE(config.effectiveClientID(), effective);
        QCOMPARE(config.effectiveClientSecret(), effective);
        QCOMPARE(config.hasClient(), hasClient);
        QCOMPARE(config.clientID, stored); // what the user pasted stays as it was
    }

    void writeAccess_data() {
        QTest::addColumn<std::optional<QStringList>>("scopes");
        QTest::addColumn<bool>("canWrite");
        const QString base = "https://www.googleapis.com/auth/";
        QTest::newRow("no scopes recorded") << std::optional<QStringList>() << false;
        QTest::newRow("read-only") << std::optional(QStringList{base + "calendar.readonly"}) << false;
        QTest::newRow("events") << std::optional(
                                       QStringList{base + "calendar.readonly", base + "calendar.events"})
                                << true;
        QTest::newRow("full calendar") << std::optional(QStringList{base + "calendar"}) << true;
        QTest::newRow("only a prefix of it") << std::optional(QStringList{base + "calendarx"}) << false;
    }
    void writeAccess() {
        QFETCH(std::optional<QStringList>, scopes);
        QFETCH(bool, canWrite);
        GoogleAccount account;
        account.scopes = scopes;
        QCOMPARE(account.canWrite(), canWrite);
    }

    void calendarEditing_data() {
        QTest::addColumn<std::optional<QString>>("role");
        QTest::addColumn<bool>("canEdit");
        QTest::newRow("no role") << std::optional<QString>() << true;
        QTest::newRow("owner") << std::optional<QString>("owner") << true;
        QTest::newRow("writer") << std::optional<QString>("writer") << true;
        QTest::newRow("reader") << std::optional<QString>("reader") << false;
        QTest::newRow("Owner in other case") << std::optional<QString>("Owner") << false;
    }
    void calendarEditing() {
        QFETCH(std::optional<QString>, role);
        QFETCH(bool, canEdit);
        QCOMPARE((GoogleCalendarInfo{"c", "C", std::nullopt, false, role}.canEdit()), canEdit);
    }

    void visibleCalendarsKeepStoredOrder() {
        const auto calendar = [](const char* id) { return GoogleCalendarInfo{id, id, {}, false, {}}; };
        GoogleAccount account;
        account.calendars = {calendar("z"), calendar("hidden"), calendar("a")};
        account.hiddenCalendarIDs = {"hidden", "not-a-calendar"};
        QCOMPARE(account.visibleCalendars(), (QList<GoogleCalendarInfo>{calendar("z"), calendar("a")}));
    }

    void hiddenIdsCompareAndHashAsASet() {
        GoogleAccount first;
        first.hiddenCalendarIDs = {"a", "b", "c", "d", "e"};
        GoogleAccount second;
        for (const char* id : {"e", "d", "c", "b", "a"})
            second.hiddenCalendarIDs.insert(id);
        QCOMPARE(first, second);
        QCOMPARE(qHash(first), qHash(second));
        second.hiddenCalendarIDs.remove("a");
        QVERIFY(first != second);
    }
};

QTEST_GUILESS_MAIN(TestGoogleRecords)
#include "tst_googlerecords.moc"
