#include "ui/settings/NotionSettings.h"

#include "core/model/Tasks.h"
#include "core/settings/AppSettings.h"
#include "core/store/EventStore.h"
#include "ui/controls/ActivitySpinner.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

using namespace SettingsStyle;

namespace NotionSettingsModel {

bool isConnected(const QString& storedToken, const QList<NotionDatabase>& discovered,
                 const std::optional<QString>& userName) {
    return !storedToken.isEmpty() && (!discovered.isEmpty() || userName.has_value());
}

QString typedToken(const QString& typed) {
    return typed.trimmed();
}

QString databaseLabel(const NotionDatabase& database) {
    return database.icon ? *database.icon + QLatin1Char(' ') + database.title : database.title;
}

bool isChosen(const QList<NotionDatabaseSelection>& selections, const QString& databaseID) {
    return std::any_of(selections.cbegin(), selections.cend(),
                       [&](const NotionDatabaseSelection& s) { return s.id == databaseID; });
}

QList<NotionDatabaseSelection> choose(QList<NotionDatabaseSelection> selections,
                                      const NotionDatabase& database, bool chosen) {
    if (!chosen) {
        selections.removeIf([&](const NotionDatabaseSelection& s) { return s.id == database.id; });
        return selections;
    }
    if (!isChosen(selections, database.id))
        selections.append({database.id, database.title, database.icon, database.dateProperties.value(0)});
    return selections;
}

QString dateProperty(const QList<NotionDatabaseSelection>& selections, const NotionDatabase& database) {
    for (const NotionDatabaseSelection& selection : selections) {
        if (selection.id == database.id)
            return selection.dateProperty;
    }
    return database.dateProperties.value(0);
}

QList<NotionDatabaseSelection> withDateProperty(QList<NotionDatabaseSelection> selections,
                                                const QString& databaseID, const QString& property) {
    for (NotionDatabaseSelection& selection : selections) {
        if (selection.id == databaseID) {
            selection.dateProperty = property;
            break;
        }
    }
    return selections;
}

bool showsPropertyPicker(const QList<NotionDatabaseSelection>& selections, const NotionDatabase& database) {
    return isChosen(selections, database.id) && database.dateProperties.size() >= 2;
}

} // namespace NotionSettingsModel

