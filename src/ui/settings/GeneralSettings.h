#pragma once

#include "core/calendar/LocalCalendar.h"
#include "ui/settings/SettingsContext.h"
#include "ui/settings/SettingsForm.h"

class QCheckBox;
class QComboBox;
class QPushButton;

// The rows of the General tab's pickers, and its display line.
namespace GeneralOptions {

// "Start showing it": 5, 10, 15, 30 and 60 minutes before.
QList<PickerOption> peekMinutes();
// "Alert me": off (-1), when the meeting starts (0), 1, 2, 5 and 10 minutes before.
QList<PickerOption> alertMinutes();
// "Default length": 15, 30, 45 minutes, 1 hour, 1½ hours.
QList<PickerOption> eventMinutes();
// "Add new events to": automatic (the empty id), then each writable calendar with its source.
QList<PickerOption> calendars(const QList<LocalCalendar>& writable);
// The notch the panel grows from: a camera notch's size in whole points, or the virtual notch.
QString displayLine(const NotchGeometry& geometry);

} // namespace GeneralOptions

// The General tab: the panel's behaviour, meeting alerts, quick add, launch at login and a usage
// hint. Every control writes its setting the moment the user changes it, and only then: showing the
// tab, a new calendar list or a store publish never rewrites a stored value (a value no row offers
// simply shows no row).
class GeneralSettings : public SettingsPage {
    Q_OBJECT
public:
    explicit GeneralSettings(const SettingsContext& context, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void syncFromSettings();
    void syncCalendars();
    void changeLaunchAtLogin(bool on);

    SettingsContext m_context;
    QCheckBox* m_expandOnHover;
    QCheckBox* m_showPeek;
    QComboBox* m_peekMinutes;
    QLabel* m_display;
    QComboBox* m_alertMinutes;
    QCheckBox* m_alertSound;
    QPushButton* m_preview;
    QComboBox* m_defaultCalendar;
    QComboBox* m_eventMinutes;
    QCheckBox* m_quickAddHotkey;
    QCheckBox* m_launchAtLogin;
    QLabel* m_loginError;
};
