#include "ui/settings/SettingsOpener.h"

#include <QApplication>
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
        SettingsOpener::open();
        QCOMPARE(settingsWindows().size(), 1);
        QWidget* window = settingsWindows().first();
        QVERIFY(window->isVisible());
        QCOMPARE(window->size(), QSize(560, 520));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));

        window->move(window->pos() + QPoint(40, 30));
        const QPoint moved = window->pos();
        window->close();
        QVERIFY(!window->isVisible());

        SettingsOpener::open();
        QCOMPARE(settingsWindows(), QList<QWidget*>{window});
        QVERIFY(window->isVisible());
        QCOMPARE(window->pos(), moved);
    }
};

QTEST_MAIN(TestSettingsOpener)
#include "tst_settingsopener.moc"