NotionDatabaseRow::NotionDatabaseRow(const SettingsContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_toggle(new QCheckBox(this))
    , m_property(new PickerBox(this))
    , m_caption(caption(QString(), this)) {
    m_property->setFixedWidth(150);
    m_caption->setWordWrap(false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_toggle, 1);
    row->addWidget(m_property);
    row->addWidget(m_caption);

    AppSettings& settings = m_context.settings;
    connect(m_toggle, &QCheckBox::clicked, this, [this, &settings](bool chosen) {
        settings.setNotionDatabases(
            NotionSettingsModel::choose(settings.notionDatabases(), m_database, chosen));
    });
    connect(m_property, &QComboBox::activated, this, [this, &settings](int index) {
        if (index < 0)
            return;
        settings.setNotionDatabases(NotionSettingsModel::withDateProperty(
            settings.notionDatabases(), m_database.id, m_property->itemText(index)));
    });
}

void NotionDatabaseRow::setDatabase(const NotionDatabase& database,
                                    const QList<NotionDatabaseSelection>& selections) {
    using namespace NotionSettingsModel;
    m_database = database;
    m_toggle->setText(databaseLabel(database));
    m_toggle->setChecked(isChosen(selections, database.id));

    const bool picker = showsPropertyPicker(selections, database);
    m_property->setVisible(picker);
    m_caption->setVisible(!picker);
    if (picker) {
        QList<PickerOption> options;
        for (const QString& property : database.dateProperties)
            options.append({property, property});
        Picker::setOptions(m_property, options);
        Picker::showValue(m_property, dateProperty(selections, database));
        QString title;
        for (const NotionDatabaseSelection& selection : selections) {
            if (selection.id == database.id) {
                title = selection.title;
                break;
            }
        }
        m_property->setToolTip(QStringLiteral("Date property used for ") + title);
        m_property->setAccessibleName(m_property->toolTip());
    } else {
        m_caption->setText(database.dateProperties.value(0));
    }
}

NotionSettings::NotionSettings(const SettingsContext& context, QWidget* parent)
    : SettingsPage(parent)
    , m_context(context)
    , m_rows(nullptr) {
    m_integration = addSection(QStringLiteral("Integration"));

    m_connectedBox = new QWidget(m_integration);
    auto* connected = new QFormLayout(m_connectedBox);
    connected->setContentsMargins(0, 0, 0, 0);
    m_userName = new QLabel(m_connectedBox);
    m_userName->setTextFormat(Qt::PlainText);
    m_userName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connected->addRow(QStringLiteral("Connected as"), m_userName);
    auto* connectedActions = new QHBoxLayout;
    m_rescan = new QPushButton(QStringLiteral("&Rescan databases"), m_connectedBox);
    m_rescan->setAccessibleName(QStringLiteral("Rescan databases"));
    m_rescanBusy = spinner(m_connectedBox);
    m_disconnect = new QPushButton(QStringLiteral("&Disconnect"), m_connectedBox);
    m_disconnect->setAccessibleName(QStringLiteral("Disconnect"));
    connectedActions->addWidget(m_rescan);
    connectedActions->addWidget(m_rescanBusy);
    connectedActions->addStretch(1);
    connectedActions->addWidget(m_disconnect);
    connected->addRow(connectedActions);

    m_tokenBox = new QWidget(m_integration);
    auto* tokenLayout = new QVBoxLayout(m_tokenBox);
    tokenLayout->setContentsMargins(0, 0, 0, 0);
    const QString tokenTitle = QStringLiteral("Internal integration secret (ntn_… or secret_…)");
    auto* tokenLabel = new QLabel(tokenTitle, m_tokenBox);
    m_token = new QLineEdit(m_tokenBox);
    m_token->setEchoMode(QLineEdit::Password);
    m_token->setAccessibleName(tokenTitle);
    tokenLabel->setBuddy(m_token);
    auto* tokenActions = new QHBoxLayout;
    m_connect = new QPushButton(m_tokenBox);
    m_connectBusy = spinner(m_tokenBox);
    m_createLink = new QLabel(m_tokenBox);
    m_createLink->setText(QStringLiteral("<a href=\"https://www.notion.so/profile/integrations\">Create an "
                                         "integration</a>"));
    m_createLink->setFont(scaledFont(0.9));
    m_createLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_createLink->setFocusPolicy(Qt::StrongFocus);
    m_createLink->setAccessibleName(QStringLiteral("Create an integration"));
    m_forget = new QPushButton(QStringLiteral("&Disconnect"), m_tokenBox);
    m_forget->setAccessibleName(QStringLiteral("Disconnect"));
    m_forget->setToolTip(QStringLiteral("Remove the stored integration secret from this computer"));
    tokenActions->addWidget(m_connect);
    tokenActions->addWidget(m_connectBusy);
    tokenActions->addStretch(1);
    tokenActions->addWidget(m_createLink);
    tokenActions->addWidget(m_forget);
    tokenLayout->addWidget(tokenLabel);
    tokenLayout->addWidget(m_token);
    tokenLayout->addLayout(tokenActions);

    m_error = new WarningLine(m_integration);
    m_fileProblem = new WarningLine(m_integration);
    m_integration->addRow(m_fileProblem);
    m_integration->addRow(m_connectedBox);
    m_integration->addRow(m_tokenBox);
    m_integration->addRow(m_error);

    m_databases = addSection(QStringLiteral("Databases with a date property"));
    auto* rows = new QVBoxLayout;
    rows->setSpacing(6);
    m_rows = KeyedRows<NotionDatabaseRow>(rows);
    m_databases->addRow(rows);
    m_noDatabases = addNote(QStringLiteral("No databases with a date property are shared with this "
                                           "integration. Open the database in Notion → ··· → "
                                           "Connections → add your integration, then rescan."));
    addNote(QStringLiteral("Pages in the selected databases appear in the notch alongside your calendar "
                           "events, using the chosen date "
                           "property. Notion syncs every 5 minutes and whenever you refresh."));

    // Return in the field does nothing: only the button connects.
    connect(m_token, &QLineEdit::textChanged, this, &NotionSettings::sync);
    connect(m_connect, &QPushButton::clicked, this, [this] { connectIntegration(false); });
    connect(m_rescan, &QPushButton::clicked, this, [this] { connectIntegration(true); });
    connect(m_disconnect, &QPushButton::clicked, this, &NotionSettings::disconnectIntegration);
    connect(m_forget, &QPushButton::clicked, this, &NotionSettings::disconnectIntegration);
    connect(m_createLink, &QLabel::linkActivated, this, [this](const QString& link) {
        if (m_context.openUrl)
            m_context.openUrl(QUrl(link));
    });

    AppSettings& settings = m_context.settings;
    EventStore& store = m_context.store;
    connect(&settings, &AppSettings::notionTokenChanged, this, &NotionSettings::sync);
    connect(&settings, &AppSettings::notionDatabasesChanged, this, &NotionSettings::sync);
    connect(&store, &EventStore::notionUserNameChanged, this, &NotionSettings::sync);
    connect(&store, &EventStore::discoveredDatabasesChanged, this, &NotionSettings::sync);
    connect(&store, &EventStore::notionErrorChanged, this, &NotionSettings::sync);
    sync();
}

void NotionSettings::showEvent(QShowEvent* event) {
    SettingsPage::showEvent(event);
    if (!m_context.settings.notionToken().isEmpty() && m_context.store.discoveredDatabases().isEmpty() &&
        !m_connecting)
        connectIntegration(true);
}

void NotionSettings::sync() {
    using namespace NotionSettingsModel;
    const AppSettings& settings = m_context.settings;
    const EventStore& store = m_context.store;
    const QString stored = settings.notionToken();
    const bool connected = isConnected(stored, store.discoveredDatabases(), store.notionUserName());

    // Focus in the half about to hide moves to the first control of the half that replaces it.
    QWidget* leaving = connected ? m_tokenBox : m_connectedBox;
    const bool moveFocus = leaving->isVisible() && leaving->isAncestorOf(QApplication::focusWidget());
    m_connectedBox->setVisible(connected);
    m_tokenBox->setVisible(!connected);
    if (moveFocus)
        (connected ? static_cast<QWidget*>(m_rescan) : static_cast<QWidget*>(m_token))->setFocus();

    m_userName->setText(store.notionUserName().value_or(QStringLiteral("Notion integration")));
    m_rescan->setEnabled(!m_connecting);
    m_rescanBusy->setVisible(m_connecting);
    m_connect->setText(m_connecting ? QStringLiteral("Connecting…") : QStringLiteral("&Connect"));
    m_connect->setAccessibleName(m_connecting ? QStringLiteral("Connecting…") : QStringLiteral("Connect"));
    m_connect->setEnabled(!m_connecting && !typedToken(m_token->text()).isEmpty());
    m_connectBusy->setVisible(m_connecting);
    // A stored token that no longer verifies can still be removed.
    m_forget->setVisible(!stored.isEmpty());
    m_error->setMessage(store.notionError());
    m_fileProblem->setMessage(settings.notionTokenFileProblem());

    const QList<NotionDatabase>& discovered = store.discoveredDatabases();
    const QList<NotionDatabaseSelection> selections = settings.notionDatabases();
    QStringList ids;
    for (const NotionDatabase& database : discovered)
        ids << database.id;
    m_rows.sync(
        ids, [this](const QString&) { return new NotionDatabaseRow(m_context, m_databases); },
        [&](NotionDatabaseRow* row, const QString& id) {
            for (const NotionDatabase& database : discovered) {
                if (database.id == id) {
                    row->setDatabase(database, selections);
                    break;
                }
            }
        });
    m_databases->setVisible(!discovered.isEmpty());
    m_noDatabases->setVisible(discovered.isEmpty() && !stored.isEmpty() &&
                              store.notionUserName().has_value());
}

void NotionSettings::connectIntegration(bool existing) {
    // A stored token is sent as it was stored; a typed one without the blanks around it.
    const QString token =
        existing ? m_context.settings.notionToken() : NotionSettingsModel::typedToken(m_token->text());
    if (token.isEmpty() || m_connecting)
        return;
    m_connecting = true;
    const quint64 attempt = ++m_attempt;
    sync();
    QTimer::singleShot(0, this, [this, token, attempt] {
        Tasks::startDetached(runConnect(token, attempt), QStringLiteral("Notion connect"));
    });
}

QCoro::Task<> NotionSettings::runConnect(QString token, quint64 attempt) {
    QPointer self(this);
    QCoro::Task<bool> connecting = m_context.store.connectNotion(token);
    co_await connecting;
    if (!self)
        co_return;
    if (attempt == m_abandonedAttempt) {
        // The user disconnected while this ran. Should the store have saved the token regardless,
        // take it away again, unless a newer connect of the user's has started since.
        if (attempt == m_attempt && !m_context.settings.notionToken().isEmpty())
            m_context.store.disconnectNotion();
        co_return;
    }
    m_connecting = false;
    // After every attempt, whether it worked or not.
    m_token->clear();
    sync();
}

void NotionSettings::disconnectIntegration() {
    if (m_connecting) {
        m_abandonedAttempt = m_attempt;
        m_connecting = false;
    }
    m_context.store.disconnectNotion();
    m_token->clear();
    sync();
}
