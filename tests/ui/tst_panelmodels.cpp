// What the panel's views show, as pure functions of the event, the clock and the locale: the alert's
// lines, the header's summary, each row of the day list, the week strip's labels, the day
// list's choice of content and the footer's message.
#include "core/model/Cal.h"
#include "support/TestEvents.h"
#include "ui/controls/Theme.h"
#include "ui/panel/AlertBanner.h"
#include "ui/panel/DayList.h"
#include "ui/panel/EventRow.h"
#include "ui/panel/HeaderBand.h"
#include "ui/panel/SourceFooter.h"
#include "ui/panel/WeekStrip.h"

#include <QTest>

using namespace TestEvents;

namespace {

const QDateTime now = at("2026-03-04 10:00");
const Cal english(QTimeZone::utc(), QLocale(QLocale::English, QLocale::UnitedStates));
const Cal german(QTimeZone::utc(), QLocale(QLocale::German, QLocale::Germany));
const QString meet = QStringLiteral("https://meet.google.com/abc-defg-hij");

CalEvent inSeconds(qint64 startIn, qint64 length, const QString& title = QStringLiteral("Standup")) {
    return timed(QStringLiteral("e"), title, now.addSecs(startIn), now.addSecs(startIn + length));
}

CalEvent withLink(CalEvent event) {
    event.location = meet;
    return event;
}

} // namespace

using Status = EventRow::Model::Status;
using Meeting = EventRow::Model::Meeting;

