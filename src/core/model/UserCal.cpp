#include "core/model/UserCal.h"

#include "core/model/DebugLog.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

struct State {
    QMutex mutex;
    Cal cal = Cal::system();
    // The system's settings as last read: a change is a difference from these, not from `cal`, so
    // that a calendar put in use by hand stays until the system itself changes.
    QByteArray zoneId = QTimeZone::systemTimeZoneId();
    QString localeName = QLocale::system().name();
};

State& state() {
    static State s;
    return s;
}

QString describe(const Cal& cal) {
    return QString::fromUtf8(cal.zone().id()) + QLatin1Char(' ') + cal.locale().name();
}

// Announced outside the lock: the store reads current() while it moves to the new calendar.
void announce(const Cal& before, const Cal& after) {
    DebugLog::log(
        [&] { return QStringLiteral("calendar: %1 -> %2").arg(describe(before), describe(after)); });
    emit UserCal::notifier().changed();
}

} // namespace

Cal UserCal::current() {
    State& s = state();
    const QMutexLocker lock(&s.mutex);
    return s.cal;
}

bool UserCal::followSystem() {
    const QByteArray zoneId = QTimeZone::systemTimeZoneId();
    const QLocale locale = QLocale::system();
    State& s = state();
    QMutexLocker lock(&s.mutex);
    const bool zoneChanged = zoneId != s.zoneId;
    const bool localeChanged = locale.name() != s.localeName;
    if (!zoneChanged && !localeChanged)
        return false;
    const Cal before = s.cal;
    s.zoneId = zoneId;
    s.localeName = locale.name();
    if (zoneChanged)
        s.cal = s.cal.withZone(QTimeZone::systemTimeZone());
    if (localeChanged)
        s.cal = Cal(s.cal.zone(), locale);
    const Cal after = s.cal;
    lock.unlock();
    if (after == before)
        return false;
    announce(before, after);
    return true;
}

void UserCal::use(const Cal& cal) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    const Cal before = s.cal;
    s.cal = cal;
    lock.unlock();
    if (!(cal == before))
        announce(before, cal);
}

UserCal& UserCal::notifier() {
    static UserCal* const instance = new UserCal;
    return *instance;
}
