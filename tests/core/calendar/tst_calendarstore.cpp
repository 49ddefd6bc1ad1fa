// The calendar store over real vdir folders: access, calendar choice, queries and the refusals of
// changes, including the occurrence lookup that must never fall back to another day of a series.

#include "CalendarFixture.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/CalendarStore.h"
#include "core/model/DebugLog.h"
#include "core/remote/GoogleRecords.h"
#include "support/TempHome.h"

#include <QFile>
#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");
const QString gone = QStringLiteral("That event is no longer in your calendar");

std::optional<CalEvent> eventAt(CalendarStore& store, const QString& title, const char* start) {
    for (const CalEvent& e : store.events(utc(start).addDays(-1), utc(start).addDays(1), {})) {
        if (e.title == title && e.start == utc(start))
            return e;
    }
    return std::nullopt;
}

QString refusal(const std::function<void()>& action) {
    try {
        action();
    } catch (const GoogleError& e) {
        return e.message();
    }
    return QStringLiteral("no refusal");
}

void setWritable(const QString& folder, bool writable) {
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      (writable ? QFileDevice::WriteOwner : QFileDevice::Permissions()));
}

QuickAddDraft draft(const QString& title, const char* start, const char* end, bool allDay = false) {
    QuickAddDraft d;
    d.title = title;
    d.start = utc(start);
    d.end = utc(end);
    d.isAllDay = allDay;
    return d;
}

} // namespace

class TestCalendarStore : public QObject {
    Q_OBJECT

private slots:
    void withoutAccessNothingIsListed_data();
    void withoutAccessNothingIsListed();
    void requestAccess();
    void calendarForNewEvents_data();
    void calendarForNewEvents();
    void queriesHideCalendarsAndCancelledEvents();
    void goneOccurrenceIsNeverItsNeighbour();
    void occurrenceMovedOntoAnotherIsTheOneChanged();
    void movedSingleEventIsStillFound();
    void readOnlyCalendarsRefuseChanges();
    void createFromDraft();
    void changesReloadCalendarsFirst();
    void calendarFolderLocation();
};

void TestCalendarStore::withoutAccessNothingIsListed_data() {
    QTest::addColumn<CalendarAccess>("access");
    QTest::addColumn<bool>("denied");
    QTest::newRow("not determined") << CalendarAccess::notDetermined << false;
    QTest::newRow("restricted") << CalendarAccess::restricted << true;
    QTest::newRow("denied") << CalendarAccess::denied << true;
    QTest::newRow("write only") << CalendarAccess::writeOnly << true;
}

void TestCalendarStore::withoutAccessNothingIsListed() {
    QFETCH(CalendarAccess, access);
    QFETCH(bool, denied);
    CalendarFixture fixture;
    LocalCalendars::Options options = fixture.options(berlin);
    options.access = access;
    CalendarStore store(options);
    QCOMPARE(store.status(), access);
    QCOMPARE(store.isDenied(), denied);
    QVERIFY(store.calendars().isEmpty());
    QVERIFY(store.writableCalendars().isEmpty());
    QVERIFY(store.events(utc("2024-03-01T00:00:00Z"), utc("2024-05-01T00:00:00Z"), {}).isEmpty());
}

