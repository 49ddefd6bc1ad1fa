// The panel's views on a real store, offscreen: what they draw, that they follow the store in place
// (rows, hover, scroll position, the detail) and that a tick repaints only what changed, and their
// buttons driven by real mouse clicks.
#include "PanelWorld.h"
#include "ViewWorld.h"

#include "core/model/TextRules.h"
#include "core/quickadd/QuickAddModel.h"
#include "core/settings/SettingsLocations.h"
#include "support/Patience.h"
#include "support/Shots.h"
#include "support/TestEvents.h"
#include "ui/controls/ActivitySpinner.h"
#include "ui/controls/IconButton.h"
#include "ui/controls/JoinButton.h"
#include "ui/controls/MaybeScroll.h"
#include "ui/controls/Motion.h"
#include "ui/controls/PillButton.h"
#include "ui/controls/Theme.h"
#include "ui/panel/AlertBanner.h"
#include "ui/panel/DayList.h"
#include "ui/panel/EventRow.h"
#include "ui/panel/ExpandedView.h"
#include "ui/panel/GoogleNudge.h"
#include "ui/panel/HeaderBand.h"
#include "ui/panel/PeekView.h"
#include "ui/panel/SourceFooter.h"
#include "ui/panel/WeekStrip.h"
#include "ui/quickadd/QuickAddView.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPaintEvent>
#include <QRegularExpression>
#include <QTest>

using namespace TestEvents;

namespace {

// Counts the paint events of every widget inside one root while it is installed.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* root)
        : m_root(root) {
        qApp->installEventFilter(this);
    }
    ~PaintCounter() override { qApp->removeEventFilter(this); }

    QHash<QWidget*, QRegion> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && widget && m_root->isAncestorOf(widget))
            painted[widget] += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

private:
    QWidget* m_root;
};

// Shows the expanded panel in a window of its own, so that the pointer, scrolling and painting are
// real.
void showExpanded(ViewWorld& world) {
    world.state->setExpanded(true);
    world.fit();
    world.root->show();
    QVERIFY(QTest::qWaitForWindowExposed(world.root.get(), Patience::ms));
}

// Lets pending repaints happen.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void tick(ViewWorld& world, int seconds) {
    world.clock.advance(seconds);
    world.store->tick();
}

// The day's events with one of them renamed.
QList<CalEvent> renamed(QList<CalEvent> events, const QString& id, const QString& title) {
    for (CalEvent& event : events) {
        if (event.id == id)
            event.title = title;
    }
    return events;
}

} // namespace

