#pragma once

#include "core/remote/GoogleRecords.h"
#include "core/remote/NotionRecords.h"
#include "core/settings/SettingsLocations.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;
class LaunchAtLogin;

// The app's one settings object. Every preference is a property stored under its own name in the
// settings file and written at once on every assignment, also of an equal value; each assignment
// emits the property's signal and then changed(), also for an equal value. The Notion token and the
// Google configuration live in private files instead (TokenFile, GoogleConfigFile).
//
// Reading never writes: a missing key stays missing until its property is first assigned. A key of
// the wrong type reads as the default ("peekMinutes" stored as the text "20" reads as 15).
class AppSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool expandOnHover READ expandOnHover WRITE setExpandOnHover NOTIFY expandOnHoverChanged)
    Q_PROPERTY(bool showPeek READ showPeek WRITE setShowPeek NOTIFY showPeekChanged)
    Q_PROPERTY(int peekMinutes READ peekMinutes WRITE setPeekMinutes NOTIFY peekMinutesChanged)
    Q_PROPERTY(QSet<QString> hiddenCalendarIDs READ hiddenCalendarIDs WRITE setHiddenCalendarIDs NOTIFY
                   hiddenCalendarIDsChanged)
    Q_PROPERTY(QList<NotionDatabaseSelection> notionDatabases READ notionDatabases WRITE setNotionDatabases
                   NOTIFY notionDatabasesChanged)
    Q_PROPERTY(int alertMinutes READ alertMinutes WRITE setAlertMinutes NOTIFY alertMinutesChanged)
    Q_PROPERTY(bool alertSound READ alertSound WRITE setAlertSound NOTIFY alertSoundChanged)
    Q_PROPERTY(QString defaultCalendarID READ defaultCalendarID WRITE setDefaultCalendarID NOTIFY
                   defaultCalendarIDChanged)
    Q_PROPERTY(int defaultEventMinutes READ defaultEventMinutes WRITE setDefaultEventMinutes NOTIFY
                   defaultEventMinutesChanged)
    Q_PROPERTY(bool quickAddHotkey READ quickAddHotkey WRITE setQuickAddHotkey NOTIFY quickAddHotkeyChanged)
    Q_PROPERTY(
        QStringList recentInvitees READ recentInvitees WRITE setRecentInvitees NOTIFY recentInviteesChanged)
    Q_PROPERTY(QString defaultMeetingTarget READ defaultMeetingTarget WRITE setDefaultMeetingTarget NOTIFY
                   defaultMeetingTargetChanged)
    Q_PROPERTY(bool googlePromptDismissed READ googlePromptDismissed WRITE setGooglePromptDismissed NOTIFY
                   googlePromptDismissedChanged)
    Q_PROPERTY(QString notionToken READ notionToken WRITE setNotionToken NOTIFY notionTokenChanged)
    Q_PROPERTY(GoogleConfig google READ google WRITE setGoogle NOTIFY googleChanged)
    Q_PROPERTY(bool canOfferGoogle READ canOfferGoogle NOTIFY changed)
    Q_PROPERTY(bool hasGoogle READ hasGoogle NOTIFY changed)
    Q_PROPERTY(bool hasNotion READ hasNotion NOTIFY changed)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY changed)

