#pragma once

#include "core/store/StoreHarness.h"
#include "support/FakeBrowser.h"
#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/Patience.h"
#include "support/RemoteTestSession.h"
#include "support/Shots.h"
#include "ui/settings/SettingsView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>

#include <memory>

// A settings view on a store of its own: a temporary home with a calendar folder (one collection,
// "Work"), the fake Google and Notion servers reached by the real clients, a browser that answers
// Google's consent page, a recording URL opener and a panel geometry the test sets.
struct SettingsWorld {
    SettingsWorld() {
        RemoteSession::Endpoints endpoints = google.endpoints();
        endpoints.notion = notion.baseUrl();
        session.setEndpoints(endpoints);
        session.setClock(h.clock.clock());
        session.setBrowser(browser.opener());
        h.googleSource = GoogleSource::remote();
        h.notionSource = NotionSource::remote();
    }

    SettingsContext context() {
        return {*h.settings, *h.store,
                [this](const QUrl& url) {
                    opened << url;
                    return true;
                },
                [this] { return geometry; }};
    }

    // Starts the store, then shows the window's content at its size on the given tab.
    SettingsView& open(int tab = 0) {
        h.start();
        view = std::make_unique<SettingsView>(context());
        view->tabs()->setCurrentIndex(tab);
        view->resize(SettingsView::windowSize);
        view->show();
        h.settle();
        return *view;
    }

    // Lets queued work and the fake servers' replies run until `done` holds.
    static bool waitFor(const std::function<bool()>& done) { return Patience::until(done); }

    FakeGoogle google;
    FakeNotion notion;
    StoreHarness h;
    RemoteTestSession session;
    FakeBrowser browser;
    QList<QUrl> opened;
    NotchGeometry geometry;
    std::unique_ptr<SettingsView> view;
};

// The visible control of that kind whose accessible name is `name` (for buttons also their text
// without its mnemonic mark); null when there is none.
template <typename W> W* control(const QWidget* root, const QString& name) {
    for (W* widget : root->findChildren<W*>()) {
        if (!widget->isVisibleTo(root->window()))
            continue;
        QString text = widget->accessibleName();
        if (text.isEmpty()) {
            if (auto* button = qobject_cast<QAbstractButton*>(widget))
                text = button->text().remove(QLatin1Char('&'));
        }
        if (text == name)
            return widget;
    }
    return nullptr;
}

// A click as the user makes it: the page scrolled to the control, then a real mouse press and
// release in its middle (on a check box's box: the free space beside its text takes no clicks).
inline void click(QWidget* widget) {
    QVERIFY(widget);
    QVERIFY(widget->isEnabled());
    for (QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto* page = qobject_cast<QScrollArea*>(parent))
            page->ensureWidgetVisible(widget);
    }
    const QPoint where =
        qobject_cast<QCheckBox*>(widget) ? QPoint(8, widget->height() / 2) : widget->rect().center();
    QTest::mouseClick(widget, Qt::LeftButton, {}, where);
}

// Picks the row with that text as a keyboard user does: focus, Home, then Down to it. Each step
// is a choice of the user's, as with a real keyboard.
inline void choose(QComboBox* picker, const QString& text) {
    QVERIFY(picker);
    const int index = picker->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(picker->currentText(), text);
}
