#include "SettingsWorld.h"

#include "ui/settings/NotionSettings.h"

#include <QAccessible>
#include <QCheckBox>
#include <QScrollArea>
#include <QTabBar>

namespace {

// The name given to the control, else the one its text gives it. (On Linux a picker's accessible
// Name is its current value; its name reaches screen readers through its label.)
QString accessibleName(QWidget* widget) {
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// The controls Tab visits from the tab bar until it comes back to it, by accessible name.
QStringList tabOrder(SettingsView& view) {
    view.tabs()->tabBar()->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < 80; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        if (!focus || focus == view.tabs()->tabBar())
            break;
        names << accessibleName(focus);
    }
    return names;
}

} // namespace

class TestSettingsView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each tab at the window's size: every visible control lies within the page's width (the page
    // scrolls down, never sideways). With VORRINDEL_SHOTS set, each tab is also written there as a
    // PNG at scale 2, to be looked at.
    void everyTabFitsTheWindow() {
        SettingsWorld w;
        SettingsView& view = w.open();
        QTabWidget* tabs = view.tabs();
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            w.h.settle();
            auto* page = qobject_cast<QScrollArea*>(tabs->widget(i));
            QVERIFY(page);
            const int width = page->viewport()->width();
            for (QWidget* child : page->widget()->findChildren<QWidget*>()) {
                if (!child->isVisibleTo(page))
                    continue;
                const QRect box(child->mapTo(page->widget(), QPoint()), child->size());
                QVERIFY2(box.left() >= 0 && box.right() < width,
                         qPrintable(QStringLiteral("%1 (%2) in tab %3 spans %4..%5 of %6")
                                        .arg(child->metaObject()->className(), child->accessibleName())
                                        .arg(i)
                                        .arg(box.left())
                                        .arg(box.right())
                                        .arg(width)));
            }
            shot(&view, QStringLiteral("settings-%1").arg(i));
        }
    }

    // From the keyboard alone: Tab goes through the controls in reading order, every control it
    // reaches has a name, and Ctrl+Tab or a tab's Alt mnemonic moves between the tabs.
    void keyboardAlone() {
        SettingsWorld w;
        GoogleConfig::overrideBuiltInClientForTesting(w.google.clientID(), w.google.clientSecret());
        w.h.settings->setNotionToken(w.notion.token());
        w.notion.addDatabase(FakeNotion::database("b", "Bee", {{"Due", "date"}}));
        SettingsView& view = w.open();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QVERIFY(!accessibleName(view.tabs()->tabBar()).isEmpty());
        QCOMPARE(
            tabOrder(view),
            QStringList({"Expand when the mouse touches the notch", "Show upcoming event beside the notch",
                         "Start showing it", "Alert me", "Play a sound", "Show a sample alert in the notch",
                         "Add new events to", "Default length", "Ctrl+Alt+N opens quick add from any app",
                         "Launch Vorrindel at login"}));
        QCOMPARE(tabOrder(view).size(), 10);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(view.tabs()->currentIndex(), 1);
        QCOMPARE(tabOrder(view), QStringList{"Connect Google Calendar"});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
        QCOMPARE(view.tabs()->currentIndex(), 3);
        QVERIFY(SettingsWorld::waitFor([&] { return control<QCheckBox>(&view, "Bee") != nullptr; }));
        QVERIFY(SettingsWorld::waitFor([&] { return !view.findChild<NotionSettings*>()->isConnecting(); }));
        QCOMPARE(tabOrder(view), QStringList({"Rescan databases", "Disconnect", "Bee"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
        QCOMPARE(view.tabs()->currentIndex(), 2);
        QCOMPARE(tabOrder(view), QStringList{"Work"});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view.tabs()->currentIndex(), 1);

        // Nothing focusable goes without a name, in any tab.
        for (int i = 0; i < view.tabs()->count(); ++i) {
            view.tabs()->setCurrentIndex(i);
            for (QWidget* widget : view.tabs()->widget(i)->findChildren<QWidget*>()) {
                if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus))
                    QVERIFY2(!accessibleName(widget).isEmpty(), widget->metaObject()->className());
            }
        }
        GoogleConfig::overrideBuiltInClientForTesting(QString(), QString());
    }
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
