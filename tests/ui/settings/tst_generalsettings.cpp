#include "SettingsWorld.h"

#include "core/settings/SettingsLocations.h"
#include "support/TestFiles.h"
#include "ui/settings/GeneralSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>

namespace {

// The settings as a fresh start of the app would read them from disk.
AppSettings reread() {
    return AppSettings(SettingsLocations::standard());
}

QString settingsFile() {
    return SettingsLocations::standard().settingsFile;
}

QString autostartFile() {
    return SettingsLocations::standard().autostartFile;
}

} // namespace

class TestGeneralSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Picker rows chosen with the keyboard store their values, the odd ones among them included.
    void pickerRowsStoreTheirValues() {
        SettingsWorld w;
        SettingsView& view = w.open();
        const struct {
            const char* picker;
            int (AppSettings::*stored)() const;
            QList<std::pair<const char*, int>> rows;
        } pickers[] = {
            {"Start showing it",
             &AppSettings::peekMinutes,
             {{"5 minutes before", 5}, {"60 minutes before", 60}}},
            {"Alert me", &AppSettings::alertMinutes, {{"Off", -1}, {"When the meeting starts", 0}}},
            {"Default length", &AppSettings::defaultEventMinutes, {{"15 minutes", 15}, {"1½ hours", 90}}},
        };
        for (const auto& [picker, stored, rows] : pickers) {
            for (const auto& [row, value] : rows) {
                choose(control<QComboBox>(&view, picker), row);
                QCOMPARE((reread().*stored)(), value);
            }
        }
    }

    // Only a choice of the user's writes: showing the tab, reloading the calendars and the store's
    // publishes leave values that no row offers as they are stored, and show no row for them.
    void storedValuesNoRowOffersAreNeverRewritten() {
        SettingsWorld w;
        w.h.settings->setPeekMinutes(20);
        w.h.settings->setAlertMinutes(3);
        w.h.settings->setDefaultEventMinutes(20);
        w.h.settings->setDefaultCalendarID(QStringLiteral("gone"));
        const QByteArray before = TestFiles::read(settingsFile());

        SettingsView& view = w.open();
        for (const char* picker : {"Start showing it", "Alert me", "Default length", "Add new events to"})
            QCOMPARE(control<QComboBox>(&view, picker)->currentIndex(), -1);
        TestFiles::write(w.h.root + "/later/displayname", "Later\n");
        w.h.store->calendar().reloadCalendars();
        w.h.advance(30);
        view.tabs()->setCurrentIndex(1);
        view.tabs()->setCurrentIndex(0);
        QVERIFY(control<QComboBox>(&view, "Add new events to")->findText("Later — Local") > 0);
        QCOMPARE(TestFiles::read(settingsFile()), before);

        // Peek off keeps its choice for when it comes back on.
        click(control<QCheckBox>(&view, "Show upcoming event beside the notch"));
        QVERIFY(!control<QComboBox>(&view, "Start showing it")->isEnabled());
        click(control<QCheckBox>(&view, "Show upcoming event beside the notch"));
        QVERIFY(control<QComboBox>(&view, "Start showing it")->isEnabled());
        QCOMPARE(reread().peekMinutes(), 20);
    }

    // Alerts off take the sound with them; "when it starts" is not off. The sound keeps its choice.
    void alertsOffDisableTheSound() {
        SettingsWorld w;
        w.h.settings->setAlertSound(false);
        SettingsView& view = w.open();
        auto* sound = control<QCheckBox>(&view, "Play a sound");
        choose(control<QComboBox>(&view, "Alert me"), "Off");
        QVERIFY(!sound->isEnabled());
        choose(control<QComboBox>(&view, "Alert me"), "When the meeting starts");
        QVERIFY(sound->isEnabled() && !sound->isChecked());
        QCOMPARE(reread().alertSound(), false);
    }

    // "Automatic", then each writable calendar with its source; without access only "Automatic".
    void newEventsGoToAWritableCalendar() {
        SettingsWorld w;
        TestFiles::write(w.h.root + "/ada@corp.io/team/displayname", "Team\n");
        SettingsView& view = w.open();
        auto* picker = control<QComboBox>(&view, "Add new events to");
        QStringList rows;
        for (int i = 0; i < picker->count(); ++i)
            rows << picker->itemText(i);
        QCOMPARE(rows, QStringList({"Automatic", "Work — Local", "Team — ada@corp.io"}));
        choose(picker, "Team — ada@corp.io");
        QCOMPARE(reread().defaultCalendarID(), QStringLiteral("ada@corp.io/team"));
        choose(picker, "Automatic");
        QCOMPARE(reread().defaultCalendarID(), QString());

        SettingsWorld denied;
        denied.h.access = CalendarAccess::denied;
        picker = control<QComboBox>(&denied.open(), "Add new events to");
        QCOMPARE(picker->count(), 1);
        QCOMPARE(picker->itemText(0), QStringLiteral("Automatic"));
    }

    // The toggle writes the autostart entry (valid, as the settings' own test shows) and removes it; a
    // refusal shows its reason, the toggle shows the entry's real state, and the next success clears
    // the reason.
    void launchAtLogin() {
        SettingsWorld w;
        SettingsView& view = w.open();
        auto* toggle = control<QCheckBox>(&view, "Launch Vorrindel at login");
        QVERIFY(!toggle->isChecked());

        click(toggle);
        QVERIFY(toggle->isChecked() && QFile::exists(autostartFile()));
        click(toggle);
        QVERIFY(!toggle->isChecked());
        QVERIFY(!QFile::exists(autostartFile()));

        // A file where the autostart folder should be: refused, even for root.
        const QString folder = QFileInfo(autostartFile()).path();
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(TestFiles::write(folder, "in the way"));
        click(toggle);
        QVERIFY(!toggle->isChecked());
        QLabel* error = nullptr;
        for (QLabel* label : view.findChildren<QLabel*>()) {
            if (label->isVisible() && label->text().contains(folder))
                error = label;
        }
        QVERIFY2(error, "the reason is shown under the toggle");
        Shots::save(&view, "general-login-refused");

        QVERIFY(QFile::remove(folder));
        click(toggle);
        QVERIFY(toggle->isChecked());
        QVERIFY(!error->isVisible());
    }
};

QTEST_MAIN(TestGeneralSettings)
#include "tst_generalsettings.moc"
