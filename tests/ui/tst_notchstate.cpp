#include "ui/notch/NotchState.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const NotchGeometry laptop{QRectF(0, 0, 1512, 982), QSizeF(180, 24), false};

CalEvent sampleEvent(const QString& id, const QString& title) {
    CalEvent e;
    e.id = id;
    e.title = title;
    return e;
}

} // namespace

class TestNotchState : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void freshState() {
        NotchState state(laptop);
        QVERIFY(!state.expanded() && !state.pinned() && !state.quickAdd());
        QVERIFY(state.quickAddPrefill().isEmpty());
        QVERIFY(!state.editingEvent() && !state.selectedEvent());
        QCOMPARE(state.geometry(), laptop);
        QVERIFY(!state.handleEscape());
    }

    // Quick add is asked first; it stops the question when it used the key.
    void escapeOrder_data() {
        QTest::addColumn<int>("quickAdd"); // -1: no handler, 0: declines, 1: consumes
        QTest::addColumn<int>("detail");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<QString>("asked");

        QTest::newRow("none") << -1 << -1 << false << "";
        QTest::newRow("quick add consumes") << 1 << 1 << true << "q";
        QTest::newRow("quick add declines, detail consumes") << 0 << 1 << true << "qd";
        QTest::newRow("both decline") << 0 << 0 << false << "qd";
        QTest::newRow("detail alone") << -1 << 0 << false << "d";
    }

    void escapeOrder() {
        QFETCH(int, quickAdd);
        QFETCH(int, detail);
        QFETCH(bool, consumed);
        QFETCH(QString, asked);

        NotchState state(laptop);
        QObject view;
        QString calls;
        if (quickAdd >= 0)
            state.setEscapeHandler(NotchState::EscapeOwner::quickAdd, &view, [&] {
                calls += 'q';
                return quickAdd == 1;
            });
        if (detail >= 0)
            state.setEscapeHandler(NotchState::EscapeOwner::detail, &view, [&] {
                calls += 'd';
                return detail == 1;
            });
        QCOMPARE(state.handleEscape(), consumed);
        QCOMPARE(calls, asked);
    }

    // A view fading out removes its handler after the view replacing it has registered its own.
    void onlyTheRegistrationsOwnTokenRemovesIt() {
        NotchState state(laptop);
        QObject outgoing, incoming;
        QString calls;
        EscapeHandlerGuard old(state, NotchState::EscapeOwner::detail, &outgoing, [&] {
            calls += "old";
            return true;
        });
        EscapeHandlerGuard fresh(state, NotchState::EscapeOwner::detail, &incoming, [&] {
            calls += "new";
            return true;
        });
        old.reset();
        QVERIFY(state.handleEscape());
        QCOMPARE(calls, "new");

        fresh = EscapeHandlerGuard();
        QVERIFY(!state.hasEscapeHandler(NotchState::EscapeOwner::detail));
        QVERIFY(!state.handleEscape());
    }

    void aDestroyedViewIsNeverAsked() {
        NotchState state(laptop);
        auto view = std::make_unique<QObject>();
        bool called = false;
        state.setEscapeHandler(NotchState::EscapeOwner::quickAdd, view.get(), [&] { return called = true; });
        view.reset();
        QVERIFY(!state.hasEscapeHandler(NotchState::EscapeOwner::quickAdd));
        QVERIFY(!state.handleEscape());
        QVERIFY(!called);

        // And a guard that outlives the state removes nothing and does not crash.
        auto shortLived = std::make_unique<NotchState>(laptop);
        QObject other;
        EscapeHandlerGuard guard(*shortLived, NotchState::EscapeOwner::detail, &other, [] { return true; });
        shortLived.reset();
    }

    // Observers of one field of a collapse see the other fields already changed.
    void updateNotifiesOnceEverythingIsSet() {
        NotchState state(laptop);
        state.setExpanded(true);
        state.setQuickAdd(true);
        state.setSelectedEvent(sampleEvent("a", "Standup"));

        QStringList seen;
        connect(&state, &NotchState::expandedChanged, this, [&] {
            seen << QStringLiteral("expanded quickAdd=%1 selected=%2")
                        .arg(state.quickAdd())
                        .arg(state.selectedEvent().has_value());
        });
        connect(&state, &NotchState::quickAddChanged, this, [&] { seen << "quickAdd"; });
        connect(&state, &NotchState::selectedEventChanged, this, [&] { seen << "selected"; });
        state.update([&] {
            state.setExpanded(false);
            state.setSelectedEvent(std::nullopt);
            state.setQuickAdd(false);
            QVERIFY(seen.isEmpty());
        });
        QCOMPARE(seen, (QStringList{"expanded quickAdd=0 selected=0", "quickAdd", "selected"}));
    }

    // A saved copy of the event shown compares equal to it, and must still reach the views.
    void eventsNotifyOnEveryAssignment() {
        NotchState state(laptop);
        QSignalSpy selected(&state, &NotchState::selectedEventChanged);
        QSignalSpy pinned(&state, &NotchState::pinnedChanged);
        CalEvent shown = sampleEvent("a", "Review");
        state.setSelectedEvent(shown);
        shown.location = QStringLiteral("Room 4");
        state.setSelectedEvent(shown);
        QCOMPARE(selected.count(), 2);
        QCOMPARE(state.selectedEvent()->location, shown.location);

        state.setPinned(true);
        state.setPinned(true);
        QCOMPARE(pinned.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestNotchState)
#include "tst_notchstate.moc"
