#include "SettingsWorld.h"
#include "support/Patience.h"

#include "core/settings/SettingsLocations.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/SettingsOpener.h"

#include <QAccessible>
#include <QDir>
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
            Shots::save(&view, QStringLiteral("settings-%1").arg(i));
        }
    }

    // From the keyboard alone: Tab reaches the General tab's controls, Ctrl+Tab or a tab's Alt
    // mnemonic moves between the tabs, and nothing focusable in any tab goes without a name.
    void keyboardAlone() {
        SettingsWorld w;
        SettingsView& view = w.open();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view, Patience::ms));
        QVERIFY(!accessibleName(view.tabs()->tabBar()).isEmpty());
        const QStringList general = tabOrder(view);
        QCOMPARE(general.first(), QStringLiteral("Expand when the mouse touches the notch"));
        QCOMPARE(general.last(), QStringLiteral("Launch Vorrindel at login"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(view.tabs()->currentIndex(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
        QCOMPARE(view.tabs()->currentIndex(), 3);
        for (int i = 0; i < view.tabs()->count(); ++i) {
            view.tabs()->setCurrentIndex(i);
            for (QWidget* widget : view.tabs()->widget(i)->findChildren<QWidget*>()) {
                if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus))
                    QVERIFY2(!accessibleName(widget).isEmpty(), widget->metaObject()->className());
            }
        }
    }

    // Where the window goes on screens of every size, in Qt's pixels: centred with its title bar and
    // borders, as large as it wants to be where that fits and shortened where not; on a screen
    // smaller than any usable window, its title bar still on the screen.
    void placement_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("size");
        QTest::newRow("1920 × 1080 under a top bar") << QRect(0, 32, 1920, 1048) << QSize(560, 520);
        QTest::newRow("a second screen, right of the first") << QRect(1920, 0, 1280, 800) << QSize(560, 520);
        QTest::newRow("1280 × 800 at scale 2") << QRect(0, 0, 640, 400) << QSize(560, 356);
        QTest::newRow("... and a top bar") << QRect(0, 27, 640, 373) << QSize(560, 329);
        QTest::newRow("1366 × 768 at scale 1.5, a bottom bar") << QRect(0, 0, 911, 480) << QSize(560, 436);
        QTest::newRow("narrower than the window") << QRect(0, 0, 500, 700) << QSize(492, 520);
        QTest::newRow("smaller than any usable window") << QRect(0, 0, 300, 200) << QSize(320, 240);
    }

    void placement() {
        QFETCH(QRect, available);
        QFETCH(QSize, size);
        const QMargins frame = SettingsOpener::typicalFrame;
        const QRect placed = SettingsOpener::placement(SettingsView::windowSize, frame, available);
        QCOMPARE(placed.size(), size);
        const QRect framed = placed.marginsAdded(frame);
        if (available.contains(framed)) {
            QVERIFY(std::abs(framed.center().x() - available.center().x()) <= 1);
            QVERIFY(std::abs(framed.center().y() - available.center().y()) <= 1);
        } else {
            QCOMPARE(framed.topLeft(), available.topLeft());
            QVERIFY(size.width() > available.width() && size.height() > available.height());
        }
    }

    // A credential file that is there but cannot be read (here a folder in its place) is named on its
    // tab, whatever else the tab shows, and signing in or out keeps it as it is.
    void credentialFilesThatCannotBeRead() {
        SettingsWorld w;
        const QString folder = w.h.home.dataHome() + "/Vorrindel";
        QVERIFY(QDir().mkpath(folder + "/google.json") && QDir().mkpath(folder + "/notion-token"));
        w.h.settings = std::make_unique<AppSettings>(SettingsLocations::standard());
        const std::optional<QString> google = w.h.settings->googleFileProblem();
        const std::optional<QString> notion = w.h.settings->notionTokenFileProblem();
        QVERIFY(google && google->contains(folder + "/google.json"));
        QVERIFY(notion && notion->contains(folder + "/notion-token"));
        SettingsView& view = w.open(1);
        QVERIFY(control<WarningLine>(&view, *google));
        Shots::save(&view, "settings-google-unreadable");
        view.tabs()->setCurrentIndex(3);
        QVERIFY(control<WarningLine>(&view, *notion));
        Shots::save(&view, "settings-notion-unreadable");
        w.h.settings->setNotionToken("");
        QVERIFY(QFileInfo(folder + "/notion-token").isDir());
        QVERIFY(control<WarningLine>(&view, *notion));
    }
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
