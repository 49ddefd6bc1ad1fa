#pragma once

#include "core/remote/NotionRecords.h"
#include "ui/settings/SettingsContext.h"
#include "ui/settings/SettingsForm.h"

#include <QCoroTask>

#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// What the Notion tab shows and how its choices change the stored selections.
namespace NotionSettingsModel {

// A token is stored and the store knows the integration's name or its databases.
bool isConnected(const QString& storedToken, const QList<NotionDatabase>& discovered,
                 const std::optional<QString>& userName);

// The typed token as it is sent: without blanks, tabs or line breaks at either end. "Connect" asks
// the same question, so it is never offered for a token that would send nothing.
QString typedToken(const QString& typed);

// The toggle's label: the emoji, a blank and the title, or the title alone.
QString databaseLabel(const NotionDatabase& database);
bool isChosen(const QList<NotionDatabaseSelection>& selections, const QString& databaseID);
// Choosing appends a selection dated by the database's first date property (unless it is chosen
// already); unchoosing removes every selection of it. The order of the rest never changes: it decides
// each database's colour.
QList<NotionDatabaseSelection> choose(QList<NotionDatabaseSelection> selections,
                                      const NotionDatabase& database, bool chosen);
// The date property in use: the first selection's, else the database's first.
QString dateProperty(const QList<NotionDatabaseSelection>& selections, const NotionDatabase& database);
// Sets the first selection's date property; unchanged when the database is not chosen.
QList<NotionDatabaseSelection> withDateProperty(QList<NotionDatabaseSelection> selections,
                                                const QString& databaseID, const QString& property);
// A picker only for a chosen database with two or more date properties; a caption otherwise.
bool showsPropertyPicker(const QList<NotionDatabaseSelection>& selections, const NotionDatabase& database);

} // namespace NotionSettingsModel

// One discovered database: a switch that chooses it, and the date property that places its pages in
// time (a picker when there is a choice, else its name).
class NotionDatabaseRow : public QWidget {
    Q_OBJECT
public:
    NotionDatabaseRow(const SettingsContext& context, QWidget* parent = nullptr);
    void setDatabase(const NotionDatabase& database, const QList<NotionDatabaseSelection>& selections);

private:
    SettingsContext m_context;
    NotionDatabase m_database;
    QCheckBox* m_toggle;
    QComboBox* m_property;
    QLabel* m_caption;
};

// The Notion tab: paste an integration token and connect it; see which integration is connected,
// rescan its databases or disconnect it; choose the databases that feed the agenda and, where a
// database has several, the date property of each.
//
// A removed integration stays removed: Disconnect is offered whenever a token is stored (also one
// that no longer verifies), and it wins over a connect still under way.
class NotionSettings : public SettingsPage {
    Q_OBJECT
public:
    explicit NotionSettings(const SettingsContext& context, QWidget* parent = nullptr);

    bool isConnecting() const { return m_connecting; }

protected:
    // Each time the tab comes on screen with a stored token whose databases are not known yet (the
    // store does not list them at start-up), it rescans.
    void showEvent(QShowEvent* event) override;

private:
    void sync();
    void connectIntegration(bool existing);
    QCoro::Task<> runConnect(QString token, quint64 attempt);
    void disconnectIntegration();

    SettingsContext m_context;
    bool m_connecting = false;
    quint64 m_attempt = 0;          // connects started from this tab
    quint64 m_abandonedAttempt = 0; // the one a Disconnect overtook

    FormSection* m_integration;
    QWidget* m_connectedBox;
    QLabel* m_userName;
    QPushButton* m_rescan;
    QWidget* m_rescanBusy;
    QPushButton* m_disconnect;
    QWidget* m_tokenBox;
    QLineEdit* m_token;
    QPushButton* m_connect;
    QWidget* m_connectBusy;
    QLabel* m_createLink;
    QPushButton* m_forget;
    WarningLine* m_error;
    WarningLine* m_fileProblem;

    FormSection* m_databases;
    KeyedRows<NotionDatabaseRow> m_rows;
    QLabel* m_noDatabases;
};
