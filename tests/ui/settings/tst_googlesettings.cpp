#include "SettingsWorld.h"

#include "core/settings/SettingsLocations.h"
#include "support/Patience.h"
#include "support/TestEvents.h"
#include "ui/settings/GoogleSettings.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString ada = QStringLiteral("ada@corp.io");
const QString team = QStringLiteral("team@group.corp.io");

// The Google configuration as "google.json" holds it.
GoogleConfig stored() {
    return AppSettings(SettingsLocations::standard()).google();
}

GoogleSettings* tab(SettingsView& view) {
    return view.findChild<GoogleSettings*>();
}

// Whether a visible label of the tab reads exactly `text`.
bool shows(QWidget* root, const QString& text) {
    const QList<QLabel*> labels = root->findChildren<QLabel*>();
    return std::any_of(labels.cbegin(), labels.cend(),
                       [&](const QLabel* label) { return label->isVisible() && label->text() == text; });
}

// A world whose Google client is the fake's, with Ada (her own calendar and a team calendar she
// writes to) on the fake and one event in each calendar.
struct GoogleWorld : SettingsWorld {
    GoogleWorld() {
        GoogleConfig::overrideBuiltInClientForTesting(QString(), QString());
        h.settings->setGoogle({google.clientID(), google.clientSecret(), {}});
        google.addAccount(ada);
        google.addCalendar(ada,
                           {{"id", team}, {"summary", "Team"}, {"selected", true}, {"accessRole", "writer"}});
        google.addEvent(ada, FakeGoogle::timedEvent("a1", "Ada's own", h.at("2026-03-04 11:00"),
                                                    h.at("2026-03-04 11:30")));
        google.addEvent(team, FakeGoogle::timedEvent("t1", "Team sync", h.at("2026-03-04 12:00"),
                                                     h.at("2026-03-04 12:30")));
    }
    // Ada signed in already, as a previous session left her.
    void signedIn(bool needsReauth = false, const QSet<QString>& hidden = {}) {
        GoogleAccount account;
        account.email = ada;
        account.refreshToken = google.issueRefreshToken(ada);
        account.accessToken = google.issueAccessToken(ada);
        account.expiry = h.clock.now().addSecs(3600);
        account.scopes = QStringList{FakeGoogle::eventsScope};
        account.needsReauth = needsReauth;
        account.calendars = {{ada, ada, QStringLiteral("#7986cb"), true, QStringLiteral("owner")},
                             {team, QStringLiteral("Team"), std::nullopt, false, QStringLiteral("writer")}};
        account.hiddenCalendarIDs = hidden;
        GoogleConfig config = h.settings->google();
        config.accounts = {account};
        h.settings->setGoogle(config);
    }
    QStringList googleTitles() const { return StoreHarness::titles(h.store->googleEvents()); }
};

} // namespace

class TestGoogleSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { GoogleConfig::overrideBuiltInClientForTesting(QString(), QString()); }

    // The one repair an account row offers: an expired connection wins over missing write access.
    void accountRowsAndCalendars() {
        using R = GoogleSettingsModel::Repair;
        const QList<std::tuple<bool, std::optional<QStringList>, R>> rows{
            {true, std::nullopt, R::reconnect},
            {false, std::nullopt, R::allowInvites},
            {false, QStringList{FakeGoogle::eventsScope}, R::none}};
        for (const auto& [needsReauth, scopes, repair] : rows) {
            GoogleAccount account;
            account.needsReauth = needsReauth;
            account.scopes = scopes;
            QCOMPARE(GoogleSettingsModel::repair(account), repair);
        }

        // An unreadable colour falls back to the system blue.
        QCOMPARE(
            GoogleSettingsModel::calendarColor({"1", "C", QStringLiteral("#12345g"), false, std::nullopt}),
            QColor(0, 122, 255));
    }

    // A build without a client offers only the fields to paste one, even with accounts stored. The
    // button and the stored value trim alike: blanks and line breaks alone never enable it.
    void pastingAClient_data() {
        QTest::addColumn<QString>("clientID");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("usable");
        QTest::newRow("blanks only") << "   "
                                     << "\t " << false;
        QTest::newRow("padded") << "  1-x.apps.googleusercontent.com \n"
                                << "\tGOCSPX-x  " << true;
    }
    void pastingAClient() {
        QFETCH(QString, clientID);
        QFETCH(QString, secret);
        QFETCH(bool, usable);
        GoogleWorld w;
        w.h.settings->setGoogle({});
        w.signedIn();
        w.h.settings->setGoogle({QString(), QString(), w.h.settings->google().accounts});
        SettingsView& view = w.open(1);
        QCOMPARE(tab(view)->shownLayout(), GoogleSettingsModel::Layout::developerClient);
        QVERIFY(!control<QPushButton>(&view, "Remove " + ada));

        // Pasted, as a client identity arrives from the console.
        for (const auto& [field, text] :
             {std::pair{"Client ID", clientID}, std::pair{"Client secret", secret}}) {
            auto* edit = control<QLineEdit>(&view, field);
            QApplication::clipboard()->setText(text);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        }
        auto* use = control<QPushButton>(&view, "Use this client");
        QCOMPARE(use->isEnabled(), usable);
        if (!usable)
            return;
        click(use);
        QCOMPARE(stored().clientID, QStringLiteral("1-x.apps.googleusercontent.com"));
        QCOMPARE(stored().clientSecret, QStringLiteral("GOCSPX-x"));
        QCOMPARE(tab(view)->shownLayout(), GoogleSettingsModel::Layout::accounts);
        QVERIFY(control<QPushButton>(&view, "Remove " + ada));
    }

    // The first account through the browser sign-in; the card gives way to the account's row. While
    // a further account signs in, the spinner and its text lead the row.
    void connectingTheFirstAccount() {
        GoogleWorld w;
        SettingsView& view = w.open(1);
        QCOMPARE(tab(view)->shownLayout(), GoogleSettingsModel::Layout::connectCard);
        // The card's text and its footnote, at their narrower measures, show every line.
        for (const auto& [start, measure] : {std::pair{"See the same", 380}, {"Google will ask", 400}}) {
            QLabel* text = nullptr;
            for (QLabel* label : view.findChildren<QLabel*>())
                text = label->text().startsWith(start) ? label : text;
            QVERIFY(text && text->width() <= measure && text->width() > measure - 40);
            QVERIFY(text->height() >= text->heightForWidth(text->width()));
        }
        Shots::save(&view, "google-connect");
        click(control<QPushButton>(&view, "Connect Google Calendar"));
        QVERIFY(w.waitFor([&] { return tab(view)->shownLayout() == GoogleSettingsModel::Layout::accounts; }));
        QCOMPARE(stored().accounts.size(), 1);
        QVERIFY(w.waitFor([&] { return w.h.store->googleLastSync().has_value(); }));
        QVERIFY(shows(&view, "Synced 0 sec. ago"));
        QVERIFY(shows(&view, "2 of 2 calendars"));
        QVERIFY(control<QCheckBox>(&view, ada + " (primary)")->isChecked());
        QCOMPARE(w.googleTitles(), QStringList({"Ada's own", "Team sync"}));
        w.h.advance(180);
        QVERIFY(shows(&view, "Synced 3 min. ago"));
        Shots::save(&view, "google-accounts");

        w.browser.setLoads(false);
        auto* add = control<QPushButton>(&view, "Add another account…");
        const int left = add->x();
        click(add);
        QPushButton* cancel = nullptr;
        QVERIFY(w.waitFor([&] { return (cancel = control<QPushButton>(&view, "Cancel signing in")); }));
        QCOMPARE(cancel->parentWidget()->x(), left);
        Shots::save(&view, "google-adding-account");
        click(cancel);
    }

    // Google refuses the token its renewal has just given: the account is marked and the tab offers
    // Reconnect under the plain text. Reconnecting replaces the account and keeps the calendars it had
    // hidden.
    void reconnectingAMarkedAccount() {
        GoogleWorld w;
        w.signedIn(false, {team});
        w.google.server().scriptNext("GET", "/calendar/v3/calendars/",
                                     FakeGoogle::errorReply(401, "authError", "Invalid"), 2);
        SettingsView& view = w.open(1);
        QVERIFY(w.waitFor([&] { return control<QPushButton>(&view, "Reconnect " + ada); }));
        QVERIFY(stored().accounts.value(0).needsReauth);
        QVERIFY(shows(&view, "Google sign-in expired — reconnect in Settings"));
        auto* reconnect = control<QPushButton>(&view, "Reconnect " + ada);
        QCOMPARE(reconnect->toolTip(), QStringLiteral("The connection expired — sign in again."));
        click(reconnect);
        QVERIFY(w.waitFor([&] { return !stored().accounts.value(0).needsReauth; }));
        QCOMPARE(stored().accounts.size(), 1);
        QCOMPARE(stored().accounts[0].hiddenCalendarIDs, QSet<QString>{team});
        QVERIFY(w.waitFor([&] { return !control<QPushButton>(&view, "Reconnect " + ada); }));
        QVERIFY(shows(&view, "1 of 2 calendars"));
    }

    // Hiding a calendar stores it, its events leave the agenda, and showing it brings them back;
    // removing the account takes its events and gives the connect card back.
    void hidingACalendarThenRemovingTheAccount() {
        GoogleWorld w;
        w.signedIn();
        SettingsView& view = w.open(1);
        QVERIFY(w.waitFor([&] { return w.googleTitles() == QStringList({"Ada's own", "Team sync"}); }));
        auto* teamToggle = control<QCheckBox>(&view, "Team");
        QWidget* row = teamToggle->parentWidget();
        click(teamToggle);
        QCOMPARE(stored().accounts[0].hiddenCalendarIDs, QSet<QString>{team});
        QVERIFY(shows(&view, "1 of 2 calendars"));
        QVERIFY(w.waitFor([&] { return w.googleTitles() == QStringList{"Ada's own"}; }));
        // The same controls, updated in place: the store's publishes take no focus away.
        QCOMPARE(control<QCheckBox>(&view, "Team"), teamToggle);
        QCOMPARE(teamToggle->parentWidget(), row);
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view, Patience::ms));
        teamToggle->setFocus();
        w.h.advance(30);
        QVERIFY(teamToggle->hasFocus());
        click(teamToggle);
        QVERIFY(stored().accounts[0].hiddenCalendarIDs.isEmpty());
        QVERIFY(w.waitFor([&] { return w.googleTitles() == QStringList({"Ada's own", "Team sync"}); }));

        click(control<QPushButton>(&view, "Remove " + ada));
        QVERIFY(stored().accounts.isEmpty());
        QVERIFY(w.googleTitles().isEmpty());
        QCOMPARE(tab(view)->shownLayout(), GoogleSettingsModel::Layout::connectCard);
    }

    // Cancel brings the button back without an error; a refused consent shows Google's reason.
    void cancelledAndRefusedSignIns() {
        GoogleWorld w;
        w.browser.setLoads(false);
        SettingsView& view = w.open(1);
        click(control<QPushButton>(&view, "Connect Google Calendar"));
        QVERIFY(w.waitFor([&] { return control<QPushButton>(&view, "Cancel signing in") != nullptr; }));
        QVERIFY(!control<QPushButton>(&view, "Connect Google Calendar"));
        Shots::save(&view, "google-signing-in");
        click(control<QPushButton>(&view, "Cancel signing in"));
        QVERIFY(w.waitFor([&] { return control<QPushButton>(&view, "Connect Google Calendar") != nullptr; }));
        QVERIFY(!w.h.store->googleError());
        QVERIFY(!control<WarningLine>(&view, QString()));

        w.browser.setLoads(true);
        w.google.setConsentError(QStringLiteral("access_denied"));
        click(control<QPushButton>(&view, "Connect Google Calendar"));
        QVERIFY(w.waitFor([&] { return w.h.store->googleError().has_value(); }));
        QVERIFY(control<WarningLine>(&view, *w.h.store->googleError()));
        Shots::save(&view, "google-refused");
        QVERIFY(stored().accounts.isEmpty());
    }

    // Without a browser nobody can answer: the sign-in ends at once, says why and offers the button
    // again.
    void signInWithoutABrowser() {
        GoogleWorld w;
        w.session.setBrowser([](const QUrl&) { return false; });
        SettingsView& view = w.open(1);
        click(control<QPushButton>(&view, "Connect Google Calendar"));
        QVERIFY(w.waitFor([&] { return w.h.store->googleError().has_value(); }));
        QVERIFY(control<WarningLine>(&view, "No browser could be opened to sign in to Google"));
        QVERIFY(control<QPushButton>(&view, "Connect Google Calendar"));
        QVERIFY(!control<QPushButton>(&view, "Cancel signing in"));
        Shots::save(&view, "google-no-browser");
    }
};

QTEST_MAIN(TestGoogleSettings)
#include "tst_googlesettings.moc"
