// The calendar store over real vdir folders: access, calendar choice, queries, change notification and
// the refusals of changes, including the occurrence lookup that must never fall back to another day of
// a series.

#include "CalendarFixture.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/CalendarStore.h"
#include "core/remote/GoogleRecords.h"
#include "support/Patience.h"
#include "support/TaskResult.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");
const QString gone = QStringLiteral("That event is no longer in your calendar");
const QDateTime april = utc("2024-04-01T00:00:00Z");

std::optional<CalEvent> eventAt(CalendarStore& store, const QString& title, const QString& start) {
    for (const CalEvent& e : store.events(utc(start).addDays(-1), utc(start).addDays(1), {})) {
        if (e.title == title && e.start == utc(start))
            return e;
    }
    return std::nullopt;
}

void setWritable(const QString& folder, bool writable) {
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      (writable ? QFileDevice::WriteOwner : QFileDevice::Permissions()));
}

} // namespace

class TestCalendarStore : public QObject {
    Q_OBJECT

private slots:
    void accessStates_data() {
        QTest::addColumn<QString>("setup"); // what the calendar folder is like, or "injected"
        QTest::addColumn<CalendarAccess>("expected");
        QTest::newRow("no folder yet") << "missing" << CalendarAccess::notDetermined;
        QTest::newRow("readable folder") << "readable" << CalendarAccess::fullAccess;
        QTest::newRow("folder that cannot be read") << "closed" << CalendarAccess::denied;
        QTest::newRow("folder that can only be written") << "write-only" << CalendarAccess::writeOnly;
        QTest::newRow("restricted, injected") << "injected" << CalendarAccess::restricted;
    }

