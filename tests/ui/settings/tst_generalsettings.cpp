#include "SettingsWorld.h"

#include "core/settings/SettingsLocations.h"
#include "support/TestFiles.h"
#include "ui/settings/GeneralSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
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
    // Every row of the three fixed pickers, chosen with the keyboard, stores its value.
    void pickerRowsStoreTheirValues_data() {
        QTest::addColumn<QString>("picker");
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("stored");
        const std::pair<const char*, int> peek[] = {{"5 minutes before", 5},
                                                    {"10 minutes before", 10},
                                                    {"15 minutes before", 15},
                                                    {"30 minutes before", 30},
                                                    {"60 minutes before", 60}};
        for (const auto& [row, value] : peek)
            QTest::addRow("peek: %s", row) << "Start showing it" << row << value;
        const std::pair<const char*, int> alert[] = {{"Off", -1},
                                                     {"When the meeting starts", 0},
                                                     {"1 minute before", 1},
                                                     {"2 minutes before", 2},
                                                     {"5 minutes before", 5},
                                                     {"10 minutes before", 10}};
        for (const auto& [row, value] : alert)
            QTest::addRow("alert: %s", row) << "Alert me" << row << value;
        const std::pair<const char*, int> length[] = {
            {"15 minutes", 15}, {"30 minutes", 30}, {"45 minutes", 45}, {"1 hour", 60}, {"1½ hours", 90}};
        for (const auto& [row, value] : length)
            QTest::addRow("length: %s", row) << "Default length" << row << value;
    }
    void pickerRowsStoreTheirValues() {
        QFETCH(QString, picker);
        QFETCH(QString, row);
        QFETCH(int, stored);
        SettingsWorld w;
        SettingsView& view = w.open();
        auto* combo = control<QComboBox>(&view, picker);
        choose(combo, row);
        const QHash<QString, int (AppSettings::*)() const> property{
            {"Start showing it", &AppSettings::peekMinutes},
            {"Alert me", &AppSettings::alertMinutes},
            {"Default length", &AppSettings::defaultEventMinutes}};
        QCOMPARE((reread().*property.value(picker))(), stored);
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

    void alertsOffDisableTheSound_data() {
        QTest::addColumn<QString>("alert");
        QTest::addColumn<bool>("soundEnabled");
        QTest::newRow("off") << "Off" << false;
        QTest::newRow("when it starts is not off") << "When the meeting starts" << true;
    }
    void alertsOffDisableTheSound() {
        QFETCH(QString, alert);
        QFETCH(bool, soundEnabled);
        SettingsWorld w;
        w.h.settings->setAlertSound(false);
        SettingsView& view = w.open();
        choose(control<QComboBox>(&view, "Alert me"), alert);
        auto* sound = control<QCheckBox>(&view, "Play a sound");
        QCOMPARE(sound->isEnabled(), soundEnabled);
        QVERIFY(!sound->isChecked());
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

    void displayLineNamesTheNotch_data() {
        QTest::addColumn<NotchGeometry>("geometry");
        QTest::addColumn<QString>("line");
        QTest::newRow("camera notch, points cut toward zero")
            << NotchGeometry{QRectF(0, 0, 1512, 982), QSizeF(185.0, 32.6), true}
            << "Built-in notch, 185×32 pt";
        QTest::newRow("virtual notch") << NotchGeometry{QRectF(0, 0, 1920, 1080), QSizeF(185, 32), false}
                                       << "No notch found — using a virtual notch on the main display";
    }
    void displayLineNamesTheNotch() {
        QFETCH(NotchGeometry, geometry);
        QFETCH(QString, line);
        SettingsWorld w;
        w.geometry = geometry;
        SettingsView& view = w.open();
        QCOMPARE(control<QLabel>(&view, "Display")->text(), line);
    }

    // The toggle writes a valid autostart entry and removes it; a refusal shows its reason, the
    // toggle shows the entry's real state, and the next success clears the reason.
    void launchAtLogin() {
        SettingsWorld w;
        SettingsView& view = w.open();
        auto* toggle = control<QCheckBox>(&view, "Launch Vorrindel at login");
        QVERIFY(!toggle->isChecked());

        click(toggle);
        QVERIFY(toggle->isChecked());
        QProcess validate;
        validate.start(qEnvironmentVariable("DESKTOP_FILE_VALIDATE"), {autostartFile()});
        QVERIFY(validate.waitForFinished());
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
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
        shot(&view, "general-login-refused");

        QVERIFY(QFile::remove(folder));
        click(toggle);
        QVERIFY(toggle->isChecked());
        QVERIFY(!error->isVisible());
    }

    void previewShowsASampleAlert() {
        SettingsWorld w;
        SettingsView& view = w.open();
        click(control<QPushButton>(&view, "Show a sample alert in the notch"));
        QVERIFY(w.h.store->alert());
        QCOMPARE(w.h.store->alert()->event.title, QStringLiteral("Design review (preview)"));
    }
};

QTEST_MAIN(TestGeneralSettings)
#include "tst_generalsettings.moc"
