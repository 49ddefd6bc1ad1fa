#include "ui/notch/NotchState.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const NotchGeometry laptop{QRectF(0, 0, 1512, 982), QSizeF(180, 24), false};

CalEvent sampleEvent(const QString& id) {
    CalEvent e;
    e.id = id;
    return e;
}

} // namespace

class TestNotchState : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
            state.setEscapeHandler(NotchState::EscapeOwner::quickAdd, &view,
                                   [&] { return calls += 'q', quickAdd == 1; });
        if (detail >= 0)
            state.setEscapeHandler(NotchState::EscapeOwner::detail, &view,
                                   [&] { return calls += 'd', detail == 1; });
        QCOMPARE(state.handleEscape(), consumed);
        QCOMPARE(calls, asked);
    }

    // A view fading out removes its handler after the view replacing it has registered its own; a
    // destroyed view is never asked.
    void registrations() {
        auto state = std::make_unique<NotchState>(laptop);
        QObject outgoing, incoming;
        QString calls;
        EscapeHandlerGuard old(*state, NotchState::EscapeOwner::detail, &outgoing,
                               [&] { return calls += "old", true; });
        EscapeHandlerGuard fresh(*state, NotchState::EscapeOwner::detail, &incoming,
                                 [&] { return calls += "new", true; });
        old.reset();
        QVERIFY(state->handleEscape());
        QCOMPARE(calls, "new");
        fresh = EscapeHandlerGuard();
        QVERIFY(!state->hasEscapeHandler(NotchState::EscapeOwner::detail));

        auto view = std::make_unique<QObject>();
        state->setEscapeHandler(NotchState::EscapeOwner::quickAdd, view.get(),
                                [&] { return calls += "gone", true; });
        view.reset();
        QVERIFY(!state->handleEscape());
        QCOMPARE(calls, "new");

        // A guard that outlives the state leaves quietly.
        EscapeHandlerGuard late(*state, NotchState::EscapeOwner::detail, &incoming, [] { return true; });
        state.reset();
    }

    // Observers of one field of a collapse see the other fields already changed.
    void updateNotifiesOnceEverythingIsSet() {
        NotchState state(laptop);
        state.setExpanded(true);
        state.setQuickAdd(true);
        state.setSelectedEvent(sampleEvent("a"));

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
        CalEvent shown = sampleEvent("a");
        state.setSelectedEvent(shown);
        shown.location = QStringLiteral("Room 4");
        state.setSelectedEvent(shown);
        QCOMPARE(selected.count(), 2);
        QCOMPARE(state.selectedEvent()->location, shown.location);
    }
};

QTEST_GUILESS_MAIN(TestNotchState)
#include "tst_notchstate.moc"
