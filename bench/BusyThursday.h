#pragma once

// Quick add's load for its benchmarks: the real store on Wednesday 4 March 2026 at 8:00 in Berlin, with
// 200 meetings on Thursday 5 March whose guests name 500 people between them.

#include "core/model/UserCal.h"
#include "core/quickadd/QuickAddStoreEnv.h"
#include "core/settings/AppSettings.h"
#include "core/settings/SettingsLocations.h"
#include "core/store/EventStore.h"

#include <QTemporaryDir>

#include <memory>

namespace BusyThursday {

inline const QTimeZone berlin("Europe/Berlin");
constexpr int people = 500;

inline QDateTime wall(const QDate& day, int hour, int minute) {
    return QDateTime(day, QTime(hour, minute), berlin).toUTC();
}

inline Attendee guest(int i) {
    Attendee a;
    a.name =
        i == 0 ? QStringLiteral("Ondrea Lindqvist") : QStringLiteral("Person%1 Family%2").arg(i).arg(i % 37);
    a.email = QStringLiteral("person%1@corp.io").arg(i);
    a.status = Attendee::Status::accepted;
    return a;
}

// Meetings of 15 to 45 minutes from 7:00 on, three guests each.
inline QList<CalEvent> events() {
    QList<CalEvent> events;
    const QDate day(2026, 3, 5);
    for (int i = 0; i < 200; ++i) {
        CalEvent e;
        e.id = QStringLiteral("g:me@corp.io:primary:%1").arg(i);
        e.title = QStringLiteral("Meeting %1").arg(i);
        e.start = wall(day, 7 + (i * 3) / 60, (i * 3) % 60);
        e.end = e.start.addSecs(60 * (15 + i % 31));
        e.source = EventSource::google;
        e.calendarName = QStringLiteral("Work");
        for (int g = 0; g < 3; ++g)
            e.attendees.append(guest((i * 5 + g * 2) % people));
        events.append(e);
    }
    return events;
}

// The store with those meetings, its settings and folders in a temporary folder of its own.
struct Store {
    Store() {
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        qputenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8());
        qputenv("VORRINDEL_CALENDARS", (dir.path() + "/calendars").toUtf8());
        settings = std::make_unique<AppSettings>(SettingsLocations::standard());
        UserCal::use(Cal(berlin, QLocale(QLocale::English, QLocale::UnitedStates)));
        EventStore::Environment environment;
        environment.settings = settings.get();
        environment.clock = [] { return wall(QDate(2026, 3, 4), 8, 0); };
        store = std::make_unique<EventStore>(std::move(environment));
        store->installSampleEvents(events());
        env = std::make_unique<QuickAddStoreEnv>(*store);
    }
    QTemporaryDir dir;
    std::unique_ptr<AppSettings> settings;
    std::unique_ptr<EventStore> store;
    std::unique_ptr<QuickAddStoreEnv> env;
};

} // namespace BusyThursday