    void accessStates() {
        QFETCH(QString, setup);
        QFETCH(CalendarAccess, expected);
        CalendarFixture fixture;
        LocalCalendars::Options options = fixture.options(berlin);
        const QList<LocalCalendar> all = LocalCalendars(options).calendars();
        QVERIFY(!all.isEmpty());
        if (setup == QStringLiteral("missing"))
            options.root = fixture.path(QStringLiteral("nothing-here"));
        else if (setup == QStringLiteral("closed"))
            QFile::setPermissions(fixture.root(), {});
        else if (setup == QStringLiteral("write-only"))
            QFile::setPermissions(fixture.root(), QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        else if (setup == QStringLiteral("injected"))
            options.access = expected;

        CalendarStore store(options);
        QCOMPARE(store.status(), expected);
        const bool full = expected == CalendarAccess::fullAccess;
        QCOMPARE(store.isDenied(), !full && expected != CalendarAccess::notDetermined);
        // Without full access nothing is listed, even where the process could read the files.
        QCOMPARE(store.calendars().isEmpty(), !full);
        QCOMPARE(store.writableCalendars().isEmpty(), !full);
        QCOMPARE(store.events(april, april.addMonths(1), {}).isEmpty(), !full);
        QCOMPARE(store.backend().occurrences(april, april.addMonths(1), all).isEmpty(), !full);
        QFile::setPermissions(fixture.root(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void requestAccess() {
        CalendarFixture fixture = CalendarFixture::empty();
        fixture.write(QStringLiteral("taken"), "a file where a folder should go");
        LocalCalendars::Options options = fixture.options(berlin);

        // Not determined: the request makes the folder with its first calendar, private like the app
        // folder it is made in by default.
        options.root = fixture.path(QStringLiteral("Vorrindel/calendars"));
        CalendarStore store(options);
        QCOMPARE(store.status(), CalendarAccess::notDetermined);
        store.requestAccess(); // never suspends
        QCOMPARE(store.status(), CalendarAccess::fullAccess);
        QCOMPARE(TestFiles::mode(fixture.path(QStringLiteral("Vorrindel"))), 0700u);
        QCOMPARE(TestFiles::mode(options.root + QStringLiteral("/Calendar")), 0700u);
        QCOMPARE(store.calendars().size(), 1);
        QCOMPARE(store.calendarForNewEvents(QString())->title, QStringLiteral("Calendar"));
        QVERIFY(!store.lastError());

        // A folder that cannot be made is reported, not thrown.
        options.root = fixture.path(QStringLiteral("taken/calendars"));
        CalendarStore blocked(options);
        blocked.requestAccess();
        QCOMPARE(blocked.status(), CalendarAccess::notDetermined);
        QVERIFY(blocked.lastError() && blocked.lastError()->contains(QStringLiteral("taken/calendars")));
    }

    void calendarForNewEvents_data() {
        QTest::addColumn<QString>("folders"); // collections to make; "!" marks a read-only one
        QTest::addColumn<QString>("preferred");
        QTest::addColumn<QString>("expected"); // empty: none
        auto row = [](const char* name, const char* folders, const char* preferred, const char* expected) {
            QTest::newRow(name) << QString::fromUtf8(folders) << QString::fromUtf8(preferred)
                                << QString::fromUtf8(expected);
        };
        const char* usual = "Calendar Errands me@example.com/me@example.com me@example.com/team";
        row("the preferred calendar", usual, "Errands", "Errands");
        row("a read-only preference is skipped", "Calendar !Errands me@example.com/me@example.com", "Errands",
            "me@example.com/me@example.com");
        row("an address-titled synced calendar beats the default", usual, "",
            "me@example.com/me@example.com");
        row("a local calendar titled with an address is not a synced one", "Calendar me@example.com", "",
            "Calendar");
        row("then the default calendar", "Birthdays Calendar acct/team", "", "Calendar");
        row("a read-only default gives the first writable calendar", "!Calendar Errands acct/team", "",
            "Errands");
        row("nothing writable gives none", "!Calendar !Errands", "", "");
    }

    void calendarForNewEvents() {
        QFETCH(QString, folders);
        QFETCH(QString, preferred);
        QFETCH(QString, expected);
        CalendarFixture fixture = CalendarFixture::empty();
        for (const QString& folder : folders.split(QLatin1Char(' '))) {
            QDir().mkpath(fixture.path(QString(folder).remove(QLatin1Char('!'))));
            if (folder.startsWith(QLatin1Char('!')))
                setWritable(fixture.path(folder.mid(1)), false);
        }
        CalendarStore store(fixture.options(berlin));
        const std::optional<LocalCalendar> chosen = store.calendarForNewEvents(preferred);
        QCOMPARE(chosen ? chosen->id : QString(), expected);
    }

    void queriesHideCalendarsAndCancelledEvents() {
        CalendarFixture fixture;
        CalendarStore store(fixture.options(berlin));
        const QDateTime to = utc("2024-04-15T00:00:00Z");
        QStringList names;
        for (const CalEvent& e : store.events(april, to, {QStringLiteral("Home")}))
            names.append(e.calendarName);
        names.removeDuplicates();
        QCOMPARE(names, QStringList{QStringLiteral("Work")});
        QStringList titles;
        for (const CalEvent& e : store.events(april, to, {QStringLiteral("work@example.com/work")}))
            titles.append(e.title);
        QCOMPARE(titles.count(QStringLiteral("Standup")), 11); // the cancelled one of 8 April is left out
        QVERIFY(!titles.contains(QStringLiteral("Called off")));
        QVERIFY(store.events(april, to, {QStringLiteral("Home"), QStringLiteral("work@example.com/work")})
                    .isEmpty());
    }

    void changeOrRemoveAnEvent_data() {
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<QString>("title"); // the event the user acts on, and its start
        QTest::addColumn<QString>("start");
        // Another program replaces this text of the item meanwhile; "read-only": the calendar becomes so.
        QTest::addColumn<QByteArrayList>("edit");
        QTest::addColumn<bool>("remove");          // else the event is renamed
        QTest::addColumn<QStringList>("expected"); // the events afterwards, or the refusal

        const QByteArray leave = CalendarFixture::calendarObject(
            {{"UID:leave", "DTSTART;VALUE=DATE:20240401", "RRULE:FREQ=DAILY;COUNT=5", "SUMMARY:Leave"}});
        const QByteArrayList exdate{"SUMMARY", "EXDATE;VALUE=DATE:20240403\r\nSUMMARY"};
        const QByteArray review = CalendarFixture::calendarObject(
            {{"UID:review", "DTSTART:20240402T100000Z", "DURATION:PT2H", "SUMMARY:Review"}});
        // A rule that never matches a date is refused: the series shows as its first occurrence.
        const QByteArray unexpanded =
            CalendarFixture::calendarObject({{"UID:odd", "DTSTART:20240402T100000Z", "DURATION:PT1H",
                                              "RRULE:FREQ=MONTHLY;BYDAY=5MO;BYMONTHDAY=1", "SUMMARY:Odd"}});
        // Rules libical drops as it reads them, and a date it cannot read, leave the same.
        auto withLines = [](const QStringList& lines) {
            return CalendarFixture::calendarObject(
                {QStringList{"UID:odd", "DTSTART:20240402T100000Z", "DURATION:PT1H", "SUMMARY:Odd"} + lines});
        };
        const QByteArray negativeCount = withLines({"RRULE:FREQ=DAILY;COUNT=-5"});
        const QByteArray zeroPosition = withLines({"RRULE:FREQ=DAILY;BYSETPOS=0"});
        const QByteArray unreadableDate = withLines({"RRULE:FREQ=DAILY", "EXDATE:20240403T100000Z,someday"});
        const QString unchanged = QStringLiteral(
            "item.ics repeats in a way Vorrindel can’t read in full, so it was left unchanged.");
        const QByteArray daily = CalendarFixture::calendarObject(
            {{"UID:d", "DTSTART:20240401T100000Z", "RRULE:FREQ=DAILY;COUNT=3", "SUMMARY:Daily"},
             {"UID:d", "RECURRENCE-ID:20240402T100000Z", "DTSTART:20240403T100000Z",
              "SUMMARY:Daily (moved)"}});

        auto row = [](const char* name, const QByteArray& item, const char* title, const char* start,
                      const QByteArrayList& edit, bool remove, const QStringList& expected) {
            QTest::newRow(name) << item << QString::fromUtf8(title) << QString::fromUtf8(start) << edit
                                << remove << expected;
        };
        // The days of an all-day series touch: the lookup around one day also finds its neighbours.
        row("a day of a series is renamed on its own", leave, "Leave", "2024-04-02T22:00:00Z", {}, false,
            {"03-31T22:00 Leave", "04-01T22:00 Leave", "04-02T22:00 Renamed", "04-03T22:00 Leave",
             "04-04T22:00 Leave"});
        row("a day removed meanwhile is not renamed through its neighbour", leave, "Leave",
            "2024-04-02T22:00:00Z", exdate, false, {gone});
        row("a day removed meanwhile is not deleted through its neighbour", leave, "Leave",
            "2024-04-02T22:00:00Z", exdate, true, {gone});
        row("an occurrence moved onto another's time is the one deleted", daily, "Daily (moved)",
            "2024-04-03T10:00:00Z", {}, true, {"04-01T10:00 Daily", "04-03T10:00 Daily"});
        row("a single event moved half an hour meanwhile is still found", review, "Review",
            "2024-04-02T10:00:00Z", {"T100000Z", "T103000Z"}, false, {"04-02T10:30 Renamed"});
        row("a single event moved to another day meanwhile is still found", review, "Review",
            "2024-04-02T10:00:00Z", {"20240402T", "20240409T"}, false, {"04-09T10:00 Renamed"});
        row("an item that came to hold another event names neither", review, "Review", "2024-04-02T10:00:00Z",
            {"BEGIN:VEVENT",
             "BEGIN:VEVENT\r\nUID:o\r\nDTSTART:20240402T100000Z\r\nEND:VEVENT\r\nBEGIN:VEVENT"},
            false, {gone});
        row("a read-only calendar refuses a change", review, "Review", "2024-04-02T10:00:00Z", {"read-only"},
            false, {"Home is read-only"});
        row("a read-only calendar refuses a removal", review, "Review", "2024-04-02T10:00:00Z", {"read-only"},
            true, {"Home is read-only"});
        // Written as one occurrence, the change would reach the whole series.
        row("a series with an unexpanded rule refuses a change", unexpanded, "Odd", "2024-04-02T10:00:00Z",
            {}, false, {unchanged});
        row("a series with an unexpanded rule refuses a removal", unexpanded, "Odd", "2024-04-02T10:00:00Z",
            {}, true, {unchanged});
        row("a rule libical drops refuses a change", negativeCount, "Odd", "2024-04-02T10:00:00Z", {}, false,
            {unchanged});
        row("a rule libical drops refuses a removal", zeroPosition, "Odd", "2024-04-02T10:00:00Z", {}, true,
            {unchanged});
        row("a date libical cannot read refuses a removal", unreadableDate, "Odd", "2024-04-02T10:00:00Z", {},
            true, {unchanged});
    }

    void changeOrRemoveAnEvent() {
        QFETCH(QByteArray, item);
        QFETCH(QString, title);
        QFETCH(QString, start);
        QFETCH(QByteArrayList, edit);
        QFETCH(bool, remove);
        QFETCH(QStringList, expected);
        CalendarFixture fixture = CalendarFixture::empty();
        const QString path = QStringLiteral("Home/item.ics");
        fixture.write(path, item);
        CalendarStore store(fixture.options(berlin));
        const std::optional<CalEvent> event = eventAt(store, title, start);
        QVERIFY(event);
        if (edit == QByteArrayList{"read-only"}) {
            setWritable(fixture.path(QStringLiteral("Home")), false);
            store.reloadCalendars();
        } else if (!edit.isEmpty()) {
            fixture.write(path, item.replace(edit[0], edit[1]));
        }

        QStringList result;
        const QString error =
            remove ? runTask(store.deleteEvent(*event)).errorMessage()
                   : runTask(store.updateEvent(*event, QStringLiteral("Renamed"), {})).errorMessage();
        if (error.isEmpty()) {
            for (const CalEvent& e : store.events(april.addDays(-1), april.addDays(10), {}))
                result.append(e.start.toString(QStringLiteral("MM-ddTHH:mm ")) + e.title);
        } else {
            result.append(error);
            QCOMPARE(fixture.read(path), item);
        }
        setWritable(fixture.path(QStringLiteral("Home")), true);
        QCOMPARE(result, expected);
    }

    void createFromDraft() {
        CalendarFixture fixture;
        CalendarStore store(fixture.options(berlin));
        const QuickAddDraft lunch{QStringLiteral("Team lunch"), utc("2024-04-05T10:30:00Z"),
                                  utc("2024-04-05T11:30:00Z")};
        const CalEvent created = store.createEvent(lunch, store.calendars().first());
        QCOMPARE(created.end, lunch.end);
        QCOMPARE(eventAt(store, lunch.title, "2024-04-05T10:30:00Z")->id, created.id);
        QVERIFY(fixture.read(*created.ekIdentifier).contains("DTSTART;TZID=Europe/Berlin:20240405T123000"));

        // Never into a read-only calendar.
        const QString work = fixture.path(QStringLiteral("work@example.com/work"));
        setWritable(work, false);
        store.reloadCalendars();
        QVERIFY_THROWS_EXCEPTION(CalendarFileError, store.createEvent(lunch, store.calendars().last()));
        setWritable(work, true);
        QCOMPARE(QDir(work).entryList({QStringLiteral("*.ics")}).size(), 3);
    }

    void changesAreCoalescedAndReloadedFirst() {
        CalendarFixture fixture;
        LocalCalendars::Options options = fixture.options(berlin);
        options.watch = true;
        options.coalesceMs = 150;
        CalendarStore store(options);
        QList<qsizetype> seen; // how many calendars the store knew at each change
        store.onChange = [&] { seen.append(store.calendars().size()); };

        // A sync that renames hundreds of finished items into a collection gives one change.
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("/sync-%1.ics").arg(i);
            fixture.writeEvent(QStringLiteral(".staging") + name,
                               {QStringLiteral("UID:sync-%1").arg(i), "DTSTART:20240402T100000Z"});
            QVERIFY(QFile::rename(fixture.path(QStringLiteral(".staging") + name),
                                  fixture.path(QStringLiteral("Home") + name)));
        }
        QCOMPARE_SOON(seen.size(), 1);
        QTest::qWait(600);
        // A collection made later is listed by the time its change is told, and is watched too.
        QDir().mkpath(fixture.path(QStringLiteral("Later")));
        QCOMPARE_SOON(seen.size(), 2);
        fixture.writeEvent(QStringLiteral("Later/one.ics"), {"UID:later", "DTSTART:20240402T100000Z"});
        QCOMPARE_SOON(seen.size(), 3);
        QCOMPARE(seen, (QList<qsizetype>{2, 3, 3}));
    }

    void calendarFolderLocation() {
        TempHome home;
        QList<QUrl> opened;
        auto open = [&](const QUrl& url) {
            opened.append(url);
            return true;
        };
        CalendarStore::openPrivacySettings(open);
        QDir().mkpath(home.path() + QStringLiteral("/.calendars"));
        CalendarStore::openPrivacySettings(open);
        qputenv("VORRINDEL_CALENDARS", (home.path() + QStringLiteral("/elsewhere")).toUtf8());
        CalendarStore::openPrivacySettings(open);
        qunsetenv("VORRINDEL_CALENDARS");
        QCOMPARE(opened,
                 (QList<QUrl>{QUrl::fromLocalFile(home.dataHome() + QStringLiteral("/Vorrindel/calendars")),
                              QUrl::fromLocalFile(home.path() + QStringLiteral("/.calendars")),
                              QUrl::fromLocalFile(home.path() + QStringLiteral("/elsewhere"))}));
    }
};

QTEST_GUILESS_MAIN(TestCalendarStore)
#include "tst_calendarstore.moc"