class TestPanelModels : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void alertHeadline_data() {
        QTest::addColumn<qint64>("startInMs");
        QTest::addColumn<qint64>("lengthMs");
        QTest::addColumn<QString>("headline");
        QTest::newRow("half a second ahead") << qint64(500) << qint64(900000) << "Starts in 1 min";
        QTest::newRow("at the start") << qint64(0) << qint64(900000) << "Meeting started";
        QTest::newRow("over") << qint64(-900000) << qint64(600000) << "Starting now";
        QTest::newRow("no length, at its start") << qint64(0) << qint64(0) << "Starting now";
        QTest::newRow("an hour and five ahead") << qint64(3900000) << qint64(600000) << "Starts in 1h 5m";
    }

    void alertHeadline() {
        QFETCH(qint64, startInMs);
        QFETCH(qint64, lengthMs);
        const CalEvent event = timed("e", "e", now.addMSecs(startInMs), now.addMSecs(startInMs + lengthMs));
        QTEST(AlertBanner::headline(event, now), "headline");
    }

    void alertLines_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("englishTime");
        QTest::addColumn<QString>("germanTime");
        CalEvent both = withLink(inSeconds(120, 1800));
        both.notes = QStringLiteral("Room 4");
        CalEvent place = inSeconds(7200, 5400);
        place.location = QStringLiteral("Room 4");
        const QDateTime day = english.startOfDay(now);
        QTest::newRow("link") << both << "Google Meet · Work"
                              << "10:02 – 10:32 am"
                              << "10:02 – 10:32";
        QTest::newRow("place across noon") << place << "Room 4 · Work"
                                           << "12:00 – 1:30 pm"
                                           << "12:00 – 13:30";
        QTest::newRow("neither, all day") << allDay("a", "Offsite", day, day.addDays(1)) << "Work"
                                          << "All day"
                                          << "All day";
    }

    void alertLines() {
        QFETCH(CalEvent, event);
        QFETCH(QString, subtitle);
        QCOMPARE(AlertBanner::subtitle(event), subtitle);
        QTEST(AlertBanner::timeText(event, english), "englishTime");
        QTEST(AlertBanner::timeText(event, german), "germanTime");
    }

    void headerSubtitle_data() {
        QTest::addColumn<qsizetype>("count");
        QTest::addColumn<std::optional<CalEvent>>("next");
        QTest::addColumn<bool>("today");
        QTest::addColumn<QString>("subtitle");
        const std::optional<CalEvent> none;
        QTest::newRow("no events, today") << qsizetype(0) << none << true << "Nothing scheduled";
        QTest::newRow("next in 8 minutes")
            << qsizetype(3) << std::optional(inSeconds(480, 1800)) << true << "3 events · Standup in 8 min";
        QTest::newRow("next running") << qsizetype(3) << std::optional(inSeconds(-300, 1800)) << true
                                      << "3 events · Standup 25 min left";
        QTest::newRow("another day") << qsizetype(2) << std::optional(inSeconds(480, 1800)) << false
                                     << "2 events";
        QTest::newRow("next more than a day away has no countdown")
            << qsizetype(2) << std::optional(inSeconds(86400, 1800)) << true << "2 events";
    }

    void headerSubtitle() {
        QFETCH(qsizetype, count);
        QFETCH(std::optional<CalEvent>, next);
        QFETCH(bool, today);
        QTEST(HeaderBand::subtitle(count, next, today, now), "subtitle");
    }

    // A long next title gives way in a narrow header; the count and the countdown stay.
    void headerSubtitleCutsTheTitleFirst() {
        const QFontMetricsF metrics(Theme::uiFont(10.5));
        const std::optional next(
            inSeconds(480, 1800, "Quarterly planning with the design and research groups"));
        const QString whole = HeaderBand::subtitle(3, next, true, now);
        QCOMPARE(HeaderBand::fittedSubtitle(3, next, true, now, metrics, metrics.horizontalAdvance(whole)),
                 whole);
        const QString cut = HeaderBand::fittedSubtitle(3, next, true, now, metrics, 200);
        QVERIFY2(cut.startsWith("3 events · Quarterly") && cut.endsWith(u"… in 8 min"), qPrintable(cut));
        QVERIFY(metrics.horizontalAdvance(cut) <= 200.5);
    }

    // Each row decides on its own what it shows at one moment; the boundaries of Join (15 min) and of
    // the countdown (3 h) are strict.
    void eventRow_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<bool>("today");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("countdown");
        QTest::addColumn<Meeting>("meeting");
        QTest::addColumn<bool>("past");
        const QDateTime day = english.startOfDay(now);
        QTest::newRow("link exactly 900 s ahead")
            << withLink(inSeconds(900, 1800)) << true << Status::countdown << "in 15 min" << Meeting::symbol
            << false;
        QTest::newRow("link 899 s ahead") << withLink(inSeconds(899, 1800)) << true << Status::countdown
                                          << "in 15 min" << Meeting::join << false;
        QTest::newRow("exactly 3 h ahead")
            << inSeconds(10800, 1800) << true << Status::none << "" << Meeting::none << false;
        QTest::newRow("3 h less a second ahead")
            << inSeconds(10799, 1800) << true << Status::countdown << "in 3 h" << Meeting::none << false;
        QTest::newRow("running, today")
            << withLink(inSeconds(-300, 1800)) << true << Status::live << "" << Meeting::join << false;
        QTest::newRow("running, listed on another day")
            << withLink(inSeconds(-300, 1800)) << false << Status::live << "" << Meeting::symbol << false;
        QTest::newRow("ended a minute ago, today")
            << withLink(inSeconds(-1860, 1800)) << true << Status::none << "" << Meeting::symbol << true;
        QTest::newRow("ahead, another day")
            << withLink(inSeconds(300, 1800)) << false << Status::none << "" << Meeting::symbol << false;
        QTest::newRow("all day with a link") << withLink(allDay("a", "Offsite", day, day.addDays(1))) << true
                                             << Status::none << "" << Meeting::join << false;
    }

    void eventRow() {
        QFETCH(CalEvent, event);
        QFETCH(bool, today);
        const EventRow::Model m = EventRow::model(event, now, today, english);
        QTEST(m.status, "status");
        QTEST(m.countdown, "countdown");
        QTEST(m.meeting, "meeting");
        QTEST(m.past, "past");
    }

    void eventRowTexts_data() {
        QTest::addColumn<CalEvent>("event");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QStringList>("englishTimes");
        QTest::addColumn<QStringList>("germanTimes");
        CalEvent both = withLink(inSeconds(-1800, 5400));
        both.url = QUrl(QStringLiteral("https://zoom.us/j/123"));
        CalEvent page = inSeconds(3 * 3600, 3600);
        page.source = EventSource::notion;
        page.notionStatus = QStringLiteral("In progress");
        page.calendarName = QStringLiteral("Tasks");
        const QDateTime day = english.startOfDay(now);
        QTest::newRow("link beats location")
            << both << "Zoom · Work" << QStringList{"9:30 am", "11:00 am"} << QStringList{"09:30", "11:00"};
        QTest::newRow("notion status before the calendar")
            << page << "In progress · Tasks" << QStringList{"1:00 pm", "2:00 pm"}
            << QStringList{"13:00", "14:00"};
        QTest::newRow("all day") << allDay("a", "Offsite", day, day.addDays(1)) << "Work"
                                 << QStringList{"all day", ""} << QStringList{"all day", ""};
    }

    void eventRowTexts() {
        QFETCH(CalEvent, event);
        QFETCH(QStringList, englishTimes);
        QFETCH(QStringList, germanTimes);
        QTEST(EventRow::subtitle(event), "subtitle");
        const EventRow::Model en = EventRow::model(event, now, true, english);
        const EventRow::Model de = EventRow::model(event, now, true, german);
        QCOMPARE((QStringList{en.startText, en.endText}), englishTimes);
        QCOMPARE((QStringList{de.startText, de.endText}), germanTimes);
    }

    void weekdayLabelsAreCapitals_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("label");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "WED";
        QTest::newRow("fr_FR, lower case in the locale")
            << QLocale(QLocale::French, QLocale::France) << "MER.";
    }

    void weekdayLabelsAreCapitals() {
        QFETCH(QLocale, locale);
        QTEST(DayCell::weekdayLabel(now, Cal(QTimeZone::utc(), locale)), "label");
    }

    void dayListContent_data() {
        QTest::addColumn<CalendarAccess>("access");
        QTest::addColumn<bool>("notion");
        QTest::addColumn<bool>("google");
        QTest::addColumn<bool>("hasGoogle");
        QTest::addColumn<bool>("dayHasEvents");
        QTest::addColumn<DayList::Content>("content");
        using C = DayList::Content;
        QTest::newRow("nothing readable")
            << CalendarAccess::notDetermined << false << false << false << false << C::accessPrompt;
        QTest::newRow("write-only is no access")
            << CalendarAccess::writeOnly << false << false << false << false << C::accessPrompt;
        QTest::newRow("Notion events")
            << CalendarAccess::denied << true << false << false << true << C::events;
        QTest::newRow("Google events")
            << CalendarAccess::denied << false << true << false << false << C::emptyDay;
        QTest::newRow("access, events")
            << CalendarAccess::fullAccess << false << false << false << true << C::events;
    }

    void dayListContent() {
        QFETCH(CalendarAccess, access);
        QFETCH(bool, notion);
        QFETCH(bool, google);
        QFETCH(bool, hasGoogle);
        QFETCH(bool, dayHasEvents);
        QTEST(DayList::content(access, notion, google, hasGoogle, dayHasEvents), "content");
    }

    void footerMessage_data() {
        QTest::addColumn<std::optional<QString>>("toast");
        QTest::addColumn<std::optional<QString>>("google");
        QTest::addColumn<std::optional<QString>>("notion");
        QTest::addColumn<std::optional<QString>>("synced");
        QTest::addColumn<QString>("text"); // empty: no pill
        QTest::addColumn<QString>("symbol");
        const std::optional<QString> none;
        const std::optional<QString> toast(QStringLiteral("Added to Work"));
        const std::optional<QString> google(QStringLiteral("Sign-in expired"));
        const std::optional<QString> notion(QStringLiteral("Token refused"));
        const std::optional<QString> synced(QStringLiteral("Synced · Google 2 min. ago"));
        QTest::newRow("toast over both errors") << toast << google << notion << synced << "Added to Work"
                                                << "checkmark.circle.fill";
        QTest::newRow("Google error over Notion's")
            << none << google << notion << synced << "Google: Sign-in expired"
            << "exclamationmark.triangle.fill";
        QTest::newRow("Notion error") << none << none << notion << synced << "Notion: Token refused"
                                      << "exclamationmark.triangle.fill";
        QTest::newRow("synced") << none << none << none << synced << *synced << "checkmark.circle";
        QTest::newRow("nothing to say") << none << none << none << none << ""
                                        << "";
    }

    void footerMessage() {
        QFETCH(std::optional<QString>, toast);
        QFETCH(std::optional<QString>, google);
        QFETCH(std::optional<QString>, notion);
        QFETCH(std::optional<QString>, synced);
        QFETCH(QString, text);
        QFETCH(QString, symbol);
        const std::optional<SourceFooter::Message> m = SourceFooter::message(toast, google, notion, synced);
        QCOMPARE(m.has_value(), !text.isEmpty());
        if (m) {
            QCOMPARE(m->text, text);
            QCOMPARE(m->symbol, symbol);
        }
    }
};

QTEST_MAIN(TestPanelModels)
#include "tst_panelmodels.moc"