void TestCalendarStore::requestAccess() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.write(QStringLiteral("taken"), "a file where a folder should go");
    QTemporaryDir logDir;
    DebugLog::overrideForTesting(true, logDir.filePath(QStringLiteral("log")));
    LocalCalendars::Options options = fixture.options(berlin);

    // Not determined: the request makes the folder with its first calendar.
    options.root = fixture.path(QStringLiteral("fresh"));
    CalendarStore store(options);
    QCOMPARE(store.status(), CalendarAccess::notDetermined);
    store.requestAccess(); // never suspends
    QCOMPARE(store.status(), CalendarAccess::fullAccess);
    QCOMPARE(store.calendars().size(), 1);
    QCOMPARE(store.calendarForNewEvents(QString())->title, QStringLiteral("Calendar"));
    QVERIFY(!store.lastError());

    // A folder that cannot be made is reported, not thrown.
    options.root = fixture.path(QStringLiteral("taken/calendars"));
    CalendarStore blocked(options);
    blocked.requestAccess();
    QCOMPARE(blocked.status(), CalendarAccess::notDetermined);
    QVERIFY(blocked.lastError() && blocked.lastError()->contains(QStringLiteral("taken/calendars")));

    DebugLog::overrideForTesting(false, QString());
    QFile log(logDir.filePath(QStringLiteral("log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    QVERIFY(text.contains(QStringLiteral("after request: status=3\n")));
    QVERIFY(text.contains(QStringLiteral("requestFullAccessToEvents failed: ") + *blocked.lastError()));
    QVERIFY(text.contains(QStringLiteral("after request: status=0\n")));
}

void TestCalendarStore::calendarForNewEvents_data() {
    QTest::addColumn<QStringList>("folders"); // collections to make; "!" marks a read-only one
    QTest::addColumn<QString>("preferred");
    QTest::addColumn<QString>("expected"); // empty: none
    const QStringList usual{"Calendar", "Errands", "me@example.com/me@example.com", "me@example.com/team"};
    QTest::newRow("the preferred calendar") << usual << "Errands"
                                            << "Errands";
    QTest::newRow("a read-only preference is skipped")
        << QStringList{"Calendar", "!Errands", "me@example.com/me@example.com"} << "Errands"
        << "me@example.com/me@example.com";
    QTest::newRow("an address-titled synced calendar beats the default") << usual << ""
                                                                         << "me@example.com/me@example.com";
    QTest::newRow("a local calendar titled with an address is not a synced one")
        << QStringList{"Calendar", "me@example.com"} << ""
        << "Calendar";
    QTest::newRow("then the default calendar") << QStringList{"Birthdays", "Calendar", "acct/team"} << ""
                                               << "Calendar";
    QTest::newRow("a read-only default gives the first writable calendar")
        << QStringList{"!Calendar", "Errands", "acct/team"} << ""
        << "Errands";
    QTest::newRow("nothing writable gives none") << QStringList{"!Calendar", "!Errands"} << ""
                                                 << "";
}

void TestCalendarStore::calendarForNewEvents() {
    QFETCH(QStringList, folders);
    QFETCH(QString, preferred);
    QFETCH(QString, expected);
    CalendarFixture fixture = CalendarFixture::empty();
    for (const QString& folder : folders) {
        QDir().mkpath(fixture.path(QString(folder).remove(QLatin1Char('!'))));
        if (folder.startsWith(QLatin1Char('!')))
            setWritable(fixture.path(folder.mid(1)), false);
    }
    CalendarStore store(fixture.options(berlin));
    const std::optional<LocalCalendar> chosen = store.calendarForNewEvents(preferred);
    QCOMPARE(chosen ? chosen->id : QString(), expected);
}

void TestCalendarStore::queriesHideCalendarsAndCancelledEvents() {
    CalendarFixture fixture;
    CalendarStore store(fixture.options(berlin));
    const QDateTime from = utc("2024-04-01T00:00:00Z");
    const QDateTime to = utc("2024-04-15T00:00:00Z");
    QStringList titles;
    for (const CalEvent& e : store.events(from, to, {}))
        titles.append(e.title);
    QCOMPARE(titles.count(QStringLiteral("Standup")), 11); // the cancelled one of 8 April is left out
    QVERIFY(!titles.contains(QStringLiteral("Called off")));
    QVERIFY(titles.contains(QStringLiteral("Design review")));

    const QList<CalEvent> homeOnly = store.events(from, to, {QStringLiteral("work@example.com/work")});
    QVERIFY(std::none_of(homeOnly.begin(), homeOnly.end(),
                         [](const CalEvent& e) { return e.calendarName == "Work"; }));
    QVERIFY(
        store.events(from, to, {QStringLiteral("Home"), QStringLiteral("work@example.com/work")}).isEmpty());
}

void TestCalendarStore::goneOccurrenceIsNeverItsNeighbour() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.writeEvent(QStringLiteral("Home/leave.ics"),
                       {"UID:leave", "DTSTART;VALUE=DATE:20240401", "DTEND;VALUE=DATE:20240402",
                        "RRULE:FREQ=DAILY;COUNT=5", "SUMMARY:Leave"});
    CalendarStore store(fixture.options(berlin));
    // The days of an all-day series touch: the lookup around 3 April also finds 2 and 4 April.
    std::optional<CalEvent> third = eventAt(store, QStringLiteral("Leave"), "2024-04-02T22:00:00Z");
    QVERIFY(third);

    // A sync removes 3 April meanwhile.
    QByteArray text = fixture.read(QStringLiteral("Home/leave.ics"));
    fixture.write(QStringLiteral("Home/leave.ics"),
                  text.replace("SUMMARY", "EXDATE;VALUE=DATE:20240403\r\nSUMMARY"));
    QVERIFY(!store.ekEvent(*third));
    QCOMPARE(refusal([&] { store.updateEvent(*third, QStringLiteral("Renamed"), {}); }), gone);
    QCOMPARE(refusal([&] { store.deleteEvent(*third); }), gone);
    QCOMPARE(fixture.read(QStringLiteral("Home/leave.ics")), text);

    // The other days are still there to be changed, each on its own.
    std::optional<CalEvent> fourth = eventAt(store, QStringLiteral("Leave"), "2024-04-03T22:00:00Z");
    QVERIFY(fourth);
    const CalEvent renamed = store.updateEvent(*fourth, QStringLiteral("Long weekend"), {});
    QCOMPARE(renamed.id, fourth->id);
    QVERIFY(renamed.isRecurring);
    store.deleteEvent(renamed);
    QCOMPARE(store.events(utc("2024-04-01T00:00:00Z"), utc("2024-04-06T00:00:00Z"), {}).size(), 3);
}

void TestCalendarStore::occurrenceMovedOntoAnotherIsTheOneChanged() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.write(QStringLiteral("Home/daily.ics"),
                  "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:t\r\n"
                  "BEGIN:VEVENT\r\nUID:d\r\nDTSTART:20240401T100000Z\r\nRRULE:FREQ=DAILY;COUNT=3\r\n"
                  "SUMMARY:Daily\r\nEND:VEVENT\r\n"
                  "BEGIN:VEVENT\r\nUID:d\r\nRECURRENCE-ID:20240402T100000Z\r\nDTSTART:20240403T100000Z\r\n"
                  "SUMMARY:Daily\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    CalendarStore store(fixture.options(berlin));
    const QList<CalEvent> third = store.events(utc("2024-04-03T00:00:00Z"), utc("2024-04-04T00:00:00Z"), {});
    QCOMPARE(third.size(), 2);
    // Deleting the instance of 2 April, now at the same time as that of 3 April, leaves the latter.
    const CalEvent moved =
        third[0].id.endsWith(QString::number(utc("2024-04-02T10:00:00Z").toSecsSinceEpoch())) ? third[0]
                                                                                              : third[1];
    store.deleteEvent(moved);
    const QList<CalEvent> left = store.events(utc("2024-04-01T00:00:00Z"), utc("2024-04-04T00:00:00Z"), {});
    QCOMPARE(left.size(), 2);
    QCOMPARE(left[1].id, third[0].id == moved.id ? third[1].id : third[0].id);
}

void TestCalendarStore::movedSingleEventIsStillFound() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.writeEvent(QStringLiteral("Home/review.ics"), {"UID:review", "DTSTART:20240402T100000Z",
                                                           "DTEND:20240402T120000Z", "SUMMARY:Review"});
    CalendarStore store(fixture.options(berlin));
    std::optional<CalEvent> event = eventAt(store, QStringLiteral("Review"), "2024-04-02T10:00:00Z");
    QVERIFY(event);

    // Moved half an hour by another program, then to another day: still the same event.
    QByteArray text = fixture.read(QStringLiteral("Home/review.ics"));
    fixture.write(QStringLiteral("Home/review.ics"),
                  text.replace("T100000Z", "T103000Z").replace("T120000Z", "T123000Z"));
    QCOMPARE(store.updateEvent(*event, QStringLiteral("Review, moved"), {}).start,
             utc("2024-04-02T10:30:00Z"));
    text = fixture.read(QStringLiteral("Home/review.ics"));
    fixture.write(QStringLiteral("Home/review.ics"), text.replace("20240402T", "20240409T"));
    QCOMPARE(store.updateEvent(*event, QStringLiteral("Review, later"), {}).start,
             utc("2024-04-09T10:30:00Z"));
}

