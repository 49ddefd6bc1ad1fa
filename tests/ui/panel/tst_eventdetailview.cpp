#include "DetailWorld.h"

#include "support/Patience.h"
#include "support/Shots.h"
#include "support/TestEvents.h"
#include "ui/controls/ElidedText.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/MaybeScroll.h"
#include "ui/controls/Motion.h"
#include "ui/controls/PillButton.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

namespace {

// What a screen reader calls a button: its accessible name, else its text.
QString nameOf(const QAbstractButton* button) {
    return button->accessibleName().isEmpty() ? button->text() : button->accessibleName();
}

// The shown button whose accessible name (help text or label) is `name`, or null. The header's
// Decline and the confirmation's Decline share a name: T tells them apart.
template <typename T = QAbstractButton> T* button(QWidget* view, const QString& name) {
    for (T* candidate : view->findChildren<T*>()) {
        if (nameOf(candidate) == name && candidate->isVisibleTo(view))
            return candidate;
    }
    return nullptr;
}

QStringList shownButtons(QWidget* view) {
    QStringList names;
    for (QAbstractButton* candidate : view->findChildren<QAbstractButton*>()) {
        if (candidate->isVisibleTo(view))
            names << nameOf(candidate);
    }
    return names;
}

template <typename T = QAbstractButton> void click(QWidget* view, const QString& name) {
    T* target = button<T>(view, name);
    QVERIFY2(target, qPrintable(QStringLiteral("no button ") + name));
    QTest::mouseClick(target, Qt::LeftButton);
}

// The event loop runs what the view and the store queued.
void settle() {
    QTest::qWait(0);
    QCoreApplication::processEvents();
}

} // namespace

// The detail view on a store whose Google writes the test holds, fails or lets through; clicks are
// real mouse events on the shown view.
class TestEventDetailView : public QObject {
    Q_OBJECT

    std::unique_ptr<DetailWorld> w;
    CalEvent mine;   // Ada organises it: Edit and Delete
    CalEvent invite; // Ada is a guest: Decline

    QString selectedId() const {
        return w->state->selectedEvent() ? w->state->selectedEvent()->id : QStringLiteral("(none)");
    }

    std::unique_ptr<EventDetailView> shown(const CalEvent& event) {
        w->state->setSelectedEvent(event);
        auto view = w->view(event);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get(), Patience::ms))
            qFatal("the view never showed");
        return view;
    }

