#include "SettingsWorld.h"

#include <QScrollArea>

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
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