void TestCalendarStore::readOnlyCalendarsRefuseChanges() {
    CalendarFixture fixture;
    CalendarStore store(fixture.options(berlin));
    std::optional<CalEvent> event = eventAt(store, QStringLiteral("Design review"), "2024-04-02T09:00:00Z");
    QVERIFY(event);
    const QString folder = fixture.path(QStringLiteral("work@example.com/work"));
    const QByteArray before = fixture.read(QStringLiteral("work@example.com/work/outlook.ics"));
    setWritable(folder, false);
    store.reloadCalendars();

    QCOMPARE(refusal([&] { store.updateEvent(*event, QStringLiteral("Mine now"), {}); }),
             QStringLiteral("Work is read-only"));
    QCOMPARE(refusal([&] { store.deleteEvent(*event); }), QStringLiteral("Work is read-only"));
    QVERIFY(!store.calendars().last().allowsModifications);
    QVERIFY_THROWS_EXCEPTION(
        CalendarFileError,
        store.createEvent(draft(QStringLiteral("Sneaky"), "2024-04-03T10:00:00Z", "2024-04-03T11:00:00Z"),
                          store.calendars().last()));
    setWritable(folder, true);
    QCOMPARE(fixture.read(QStringLiteral("work@example.com/work/outlook.ics")), before);
    QCOMPARE(QDir(folder).entryList({QStringLiteral("*.ics")}).size(), 3);
}

