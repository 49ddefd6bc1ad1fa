#include "support/TempHome.h"
#include "ui/settings/SettingsOpener.h"
#include "ui/settings/SettingsView.h"

#include <QApplication>
#include <QTabWidget>
#include <QTest>
#include <QWidget>

namespace {

QList<QWidget*> settingsWindows() {
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == u"Vorrindel Settings")
            windows.append(widget);
    }
    return windows;
}

} // namespace

class TestSettingsOpener : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneWindowReusedWhereTheUserLeftIt() {
        // The window works on the app's own settings and store: keep them in a home of their own.
        TempHome home;
        SettingsOpener::open();
        QCOMPARE(settingsWindows().size(), 1);
        QWidget* window = settingsWindows().first();
        QCOMPARE(SettingsOpener::window(), window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->size(), QSize(560, 520));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        auto* view = window->findChild<SettingsView*>();
        QVERIFY(view);
        QStringList tabs;
        for (int i = 0; i < view->tabs()->count(); ++i)
            tabs << view->tabs()->tabText(i).remove(u'&');
        QCOMPARE(tabs, QStringList({"General", "Google", "Local Calendars", "Notion"}));

        window->move(window->pos() + QPoint(40, 30));
        const QPoint moved = window->pos();
        view->tabs()->setCurrentIndex(2);
        window->close();
        QVERIFY(!window->isVisible());

        SettingsOpener::open();
        QCOMPARE(settingsWindows(), QList<QWidget*>{window});
        QVERIFY(window->isVisible());
        QCOMPARE(window->pos(), moved);
        QCOMPARE(view->tabs()->currentIndex(), 2);

        window->showMinimized();
        SettingsOpener::open();
        QVERIFY(!(window->windowState() & Qt::WindowMinimized));
        QCOMPARE(settingsWindows(), QList<QWidget*>{window});
    }
};

QTEST_MAIN(TestSettingsOpener)
#include "tst_settingsopener.moc"
