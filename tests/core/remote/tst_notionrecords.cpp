#include "core/remote/NotionRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class TestNotionRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void storedSelections_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("count"); // -1: the list does not decode
        QTest::newRow("two selections")
            << QByteArray(R"([{"id":"d1","title":"Tasks","icon":"✅","dateProperty":"Due"},
                                                          {"id":"d2","title":"Plans","dateProperty":"When"}])")
            << 2;
        QTest::newRow("empty list") << QByteArray("[]") << 0;
        QTest::newRow("null icon") << QByteArray(R"([{"id":"d","title":"T","icon":null,"dateProperty":"D"}])")
                                   << 1;
        QTest::newRow("one without dateProperty")
            << QByteArray(R"([{"id":"d1","title":"A","dateProperty":"Due"},{"id":"d2","title":"B"}])") << -1;
        QTest::newRow("icon not text")
            << QByteArray(R"([{"id":"d","title":"T","icon":{"emoji":"x"},"dateProperty":"D"}])") << -1;
        QTest::newRow("an object, not a list")
            << QByteArray(R"({"id":"d","title":"T","dateProperty":"D"})") << -1;
        QTest::newRow("broken JSON") << QByteArray(R"([{"id":"d",)") << -1;
        QTest::newRow("not JSON") << QByteArray("\x01\x02", 2) << -1;
    }
    void storedSelections() {
        QFETCH(QByteArray, json);
        QFETCH(int, count);
        const auto selections = NotionDatabaseSelection::listFromJson(json);
        QCOMPARE(selections.has_value(), count >= 0);
        if (selections)
            QCOMPARE(selections->size(), count);
    }

    void selectionRoundTrip() {
        const QList<NotionDatabaseSelection> selections{{"d1", "Tasks", QStringLiteral("✅"), "Due"},
                                                        {"d2", "Plans", std::nullopt, "When"}};
        const QByteArray json = NotionDatabaseSelection::listToJson(selections);
        const QJsonArray array = QJsonDocument::fromJson(json).array();
        QCOMPARE(array.at(0).toObject().value("icon").toString(), QStringLiteral("✅"));
        QVERIFY(!array.at(1).toObject().contains("icon"));
        QVERIFY(!json.contains('\n')); // compact, as the settings keep it
        QCOMPARE(NotionDatabaseSelection::listFromJson(json), selections);
    }

    void sameDatabaseWithAnotherDatePropertyIsAnotherValue() {
        const NotionDatabaseSelection due{"d1", "Tasks", std::nullopt, "Due"};
        const NotionDatabaseSelection done{"d1", "Tasks", std::nullopt, "Done"};
        QVERIFY(due != done);
        QCOMPARE(QSet<NotionDatabaseSelection>({due, done, due}).size(), 2);
    }

    void databaseRoundTrip() {
        const NotionDatabase database{"db", "Untitled database", std::nullopt, {"Date", "Due"}};
        QCOMPARE(NotionDatabase::fromJson(database.toJson()), database);
        QJsonObject withoutProperties = database.toJson();
        withoutProperties.remove("dateProperties");
        QVERIFY(!NotionDatabase::fromJson(withoutProperties));
    }
};

QTEST_GUILESS_MAIN(TestNotionRecords)
#include "tst_notionrecords.moc"
