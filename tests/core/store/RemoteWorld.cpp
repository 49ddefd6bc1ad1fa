#include "RemoteWorld.h"

#include <QTest>

RemoteWorld::RemoteWorld() {
    session.setEndpoints({google.endpoints().googleConsent, google.endpoints().googleToken,
                          google.endpoints().googleCalendar, notion.baseUrl()});
    session.setClock(h.clock.clock());
    h.googleSource = GoogleSource::remote();
    h.notionSource = NotionSource::remote();
    google.addAccount(ada);
    const GoogleAccount account{ada,
                                google.issueRefreshToken(ada),
                                google.issueAccessToken(ada),
                                h.clock.now().addSecs(3600),
                                {{ada, ada, std::nullopt, true, QStringLiteral("owner")}},
                                {},
                                false,
                                QStringList{FakeGoogle::eventsScope}};
    h.settings->setGoogle({google.clientID(), google.clientSecret(), {account}});
    notion.addDatabase(FakeNotion::database("db1", "Roadmap", {{"Due", "date"}}));
    h.settings->setNotionToken(notion.token());
    h.settings->setNotionDatabases({{"db1", "Roadmap", std::nullopt, "Due"}});
}

bool RemoteWorld::synced() {
    return QTest::qWaitFor([&] { return !h.store->isSyncingGoogle() && !h.store->isSyncingNotion(); }, 30000);
}
