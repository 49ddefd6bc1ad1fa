#include "core/remote/GoogleRecords.h"
#include "core/remote/HexColor.h"
#include "core/remote/NotionRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

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

} // namespace

class TestRemoteRecords : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { GoogleConfig::overrideBuiltInClientForTesting(QString(), QString()); }

    void strictDecoding_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: the key is removed
        QTest::addColumn<bool>("decodes");

        const QJsonValue removed(QJsonValue::Undefined);
        QTest::newRow("complete record") << "" << removed << true;
        QTest::newRow("no needsReauth") << "needsReauth" << removed << false;
        QTest::newRow("needsReauth as text") << "needsReauth" << QJsonValue("false") << false;
        QTest::newRow("access token null") << "accessToken" << QJsonValue(QJsonValue::Null) << true;
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
        if (value.isUndefined())
            account.remove(key);
        else
            account.insert(key, value);
        // One bad account fails the whole configuration, not just itself.
        const QJsonObject config{
            {"clientID", ""}, {"clientSecret", ""}, {"accounts", QJsonArray{fullAccount(), account}}};
        QCOMPARE(GoogleConfig::fromJson(config).has_value(), decodes);
    }

    void roundTripKeepsEverything() {
        const GoogleAccount account{"ines@example.com",
                                    "1//rt",
                                    QStringLiteral("ya29.at"),
                                    QDateTime(QDate(2026, 3, 2), QTime(15, 5, 9), Qt::OffsetFromUTC, 3600),
                                    {GoogleCalendarInfo{"c1", "Work", "#7986CB", true, "owner"},
                                     GoogleCalendarInfo{"c2", "Team", std::nullopt, false, "reader"}},
                                    {"c2", "gone"},
                                    true,
                                    QStringList{"openid", "https://www.googleapis.com/auth/calendar"}};
        const GoogleConfig config{
            " my-id ", "secret\n", {account, GoogleAccount{"b@example.com", "t", {}, {}, {}, {}, false, {}}}};
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
        QTest::addColumn<QString>("effective"); // empty: the build has no client
        QTest::newRow("empty uses the built-in") << u""_s << u"built-in"_s << "built-in";
        QTest::newRow("blanks and tabs count as empty") << u" \t\u00a0 "_s << u"built-in"_s << "built-in";
        QTest::newRow("pasted value is trimmed") << u"\t mine  "_s << u"built-in"_s << "mine";
        QTest::newRow("line breaks are not trimmed") << u"mine\n"_s << u"built-in"_s << "mine\n";
        QTest::newRow("build without a client") << u"  "_s << u""_s << "";
        QTest::newRow("pasted into a build without one") << u"mine"_s << u""_s << "mine";
    }
    void effectiveClientIdentity() {
        QFETCH(QString, stored);
        QFETCH(QString, builtIn);
        QFETCH(QString, effective);
        // The same text for the ID and the secret, so that both follow one row.
        GoogleConfig::overrideBuiltInClientForTesting(builtIn, builtIn);
        const GoogleConfig config{stored, stored, {}};
        QCOMPARE(config.effectiveClientID(), effective);
        QCOMPARE(config.effectiveClientSecret(), effective);
        QCOMPARE(config.hasClient(), !effective.isEmpty());
        QCOMPARE(config.clientID, stored); // what the user pasted stays as it was
    }

    void permissions_data() {
        QTest::addColumn<QString>("scopes"); // granted at sign-in; null: none recorded
        QTest::addColumn<QString>("role");   // of a calendar; null: none
        QTest::addColumn<bool>("canWrite");
        QTest::addColumn<bool>("canEdit");
        const QString base = "https://www.googleapis.com/auth/";
        QTest::newRow("nothing recorded") << QString() << QString() << false << true;
        QTest::newRow("read-only scope, reader") << base + "calendar.readonly"
                                                 << "reader" << false << false;
        QTest::newRow("events scope, writer") << base + "calendar.readonly " + base + "calendar.events"
                                              << "writer" << true << true;
        QTest::newRow("full calendar scope, owner") << base + "calendar"
                                                    << "owner" << true << true;
        QTest::newRow("a longer scope, Owner in another case") << base + "calendarx"
                                                               << "Owner" << false << false;
    }
    void permissions() {
        QFETCH(QString, scopes);
        QFETCH(QString, role);
        QFETCH(bool, canWrite);
        QFETCH(bool, canEdit);
        GoogleAccount account;
        if (!scopes.isNull())
            account.scopes = scopes.split(u' ');
        QCOMPARE(account.canWrite(), canWrite);
        const auto accessRole = role.isNull() ? std::nullopt : std::optional(role);
        QCOMPARE((GoogleCalendarInfo{"c", "C", std::nullopt, false, accessRole}.canEdit()), canEdit);
    }

    void storedNotionSelections_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("count"); // -1: the list does not decode
        QTest::newRow("two selections")
            << QByteArray(R"([{"id":"d1","title":"Tasks","icon":"✅","dateProperty":"Due"},)"
                          R"( {"id":"d2","title":"Plans","dateProperty":"When"}])")
            << 2;
        QTest::newRow("null icon") << QByteArray(R"([{"id":"d","title":"T","icon":null,"dateProperty":"D"}])")
                                   << 1;
        QTest::newRow("one without dateProperty")
            << QByteArray(R"([{"id":"d1","title":"A","dateProperty":"Due"},{"id":"d2","title":"B"}])") << -1;
        QTest::newRow("icon not text")
            << QByteArray(R"([{"id":"d","title":"T","icon":{"emoji":"x"},"dateProperty":"D"}])") << -1;
        QTest::newRow("an object, not a list")
            << QByteArray(R"({"id":"d","title":"T","dateProperty":"D"})") << -1;
        QTest::newRow("broken JSON") << QByteArray(R"([{"id":"d",)") << -1;
    }
    void storedNotionSelections() {
        QFETCH(QByteArray, json);
        QFETCH(int, count);
        const auto selections = NotionDatabaseSelection::listFromJson(json);
        QCOMPARE(selections ? selections->size() : -1, count);
    }

    void notionRoundTrips() {
        const QList<NotionDatabaseSelection> selections{{"d1", "Tasks", QStringLiteral("✅"), "Due"},
                                                        {"d2", "Plans", std::nullopt, "When"}};
        const QByteArray json = NotionDatabaseSelection::listToJson(selections);
        QVERIFY(!json.contains('\n')); // compact, as the settings keep it
        QVERIFY(!QJsonDocument::fromJson(json).array().at(1).toObject().contains("icon"));
        QCOMPARE(NotionDatabaseSelection::listFromJson(json), selections);

        const NotionDatabase database{"db", "Untitled database", std::nullopt, {"Date", "Due"}};
        QCOMPARE(NotionDatabase::fromJson(database.toJson()), database);
        QJsonObject withoutProperties = database.toJson();
        withoutProperties.remove("dateProperties");
        QVERIFY(!NotionDatabase::fromJson(withoutProperties));
    }

    // Google's calendar colours and the colour files of local calendars, which may carry an alpha pair.
    void hexColors_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("google"); // invalid: no colour
        QTest::addColumn<QColor>("file");
        const QColor blueish(0x1a, 0x2b, 0x3c);
        const auto row = [](const char* name, const QString& text, const QColor& google, const QColor& file) {
            QTest::newRow(name) << text << google << file;
        };
        row("with #", "#1a2b3c", blueish, blueish);
        row("upper case, blanks and tab, no #", u" 1A2B3C\t\u00a0"_s, blueish, blueish);
        row("black is a colour", "000000", QColor(0, 0, 0), QColor(0, 0, 0));
        row("plus sign reads as a number", "+12345", QColor(0x01, 0x23, 0x45), QColor(0x01, 0x23, 0x45));
        row("minus zero", "-00000", QColor(0, 0, 0), QColor(0, 0, 0));
        row("minus anything else", "-00001", QColor(), QColor());
        row("eight digits with alpha", "#1a2b3c4d", QColor(), blueish);
        row("alpha not hexadecimal", "#1a2b3c4g", QColor(), QColor());
        row("two #", "##1a2b3c", QColor(), QColor());
        row("not hexadecimal", "1a2b3g", QColor(), QColor());
        row("trailing line break", "1a2b3c\n", QColor(), QColor());
    }
    void hexColors() {
        QFETCH(QString, text);
        QFETCH(QColor, google);
        QFETCH(QColor, file);
        QCOMPARE(HexColor::color(text).value_or(QColor()), google);
        QCOMPARE(HexColor::colorIgnoringAlpha(text).value_or(QColor()), file);
    }
};

QTEST_GUILESS_MAIN(TestRemoteRecords)
#include "tst_remoterecords.moc"
