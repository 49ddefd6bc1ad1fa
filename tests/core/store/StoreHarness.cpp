#include "StoreHarness.h"

#include "core/calendar/CalendarStore.h"
#include "core/model/DebugLog.h"
#include "core/model/UserCal.h"
#include "core/settings/SettingsLocations.h"
#include "support/FakeGoogle.h"
#include "support/Patience.h"
#include "support/TestEvents.h"
#include "support/TestFiles.h"
#include "support/WallClock.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

StoreHarness::StoreHarness(const QString& wallStart, const Cal& cal_)
    : cal(cal_)
    , clock(TestEvents::at(wallStart, cal_.zone())) {
    // One zone in the environment and in the calendar, as in the app.
    if (QTimeZone::systemTimeZoneId() != cal.zone().id())
        qFatal("The test runs with TZ=%s but a calendar in %s", QTimeZone::systemTimeZoneId().constData(),
               cal.zone().id().constData());
    UserCal::use(cal);
    root = home.path() + QStringLiteral("/calendars");
    collection = root + QStringLiteral("/work");
    TestFiles::write(collection + QStringLiteral("/displayname"), "Work\n");
    logFile = home.stateHome() + QStringLiteral("/test.log");
    DebugLog::overrideForTesting(true, logFile);
    settings = std::make_unique<AppSettings>(SettingsLocations::standard());
    google->clock = clock.clock();
}

StoreHarness::~StoreHarness() {
    store.reset();
    DebugLog::overrideForTesting(false, QString());
}

TestableStore& StoreHarness::start(bool remote) {
    EventStore::Environment environment;
    environment.settings = settings.get();
    LocalCalendars::Options calendars;
    calendars.root = root;
    calendars.access = access;
    calendars.journal = journal;
    environment.calendar = std::make_unique<CalendarStore>(calendars);
    environment.clock = clock.clock();
    environment.timers = clock.timers();
    environment.sound = sound;
    environment.wake = &wake;
    environment.openUrl = [this](const QUrl& url) {
        opened.append(url);
        return true;
    };
    remote = remote || googleSource || notionSource;
    environment.google = googleSource ? std::move(googleSource) : fakeGoogle(google);
    environment.notion = notionSource ? std::move(notionSource) : fakeNotion(notion);
    store = std::make_unique<TestableStore>(std::move(environment));
    store->runRefreshes = remote;
    QCoro::waitFor(store->start());
    settle();
    return *store;
}

QDateTime StoreHarness::at(const QString& wall) const {
    return WallClock::at(store ? store->cal() : cal, wall);
}

void StoreHarness::advance(qint64 seconds) {
    clock.advance(seconds);
    settle();
}

void StoreHarness::settle() {
    // Queued calls may queue further ones (a wake's full refresh, say), and loads of the local
    // events finish on the reading threads: a few rounds, each waiting for the load under way.
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        if (store && store->isLoadingCalendar())
            QVERIFY(Patience::until([this] { return !store->isLoadingCalendar(); }));
    }
}

void StoreHarness::writeLocalEvent(const QString& uid, const QString& title, const QDateTime& start,
                                   const QDateTime& end, const QStringList& extraLines) {
    const auto utc = [](const QDateTime& instant) {
        return instant.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    };
    const QStringList lines =
        QStringList{"BEGIN:VCALENDAR",       "VERSION:2.0",       "PRODID:-//Vorrindel tests//EN",
                    "BEGIN:VEVENT",          "UID:" + uid,        "DTSTAMP:20260101T000000Z",
                    "DTSTART:" + utc(start), "DTEND:" + utc(end), "SUMMARY:" + title} +
        extraLines + QStringList{"END:VEVENT", "END:VCALENDAR", ""};
    QVERIFY(TestFiles::write(collection + QLatin1Char('/') + uid + QStringLiteral(".ics"),
                             lines.join(QStringLiteral("\r\n")).toUtf8()));
}

int StoreHarness::reloads() const {
    QFile file(logFile);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count(" calendar status="));
}

void StoreHarness::connect(const QString& email, const QList<GoogleCalendarInfo>& others, bool canWrite) {
    GoogleAccount account;
    account.email = email;
    account.refreshToken = QStringLiteral("refresh-") + email;
    account.accessToken = QStringLiteral("token-") + email;
    account.expiry = clock.now().addSecs(3600);
    account.scopes = QStringList{canWrite ? FakeGoogle::eventsScope : FakeGoogle::readOnlyScope};
    account.calendars =
        QList<GoogleCalendarInfo>{{email, email, std::nullopt, true, QStringLiteral("owner")}} + others;
    GoogleConfig config = settings->google();
    config.clientID = QStringLiteral("client");
    config.clientSecret = QStringLiteral("secret");
    config.accounts << account;
    settings->setGoogle(config);
}

void StoreHarness::addGoogle(const QString& calendar, const QString& title, const QString& wall) {
    const QString id = QString(title).remove(QLatin1Char(' ')).toLower();
    google->add(calendar, FakeGoogle::timedEvent(id, title, at(wall), at(wall).addSecs(1800)));
}

CalEvent StoreHarness::googleEvent(const QString& title) const {
    for (const CalEvent& event : store->googleEvents()) {
        if (event.title == title)
            return event;
    }
    return {};
}

GoogleAccount StoreHarness::stored(const QString& email) const {
    for (const GoogleAccount& account : settings->google().accounts) {
        if (account.email == email)
            return account;
    }
    return {};
}

Cal StoreHarness::berlin(const char* locale) {
    return WallClock::cal("Europe/Berlin", locale);
}

QStringList StoreHarness::titlesOn(const QString& day) const {
    return titles(store->events(at(day + QStringLiteral(" 00:00"))));
}

QStringList StoreHarness::titles(const QList<CalEvent>& events) {
    QStringList out;
    for (const CalEvent& event : events)
        out << event.title;
    return out;
}
