// Syncs against servers and networks that answer badly, through the real clients: a bad answer is
// an error the footer shows, the agenda keeps what the last good sync brought, and the sync ends so
// that the next one can run.
#include "ServedWorld.h"

#include "support/TaskResult.h"

#include <QJsonArray>
#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(HttpReply)

namespace {

const QString today = QStringLiteral("2026-03-04");

} // namespace

class TestStoreBadReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void badListingsKeepTheLastGoodEvents_data() {
        QTest::addColumn<bool>("notion");
        QTest::addColumn<HttpReply>("reply"); // a default one: the source's cursors go round for ever

        const HttpReply listing = HttpReply::json(200, {{"items", QJsonArray()}, {"results", QJsonArray()}});
        const HttpReply portal =
            HttpReply::text(200, "<html><body>Sign in to the Wi-Fi</body></html>", "text/html");
        for (const bool notion : {false, true}) {
            const char* source = notion ? "Notion" : "Google";
            QTest::addRow("%s, cut short", source) << notion << HttpReply::cutShort(listing, 12);
            QTest::addRow("%s, reset", source)
                << notion << HttpReply::cutShort(listing, 12, HttpReply::Ending::Reset);
            QTest::addRow("%s, a captive portal's page", source) << notion << portal;
            QTest::addRow("%s, cursors that cycle", source) << notion << HttpReply();
            QTest::addRow("%s, trickling", source) << notion << HttpReply::trickle(listing, 50ms);
        }
    }
    void badListingsKeepTheLastGoodEvents() {
        QFETCH(bool, notion);
        QFETCH(HttpReply, reply);

        ServedWorld w;
        w.google.addEvent(ServedWorld::ada, FakeGoogle::timedEvent("g1", "Dentist", w.h.at(today + " 14:00"),
                                                                   w.h.at(today + " 15:00")));
        w.notion.addPage("db1", FakeNotion::page("p1", "Launch", "Due", today));
        TestableStore& store = w.h.start();
        QVERIFY(w.synced());
        const QStringList shown = w.h.titlesOn(today);
        QCOMPARE(shown.size(), 2);

        if (reply.headers.isEmpty()) {
            w.google.setPaging(FakeGoogle::Paging::Cycling);
            w.notion.setPaging(FakeNotion::Paging::Cycling);
        } else {
            // The bad reply comes after a first page, empty but for its cursor, as in a long listing:
            // what came before it must not pass for the whole listing.
            FakeHttpServer& server = notion ? w.notion.server() : w.google.server();
            const QByteArray method = notion ? "POST" : "GET";
            const QString path = notion ? "/v1/databases/" : "/calendar/v3/calendars/";
            server.scriptNext(
                method, path,
                notion ? HttpReply::json(200, {{"object", "list"},
                                               {"results", QJsonArray()},
                                               {"has_more", true},
                                               {"next_cursor", "more"}})
                       : HttpReply::json(200, {{"items", QJsonArray()}, {"nextPageToken", "more"}}));
            server.scriptNext(method, path, reply);
        }
        if (reply.kind == HttpReply::Kind::Trickle)
            w.session.setAllTimeouts(500ms);
        const auto refresh = runTask(notion ? store.refreshNotion() : store.refreshGoogle());
        QVERIFY(refresh.ok());
        const std::optional<QString> error = notion ? store.notionError() : store.googleError();
        QVERIFY2(error && !error->isEmpty(), "the footer shows no error");
        QCOMPARE(w.h.titlesOn(today), shown);

        // The sync ended: the next one runs, and a good answer clears the error.
        w.session.setTimeouts({});
        w.google.setPaging(FakeGoogle::Paging::Normal);
        w.notion.setPaging(FakeNotion::Paging::Normal);
        QVERIFY(runTask(notion ? store.refreshNotion() : store.refreshGoogle()).ok());
        QCOMPARE(notion ? store.notionError() : store.googleError(), std::nullopt);
        QCOMPARE(w.h.titlesOn(today), shown);
    }
};

QTEST_GUILESS_MAIN(TestStoreBadReplies)
#include "tst_storebadreplies.moc"
