#include "SettingsWorld.h"

#include "core/settings/SettingsLocations.h"
#include "support/TestFiles.h"
#include "ui/settings/CalendarSettings.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

LocalCalendar calendar(const QString& id, const QString& source) {
    LocalCalendar c;
    c.id = id;
    c.title = id;
    c.sourceTitle = source;
    return c;
}

// The titles of the visible sections, top to bottom, with their switches.
QStringList sections(QWidget* root) {
    QList<QGroupBox*> boxes = root->findChildren<QGroupBox*>();
    boxes.removeIf([&](const QGroupBox* box) { return !box->isVisibleTo(root) || box->title().isEmpty(); });
    std::sort(boxes.begin(), boxes.end(), [&](const QGroupBox* a, const QGroupBox* b) {
        return a->mapTo(root, QPoint()).y() < b->mapTo(root, QPoint()).y();
    });
    QStringList out;
    for (const QGroupBox* box : boxes) {
        QList<QCheckBox*> toggles = box->findChildren<QCheckBox*>();
        std::sort(toggles.begin(), toggles.end(),
                  [](const QCheckBox* a, const QCheckBox* b) { return a->y() < b->y(); });
        QStringList titles;
        for (const QCheckBox* toggle : toggles)
            titles << toggle->text();
        out << box->title() + ": " + titles.join(", ");
    }
    return out;
}

} // namespace

class TestCalendarSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void grouping_data() {
        QTest::addColumn<QList<LocalCalendar>>("calendars");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("character codes: capitals first")
            << QList<LocalCalendar>{calendar("a", "iCloud"), calendar("b", "Google"), calendar("c", "apple")}
            << QStringList{"Google: b", "apple: c", "iCloud: a"};
        // Sources of one title (two accounts named alike) share a group.
        QTest::newRow("one title, one group, in the list's order")
            << QList<LocalCalendar>{calendar("x", "Work"), calendar("a", "Home"), calendar("m", "Work")}
            << QStringList{"Home: a", "Work: x m"};
    }
    void grouping() {
        QFETCH(QList<LocalCalendar>, calendars);
        QFETCH(QStringList, groups);
        QStringList out;
        for (const CalendarSettingsModel::Group& group : CalendarSettingsModel::groupedCalendars(calendars)) {
            QStringList ids;
            for (const LocalCalendar& c : group.calendars)
                ids << c.id;
            out << group.source + ": " + ids.join(' ');
        }
        QCOMPARE(out, groups);
    }

    // A calendar folder as khal and vdirsyncer lay it out: collections at the root are local, those
    // in an account folder are that account's. Hiding one takes its events out of the agenda.
    void sourcesOfAFolderAndHidingOne() {
        SettingsWorld w;
        const auto collection = [&](const QString& path, const QByteArray& name, const QByteArray& color) {
            QVERIFY(TestFiles::write(w.h.root + "/" + path + "/displayname", name + "\n"));
            QVERIFY(TestFiles::write(w.h.root + "/" + path + "/color", color + "\n"));
        };
        collection("zed@x.org/team", "Team", "#ff8800");
        collection("apple/family", "Family", "#34a853");
        collection("apple/birthdays", "Birthdays", "not a colour");
        w.h.writeLocalEvent("t1", "Team lunch", w.h.at("2026-03-04 12:00"), w.h.at("2026-03-04 13:00"));
        QVERIFY(QFile::rename(w.h.collection + "/t1.ics", w.h.root + "/zed@x.org/team/t1.ics"));
        SettingsView& view = w.open(2);
        QCOMPARE(sections(&view),
                 QStringList({"Local: Work", "apple: Birthdays, Family", "zed@x.org: Team"}));
        shot(&view, "calendars");
        QCOMPARE(w.h.titlesOn("2026-03-04"), QStringList{"Team lunch"});

        auto* team = control<QCheckBox>(&view, "Team");
        click(team);
        QCOMPARE(AppSettings(SettingsLocations::standard()).hiddenCalendarIDs(),
                 QSet<QString>{"zed@x.org/team"});
        QVERIFY(SettingsWorld::waitFor([&] { return w.h.titlesOn("2026-03-04").isEmpty(); }));
        // Every switch of a source hidden: the section stays, with its switch off.
        QCOMPARE(sections(&view).last(), QStringLiteral("zed@x.org: Team"));
        QCOMPARE(control<QCheckBox>(&view, "Team"), team);
        QVERIFY(!team->isChecked());
        click(team);
        QVERIFY(AppSettings(SettingsLocations::standard()).hiddenCalendarIDs().isEmpty());
        QVERIFY(
            SettingsWorld::waitFor([&] { return w.h.titlesOn("2026-03-04") == QStringList{"Team lunch"}; }));
    }

    // Without a calendar folder, "Grant access" makes one and its calendar appears; a folder the
    // app may not read offers to open it instead.
    void accessVariants_data() {
        QTest::addColumn<std::optional<CalendarAccess>>("access");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("button");
        QTest::newRow("no folder yet")
            << std::optional<CalendarAccess>() << "Vorrindel has not been granted calendar access yet."
            << "Grant access";
        QTest::newRow("denied") << std::optional(CalendarAccess::denied)
                                << "Calendar access is off for Vorrindel."
                                << "Open Calendar Folder";
        QTest::newRow("write only counts as off")
            << std::optional(CalendarAccess::writeOnly) << "Calendar access is off for Vorrindel."
            << "Open Calendar Folder";
    }
    void accessVariants() {
        QFETCH(std::optional<CalendarAccess>, access);
        QFETCH(QString, text);
        QFETCH(QString, button);
        SettingsWorld w;
        // The store asks for access at start; a file in the way keeps the folder from being made.
        const QString blocker = w.h.home.path() + "/blocked";
        if (access) {
            w.h.access = access;
        } else {
            w.h.root = blocker + "/calendars";
            QVERIFY(TestFiles::write(blocker, "in the way"));
        }
        SettingsView& view = w.open(2);
        QList<QLabel*> labels = view.findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(),
                            [&](const QLabel* l) { return l->isVisible() && l->text() == text; }));
        QVERIFY(sections(&view).isEmpty());
        shot(&view, QStringLiteral("calendars-") + QTest::currentDataTag());
        click(control<QPushButton>(&view, button));
        if (access) {
            QCOMPARE(w.opened.size(), 1);
            QVERIFY(w.opened[0].isLocalFile());
            return;
        }
        // Still in the way: the row stays, and the button asks again.
        QVERIFY(control<QPushButton>(&view, button));
        QVERIFY(QFile::remove(blocker));
        click(control<QPushButton>(&view, button));
        QVERIFY(SettingsWorld::waitFor([&] { return !sections(&view).isEmpty(); }));
        QCOMPARE(sections(&view), QStringList{"Local: Calendar"});
        QVERIFY(!control<QPushButton>(&view, button));
    }
};

QTEST_MAIN(TestCalendarSettings)
#include "tst_calendarsettings.moc"