class TestPanelViews : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        Motion::setEnabled(false);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^Symbol: no picture")));
    }

    // A day with six events shows four dots, in its first events' colours; a click on a day selects it.
    void weekStripDotsAndSelection() {
        ViewWorld world;
        QList<CalEvent> events;
        const QDateTime now = world.clock.now();
        for (int i = 0; i < 6; ++i) {
            events << timed(QString::number(i), QString::number(i), now.addSecs(i * 3600),
                            now.addSecs(i * 3600 + 600));
            events.last().color = QColor::fromHsv(i * 60, 255, 255);
        }
        world.setEvents(events);
        world.state->setExpanded(true);
        world.fit();
        const auto& cells = world.expanded()->weekStrip()->cells();
        const auto found = std::find_if(cells.begin(), cells.end(), [](DayCell* c) { return c->isToday(); });
        QVERIFY(found != cells.end() && found + 2 < cells.end());
        DayCell* today = *found;
        QVERIFY(today->isSelected());

        QImage image(today->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::black);
        today->render(&image);
        // Along the middle of the dots' row: four coloured runs, each the colour of its event.
        const int y = (today->height() - 2 - 2) * 2;
        QList<QColor> runs;
        bool inside = false;
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const bool coloured = pixel.saturation() > 128 && pixel.value() > 200;
            if (coloured && !inside)
                runs << pixel;
            inside = coloured;
        }
        QCOMPARE(runs.size(), 4);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(std::abs(runs[i].hue() - events[i].color.hue()) < 12, qPrintable(QString::number(i)));
        DayCell* later = *(found + 2);
        QVERIFY(later->dotColors().isEmpty());
        QCOMPARE(later->height(), today->height()); // a day without dots keeps the height

        const QString before = world.expanded()->header()->titleText();
        QTest::mouseClick(later, Qt::LeftButton, {}, later->rect().center());
        QCOMPARE(world.store->selectedDate(),
                 world.store->cal().addDays(world.store->cal().startOfDay(now), 2));
        QVERIFY(world.expanded()->header()->titleText() != before);
        QVERIFY(!world.expanded()->header()->todayButton()->isHidden());
        QCOMPARE(world.expanded()->dayList()->shownContent(), DayList::Content::emptyDay);
    }

    // A store update of the shown events changes a row's title in place: the same row, still
    // hovered, the list still where the user scrolled it.
    void publishUpdatesRowsInPlace() {
        ViewWorld world;
        world.useBusyDay(30);
        showExpanded(world);
        Shots::save(world.render(), "panel-busy-day");
        DayList* list = world.expanded()->dayList();
        list->scroller()->setScrollPosition(300);
        settle();
        EventRow* row = list->row("busy12");
        QVERIFY(row && row->visibleRegion().boundingRect().height() == row->height());
        QCursor::setPos(row->mapToGlobal(row->rect().center()));
        QVERIFY_SOON(row->isHovering());

        QList<CalEvent> events = world.store->events(world.clock.now());
        world.setEvents(renamed(events, "busy12", "Planning, moved"));
        QCOMPARE(list->row("busy12"), row);
        QCOMPARE(row->shown().title, "Planning, moved");
        QVERIFY(row->isHovering());
        QCOMPARE(list->scroller()->scrollPosition(), 300);

        // A new event comes in above it, another goes: rows are added and dropped, the rest stay.
        events = world.store->events(world.clock.now());
        events.removeAt(0);
        events << timed("early", "Early call", world.clock.now().addSecs(-7200),
                        world.clock.now().addSecs(-6600));
        world.setEvents(events);
        QCOMPARE(list->row("busy12"), row);
        QVERIFY(!list->row("busy0") && list->row("early"));
        QCOMPARE(list->rows().first(), list->row("early"));
        QVERIFY(row->isHovering());
        tick(world, 10);
        QCOMPARE(list->scroller()->scrollPosition(), 300);
    }

    // A day of thousands of events: only the rows on screen and a margin around them exist, the list
    // is as tall as all of them, it opens at the next event far down, and scrolling makes the rows
    // it comes to, each at its place and taking clicks.
    void aCrowdedDayMakesOnlyTheRowsNearTheScreen() {
        ViewWorld world;
        const QDateTime day = world.store->cal().startOfDay(world.clock.now());
        QList<CalEvent> events;
        for (int i = 0; i < 5000; ++i) {
            const QDateTime start = day.addSecs(8 * 3600 + i * 8);
            events << timed(QStringLiteral("e%1").arg(i), QStringLiteral("Item %1").arg(i), start,
                            start.addSecs(1500));
        }
        world.setEvents(events);
        // So many are merged off the GUI thread.
        QVERIFY_SOON(world.store->events(day).size() == 5000);
        showExpanded(world);
        DayList* list = world.expanded()->dayList();
        const QString next = world.store->nextEvent(world.store->selectedDate()).value_or(CalEvent()).id;
        QVERIFY(next != "e0" && next != "e4999");
        QVERIFY_SOON(list->row(next) && list->scroller()->scrollPosition() == list->row(next)->y());
        const qsizetype bound = list->height() / EventRow::rowHeight + 2 * DayList::rowMargin + 2;
        QVERIFY2(list->rows().size() <= bound, qPrintable(QString::number(list->rows().size())));
        QVERIFY(!list->row("e0") && !list->row("e4999"));
        Shots::save(world.render(), "panel-crowded-day");

        list->scroller()->setScrollPosition(DayList::rowTop(5000)); // as far as it goes
        settle();
        Shots::save(world.render(), "panel-crowded-day-end");
        EventRow* last = list->row("e4999");
        QVERIFY(last && !list->row(next));
        QCOMPARE(last->y(), DayList::rowTop(4999));
        QCOMPARE(last->visibleRegion().boundingRect().height(), last->height());
        QVERIFY(list->rows().size() <= bound);
        QTest::mouseClick(last, Qt::LeftButton, {}, last->rect().center());
        QCOMPARE(world.state->selectedEvent().value_or(CalEvent()).id, QStringLiteral("e4999"));
    }

    // A row that is over dims its hover highlight with the rest of it.
    void pastRowsDimTheirHover() {
        ViewWorld world;
        const QDateTime now = world.clock.now();
        world.setEvents({timed("over", "Over", now.addSecs(-3600), now.addSecs(-1800)),
                         timed("ahead", "Ahead", now.addSecs(3600), now.addSecs(5400))});
        showExpanded(world);
        auto highlight = [&](const char* id) {
            EventRow* row = world.expanded()->dayList()->row(id);
            QCursor::setPos(row->mapToGlobal(row->rect().center()));
            if (!Patience::until([row] { return row->isHovering(); }))
                return -1;
            QImage image(row->size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::black);
            row->render(&image);
            return qRed(image.pixel(row->width() / 2, 2)); // above the texts
        };
        const int ahead = highlight("ahead");
        const int over = highlight("over");
        QVERIFY2(ahead > 20 && std::abs(over - qRound(ahead * 0.45)) <= 2,
                 qPrintable(QStringLiteral("%1 against %2").arg(over).arg(ahead)));
    }

    // The list comes on screen with today's next event at its top, and only then: ticks and the
    // user's scrolling are left alone until it is shown anew.
    void scrollsToTheNextEventWhenShown() {
        ViewWorld world;
        world.useBusyDay(30); // from 8:00, every half hour; the clock is at 10:00
        showExpanded(world);
        DayList* list = world.expanded()->dayList();
        EventRow* next = list->row("busy4");
        QCOMPARE_SOON(list->scroller()->scrollPosition(), next->y());

        list->scroller()->setScrollPosition(0);
        tick(world, 1800);
        settle();
        QCOMPARE(list->scroller()->scrollPosition(), 0);

        world.state->setExpanded(false);
        world.state->setExpanded(true);
        QCOMPARE_SOON(list->scroller()->scrollPosition(), list->row("busy5")->y());

        // Another day starts at its top.
        world.store->select(world.clock.now().addDays(-7));
        world.store->select(world.clock.now());
        QCOMPARE_SOON(list->scroller()->scrollPosition(), list->row("busy5")->y());
    }

    // A tick that changes nothing visible paints nothing; one that changes the countdowns repaints
    // each countdown's own few pixels, not its row.
    void ticksRepaintOnlyWhatChanged() {
        ViewWorld world;
        world.useSampleDay();
        showExpanded(world);
        settle();
        {
            PaintCounter counter(world.root.get());
            tick(world, 10);
            settle();
            QStringList painted;
            for (QWidget* widget : counter.painted.keys())
                painted << widget->metaObject()->className();
            QVERIFY2(counter.painted.isEmpty(), qPrintable(painted.join(", ")));
        }
        PaintCounter counter(world.root.get());
        tick(world, 60);
        settle();
        DayList* list = world.expanded()->dayList();
        EventRow* investors = list->row("sample:Investor call"); // no countdown, five hours ahead
        EventRow* standup = list->row("sample:Standup");         // "in 8 min" becomes 7
        QVERIFY(investors && standup);
        QVERIFY(!counter.painted.contains(investors));
        QVERIFY(counter.painted.contains(standup));
        const QRect area = counter.painted.value(standup).boundingRect();
        QVERIFY2(area.width() < standup->width() / 5 && area.left() > standup->width() / 2,
                 qPrintable(QStringLiteral("%1 wide at %2").arg(area.width()).arg(area.left())));
    }

    // The detail is made when an event is selected and then handed each changed copy of it; quick
    // add takes its place and the detail comes back when quick add closes.
    void detailFollowsTheSelectionInPlace() {
        ExpandedView::BodyViews saved = ExpandedView::bodyViews();
        int made = 0;
        QList<QString> updates;
        ExpandedView::bodyViews().makeDetail = [&](NotchState&, EventStore&, const CalEvent& event,
                                                   QWidget* parent) {
            ++made;
            updates << event.title;
            return new QWidget(parent);
        };
        ExpandedView::bodyViews().updateDetail = [&](QWidget*, const CalEvent& event) {
            updates << event.title;
        };

        ViewWorld world;
        world.useSampleDay();
        world.state->setExpanded(true);
        ExpandedView* view = world.expanded();
        const CalEvent gym = world.store->events(world.clock.now()).last();
        world.state->setSelectedEvent(gym);
        QPointer<QWidget> detail = view->detail();
        QVERIFY(detail && !detail->isHidden() && view->agenda()->isHidden());
        QCOMPARE(view->shownBody(), ExpandedView::Body::detail);

        tick(world, 10); // nothing of the event changed
        world.setEvents(renamed(world.store->events(world.clock.now()), gym.id, "Gym, late"));
        QCOMPARE(view->detail(), detail.data());
        QCOMPARE(updates, (QList<QString>{"Gym", "Gym, late"}));

        world.state->setQuickAdd(true);
        QVERIFY(view->quickAdd() && !view->quickAdd()->isHidden());
        QVERIFY_SOON(!detail);
        world.state->setQuickAdd(false);
        QVERIFY(view->detail() && !view->quickAdd());
        QCOMPARE(made, 2);

        world.state->setSelectedEvent(std::nullopt);
        QVERIFY(!view->detail() && !view->agenda()->isHidden());
        ExpandedView::bodyViews() = saved;
    }

    void headerButtonsFollowTheState() {
        ViewWorld world;
        world.useSampleDay();
        world.state->setExpanded(true);
        HeaderBand* header = world.expanded()->header();
        world.store->shiftWeek(1);
        QCOMPARE(header->subtitleText(), "Nothing scheduled");
        QTest::mouseClick(header->todayButton(), Qt::LeftButton);
        QVERIFY(world.store->isViewingToday() && header->todayButton()->isHidden());
        world.store->setSyncingNotion(true);
        QVERIFY(header->refreshButton()->isSpinning());
        world.state->setPinned(true);
        QCOMPARE(header->pinButton()->help(), "Unpin");
        // The gap stays centred under the notch.
        QCOMPARE(header->gap().center().x(), header->width() / 2.0);
    }

    // The subtitle is cut again whenever its room changes (a wider or narrower notch, the band
    // resized): it fills the room with as much of the next title as fits, the count and the countdown
    // whole. The buttons, the Today button too once shown, keep to the right of the gap.
    void headerSubtitleFollowsItsRoom() {
        ViewWorld world;
        world.setEvents({timed("long", "Quarterly planning with the whole product and design group, part two",
                               world.clock.now().addSecs(300), world.clock.now().addSecs(3600))});
        showExpanded(world);
        HeaderBand* header = world.expanded()->header();
        const QFontMetricsF metrics(Theme::uiFont(10.5));
        const auto fitsItsRoom = [&] {
            const QString text = header->subtitleText();
            const qreal room = header->gap().left(), width = metrics.horizontalAdvance(text);
            return text.startsWith(u"1 event · Quar") && text.endsWith(u"… in 5 min") &&
                   width <= room + 0.5 && width > room - 4 * metrics.averageCharWidth();
        };
        const auto buttonsClearTheGap = [&] {
            for (QWidget* button : header->findChildren<QAbstractButton*>()) {
                if (!button->isHidden() && button->x() < header->gap().right())
                    return false;
            }
            return true;
        };
        QVERIFY(fitsItsRoom() && buttonsClearTheGap());
        const NotchGeometry geometry = world.state->geometry();
        for (qreal notch : {260.0, 120.0}) {
            world.state->setGeometry({geometry.screenFrame, {notch, geometry.notchSize.height()}, false});
            QVERIFY2(fitsItsRoom() && buttonsClearTheGap(), qPrintable(header->subtitleText()));
            Shots::save(header, QStringLiteral("header-notch-%1").arg(notch), Qt::black);
        }
        for (int change : {-90, 60}) {
            header->resize(header->width() + change, header->height());
            QVERIFY2(fitsItsRoom() && buttonsClearTheGap(), qPrintable(header->subtitleText()));
        }
        world.store->shiftWeek(1);
        QVERIFY(!header->todayButton()->isHidden() && buttonsClearTheGap());
    }

    void googleCardComesAndGoes() {
        ViewWorld world;
        world.useSampleDay();
        world.state->setExpanded(true);
        GoogleNudge* card = world.expanded()->googleNudge();
        QVERIFY(card->isHidden()); // no client identity
        GoogleConfig google;
        google.clientID = "id";
        google.clientSecret = "secret";
        world.settings->setGoogle(google);
        QVERIFY(!card->isHidden());
        world.fit();

        world.store->setConnectingGoogle(true);
        QVERIFY(card->connectButton()->isHidden() && !card->spinner()->isHidden());
        Shots::save(world.render(), "panel-google-connecting");
        world.store->setConnectingGoogle(false);
        QVERIFY(!card->isDescriptionElided());

        QTest::mouseClick(card->closeButton(), Qt::LeftButton);
        QVERIFY(card->isHidden());
        QVERIFY(AppSettings(SettingsLocations::standard()).googlePromptDismissed());
    }

    void footerShowsTheMostPressingMessage() {
        ViewWorld world;
        world.useSampleDay();
        world.state->setExpanded(true);
        SourceFooter* footer = world.expanded()->dayList()->footer();
        QVERIFY(footer->isHidden());
        world.store->setGoogleError(
            QStringLiteral("Google is rate-limiting — try again in a moment, and then "
                           "once more, and once more after that, until it works"));
        QVERIFY(!footer->isHidden() && footer->isElided());
        Shots::save(world.render(), "panel-google-error");
        QCOMPARE(footer->y() + footer->height() + 2, world.expanded()->dayList()->height());
        world.store->showToast(QStringLiteral("Added to Work"));
        QCOMPARE(footer->shown()->text, "Added to Work");
        tick(world, 10); // the toast's four seconds are over
        QVERIFY(footer->shown()->text.startsWith("Google: "));
    }

    // Without a readable calendar folder and nothing from elsewhere, the list asks for access: a
    // missing folder is made, a folder that cannot be read is shown in the file manager.
    void accessPrompt_data() {
        QTest::addColumn<ViewWorld::Folder>("folder");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<QString>("button");
        QTest::newRow("no folder yet") << ViewWorld::Folder::missing << "Vorrindel needs calendar access"
                                       << "Grant access";
        QTest::newRow("unreadable") << ViewWorld::Folder::unreadable << "Calendar access was denied"
                                    << "Open Calendar Folder";
    }

    void accessPrompt() {
        QFETCH(ViewWorld::Folder, folder);
        ViewWorld world(folder);
        world.state->setExpanded(true);
        world.fit();
        DayList* list = world.expanded()->dayList();
        QCOMPARE(list->shownContent(), DayList::Content::accessPrompt);
        QTEST(list->accessHeadline(), "headline");
        QTEST(list->accessButton()->text(), "button");
        Shots::save(world.render(), QStringLiteral("panel-access-") + QTest::currentDataTag());
        QTest::mouseClick(list->accessButton(), Qt::LeftButton);
        if (folder == ViewWorld::Folder::missing) {
            QCOMPARE_SOON(list->shownContent(), DayList::Content::emptyDay);
            QVERIFY(QFileInfo(world.home.dataHome() + "/Vorrindel/calendars").isDir());
        } else {
            QCOMPARE(world.opened,
                     QList<QUrl>{QUrl::fromLocalFile(world.home.dataHome() + "/Vorrindel/calendars")});
            QCOMPARE(list->shownContent(), DayList::Content::accessPrompt);
        }
    }

    // A 20 MB text from a calendar reaches the views, in every mode, only as far as a screen shows it;
    // the event keeps all of it, and so does an edit.
    void aHugeTextIsMeasuredAsFarAsAScreenShows_data() {
        QTest::addColumn<QString>("field");
        QTest::newRow("title") << "title";
        QTest::newRow("place") << "location";
        QTest::newRow("calendar") << "calendarName";
    }

    void aHugeTextIsMeasuredAsFarAsAScreenShows() {
        QFETCH(QString, field);
        ViewWorld world;
        const QDateTime now = world.clock.now();
        CalEvent big = timed("big", "Big", now.addSecs(300), now.addSecs(1800));
        (field == "title"      ? big.title
         : field == "location" ? big.location.emplace()
                               : big.calendarName) = QString(20'000'000, u'x');
        world.setEvents({big, timed("small", "Small", now.addSecs(3600), now.addSecs(5400))});
        // No accessible name or description, nor a line edit, holds more than two screen lines (a
        // detail's title) and what a view puts beside them (a time, a headline).
        const auto shows = [&](const char* shot) {
            world.fit();
            Shots::save(world.render(), QStringLiteral("panel-huge-%1-%2").arg(field, shot));
            qsizetype longest = 0;
            for (QWidget* w : world.root->findChildren<QWidget*>()) {
                const auto* edit = qobject_cast<QLineEdit*>(w);
                longest = std::max({longest, w->accessibleName().size(), w->accessibleDescription().size(),
                                    edit ? edit->text().size() : 0});
            }
            return longest <= 2 * TextRules::screenLineLength + 40;
        };
        QVERIFY(world.root->mode() == NotchMode::peek && shows("peek"));
        world.store->showAlert({big, MeetingAlert::Kind::imminent, now});
        QVERIFY(shows("alert"));
        world.state->setExpanded(true);
        QVERIFY(shows("agenda") && world.expanded()->dayList()->rows().size() == 2);
        world.state->setSelectedEvent(big);
        QVERIFY(shows("detail"));
        world.state->setEditingEvent(big);
        world.state->setQuickAdd(true);
        QVERIFY(shows("editor"));
        const QuickAdd::Derived& edit =
            qobject_cast<QuickAddView*>(world.expanded()->quickAdd())->model()->view();
        QVERIFY(edit.draft.title == big.title && !edit.isDirty); // saved as it is, nothing changes
        QVERIFY(identical(world.store->events(now).first(), big));
    }

    // The peek's Join joins; the alert counts down with the clock and goes with its close button,
    // giving the peek back.
    void collapsedViews() {
        ViewWorld world;
        world.useSampleDay();
        auto* peek = static_cast<PeekView*>(world.root->modeContent(NotchMode::peek));
        QCOMPARE(world.root->mode(), NotchMode::peek);
        world.fit();
        QVERIFY(!peek->joinButton()->isHidden());
        QTest::mouseClick(peek->joinButton(), Qt::LeftButton);
        QCOMPARE(world.opened.size(), 1);
        QCOMPARE(world.opened.first().host(), "meet.google.com");

        const CalEvent standup = world.store->events(world.clock.now()).at(2);
        world.store->showAlert({standup, MeetingAlert::Kind::imminent, world.clock.now()});
        auto* banner = static_cast<AlertBanner*>(world.root->modeContent(NotchMode::alert));
        QCOMPARE(world.root->mode(), NotchMode::alert);
        world.fit();
        QCOMPARE(banner->headlineText(), "Starts in 8 min");
        Shots::save(world.render(), "panel-alert");
        tick(world, 10);
        QCOMPARE(banner->headlineText(), "Starts in 8 min");
        tick(world, 60);
        QCOMPARE(banner->headlineText(), "Starts in 7 min");
        QCOMPARE(banner->subtitleText(), "Google Meet · Work");
        QTest::mouseClick(banner->dismissButton(), Qt::LeftButton);
        QVERIFY(!world.store->alert());
        QCOMPARE(world.root->mode(), NotchMode::peek);
    }
};

QTEST_MAIN(TestPanelViews)
#include "tst_panelviews.moc"
