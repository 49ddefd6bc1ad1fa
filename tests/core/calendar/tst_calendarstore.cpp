// The calendar store over real vdir folders: access, calendar choice, queries and the refusals of
// changes, including the occurrence lookup that must never fall back to another day of a series.

#include "CalendarFixture.h"

#include "core/calendar/CalendarFileError.h"
#include "core/calendar/CalendarStore.h"
#include "core/model/DebugLog.h"
#include "core/remote/GoogleRecords.h"
#include "support/TempHome.h"

#include <QCoro/QCoroTask>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

const QTimeZone berlin("Europe/Berlin");

LocalCalendars::Options optionsFor(const CalendarFixture& fixture) {
    return fixture.options(berlin);
}

std::optional<CalEvent> eventTitled(CalendarStore& store, const QString& title, const QDateTime& start) {
    for (const CalEvent& e : store.events(start.addDays(-1), start.addDays(1), {})) {
        if (e.title == title && e.start == start)
            return e;
    }
    return std::nullopt;
}

void runAccessRequest(CalendarStore& store) {
    // The request never suspends, so the task is done when it returns.
    QCoro::Task<> task = store.requestAccess();
    Q_UNUSED(task);
}

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const GoogleError& e) {
        return e.message();
    }
    return QStringLiteral("no GoogleError");
}

void makeReadOnly(const QString& folder) {
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

} // namespace

class TestCalendarStore : public QObject {
    Q_OBJECT

private slots:
    void withoutAccessNothingIsListed_data();
    void withoutAccessNothingIsListed();
    void requestAccessCreatesTheFolder();
    void failedRequestIsReported();
    void calendarForNewEvents_data();
    void calendarForNewEvents();
    void queriesHideCalendarsAndCancelledEvents();
    void editsOneOccurrence();
    void goneOccurrenceIsNeverItsNeighbour();
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
    LocalCalendars::Options options = optionsFor(fixture);
    options.access = access;
    CalendarStore store(options);
    QCOMPARE(store.status(), access);
    QCOMPARE(store.isDenied(), denied);
    QVERIFY(store.calendars().isEmpty());
    QVERIFY(store.writableCalendars().isEmpty());
    QVERIFY(store.events(utc("2024-03-01T00:00:00Z"), utc("2024-05-01T00:00:00Z"), {}).isEmpty());
    QVERIFY(!store.calendarForNewEvents(QStringLiteral("Home")));
}

