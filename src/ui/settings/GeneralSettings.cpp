#include "ui/settings/GeneralSettings.h"

#include "core/calendar/CalendarStore.h"
#include "core/settings/AppSettings.h"
#include "core/settings/LaunchAtLogin.h"
#include "core/store/EventStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>

namespace GeneralOptions {

QList<PickerOption> peekMinutes() {
    QList<PickerOption> options;
    for (int minutes : {5, 10, 15, 30, 60})
        options.append({QStringLiteral("%1 minutes before").arg(minutes), minutes});
    return options;
}

QList<PickerOption> alertMinutes() {
    return {{QStringLiteral("Off"), -1},
            {QStringLiteral("When the meeting starts"), 0},
            {QStringLiteral("1 minute before"), 1},
            {QStringLiteral("2 minutes before"), 2},
            {QStringLiteral("5 minutes before"), 5},
            {QStringLiteral("10 minutes before"), 10}};
}

QList<PickerOption> eventMinutes() {
    return {{QStringLiteral("15 minutes"), 15},
            {QStringLiteral("30 minutes"), 30},
            {QStringLiteral("45 minutes"), 45},
            {QStringLiteral("1 hour"), 60},
            {QStringLiteral("1½ hours"), 90}};
}

QList<PickerOption> calendars(const QList<LocalCalendar>& writable) {
    QList<PickerOption> options{{QStringLiteral("Automatic"), QString()}};
    for (const LocalCalendar& calendar : writable)
        options.append({calendar.title + QStringLiteral(" — ") + calendar.sourceTitle, calendar.id});
    return options;
}

QString displayLine(const NotchGeometry& geometry) {
    if (!geometry.hasPhysicalNotch)
        return QStringLiteral("No notch found — using a virtual notch on the main display");
    // Whole points, cut toward zero: a 32.6 pt notch reads 32.
    return QStringLiteral("Built-in notch, %1×%2 pt")
        .arg(qint64(geometry.notchSize.width()))
        .arg(qint64(geometry.notchSize.height()));
}

} // namespace GeneralOptions

namespace {

QComboBox* picker(const QList<PickerOption>& options, QWidget* parent) {
    auto* combo = new PickerBox(parent);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Picker::setOptions(combo, options);
    return combo;
}

// Writes the chosen row's value; only a choice of the user's (activated) gets here.
template <typename Setter> void writeOnChoice(QComboBox* combo, Setter setter) {
    QObject::connect(combo, &QComboBox::activated, combo, [combo, setter](int index) {
        if (index >= 0)
            setter(combo->itemData(index));
    });
}

} // namespace