private Q_SLOTS:
    void initTestCase() { Motion::setEnabled(false); }

    void init() {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^Symbol: no picture")));
        w = std::make_unique<DetailWorld>();
        mine = w->googleMeeting(QStringLiteral("review"), QStringLiteral("Design review"),
                                QStringLiteral("2026-03-04 11:00"));
        invite = w->googleMeeting(QStringLiteral("offsite"), QStringLiteral("Offsite"),
                                  QStringLiteral("2026-03-04 12:00"), true);
    }
    void cleanup() { w.reset(); }

    // Pressing Delete twice closes the question again; left alone it closes after six seconds, counted
    // from the last press; Escape closes it, and a second Escape is the panel's.
    void confirmationOpensAndCloses() {
        auto view = shown(mine);
        QCOMPARE(shownButtons(view.get()).filter(QStringLiteral("Delete")).size(), 1);
        click(view.get(), QStringLiteral("Delete for everyone"));
        QCOMPARE(view->confirming(), EventDetailView::Confirm::deletion);
        QVERIFY(!button(view.get(), QStringLiteral("Join Google Meet")) &&
                !button(view.get(), QStringLiteral("Notion Calendar")));
        click(view.get(), QStringLiteral("Delete for everyone"));
        QCOMPARE(view->confirming(), std::nullopt);

        click(view.get(), QStringLiteral("Delete for everyone"));
        w->clock.advance(4);
        click(view.get(), QStringLiteral("Delete for everyone"));
        click(view.get(), QStringLiteral("Delete for everyone"));
        w->clock.advance(5);
        QCOMPARE(view->confirming(), EventDetailView::Confirm::deletion);
        w->clock.advance(1);
        QCOMPARE(view->confirming(), std::nullopt);
        QVERIFY(button(view.get(), QStringLiteral("Notion Calendar")));

        click(view.get(), QStringLiteral("Delete for everyone"));
        QVERIFY(w->state->handleEscape());
        QCOMPARE(view->confirming(), std::nullopt);
        QVERIFY(!w->state->handleEscape());
        click(view.get(), QStringLiteral("Delete for everyone"));
        click(view.get(), QStringLiteral("Cancel"));
        QCOMPARE(view->confirming(), std::nullopt);
        QVERIFY(w->writes().isEmpty());
        QCOMPARE(selectedId(), mine.id);

        // Taken off the screen (quick add over it, the panel collapsing), it forgets the question and
        // leaves Escape to the panel.
        click(view.get(), QStringLiteral("Delete for everyone"));
        view->hide();
        QCOMPARE(view->confirming(), std::nullopt);
        QVERIFY(!w->state->hasEscapeHandler(NotchState::EscapeOwner::detail));
    }

    // While the decline runs nothing else can start or leave; its failure shows, the footer comes
    // back, and the event stays selected.
    void failingDeclineShowsItsMessage() {
        auto view = shown(invite);
        w->holdWrites(QStringLiteral("Google refused the change (HTTP 403)"));
        click<IconButton>(view.get(), QStringLiteral("Decline"));
        QCOMPARE(view->confirming(), EventDetailView::Confirm::decline);
        click<PillButton>(view.get(), QStringLiteral("Decline"));
        settle();
        QVERIFY(view->isBusy());
        QCOMPARE(w->writes(), QStringList{QStringLiteral("decline offsite")});
        QVERIFY(button(view.get(), QStringLiteral("Declining\u2026")));
        for (const QString& name :
             {QStringLiteral("Back"), QStringLiteral("Decline"), QStringLiteral("Cancel")})
            QVERIFY2(!button(view.get(), name)->isEnabled(), qPrintable(name));
        QTest::mouseClick(button(view.get(), QStringLiteral("Back")), Qt::LeftButton);
        QVERIFY(w->state->handleEscape());
        w->clock.advance(10);
        QCOMPARE(view->confirming(), EventDetailView::Confirm::decline);
        QCOMPARE(selectedId(), invite.id);

        w->releaseWrites();
        settle();
        QVERIFY(!view->isBusy());
        QCOMPARE(view->error(), QStringLiteral("Google refused the change (HTTP 403)"));
        Shots::save(view.get(), "detail-decline-failed", Qt::black);
        QCOMPARE(view->confirming(), std::nullopt);
        QVERIFY(button(view.get(), QStringLiteral("Notion Calendar")));
        QCOMPARE(selectedId(), invite.id);
        QCOMPARE(w->store->toast(), std::nullopt);

        // Asking again clears the message.
        click<IconButton>(view.get(), QStringLiteral("Decline"));
        QCOMPARE(view->error(), std::nullopt);
    }

    // The header's message leaves as it came, shrinking as it fades, and only then gives the badge
    // back to the countdown.
    void toastLeavesAsItCame() {
        auto view = shown(mine);
        Motion::setEnabled(true);
        const auto still = qScopeGuard([] { Motion::setEnabled(false); });
        const QString message = QStringLiteral("Event saved");
        w->store->showToast(message);
        const QList<QWidget*> children = view->findChildren<QWidget*>();
        const auto badge = std::find_if(children.begin(), children.end(),
                                        [&](QWidget* child) { return child->accessibleName() == message; });
        QVERIFY(badge != children.end());
        QTest::qWait(250);
        w->clock.advance(EventStore::toastDuration.count());
        QCOMPARE(w->store->toast(), std::nullopt);
        QCOMPARE((*badge)->accessibleName(), message);
        QTest::qWait(100);
        Shots::save(view.get(), "detail-toast-leaving", Qt::black);
        QCOMPARE_SOON((*badge)->accessibleName(), QStringLiteral("in 1 h"));
    }

    // A series shown without the rule it repeats by says so, and offers nothing that would write it.
    void seriesWithAnUnexpandedRule() {
        CalEvent series = mine;
        series.isRecurring = series.unexpandedRule = true;
        auto view = shown(series);
        Shots::save(view.get(), "detail-unexpanded-rule", Qt::black);
        QCOMPARE(shownButtons(view.get()).filter(QRegularExpression(QStringLiteral("Edit|Delete"))),
                 QStringList());
        QStringList texts;
        for (const ElidedText* text : view->findChildren<ElidedText*>()) {
            if (text->isVisibleTo(view.get()))
                texts << text->text();
        }
        QVERIFY(!texts.filter(QStringLiteral("Repeats in a way Vorrindel can’t read in full")).isEmpty());
    }

    void successfulDeleteLeavesTheEvent() {
        auto view = shown(mine);
        Shots::save(view.get(), "detail", Qt::black);
        click(view.get(), QStringLiteral("Delete for everyone"));
        click<PillButton>(view.get(), QStringLiteral("Delete"));
        settle();
        QCOMPARE(w->writes(), QStringList{QStringLiteral("delete review notify")});
        QCOMPARE(w->state->selectedEvent(), std::nullopt);
        QVERIFY(!view->isBusy());
        QCOMPARE(view->confirming(), std::nullopt);
    }

    // The panel collapsed while the delete ran: the view is gone, the user has opened another event.
    // The delete still completes, and nothing of the other event is touched.
    void collapseDuringAPendingDelete() {
        auto view = shown(mine);
        w->holdWrites();
        click(view.get(), QStringLiteral("Delete for everyone"));
        click<PillButton>(view.get(), QStringLiteral("Delete"));
        settle();
        QCOMPARE(w->writes(), QStringList{QStringLiteral("delete review notify")});
        view.reset();
        w->state->setSelectedEvent(invite);
        QVERIFY(!w->state->hasEscapeHandler(NotchState::EscapeOwner::detail));

        w->releaseWrites();
        settle();
        QCOMPARE(selectedId(), invite.id);
    }

    // Every publish hands the view a new copy: the question, the running call, the scroll position
    // and the widgets stay; only another event starts afresh.
    void updatesInPlace() {
        CalEvent event = mine;
        event.notes = QStringList(60, QStringLiteral("Line")).join(u'\n');
        auto view = shown(event);
        view->resize(540, 200);
        settle();
        view->details()->setScrollPosition(40);
        QAbstractButton* remove = button(view.get(), QStringLiteral("Delete for everyone"));
        QTest::mouseClick(remove, Qt::LeftButton);
        w->clock.advance(4);

        event.title = QStringLiteral("Design review (moved)");
        event.start = event.start.addSecs(1800);
        event.end = event.end.addSecs(1800);
        view->setEvent(event);
        QCOMPARE(view->confirming(), EventDetailView::Confirm::deletion);
        QCOMPARE(view->details()->scrollPosition(), 40);
        QCOMPARE(button(view.get(), QStringLiteral("Delete for everyone")), remove);
        w->clock.advance(2); // the six seconds run on from the press
        QCOMPARE(view->confirming(), std::nullopt);

        // The event turns read-only: its question goes with the button.
        QTest::mouseClick(remove, Qt::LeftButton);
        event.calendarEditable = false;
        view->setEvent(event);
        QCOMPARE(view->confirming(), std::nullopt);
        QVERIFY(remove->isHidden());

        // A running call survives a publish.
        event.calendarEditable = true;
        view->setEvent(event);
        w->holdWrites();
        QTest::mouseClick(remove, Qt::LeftButton);
        click<PillButton>(view.get(), QStringLiteral("Delete"));
        settle();
        view->setEvent(event);
        QVERIFY(view->isBusy());
        QVERIFY(!remove->isEnabled());

        // Another event: nothing of the last one's question or answer.
        view->setEvent(invite);
        QVERIFY(!view->isBusy());
        QCOMPARE(view->confirming(), std::nullopt);
        QVERIFY(button(view.get(), QStringLiteral("Decline"))->isEnabled());
        w->releaseWrites();
        settle();
        QCOMPARE(view->confirming(), std::nullopt);
    }

    // Links from remote data open only as web pages; Join goes through the store and takes down only
    // this event's alert.
    void linksAndJoin() {
        CalEvent google = mine;
        google.webLink = QUrl(QStringLiteral("https://www.google.com/calendar/event?eid=cmV2"));
        google.location = QStringLiteral("https://meet.google.com/abc-defg-hij");
        auto view = shown(google);
        click(view.get(), QStringLiteral("Google Calendar"));
        QCOMPARE(w->openedLinks, QList<QUrl>{*google.webLink});

        const CalEvent other = w->googleMeeting(QStringLiteral("other"), QStringLiteral("Other"),
                                                QStringLiteral("2026-03-04 10:02"));
        w->store->showAlert({other, MeetingAlert::Kind::imminent, w->clock.now()});
        click(view.get(), QStringLiteral("Join Google Meet"));
        QCOMPARE(w->opened, QList<QUrl>{QUrl(QStringLiteral("https://meet.google.com/abc-defg-hij"))});
        QVERIFY(w->store->alert());

        google.webLink = QUrl(QStringLiteral("file:///home/ada/.ssh/id_rsa"));
        view->setEvent(google);
        QVERIFY(!button(view.get(), QStringLiteral("Google Calendar")));
    }
};

QTEST_MAIN(TestEventDetailView)
#include "tst_eventdetailview.moc"