void TestCalendarStore::requestAccessCreatesTheFolder() {
    CalendarFixture fixture = CalendarFixture::empty();
    QTemporaryDir logDir;
    DebugLog::overrideForTesting(true, logDir.filePath(QStringLiteral("log")));
    LocalCalendars::Options options = optionsFor(fixture);
    options.root = fixture.path(QStringLiteral("fresh"));
    CalendarStore store(options);
    QCOMPARE(store.status(), CalendarAccess::notDetermined);
    QSignalSpy statusChanged(&store, &CalendarStore::statusChanged);

    runAccessRequest(store);
    QCOMPARE(store.status(), CalendarAccess::fullAccess);
    QCOMPARE(statusChanged.size(), 1);
    QCOMPARE(store.calendars().size(), 1);
    QCOMPARE(store.calendars().first().title, QStringLiteral("Calendar"));
    QVERIFY(!store.lastError());
    QCOMPARE(store.calendarForNewEvents(QString())->id, QStringLiteral("Calendar"));

    // Asking again changes nothing.
    runAccessRequest(store);
    QCOMPARE(store.calendars().size(), 1);
    DebugLog::overrideForTesting(false, QString());
    QFile log(logDir.filePath(QStringLiteral("log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count("after request: status=3\n"), 2);
}

void TestCalendarStore::failedRequestIsReported() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.write(QStringLiteral("taken"), "a file where the folder should go");
    QTemporaryDir logDir;
    DebugLog::overrideForTesting(true, logDir.filePath(QStringLiteral("log")));
    LocalCalendars::Options options = optionsFor(fixture);
    options.root = fixture.path(QStringLiteral("taken/calendars"));
    CalendarStore store(options);
    runAccessRequest(store);
    DebugLog::overrideForTesting(false, QString());

    QCOMPARE(store.status(), CalendarAccess::notDetermined);
    QVERIFY(store.lastError());
    QVERIFY(store.lastError()->contains(QStringLiteral("taken/calendars")));
    QFile log(logDir.filePath(QStringLiteral("log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    QVERIFY(text.contains(QStringLiteral("requestFullAccessToEvents failed: ") + *store.lastError()));
    QVERIFY(text.contains(QStringLiteral("after request: status=0")));
}

void TestCalendarStore::calendarForNewEvents_data() {
    QTest::addColumn<QStringList>("folders"); // collections to make; "!" marks a read-only one
    QTest::addColumn<QString>("preferred");
    QTest::addColumn<QString>("expected"); // empty: none
    const QStringList usual{"Calendar", "Errands", "me@example.com/me@example.com", "me@example.com/team"};
    QTest::newRow("the preferred calendar") << usual << "Errands"
                                            << "Errands";
    QTest::newRow("a read-only preference is skipped for an address-titled synced calendar")
        << QStringList{"Calendar", "!Errands", "me@example.com/me@example.com"} << "Errands"
        << "me@example.com/me@example.com";
    QTest::newRow("an address-titled synced calendar beats the default") << usual << ""
                                                                         << "me@example.com/me@example.com";
    QTest::newRow("an unknown preference reads as none") << usual << "Gone"
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
    QStringList readOnly;
    for (QString folder : folders) {
        if (folder.startsWith(QLatin1Char('!'))) {
            folder.remove(0, 1);
            readOnly.append(fixture.path(folder));
        }
        QDir().mkpath(fixture.path(folder));
    }
    for (const QString& folder : readOnly)
        makeReadOnly(folder);
    CalendarStore store(optionsFor(fixture));
    const std::optional<LocalCalendar> chosen = store.calendarForNewEvents(preferred);
    QCOMPARE(chosen ? chosen->id : QString(), expected);
    for (const QString& folder : readOnly)
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestCalendarStore::queriesHideCalendarsAndCancelledEvents() {
    CalendarFixture fixture;
    CalendarStore store(optionsFor(fixture));
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
                         [](const CalEvent& e) { return e.calendarName == QStringLiteral("Work"); }));
    QVERIFY(
        store.events(from, to, {QStringLiteral("Home"), QStringLiteral("work@example.com/work")}).isEmpty());
}

void TestCalendarStore::editsOneOccurrence() {
    CalendarFixture fixture;
    CalendarStore store(optionsFor(fixture));
    std::optional<CalEvent> event =
        eventTitled(store, QStringLiteral("Weekly planning"), utc("2024-04-08T07:00:00Z"));
    QVERIFY(event);
    const CalEvent renamed = store.updateEvent(*event, QStringLiteral("Quarterly planning"), {});
    // The occurrence keeps its identity; the series around it is untouched.
    QCOMPARE(renamed.id, event->id);
    QCOMPARE(renamed.title, QStringLiteral("Quarterly planning"));
    QVERIFY(renamed.isRecurring);
    QVERIFY(eventTitled(store, QStringLiteral("Weekly planning"), utc("2024-04-01T07:00:00Z")));
    QVERIFY(eventTitled(store, QStringLiteral("Weekly planning"), utc("2024-04-15T07:00:00Z")));

    store.deleteEvent(renamed);
    QVERIFY(!eventTitled(store, QStringLiteral("Quarterly planning"), utc("2024-04-08T07:00:00Z")));
    QVERIFY(eventTitled(store, QStringLiteral("Weekly planning"), utc("2024-04-15T07:00:00Z")));
    QCOMPARE(messageOf([&] { store.deleteEvent(renamed); }),
             QStringLiteral("That event is no longer in your calendar"));
}

void TestCalendarStore::goneOccurrenceIsNeverItsNeighbour() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.writeEvent(QStringLiteral("Home/holiday.ics"),
                       {"UID:daily-holiday", "DTSTART;VALUE=DATE:20240401", "DTEND;VALUE=DATE:20240402",
                        "RRULE:FREQ=DAILY;COUNT=5", "SUMMARY:Leave"});
    CalendarStore store(optionsFor(fixture));
    // Days of an all-day series touch each other: the lookup window of 3 April also holds 2 and 4 April.
    std::optional<CalEvent> third = eventTitled(store, QStringLiteral("Leave"), utc("2024-04-02T22:00:00Z"));
    QVERIFY(third);

    // A sync removes 3 April meanwhile.
    QByteArray text = fixture.read(QStringLiteral("Home/holiday.ics"));
    text.replace("SUMMARY:Leave", "EXDATE;VALUE=DATE:20240403\r\nSUMMARY:Leave");
    fixture.write(QStringLiteral("Home/holiday.ics"), text);
    const QByteArray synced = fixture.read(QStringLiteral("Home/holiday.ics"));

    QVERIFY(!store.ekEvent(*third));
    QCOMPARE(messageOf([&] { store.updateEvent(*third, QStringLiteral("Renamed"), {}); }),
             QStringLiteral("That event is no longer in your calendar"));
    QCOMPARE(messageOf([&] { store.deleteEvent(*third); }),
             QStringLiteral("That event is no longer in your calendar"));
    QCOMPARE(fixture.read(QStringLiteral("Home/holiday.ics")), synced);
    QCOMPARE(store.events(utc("2024-04-01T00:00:00Z"), utc("2024-04-06T00:00:00Z"), {}).size(), 4);
}

void TestCalendarStore::movedSingleEventIsStillFound() {
    CalendarFixture fixture = CalendarFixture::empty();
    fixture.writeEvent(QStringLiteral("Home/review.ics"), {"UID:review", "DTSTART:20240402T100000Z",
                                                           "DTEND:20240402T120000Z", "SUMMARY:Review"});
    CalendarStore store(optionsFor(fixture));
    std::optional<CalEvent> event = eventTitled(store, QStringLiteral("Review"), utc("2024-04-02T10:00:00Z"));
    QVERIFY(event);

    // Moved half an hour by another program: still the same, non-repeating event.
    QByteArray text = fixture.read(QStringLiteral("Home/review.ics"));
    text.replace("T100000Z", "T103000Z").replace("T120000Z", "T123000Z");
    fixture.write(QStringLiteral("Home/review.ics"), text);
    QCOMPARE(store.updateEvent(*event, QStringLiteral("Review, moved"), {}).start,
             utc("2024-04-02T10:30:00Z"));

    // Moved to another day entirely: found by its identifier.
    text = fixture.read(QStringLiteral("Home/review.ics"));
    text.replace("20240402T", "20240409T");
    fixture.write(QStringLiteral("Home/review.ics"), text);
    const CalEvent moved = store.updateEvent(*event, QStringLiteral("Review, later"), {});
    QCOMPARE(moved.start, utc("2024-04-09T10:30:00Z"));
    QCOMPARE(moved.title, QStringLiteral("Review, later"));
}

void TestCalendarStore::readOnlyCalendarsRefuseChanges() {
    CalendarFixture fixture;
    CalendarStore store(optionsFor(fixture));
    std::optional<CalEvent> event =
        eventTitled(store, QStringLiteral("Design review"), utc("2024-04-02T09:00:00Z"));
    QVERIFY(event);
    const QString folder = fixture.path(QStringLiteral("work@example.com/work"));
    const QByteArray before = fixture.read(QStringLiteral("work@example.com/work/outlook.ics"));
    makeReadOnly(folder);

    QCOMPARE(messageOf([&] { store.updateEvent(*event, QStringLiteral("Mine now"), {}); }),
             QStringLiteral("Work is read-only"));
    QCOMPARE(messageOf([&] { store.deleteEvent(*event); }), QStringLiteral("Work is read-only"));
    store.reloadCalendars();
    const LocalCalendar work = store.calendars().last();
    QVERIFY(!work.allowsModifications);
    QuickAddDraft draft;
    draft.title = QStringLiteral("Sneaky");
    draft.start = utc("2024-04-03T10:00:00Z");
    draft.end = utc("2024-04-03T11:00:00Z");
    QVERIFY_THROWS_EXCEPTION(CalendarFileError, store.createEvent(draft, work));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(fixture.read(QStringLiteral("work@example.com/work/outlook.ics")), before);
    QCOMPARE(QDir(folder).entryList({QStringLiteral("*.ics")}).size(), 3);
}

void TestCalendarStore::createFromDraft() {
    CalendarFixture fixture;
    CalendarStore store(optionsFor(fixture));
    QuickAddDraft draft;
    draft.title = QStringLiteral("Team lunch");
    draft.start = utc("2024-04-05T10:30:00Z");
    draft.end = utc("2024-04-05T11:30:00Z");
    const CalEvent created = store.createEvent(draft, store.calendars().first());
    QCOMPARE(created.title, draft.title);
    QCOMPARE(created.start, draft.start);
    QCOMPARE(created.end, draft.end);
    QCOMPARE(created.calendarName, QStringLiteral("Home"));
    QVERIFY(created.ekIdentifier && created.ekIdentifier->startsWith(QStringLiteral("Home/")));
    QVERIFY(created.organizerIsMe);
    const std::optional<CalEvent> listed = eventTitled(store, draft.title, draft.start);
    QVERIFY(listed);
    QCOMPARE(listed->id, created.id);

    draft.title = QStringLiteral("Off");
    draft.isAllDay = true;
    draft.start = QDateTime(QDate(2024, 4, 6), QTime(0, 0), berlin).toUTC();
    draft.end = QDateTime(QDate(2024, 4, 8), QTime(0, 0), berlin).toUTC();
    const CalEvent allDay = store.createEvent(draft, store.calendars().first());
    QVERIFY(allDay.isAllDay);
    QCOMPARE(allDay.start, draft.start);
    QCOMPARE(allDay.end, draft.end);
}

void TestCalendarStore::changesReloadCalendarsFirst() {
    CalendarFixture fixture;
    LocalCalendars::Options options = optionsFor(fixture);
    options.watch = true;
    options.coalesceMs = 100;
    CalendarStore store(options);
    QStringList seen;
    int calls = 0;
    store.onChange = [&] {
        ++calls;
        for (const LocalCalendar& c : store.calendars())
            seen.append(c.title);
    };
    QDir().mkpath(fixture.path(QStringLiteral("Garden")));
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
    QVERIFY(seen.contains(QStringLiteral("Garden")));
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