void TestCalendarStore::createFromDraft() {
    CalendarFixture fixture;
    CalendarStore store(fixture.options(berlin));
    const CalEvent timed =
        store.createEvent(draft(QStringLiteral("Team lunch"), "2024-04-05T10:30:00Z", "2024-04-05T11:30:00Z"),
                          store.calendars().first());
    QCOMPARE(timed.end, utc("2024-04-05T11:30:00Z"));
    QCOMPARE(timed.calendarName, QStringLiteral("Home"));
    QVERIFY(timed.organizerIsMe && !timed.isRecurring);
    QCOMPARE(eventAt(store, QStringLiteral("Team lunch"), "2024-04-05T10:30:00Z")->id, timed.id);
    QVERIFY(fixture.read(*timed.ekIdentifier).contains("DTSTART;TZID=Europe/Berlin:20240405T123000"));

    // An all-day draft keeps the day boundaries it was made with.
    const CalEvent allDay =
        store.createEvent(draft(QStringLiteral("Off"), "2024-04-05T22:00:00Z", "2024-04-07T22:00:00Z", true),
                          store.calendars().first());
    QVERIFY(allDay.isAllDay);
    QCOMPARE(allDay.start, utc("2024-04-05T22:00:00Z"));
    QCOMPARE(allDay.end, utc("2024-04-07T22:00:00Z"));
}

void TestCalendarStore::changesReloadCalendarsFirst() {
    CalendarFixture fixture;
    LocalCalendars::Options options = fixture.options(berlin);
    options.watch = true;
    options.coalesceMs = 100;
    CalendarStore store(options);
    QStringList seen;
    store.onChange = [&] {
        for (const LocalCalendar& c : store.calendars())
            seen.append(c.title);
    };
    QDir().mkpath(fixture.path(QStringLiteral("Garden")));
    QTRY_VERIFY_WITH_TIMEOUT(seen.contains(QStringLiteral("Garden")), 5000);
}

void TestCalendarStore::calendarFolderLocation() {
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

QTEST_GUILESS_MAIN(TestCalendarStore)
#include "tst_calendarstore.moc"
