#include "SettingsWorld.h"

#include "core/settings/SettingsLocations.h"
#include "ui/settings/NotionSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

namespace {

NotionSettings* tab(SettingsView& view) {
    return view.findChild<NotionSettings*>();
}

// The token as the app would read it from disk at its next start.
QString storedToken() {
    return AppSettings(SettingsLocations::standard()).notionToken();
}

QStringList chosen(const AppSettings& settings) {
    QStringList out;
    for (const NotionDatabaseSelection& selection : settings.notionDatabases())
        out << selection.id + ":" + selection.dateProperty;
    return out;
}

bool shows(QWidget* root, const QString& text) {
    const QList<QLabel*> labels = root->findChildren<QLabel*>();
    return std::any_of(labels.cbegin(), labels.cend(),
                       [&](const QLabel* label) { return label->isVisible() && label->text() == text; });
}

// A Notion workspace sharing three databases with the integration: Alpha (two date properties),
// Bee and Cee (one each).
struct NotionWorld : SettingsWorld {
    NotionWorld() {
        notion.addDatabase(FakeNotion::database("a", "Alpha", {{"Date", "date"}, {"Deadline", "date"}},
                                                QStringLiteral("🚀")));
        notion.addDatabase(FakeNotion::database("b", "Bee", {{"Due", "date"}}));
        notion.addDatabase(FakeNotion::database("c", "Cee", {{"Start", "date"}}));
    }
    int verifications() { return int(notion.server().requests("GET", u"/v1/users/me").size()); }
};

} // namespace

class TestNotionSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void connectedTruthTable_data() {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("databases");
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<bool>("connected");
        const std::optional<QString> none;
        const std::optional<QString> name("Sync");
        QTest::newRow("no token, whatever is known") << "" << true << name << false;
        QTest::newRow("token, nothing known yet") << "secret_x" << false << none << false;
        QTest::newRow("token and databases") << "secret_x" << true << none << true;
        QTest::newRow("token and a name, no databases") << "secret_x" << false << name << true;
    }
    void connectedTruthTable() {
        QFETCH(QString, token);
        QFETCH(bool, databases);
        QFETCH(std::optional<QString>, name);
        QFETCH(bool, connected);
        const QList<NotionDatabase> listed =
            databases ? QList<NotionDatabase>{{"a", "A", std::nullopt, {"Due"}}} : QList<NotionDatabase>{};
        QCOMPARE(NotionSettingsModel::isConnected(token, listed, name), connected);
    }

    // Choosing appends in order, with the first date property; the picker appears only for a chosen
    // database with a choice of properties; unchoosing and choosing again starts it afresh at the end.
    void choosingDatabases() {
        NotionWorld w;
        w.h.settings->setNotionToken(w.notion.token());
        SettingsView& view = w.open(3);
        QVERIFY(w.waitFor([&] { return control<QCheckBox>(&view, "🚀 Alpha") != nullptr; }));
        QVERIFY(!tab(view)->isConnecting());
        QVERIFY(shows(&view, "Connected as") && shows(&view, "Vorrindel Sync"));
        QVERIFY(view.findChildren<QComboBox*>().isEmpty() ||
                !control<QComboBox>(&view, "Date property used for Alpha"));
        QVERIFY(shows(&view, "Date") && shows(&view, "Due") && shows(&view, "Start"));

        click(control<QCheckBox>(&view, "🚀 Alpha"));
        click(control<QCheckBox>(&view, "Cee"));
        QCOMPARE(chosen(*w.h.settings), QStringList({"a:Date", "c:Start"}));
        auto* picker = control<QComboBox>(&view, "Date property used for Alpha");
        QVERIFY(picker);
        QCOMPARE(picker->toolTip(), QStringLiteral("Date property used for Alpha"));
        QCOMPARE(picker->width(), 150);
        QCOMPARE(picker->count(), 2);
        choose(picker, "Deadline");
        QCOMPARE(chosen(*w.h.settings), QStringList({"a:Deadline", "c:Start"}));
        shot(&view, "notion-databases");

        click(control<QCheckBox>(&view, "🚀 Alpha"));
        QCOMPARE(chosen(*w.h.settings), QStringList({"c:Start"}));
        QVERIFY(!control<QComboBox>(&view, "Date property used for Alpha"));
        click(control<QCheckBox>(&view, "🚀 Alpha"));
        QCOMPARE(chosen(AppSettings(SettingsLocations::standard())), QStringList({"c:Start", "a:Date"}));
        click(control<QCheckBox>(&view, "Bee"));
        QVERIFY(!control<QComboBox>(&view, "Date property used for Bee"));
    }

    // What is typed goes out without the blanks around it; blanks alone never reach Notion, not even
    // through Return. The field empties after every attempt.
    void typedTokens_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("blanks only") << "   \t" << false;
        QTest::newRow("blanks around the token") << "  secret_fakeNotionIntegrationToken  " << true;
        QTest::newRow("a refused token") << "secret_wrong" << true;
    }
    void typedTokens() {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        NotionWorld w;
        SettingsView& view = w.open(3);
        auto* field = control<QLineEdit>(&view, "Internal integration secret (ntn_… or secret_…)");
        QVERIFY(field);
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        field->setFocus();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        w.h.settle();
        QCOMPARE(w.verifications(), 0);
        auto* connect = control<QPushButton>(&view, "Connect");
        QCOMPARE(connect->isEnabled(), accepted);
        if (!accepted) {
            click(control<QLabel>(&view, "Create an integration"));
            QCOMPARE(w.opened, QList<QUrl>{QUrl("https://www.notion.so/profile/integrations")});
            return;
        }

        click(connect);
        QVERIFY(w.waitFor([&] { return !tab(view)->isConnecting(); }));
        const QList<HttpRequest> sent = w.notion.server().requests("GET", u"/v1/users/me");
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].header("Authorization"), "Bearer " + typed.trimmed().toUtf8());
        QVERIFY(field->text().isEmpty());
        if (typed.trimmed() == w.notion.token()) {
            QCOMPARE(storedToken(), w.notion.token());
            QVERIFY(shows(&view, "Vorrindel Sync"));
        } else {
            QVERIFY(storedToken().isEmpty());
            QVERIFY(control<WarningLine>(&view, QStringLiteral("API token is invalid.")));
            QVERIFY(field->isVisible());
            shot(&view, "notion-refused");
        }
    }

    // Disconnect pressed while a connect waits for Notion: the token file goes at once and stays
    // gone when the connect completes, whichever state the tab was in.
    void disconnectDuringAPendingConnect_data() {
        QTest::addColumn<bool>("connectedBefore");
        QTest::newRow("stored token rescanned on showing") << false;
        QTest::newRow("connected integration rescanned") << true;
    }
    void disconnectDuringAPendingConnect() {
        QFETCH(bool, connectedBefore);
        NotionWorld w;
        w.h.settings->setNotionToken(w.notion.token());
        if (connectedBefore)
            w.h.settings->setNotionDatabases({{"b", "Bee", std::nullopt, "Due"}});
        else
            w.notion.server().hold("GET", "/v1/users/me");
        SettingsView& view = w.open(3);
        if (connectedBefore) {
            QVERIFY(
                w.waitFor([&] { return control<QCheckBox>(&view, "Bee") && !tab(view)->isConnecting(); }));
            w.notion.server().hold("GET", "/v1/users/me");
            click(control<QPushButton>(&view, "Rescan databases"));
        } else {
            // Showing the tab again while it rescans starts no second rescan.
            view.tabs()->setCurrentIndex(0);
            view.tabs()->setCurrentIndex(3);
            QVERIFY(control<QPushButton>(&view, "Connecting…"));
        }
        QVERIFY(w.waitFor([&] { return w.notion.server().heldCount() == 1; }));
        QVERIFY(tab(view)->isConnecting());
        shot(&view, QStringLiteral("notion-connecting-") + (connectedBefore ? "connected" : "stored"));

        QStringList tokensWritten;
        QObject::connect(w.h.settings.get(), &AppSettings::notionTokenChanged,
                         [&] { tokensWritten << w.h.settings->notionToken(); });
        click(control<QPushButton>(&view, "Disconnect"));
        QVERIFY(storedToken().isEmpty());
        w.notion.server().release();
        QVERIFY(
            w.waitFor([&] { return !w.h.store->notionUserName() && w.notion.server().heldCount() == 0; }));
        w.h.advance(1);
        QVERIFY(storedToken().isEmpty());
        QCOMPARE(tokensWritten, QStringList{QString()});
        QVERIFY(w.h.settings->notionDatabases().isEmpty());
        QVERIFY(!tab(view)->isConnecting());
        QVERIFY(control<QPushButton>(&view, "Connect"));
        QVERIFY(!control<QPushButton>(&view, "Disconnect"));
        QVERIFY(!control<QCheckBox>(&view, "Bee"));
        QCOMPARE(w.verifications(), connectedBefore ? 2 : 1);
    }

    // A token that Notion no longer accepts leaves the tab unconnected, with the reason and a way to
    // remove the token from this computer.
    void aRevokedTokenCanBeRemoved() {
        NotionWorld w;
        w.h.settings->setNotionToken(QStringLiteral("secret_revoked"));
        SettingsView& view = w.open(3);
        QVERIFY(w.waitFor([&] { return w.h.store->notionError().has_value(); }));
        QVERIFY(control<WarningLine>(&view, QStringLiteral("API token is invalid.")));
        QVERIFY(control<QLineEdit>(&view, "Internal integration secret (ntn_… or secret_…)"));
        shot(&view, "notion-revoked");
        click(control<QPushButton>(&view, "Disconnect"));
        QVERIFY(storedToken().isEmpty());
        QVERIFY(!w.h.store->notionError());
        QVERIFY(!control<QPushButton>(&view, "Disconnect"));
        QVERIFY(!control<WarningLine>(&view, QStringLiteral("API token is invalid.")));
    }

    // Connected, with no database shared: the name and the hint to share one, no database section.
    void connectedWithoutDatabases() {
        SettingsWorld w;
        w.notion.setBotName(std::nullopt);
        w.h.settings->setNotionToken(w.notion.token());
        SettingsView& view = w.open(3);
        QVERIFY(w.waitFor([&] { return w.h.store->notionUserName().has_value(); }));
        QVERIFY(shows(&view, "Notion integration"));
        QVERIFY(shows(&view, "No databases with a date property are shared with this integration. Open the "
                             "database in Notion → ··· → Connections → add your integration, then rescan."));
        const QList<QGroupBox*> sections = view.findChildren<QGroupBox*>();
        QVERIFY(std::none_of(sections.cbegin(), sections.cend(), [](const QGroupBox* box) {
            return box->isVisible() && box->title() == u"Databases with a date property";
        }));
    }
};

QTEST_MAIN(TestNotionSettings)
#include "tst_notionsettings.moc"
