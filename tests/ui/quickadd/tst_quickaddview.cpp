#include "../../core/quickadd/QuickAddFakes.h"
#include "QuickAddBody.h"

#include "core/model/ProcessArguments.h"
#include "core/quickadd/QuickAddModel.h"
#include "support/AnimationClock.h"
#include "support/Patience.h"
#include "support/Shots.h"
#include "ui/controls/Motion.h"
#include "ui/controls/PillButton.h"
#include "ui/notch/NotchState.h"
#include "ui/quickadd/ContentMotion.h"
#include "ui/quickadd/DestinationRow.h"
#include "ui/quickadd/InviteeChip.h"
#include "ui/quickadd/MaybeHScroll.h"
#include "ui/quickadd/MeetToggle.h"
#include "ui/quickadd/SuggestionRow.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

namespace {

// Every widget shown, with its place in the window: two views that show the same look the same.
QStringList layoutOf(QWidget* window) {
    QStringList out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isVisibleTo(window))
            out << QStringLiteral("%1 %2 %3x%4")
                       .arg(QString::fromLatin1(w->metaObject()->className()))
                       .arg(QString::number(w->mapTo(window, QPoint()).x()) + u',' +
                            QString::number(w->mapTo(window, QPoint()).y()))
                       .arg(w->width())
                       .arg(w->height());
    }
    out.sort();
    return out;
}

} // namespace

// The quick-add view over its model, driven the way the user drives it: keys into the real line
// edits, clicks on the real buttons and rows, Escape through the panel state. The model's own rules
// are tested with the model; these check that the widgets reach them and show what comes back.
// The agenda is FakeEnv's: Berlin, Wednesday 4 March 2026, 10:00.
class TestQuickAddView : public QObject {
    Q_OBJECT