GeneralSettings::GeneralSettings(const SettingsContext& context, QWidget* parent)
    : SettingsPage(parent)
    , m_context(context) {
    AppSettings& settings = m_context.settings;

    FormSection* notch = addSection(QStringLiteral("Notch"));
    m_expandOnHover = new QCheckBox(QStringLiteral("Expand when the mouse touches the notch"), notch);
    m_showPeek = new QCheckBox(QStringLiteral("Show upcoming event beside the notch"), notch);
    m_peekMinutes = picker(GeneralOptions::peekMinutes(), notch);
    m_display = new QLabel(notch);
    m_display->setWordWrap(true);
    m_display->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    SettingsStyle::setTone(m_display, SettingsStyle::Tone::secondary);
    notch->addRow(m_expandOnHover);
    notch->addRow(m_showPeek);
    notch->addRow(QStringLiteral("Start showing it"), m_peekMinutes);
    notch->addRow(QStringLiteral("Display"), m_display);

    FormSection* alerts = addSection(QStringLiteral("Meeting alerts"));
    m_alertMinutes = picker(GeneralOptions::alertMinutes(), alerts);
    m_alertSound = new QCheckBox(QStringLiteral("Play a sound"), alerts);
    m_preview = new QPushButton(QStringLiteral("Show a sample &alert in the notch"), alerts);
    m_preview->setAccessibleName(QStringLiteral("Show a sample alert in the notch"));
    alerts->addRow(QStringLiteral("Alert me"), m_alertMinutes);
    alerts->addRow(m_alertSound);
    alerts->addRow(QStringLiteral("Preview"), m_preview);
    alerts->addCaption(
        QStringLiteral("The notch drops down with the meeting and a Join button for Google Meet, "
                       "Zoom and Teams links. Declined events are skipped."));

    FormSection* quickAdd = addSection(QStringLiteral("Quick add"));
    m_defaultCalendar = picker({}, quickAdd);
    m_eventMinutes = picker(GeneralOptions::eventMinutes(), quickAdd);
    m_quickAddHotkey = new QCheckBox(QStringLiteral("Ctrl+Alt+N opens quick add from any app"), quickAdd);
    quickAdd->addRow(QStringLiteral("Add new events to"), m_defaultCalendar);
    quickAdd->addRow(QStringLiteral("Default length"), m_eventMinutes);
    quickAdd->addRow(m_quickAddHotkey);
    quickAdd->addCaption(
        QStringLiteral("Press + in the panel (or the shortcut) and type something like “Coffee "
                       "with Oskel friday 4pm”. Events go to your Google calendar and show up "
                       "in Notion Calendar."));

    FormSection* startup = addSection(QStringLiteral("Startup"));
    m_launchAtLogin = new QCheckBox(QStringLiteral("Launch Vorrindel at login"), startup);
    m_loginError = SettingsStyle::caption(QString(), startup);
    SettingsStyle::setTone(m_loginError, SettingsStyle::Tone::error);
    m_loginError->hide();
    startup->addRow(m_launchAtLogin);
    startup->addRow(m_loginError);

    addNote(QStringLiteral(
        "Hover the notch to open, click it to keep it open, press Esc or click elsewhere to close."));
    alignLabels();

    // User actions only (clicked, activated): nothing here fires when the tab syncs itself.
    connect(m_expandOnHover, &QCheckBox::clicked, this,
            [&settings](bool on) { settings.setExpandOnHover(on); });
    connect(m_showPeek, &QCheckBox::clicked, this, [&settings](bool on) { settings.setShowPeek(on); });
    writeOnChoice(m_peekMinutes, [&settings](const QVariant& v) { settings.setPeekMinutes(v.toInt()); });
    writeOnChoice(m_alertMinutes, [&settings](const QVariant& v) { settings.setAlertMinutes(v.toInt()); });
    connect(m_alertSound, &QCheckBox::clicked, this, [&settings](bool on) { settings.setAlertSound(on); });
    connect(m_preview, &QPushButton::clicked, this, [this] { m_context.store.previewAlert(); });
    writeOnChoice(m_defaultCalendar,
                  [&settings](const QVariant& v) { settings.setDefaultCalendarID(v.toString()); });
    writeOnChoice(m_eventMinutes,
                  [&settings](const QVariant& v) { settings.setDefaultEventMinutes(v.toInt()); });
    connect(m_quickAddHotkey, &QCheckBox::clicked, this,
            [&settings](bool on) { settings.setQuickAddHotkey(on); });
    connect(m_launchAtLogin, &QCheckBox::clicked, this, &GeneralSettings::changeLaunchAtLogin);

    connect(&settings, &AppSettings::changed, this, &GeneralSettings::syncFromSettings);
    CalendarStore& calendars = m_context.store.calendar();
    connect(&calendars, &CalendarStore::calendarsChanged, this, &GeneralSettings::syncCalendars);
    connect(&calendars, &CalendarStore::statusChanged, this, &GeneralSettings::syncCalendars);

    m_launchAtLogin->setChecked(settings.launchAtLogin());
    syncCalendars();
    syncFromSettings();
}

void GeneralSettings::showEvent(QShowEvent* event) {
    SettingsPage::showEvent(event);
    // The window outlives many showings: the screens, the calendar folder and the autostart entry
    // may all have changed since the last one.
    m_launchAtLogin->setChecked(m_context.settings.launchAtLogin());
    syncCalendars();
    syncFromSettings();
}

void GeneralSettings::syncFromSettings() {
    const AppSettings& settings = m_context.settings;
    m_expandOnHover->setChecked(settings.expandOnHover());
    m_showPeek->setChecked(settings.showPeek());
    Picker::showValue(m_peekMinutes, settings.peekMinutes());
    m_peekMinutes->setEnabled(settings.showPeek());
    m_display->setText(
        GeneralOptions::displayLine(m_context.geometry ? m_context.geometry() : NotchGeometry::detect()));
    Picker::showValue(m_alertMinutes, settings.alertMinutes());
    m_alertSound->setChecked(settings.alertSound());
    m_alertSound->setEnabled(settings.alertMinutes() >= 0);
    Picker::showValue(m_defaultCalendar, settings.defaultCalendarID());
    Picker::showValue(m_eventMinutes, settings.defaultEventMinutes());
    m_quickAddHotkey->setChecked(settings.quickAddHotkey());
}

void GeneralSettings::syncCalendars() {
    Picker::setOptions(m_defaultCalendar,
                       GeneralOptions::calendars(m_context.store.calendar().writableCalendars()));
    Picker::showValue(m_defaultCalendar, m_context.settings.defaultCalendarID());
}

void GeneralSettings::changeLaunchAtLogin(bool on) {
    try {
        m_context.settings.setLaunchAtLogin(on);
        m_loginError->clear();
        m_loginError->hide();
    } catch (const LaunchAtLoginError& error) {
        m_loginError->setText(error.message());
        m_loginError->show();
    }
    // The entry itself is the only record: show what it says now, whatever happened.
    m_launchAtLogin->setChecked(m_context.settings.launchAtLogin());
}
