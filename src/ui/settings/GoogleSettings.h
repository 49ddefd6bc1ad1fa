#pragma once

#include "core/remote/GoogleRecords.h"
#include "ui/settings/SettingsContext.h"
#include "ui/settings/SettingsForm.h"

#include <QDateTime>

#include <optional>

class GoogleCalendarMark;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QToolButton;

// What the Google tab shows, worked out from the Google configuration and the store's sign-in state.
namespace GoogleSettingsModel {

enum class Layout {
    developerClient, // no client identity at all: only the fields to paste one (even with accounts)
    connectCard,     // a client and no account yet
    accounts,        // the accounts and the privacy note
};
Layout layout(const GoogleConfig& config);

// The one button an account row offers to mend its connection, if any.
enum class Repair { none, reconnect, allowInvites };
Repair repair(const GoogleAccount& account);

// "3 of 5 calendars": visible of all.
QString calendarCount(const GoogleAccount& account);
// The summary, with " (primary)" for the account's primary calendar.
QString calendarTitle(const GoogleCalendarInfo& calendar);
// The calendar's own colour, or the system blue when it has none that reads as a colour.
QColor calendarColor(const GoogleCalendarInfo& calendar);

// A pasted client ID or secret as it is stored: without blanks, tabs or line breaks at either end.
// The "Use this client" button asks the same question, so it never offers to store nothing.
QString clientValue(const QString& typed);

// "Synced 3 min. ago", in the short units of the system's relative dates; nothing before the first
// sync.
std::optional<QString> syncedText(const std::optional<QDateTime>& lastSync, const QDateTime& now);

} // namespace GoogleSettingsModel

// One connected account in the Google tab: its mark, e-mail, a repair button when the connection
// needs one, how many calendars show, Remove, and a switch per calendar under a disclosure arrow
// (unfolded at first; the fold is never stored).
class GoogleAccountRow : public QWidget {
    Q_OBJECT
public:
    GoogleAccountRow(const SettingsContext& context, QWidget* parent = nullptr);

    void setAccount(const GoogleAccount& account);
    const GoogleAccount& account() const { return m_account; }
    bool isExpanded() const;

private:
    void syncCalendars();

    SettingsContext m_context;
    GoogleAccount m_account;
    QToolButton* m_disclosure;
    GoogleCalendarMark* m_mark;
    QLabel* m_email;
    QPushButton* m_repair;
    QLabel* m_count;
    QPushButton* m_remove;
    QWidget* m_calendarBox;
    QVBoxLayout* m_calendarList;
    KeyedRows<QCheckBox> m_calendars;
};

// The Google tab: connect the first account, add more, choose each account's calendars, mend an
// expired or read-only connection, remove accounts; in a build without a Google client, paste one.
// It changes things only through the store's operations and the settings, and learns their outcome
// from the store's published state.
class GoogleSettings : public SettingsPage {
    Q_OBJECT
public:
    explicit GoogleSettings(const SettingsContext& context, QWidget* parent = nullptr);

    GoogleSettingsModel::Layout shownLayout() const { return m_layout; }

private:
    void sync();
    void updateSynced();
    void showLayout(GoogleSettingsModel::Layout layout);
    void updateClientButton();
    void useClient();
    void connectAccount();
    void cancelSignIn();

    SettingsContext m_context;
    GoogleSettingsModel::Layout m_layout;

    FormSection* m_fileSection;
    WarningLine* m_fileProblem;

    FormSection* m_developer;
    QLineEdit* m_clientID;
    QLineEdit* m_clientSecret;
    QPushButton* m_useClient;

    FormSection* m_card;
    QPushButton* m_connect;
    QWidget* m_cardProgress;
    WarningLine* m_cardError;

    FormSection* m_accounts;
    KeyedRows<GoogleAccountRow> m_rows;
    QPushButton* m_addAccount;
    QLabel* m_synced;
    QWidget* m_addProgress;
    WarningLine* m_accountsError;
    QLabel* m_privacy;
};