public:
    // Runs the one-time migration from the former product, then reads every setting.
    explicit AppSettings(const SettingsLocations& locations, QObject* parent = nullptr);
    ~AppSettings() override;

    // The process-wide instance on the standard locations, created on first use and never released.
    static AppSettings& shared();

    bool expandOnHover() const { return m_expandOnHover; } // default true
    void setExpandOnHover(bool on);
    bool showPeek() const { return m_showPeek; } // default true
    void setShowPeek(bool on);
    int peekMinutes() const { return m_peekMinutes; } // default 15
    void setPeekMinutes(int minutes);
    QSet<QString> hiddenCalendarIDs() const { return m_hiddenCalendarIDs; } // local calendars hidden
    void setHiddenCalendarIDs(const QSet<QString>& ids);
    QList<NotionDatabaseSelection> notionDatabases() const { return m_notionDatabases; }
    void setNotionDatabases(const QList<NotionDatabaseSelection>& databases);
    int alertMinutes() const { return m_alertMinutes; } // default 2; negative means no alert
    void setAlertMinutes(int minutes);
    bool alertSound() const { return m_alertSound; } // default true
    void setAlertSound(bool on);
    QString defaultCalendarID() const { return m_defaultCalendarID; } // empty: none
    void setDefaultCalendarID(const QString& id);
    int defaultEventMinutes() const { return m_defaultEventMinutes; } // default 60
    void setDefaultEventMinutes(int minutes);
    bool quickAddHotkey() const { return m_quickAddHotkey; } // default true
    void setQuickAddHotkey(bool on);
    QStringList recentInvitees() const { return m_recentInvitees; } // e-mail addresses, newest first
    void setRecentInvitees(const QStringList& addresses);
    QString defaultMeetingTarget() const { return m_defaultMeetingTarget; } // "e-mail|calendar id" or empty
    void setDefaultMeetingTarget(const QString& target);
    bool googlePromptDismissed() const { return m_googlePromptDismissed; } // default false
    void setGooglePromptDismissed(bool dismissed);
    // Kept in the file "notion-token"; assigning the empty token deletes the file.
    QString notionToken() const { return m_notionToken; }
    void setNotionToken(const QString& token);
    // Kept in the file "google.json"; written whole on every assignment.
    GoogleConfig google() const { return m_google; }
    void setGoogle(const GoogleConfig& config);

    // A sentence for the user while a credential file that is there could not be read at start (no
    // permission, another owner); none otherwise. Such a file is left as it is: assigning the value then
    // changes it for this run only, and nothing replaces or deletes the file until it has gone.
    std::optional<QString> googleFileProblem() const;
    std::optional<QString> notionTokenFileProblem() const;

    // A client identity is usable and no account is connected yet.
    bool canOfferGoogle() const;
    // A client identity is usable and at least one account is connected.
    bool hasGoogle() const;
    // A Notion token is set and at least one database is selected.
    bool hasNotion() const;

    // Whether the app starts at login; always read from the autostart entry itself.
    bool launchAtLogin() const;
    // Adds or removes the autostart entry, then emits changed(). Throws LaunchAtLoginError (and
    // emits nothing) when the entry cannot be written or removed.
    void setLaunchAtLogin(bool on);

signals:
    void expandOnHoverChanged();
    void showPeekChanged();
    void peekMinutesChanged();
    void hiddenCalendarIDsChanged();
    void notionDatabasesChanged();
    void alertMinutesChanged();
    void alertSoundChanged();
    void defaultCalendarIDChanged();
    void defaultEventMinutesChanged();
    void quickAddHotkeyChanged();
    void recentInviteesChanged();
    void defaultMeetingTargetChanged();
    void googlePromptDismissedChanged();
    void notionTokenChanged();
    void googleChanged();
    // After every assignment of any property, and after launch at login was switched.
    void changed();

private:
    void store(const QString& key, const QVariant& value);

    SettingsLocations m_locations;
    std::unique_ptr<QSettings> m_store;
    std::unique_ptr<LaunchAtLogin> m_launchAtLogin;

    bool m_expandOnHover = true;
    bool m_showPeek = true;
    int m_peekMinutes = 15;
    QSet<QString> m_hiddenCalendarIDs;
    QList<NotionDatabaseSelection> m_notionDatabases;
    int m_alertMinutes = 2;
    bool m_alertSound = true;
    QString m_defaultCalendarID;
    int m_defaultEventMinutes = 60;
    bool m_quickAddHotkey = true;
    QStringList m_recentInvitees;
    QString m_defaultMeetingTarget;
    bool m_googlePromptDismissed = false;
    QString m_notionToken;
    GoogleConfig m_google;
    // Why the credential file could not be read at start; empty when it was read or was missing.
    QString m_notionTokenUnreadable;
    QString m_googleUnreadable;
};
