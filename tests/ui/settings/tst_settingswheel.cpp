#include "SettingsWorld.h"

#include "core/settings/SettingsLocations.h"
#include "support/Patience.h"
#include "support/TestFiles.h"
#include "support/XvfbServer.h"

#include <QProcess>
#include <QScrollBar>
#include <QTabBar>

namespace {

// Four notches of a real mouse wheel through the X server, with the pointer resting at `at`;
// button 4 turns it up, 5 down.
void turnWheel(const QPoint& at, int button) {
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                               {"mousemove", QString::number(at.x()), QString::number(at.y()), "click",
                                "--repeat", "4", "--delay", "20", QString::number(button)}),
             0);
}

QScrollArea* pageOf(QWidget* widget) {
    for (QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto* page = qobject_cast<QScrollArea*>(parent))
            return page;
    }
    return nullptr;
}

// The wheel turned both ways over the picker: it keeps its row, the keyboard's focus stays where it
// was, and the page moves whenever it has room to move that way.
void turnOver(QComboBox* picker) {
    QVERIFY(picker);
    QScrollArea* page = pageOf(picker);
    QVERIFY(page);
    const int row = picker->currentIndex();
    QWidget* focus = picker->window()->focusWidget();
    QVERIFY(focus && focus != picker);
    QScrollBar* bar = page->verticalScrollBar();
    for (int button : {4, 5}) {
        page->ensureWidgetVisible(picker);
        const QPoint at = picker->mapToGlobal(picker->rect().center());
        QCOMPARE_SOON(QApplication::widgetAt(at), picker);
        const int from = bar->value();
        turnWheel(at, button);
        if (button == 4 ? from > bar->minimum() : from < bar->maximum())
            QVERIFY_SOON(button == 4 ? bar->value() < from : bar->value() > from);
        else
            QTest::qWait(300);
        QCOMPARE(picker->currentIndex(), row);
        QCOMPARE(picker->window()->focusWidget(), focus);
    }
}

} // namespace

// The settings window in a real X server, scrolled with a real wheel.
class TestSettingsWheel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Scrolling the pages past their pickers writes nothing and leaves the keyboard's focus alone:
    // every picker of the General tab and the Notion tab's date-property picker.
    void wheelOverAPickerScrollsThePage() {
        SettingsWorld w;
        w.notion.addDatabase(FakeNotion::database("a", "Alpha", {{"Date", "date"}, {"Deadline", "date"}}));
        w.h.settings->setNotionToken(w.notion.token());
        w.h.settings->setNotionDatabases({{"a", "Alpha", std::nullopt, "Deadline"}});
        w.h.settings->setAlertMinutes(5);
        SettingsView& view = w.open();
        const QString file = SettingsLocations::standard().settingsFile;
        const QByteArray before = TestFiles::read(file);
        QVERIFY(!before.isEmpty());

        QVERIFY(pageOf(control<QComboBox>(&view, "Alert me"))->verticalScrollBar()->maximum() > 0);
        view.tabs()->tabBar()->setFocus();
        for (const char* picker : {"Start showing it", "Alert me", "Add new events to", "Default length"})
            turnOver(control<QComboBox>(&view, picker));

        view.tabs()->setCurrentIndex(3);
        QVERIFY(w.waitFor([&] { return control<QComboBox>(&view, "Date property used for Alpha"); }));
        turnOver(control<QComboBox>(&view, "Date property used for Alpha"));

        QCOMPARE(TestFiles::read(file), before);
    }
};

int main(int argc, char** argv) {
    XvfbServer display;
    if (!display.start())
        return 1;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestSettingsWheel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingswheel.moc"
