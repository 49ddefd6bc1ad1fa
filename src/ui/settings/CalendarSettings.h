#pragma once

#include "core/calendar/CalendarAccess.h"
#include "core/calendar/LocalCalendar.h"
#include "ui/settings/SettingsContext.h"
#include "ui/settings/SettingsForm.h"

#include <optional>

class CalendarSourceSection;
class QPushButton;

// What the Local Calendars tab shows, worked out from the calendar store's state.
namespace CalendarSettingsModel {

// The calendars of one source (an account folder, or "Local"), in calendar order.
struct Group {
    QString source;
    QList<LocalCalendar> calendars;
    friend bool operator==(const Group&, const Group&) = default;
};
// One group per source title, groups in plain character-code order of the titles (so "Z" comes
// before "a"), calendars within a group in the order given.
QList<Group> groupedCalendars(const QList<LocalCalendar>& calendars);

// The row shown while the calendar folder cannot be read, and what its button does.
struct AccessRow {
    enum class Action { openFolder, grantAccess };
    QString text;
    QString button;
    Action action;
};
// None with full access.
std::optional<AccessRow> accessRow(CalendarAccess status);

} // namespace CalendarSettingsModel

// The Local Calendars tab: whether the app can read the calendar folder, with the one action that
// helps (create it, or show it in the file manager), and a switch per calendar, grouped by source,
// that shows or hides it in the agenda. Hidden calendars are kept by id in the settings, also when
// the calendar itself is gone.
class CalendarSettings : public SettingsPage {
    Q_OBJECT
public:
    explicit CalendarSettings(const SettingsContext& context, QWidget* parent = nullptr);

private:
    void sync();
    void runAccessAction();
    void setCalendarShown(const QString& calendarID, bool shown);

    SettingsContext m_context;
    FormSection* m_access;
    QLabel* m_accessText;
    QPushButton* m_accessButton;
    std::optional<CalendarSettingsModel::AccessRow::Action> m_accessAction;
    QWidget* m_groupBox;
    KeyedRows<CalendarSourceSection> m_groups;
};
