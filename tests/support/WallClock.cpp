#include "support/WallClock.h"

#include <QTimeZone>

namespace WallClock {

Cal cal(const char* zone, const char* locale) {
    return Cal(QTimeZone(zone), QLocale(QString::fromLatin1(locale)));
}

QDateTime at(const Cal& cal, const QString& wall) {
    const QString format =
        wall.size() > 16 ? QStringLiteral("yyyy-MM-dd HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm");
    const QDateTime parsed = QDateTime::fromString(wall, format);
    return parsed.isValid() ? cal.atWallTime(parsed.date(), parsed.time()) : QDateTime();
}

QString show(const Cal& cal, const QDateTime& instant) {
    const QDateTime local = cal.inZone(instant);
    return local.toString(local.time().second() ? u"yyyy-MM-dd HH:mm:ss" : u"yyyy-MM-dd HH:mm");
}

QString span(const Cal& cal, const QDateTime& start, const QDateTime& end) {
    const QDate a = cal.dateOf(start), b = cal.dateOf(end);
    const QString format = a == b                 ? QStringLiteral("HH:mm")
                           : a.year() == b.year() ? QStringLiteral("MM-dd HH:mm")
                                                  : QStringLiteral("yyyy-MM-dd HH:mm");
    return show(cal, start) + QStringLiteral(" → ") + cal.inZone(end).toString(format);
}

} // namespace WallClock
