#pragma once

#include "core/model/Cal.h"

#include <QObject>

// The user's calendar for the whole app: the time zone, locale and week that the agenda, the
// formatters, the local calendars and the Google and Notion conversions all work in. This is the one
// place that reads them from the system, so that those parts always agree; the conversions get the
// calendar as a parameter from the store, the formatters read it here.
//
// It follows the system while the app runs. followSystem() reads the system's zone and locale again
// and takes whichever changed (a laptop that travels, an automatic zone); the event store calls it
// on every tick, so a change shows within ten seconds, and announces it through changed(), on which
// the store moves its days, its loaded window and its events to the new zone together.
//
//     const Cal cal = UserCal::current();
//     label->setText(Fmt::range(event.start, event.end)); // Fmt reads it too
class UserCal : public QObject {
    Q_OBJECT
public:
    // The calendar in use now. Safe to call from any thread.
    static Cal current();
    // Reads the system's zone and locale and takes what changed since the last reading: a new zone
    // keeps the locale and its week, a new locale keeps the zone. Logs the change, emits changed() and
    // returns true when there was one. On the GUI thread.
    static bool followSystem();
    // Puts this calendar in use until the system's zone or locale next changes: for tests, which pin
    // a locale and zone of their own. Emits changed() when it differs from the one in use.
    static void use(const Cal& cal);

    // The object whose changed() announces a new calendar; made on first use, on the GUI thread.
    static UserCal& notifier();

signals:
    void changed();

private:
    UserCal() = default;
};
