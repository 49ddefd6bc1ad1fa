#include "StoreHarness.h"

#include "core/calendar/CalendarStore.h"
#include "core/model/DebugLog.h"
#include "core/settings/SettingsLocations.h"
#include "support/TestEvents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

namespace {

QString icalTime(const QDateTime& instant, bool allDay, const Cal& cal) {
    if (allDay)
        return QStringLiteral(";VALUE=DATE:") + cal.dateOf(instant).toString(QStringLiteral("yyyyMMdd"));
    return QLatin1Char(':') + instant.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

} // namespace

StoreHarness::StoreHarness(const QString& wallStart, const Cal& cal_)
    : cal(cal_)
    , clock(TestEvents::at(wallStart, cal_.zone())) {
    root = home.path() + QStringLiteral("/calendars");
    collection = root + QStringLiteral("/work");
    QDir().mkpath(collection);
    QFile name(collection + QStringLiteral("/displayname"));
    if (name.open(QIODevice::WriteOnly))
        name.write("Work\n");
    logFile = home.stateHome() + QStringLiteral("/test.log");
    DebugLog::overrideForTesting(true, logFile);
    settings = std::make_unique<AppSettings>(SettingsLocations::standard());
}

StoreHarness::~StoreHarness() {
    store.reset();
    DebugLog::overrideForTesting(false, QString());
}

TestableStore& StoreHarness::start() {
    EventStore::Environment environment;
    environment.settings = settings.get();
    LocalCalendars::Options calendars;
    calendars.root = root;
    calendars.zone = cal.zone();
    environment.calendar = std::make_unique<CalendarStore>(calendars);
    environment.cal = cal;
    environment.clock = clock.clock();
    environment.timers = clock.timers();
    environment.sound = sound;
    environment.wake = &wake;
    environment.openUrl = [this](const QUrl& url) {
        opened.append(url);
        return true;
    };
    const bool remote = google || notion;
    environment.google = std::move(google);
    environment.notion = std::move(notion);
    store = std::make_unique<TestableStore>(std::move(environment));
    store->runRefreshes = remote;
    QCoro::waitFor(store->start());
    settle();
    return *store;
}

QDateTime StoreHarness::at(const QString& wall) const {
    return TestEvents::at(wall, cal.zone());
}

void StoreHarness::advance(qint64 seconds) {
    clock.advance(seconds);
    settle();
}

void StoreHarness::settle() {
    // Queued calls may queue further ones (a wake's full refresh, say); a few rounds run them all.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

void StoreHarness::writeLocalEvent(const QString& uid, const QString& title, const QDateTime& start,
                                   const QDateTime& end, bool allDay, const QStringList& extraLines) {
    QStringList lines = {"BEGIN:VCALENDAR",
                         "VERSION:2.0",
                         "PRODID:-//Vorrindel tests//EN",
                         "BEGIN:VEVENT",
                         "UID:" + uid,
                         "DTSTAMP:20260101T000000Z",
                         "DTSTART" + icalTime(start, allDay, cal),
                         "DTEND" + icalTime(end, allDay, cal),
                         "SUMMARY:" + title};
    lines << extraLines << "END:VEVENT"
          << "END:VCALENDAR";
    QFile file(collection + QLatin1Char('/') + uid + QStringLiteral(".ics"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
}

int StoreHarness::reloads() const {
    QFile file(logFile);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count(" calendar status="));
}

QStringList StoreHarness::titles(const QList<CalEvent>& events) {
    QStringList out;
    for (const CalEvent& event : events)
        out << event.title;
    return out;
}