    struct World {
        explicit World(qreal notch = 24)
            : state(NotchGeometry{QRectF(0, 0, 1512, 982), QSizeF(180, notch), false})
            , body(state, env, notch) {
            body.show();
            QApplication::setActiveWindow(&body);
        }
        QuickAddView& view() { return *body.view; }
        QuickAddModel& model() { return *body.view->model(); }
        // As the controller opens quick add: the fields of one change, then their signals.
        void open(const QString& prefill = {}) {
            state.update([&] {
                state.addQuickAddPrefill(prefill);
                state.setEditingEvent(std::nullopt);
                state.setQuickAdd(true);
            });
            settle();
        }
        void close() {
            state.update([&] {
                state.setQuickAdd(false);
                state.setEditingEvent(std::nullopt);
            });
            settle();
        }
        void settle() {
            for (int i = 0; i < 4; ++i)
                QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        void type(QLineEdit* field, const QString& text) {
            QTest::keyClicks(field, text);
            settle();
        }
        QStringList chips() const {
            QList<InviteeChip*> shown;
            for (InviteeChip* chip : body.findChildren<InviteeChip*>()) {
                if (chip->isVisibleTo(&body))
                    shown << chip;
            }
            std::sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
            QStringList labels;
            for (InviteeChip* chip : shown)
                labels << chip->chip().label;
            return labels;
        }
        InviteeChip* chip(const QString& label) const {
            for (InviteeChip* chip : body.findChildren<InviteeChip*>()) {
                if (chip->isVisibleTo(&body) && chip->chip().label == label)
                    return chip;
            }
            return nullptr;
        }
        QList<SuggestionRow*> suggestions() const {
            QList<SuggestionRow*> rows;
            for (SuggestionRow* row : body.findChildren<SuggestionRow*>()) {
                if (row->isVisibleTo(&body))
                    rows << row;
            }
            std::sort(rows.begin(), rows.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
            return rows;
        }
        template <typename T = QAbstractButton> T* button(const QString& name) const {
            for (T* b : body.findChildren<T*>()) {
                if (b->isVisibleTo(&body) &&
                    (b->text() == name || b->accessibleName() == name || b->toolTip() == name))
                    return b;
            }
            return nullptr;
        }
        bool shows(const QString& text) const {
            for (QWidget* w : body.findChildren<QWidget*>()) {
                if (w->isVisibleTo(&body) && w->accessibleName() == text)
                    return true;
            }
            return false;
        }

        FakeEnv env;
        NotchState state;
        QuickAddBody body;
    };

    static void click(QWidget* widget) {
        QVERIFY(widget);
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    }

private Q_SLOTS:
    void initTestCase() { Motion::setEnabled(false); }
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("^Symbol: no picture"))); }

    // Guests typed, picked, removed and taken back with Backspace, the Meet toggle, and Escape.
    void guestsFromTheKeyboard() {
        World w;
        w.open();
        QLineEdit* line = w.view().mainField();
        w.type(line, "Coffee with Ondrea and bob@corp.io tomorrow 3pm");
        QCOMPARE(w.chips(), (QStringList{"Ondrea Lindqvist", "bob@corp.io"}));
        QVERIFY(w.button("Send invites"));
        QVERIFY(w.button<MeetToggle>(QuickAdd::Text::googleMeet)->isOn());

        click(w.button(QuickAdd::Text::inviteTooltip));
        w.settle();
        QLineEdit* people = w.view().peopleField();
        QVERIFY(people->isVisibleTo(&w.body));
        QCOMPARE(QApplication::focusWidget(), people);

        // Part of a name and Return: the first suggestion.
        w.type(people, "pi");
        QCOMPARE(w.suggestions().size(), 1);
        QTest::keyClick(people, Qt::Key_Return);
        w.settle();
        QCOMPARE(w.chips(), (QStringList{"Ondrea Lindqvist", "bob@corp.io", "Pim Ode"}));
        QCOMPARE(people->text(), QString());

        // A new address is offered as its own row, to be clicked; Backspace in the empty field takes the
        // last guest back.
        w.type(people, "carol@example.org");
        click(w.suggestions().value(0));
        w.settle();
        QCOMPARE(w.chips().last(), QStringLiteral("carol@example.org"));
        QTest::keyClick(people, Qt::Key_Backspace);
        w.settle();
        QCOMPARE(w.chips().size(), 3);

        // A typed guest's × takes the name out of the line and leaves the others invited.
        click(w.chip("Ondrea Lindqvist")->removeButton());
        w.settle();
        QCOMPARE(line->text(), QStringLiteral("Coffee with bob@corp.io tomorrow 3pm"));
        QCOMPARE(w.chips(), (QStringList{"bob@corp.io", "Pim Ode"}));

        auto* meet = w.button<MeetToggle>(QuickAdd::Text::googleMeet);
        click(meet);
        w.settle();
        QVERIFY(!meet->isOn());
        QVERIFY(!w.model().view().meetOn);

        // Escape closes the people field and gives the keyboard back to the line; the next is the panel's.
        Shots::save(&w.body, "quickadd-people");
        QVERIFY(w.state.handleEscape());
        w.settle();
        QVERIFY(!people->isVisibleTo(&w.body));
        QCOMPARE(QApplication::focusWidget(), line);
        QVERIFY(!w.state.handleEscape());
    }

    // Choosing where the event goes, from the list over the footer, in one showing and the next:
    // rows and chips kept from a showing act on the showing of the moment.
    void pickingADestination() {
        World w;
        const QString line = QStringLiteral("Coffee with Pim tomorrow 3pm");
        for (const QString& calendar : {QStringLiteral("Team"), QStringLiteral("ada@corp.io")}) {
            w.open(line);
            click(w.button("Meetings go to a Google calendar so invites can be sent"));
            w.settle();
            click(w.button<DestinationRow>(calendar));
            w.settle();
            QVERIFY(!w.model().view().showCalendarList);
            QCOMPARE(w.model().view().destinationTitle, calendar);
            w.close();
        }
        QCOMPARE(w.env.defaultTarget, QStringLiteral("ada@corp.io|ada@corp.io"));
        w.open(line);
        click(w.chip("Pim Ode")->removeButton());
        w.settle();
        QCOMPARE(w.view().mainField()->text(), QStringLiteral("Coffee tomorrow 3pm"));
        // A plain line may go to a local calendar, which becomes the one new events go to.
        w.model().toggleCalendars();
        w.settle();
        click(w.button<DestinationRow>(QStringLiteral("Home")));
        QCOMPARE(w.env.defaultCalendar, QStringLiteral("fastmail/home"));
    }

    // Each showing has a model of its own: what a closed one typed, and its requests, stay with it.
    void oneModelPerShowing() {
        World w;
        QCOMPARE(w.view().model(), nullptr);
        w.open("Lunch fri");
        QCOMPARE(w.view().mainField()->text(), QStringLiteral("Lunch fri"));
        QVERIFY(w.state.quickAddPrefill().isEmpty());
        QPointer<QuickAddModel> first = w.view().model();
        QVERIFY(w.state.hasEscapeHandler(NotchState::EscapeOwner::quickAdd));

        w.close();
        QVERIFY(!first);
        QVERIFY(!w.state.hasEscapeHandler(NotchState::EscapeOwner::quickAdd));
        QTest::keyClicks(w.view().mainField(), "x"); // a keystroke that reaches a closing view is dropped

        // Opened over an edit with a line: the line wins and the edit is gone.
        w.state.update([&] {
            w.state.setEditingEvent(FakeEnv::event("rev", "Review", "2026-03-05 14:00", "2026-03-05 15:00"));
            w.state.setQuickAdd(true);
        });
        w.settle();
        QVERIFY(w.view().whenField()->isVisibleTo(&w.body));
        QCOMPARE(w.view().mainField()->text(), QStringLiteral("Review"));
        // Tab from the title to the when-line, and the brighter outline follows.
        w.view().mainField()->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(w.view().mainField(), Qt::Key_Tab);
        w.settle();
        QCOMPARE(QApplication::focusWidget(), w.view().whenField());
        QCOMPARE(w.model().state().focus, QuickAdd::Field::when);
        w.state.update([&] {
            w.state.addQuickAddPrefill(QStringLiteral("Dentist tomorrow 2pm"));
            w.state.setEditingEvent(std::nullopt);
        });
        w.settle();
        QCOMPARE(w.view().mainField()->text(), QStringLiteral("Dentist tomorrow 2pm"));
        QVERIFY(!w.view().whenField()->isVisibleTo(&w.body));
        QVERIFY(w.shows(QStringLiteral("New event")));
    }

    // A write that fails says why and leaves everything as it was, ready to send again.
    void aFailedWriteKeepsTheLine() {
        World w;
        w.env.writeError = QStringLiteral("Google Calendar refused the event");
        w.open();
        QLineEdit* line = w.view().mainField();
        w.type(line, "Sync with bob@corp.io tomorrow 3pm");
        click(w.button<MeetToggle>(QuickAdd::Text::googleMeet));
        QTest::keyClick(line, Qt::Key_Return);
        w.settle();
        QVERIFY(w.shows(QStringLiteral("Google Calendar refused the event")));
        Shots::save(&w.body, "quickadd-failed");
        QCOMPARE(line->text(), QStringLiteral("Sync with bob@corp.io tomorrow 3pm"));
        QCOMPARE(w.chips(), QStringList{"bob@corp.io"});
        QVERIFY(!w.button<MeetToggle>(QuickAdd::Text::googleMeet)->isOn());
        QVERIFY(w.button<PillButton>("Send invites")->isEnabled());
        QVERIFY(w.button<PillButton>(QuickAdd::Text::cancel)->isEnabled());
        // Typing clears the message.
        w.type(line, " ");
        QVERIFY(!w.shows(QStringLiteral("Google Calendar refused the event")));
    }

    // While a meeting is being sent Cancel is off and the line takes no keys; quick add closed and
    // opened again shows the line and its guest still sending, and the answer ends the spinner there. A
    // failure answered while closed shows with its line until that is sent; a line handed over follows.
    void aMeetingBeingSentOutlivesItsShowing() {
        World w;
        w.env.holdWrites = true;
        w.open();
        const QString line = QStringLiteral("Sync with bob@corp.io tomorrow 3pm");
        w.type(w.view().mainField(), line);
        QTest::keyClick(w.view().mainField(), Qt::Key_Return);
        w.settle();
        QVERIFY(w.button<PillButton>(QStringLiteral("Sending…")));
        QVERIFY(!w.button<PillButton>(QuickAdd::Text::cancel)->isEnabled());
        w.close();

        w.open();
        QCOMPARE(w.view().mainField()->text(), line);
        QCOMPARE(w.chips(), QStringList{"bob@corp.io"});
        QVERIFY(w.button<PillButton>(QStringLiteral("Sending…")));
        QVERIFY(!w.button<PillButton>(QuickAdd::Text::cancel)->isEnabled());
        w.type(w.view().mainField(), " and Pim");
        QCOMPARE(w.view().mainField()->text(), line);
        Shots::save(&w.body, "quickadd-sending-again");
        w.env.writeError = QStringLiteral("The request timed out");
        w.env.release();
        QVERIFY_SOON(w.shows(QStringLiteral("The request timed out")));
        QVERIFY(w.button<PillButton>("Send invites")->isEnabled());
        QCOMPARE(w.view().mainField()->text(), line);

        QTest::keyClick(w.view().mainField(), Qt::Key_Return);
        w.settle();
        w.close();
        w.env.release();
        QVERIFY_SOON(w.env.outbox().held() && !w.env.outbox().held()->sending);
        w.open(QStringLiteral("Lunch fri"));
        QVERIFY(w.shows(QStringLiteral("The request timed out")));
        QCOMPARE(w.view().mainField()->text(), line);
        w.close();
        w.open();
        QCOMPARE(w.view().mainField()->text(), line);
        w.env.writeError.reset();
        w.env.holdWrites = false;
        QTest::keyClick(w.view().mainField(), Qt::Key_Return);
        QCOMPARE_SOON(w.view().mainField()->text(), QStringLiteral("Lunch fri"));
    }

    // The agenda publishes every 10 seconds and the model recomputes: the widgets on screen stay the
    // same widgets, so the pointer's hover and the cursor stay where they were.
    void updatesInPlace() {
        World w;
        w.open();
        QLineEdit* line = w.view().mainField();
        w.type(line, "Coffee with Ondrea fri");
        InviteeChip* ondrea = w.chip("Ondrea Lindqvist");
        QVERIFY(ondrea);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(ondrea, &enter);
        QVERIFY(ondrea->isHovering());

        line->setCursorPosition(6); // "Coffee|"
        w.type(line, "s");
        w.env.touch();
        w.settle();
        QCOMPARE(line->text(), QStringLiteral("Coffees with Ondrea fri"));
        QCOMPARE(line->cursorPosition(), 7);
        QCOMPARE(w.chip("Ondrea Lindqvist"), ondrea);
        QVERIFY(ondrea->isHovering());
    }

    // However full the panel, the footer stays inside it, nothing overlaps, and suggestions that do
    // not fit are left out whole rather than cut (all of them when not one fits).
    void aFullPanelKeepsItsFooter_data() {
        QTest::addColumn<qreal>("notch");
        QTest::addColumn<bool>("edit");
        QTest::newRow("a new line, short notch") << 24.0 << false;
        QTest::newRow("an edit, tall notch") << 40.0 << true;
    }
    void aFullPanelKeepsItsFooter() {
        QFETCH(qreal, notch);
        QFETCH(bool, edit);
        World w(notch);
        for (const char* name : {"Ada Quill", "Ola Brook", "Bo Dale", "Cy Moor"})
            w.env.people << Person(QString::fromLatin1(name).toLower().remove(u' ') + "@corp.io", name);
        CalEvent review =
            FakeEnv::event("g:ada@corp.io:ada@corp.io:rev", "Review", "2026-03-05 14:00", "2026-03-05 15:00");
        review.source = EventSource::google;
        review.googleAccount = review.googleCalendarID = QStringLiteral("ada@corp.io");
        if (edit) {
            w.state.update([&] {
                w.state.setEditingEvent(review);
                w.state.setQuickAdd(true);
            });
            w.settle();
        } else {
            w.open("Planning with bob@corp.io thu 3pm");
        }
        click(w.button(QuickAdd::Text::inviteTooltip));
        w.type(w.view().peopleField(), "nobody");
        QTest::keyClick(w.view().peopleField(), Qt::Key_Return); // an error line as well
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(w.view().peopleField(), Qt::Key_Backspace);
        w.settle();
        QVERIFY(w.shows(
            QStringLiteral("“nobody” isn’t an email address and isn’t someone from your calendar yet")));
        QCOMPARE(w.model().view().suggestions.size(), 5);
        const QList<SuggestionRow*> shown = w.suggestions();
        Shots::save(&w.body, QStringLiteral("quickadd-full-") + QTest::currentDataTag());

        QuickAddView& view = w.view();
        QRect above; // everything above the footer
        QWidget* footer = view.findChild<QWidget*>(QStringLiteral("footer"));
        for (QWidget* section : view.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!section->isVisibleTo(&view) || section->inherits("DestinationList"))
                continue;
            QVERIFY2(view.rect().contains(section->geometry()), qPrintable(section->objectName()));
            QVERIFY2(!above.intersects(section->geometry()), qPrintable(section->objectName()));
            if (section != footer)
                above = above.united(section->geometry());
        }
        for (SuggestionRow* row : shown)
            QVERIFY(row->parentWidget()->rect().contains(row->geometry()));
        // Rows are left out only for want of room: the room left over is less than another row needs
        // (the first one also the box's padding and the gap above the box).
        const int row = w.body.findChild<SuggestionRow*>()->sizeHint().height();
        const int free = footer->y() - (above.y() + above.height()) - 10;
        if (shown.size() < 5)
            QVERIFY2(free < (shown.isEmpty() ? row + 2 * 3 + 4 : row + 1), qPrintable(QString::number(free)));
    }

    // With motion on, a change moves and lands where it lands at once with motion off; a publish
    // half-way through neither restarts the run nor breaks it, nor takes the keyboard or the hover.
    void motion() {
        World still;
        World moving; // the active window
        AnimationClock clock;
        Motion::setEnabled(true);
        const auto off = qScopeGuard([] { Motion::setEnabled(false); });
        ContentMotion* run = moving.view().findChild<ContentMotion*>();
        const auto both = [&](const std::function<void(World&)>& step) {
            Motion::setEnabled(false);
            step(still);
            QVERIFY(!still.view().findChild<ContentMotion*>()->isRunning());
            Motion::setEnabled(true);
            step(moving);
        };
        const auto runOut = [&](const QString& name) {
            for (int frame = 0; run->isRunning() && frame < 40; ++frame) {
                Shots::save(&moving.body, name + QString::number(frame));
                clock.advanceBy(20);
            }
            QVERIFY(!run->isRunning());
            QCOMPARE(layoutOf(&moving.body), layoutOf(&still.body));
        };

        // The first guest: the chip grows in on the spring and the title fades to "New meeting".
        both([](World& w) {
            w.open();
            w.view().mainField()->setFocus();
            w.type(w.view().mainField(), "Lunch tomorrow with zed@corp.i");
            QVERIFY(w.chips().isEmpty());
            w.type(w.view().mainField(), "o");
        });
        QCOMPARE(still.chip("zed@corp.io")->appearance(), 1.0);
        QVERIFY(run->isRunning());
        clock.advanceBy(60);
        QPointer<InviteeChip> zed = moving.chip("zed@corp.io");
        const qreal halfIn = zed->appearance();
        QVERIFY2(halfIn > 0 && halfIn < 1, qPrintable(QString::number(halfIn)));
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(zed, &enter);
        moving.env.touch();
        moving.settle();
        QVERIFY(run->isRunning());
        QCOMPARE(zed->appearance(), halfIn);
        clock.advanceBy(60);
        QVERIFY(zed->appearance() > halfIn);
        QVERIFY(zed->isHovering());
        QCOMPARE(QApplication::focusWidget(), moving.view().mainField());
        runOut("motion-guest-");

        // The people field eases in and takes the keyboard at once.
        both([](World& w) {
            click(w.button(QuickAdd::Text::inviteTooltip));
            w.settle();
        });
        QVERIFY(run->isRunning());
        QCOMPARE(QApplication::focusWidget(), moving.view().peopleField());
        runOut("motion-people-");

        // A guest removed: the chip shrinks and fades where it was, then goes.
        both([](World& w) {
            click(w.chip("zed@corp.io")->removeButton());
            w.settle();
        });
        clock.advanceBy(100);
        QVERIFY(zed && zed->isVisible() && zed->appearance() < 1);
        runOut("motion-remove-");
        moving.settle();
        QVERIFY(!zed);
        QCOMPARE(moving.view().mainField()->text(), QStringLiteral("Lunch tomorrow"));

        // Quick add closing in the middle of a change ends it: the panel fades out what is drawn.
        moving.type(moving.view().mainField(), " with bob@corp.io");
        QVERIFY(run->isRunning());
        moving.close();
        QVERIFY(!run->isRunning());
        QCOMPARE(moving.chip("bob@corp.io")->appearance(), 1.0);
    }

    // The snapshot mode draws static fields and a plain guest strip, and leaves the model to the
    // renderer.
    void snapshotMode() {
        ProcessArguments::setSnapshotMode(true);
        {
            World w;
            w.open("Lunch fri");
            QCOMPARE(w.state.quickAddPrefill(), QStringList{"Lunch fri"});
            w.model().setText(QStringLiteral("Coffee with Oskel today 3:08 pm for 45 min"));
            w.settle();
            QCOMPARE(w.view().mainField()->text(),
                     QStringLiteral("Coffee with Oskel today 3:08 pm for 45 min"));
            QVERIFY(w.view().mainField()->isReadOnly());
            QCOMPARE(w.view().mainField()->focusPolicy(), Qt::NoFocus);
            QVERIFY(w.body.findChild<MaybeHScroll*>()->isStatic());
            QCOMPARE(w.chips(), QStringList{"Oskel Brandt"});
        }
        ProcessArguments::setSnapshotMode(false);
    }
};

QTEST_MAIN(TestQuickAddView)
#include "tst_quickaddview.moc"
