#include "core/model/Cal.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

constexpr qint64 msPerDay = 86'400'000;

quint8 maskOf(const QList<Qt::DayOfWeek>& days) {
    quint8 mask = 0;
    for (Qt::DayOfWeek d : days)
        mask |= quint8(1u << (int(d) - 1));
    return mask;
}

QTimeZone usableZone(const QTimeZone& zone) {
    return zone.isValid() ? zone : QTimeZone::utc();
}

} // namespace

Cal::Cal(const QTimeZone& zone, const QLocale& locale)
    : m_zone(usableZone(zone))
    , m_locale(locale)
    , m_firstDayOfWeek(locale.firstDayOfWeek()) {
    const QList<Qt::DayOfWeek> working = locale.weekdays();
    if (working.isEmpty()) {
        m_weekendMask = maskOf({Qt::Saturday, Qt::Sunday});
    } else {
        m_weekendMask = quint8(~maskOf(working) & 0x7f);
    }
}

Cal::Cal(const QTimeZone& zone, const QLocale& locale, Qt::DayOfWeek firstDayOfWeek,
         const QList<Qt::DayOfWeek>& weekendDays)
    : m_zone(usableZone(zone))
    , m_locale(locale)
    , m_firstDayOfWeek(firstDayOfWeek)
    , m_weekendMask(maskOf(weekendDays)) {}

Cal Cal::system() {
    return Cal(QTimeZone::systemTimeZone(), QLocale::system());
}

Cal Cal::withZone(const QTimeZone& zone) const {
    Cal moved = *this;
    moved.m_zone = usableZone(zone);
    return moved;
}

QList<Qt::DayOfWeek> Cal::weekendDays() const {
    QList<Qt::DayOfWeek> days;
    for (int i = 0; i < 7; ++i) {
        const auto d = Qt::DayOfWeek((int(m_firstDayOfWeek) - 1 + i) % 7 + 1);
        if (m_weekendMask & (1u << (int(d) - 1)))
            days.append(d);
    }
    return days;
}

QDateTime Cal::inZone(const QDateTime& instant) const {
    return instant.toTimeZone(m_zone);
}

QDate Cal::dateOf(const QDateTime& instant) const {
    return inZone(instant).date();
}

QTime Cal::wallTimeOf(const QDateTime& instant) const {
    return inZone(instant).time();
}

Qt::DayOfWeek Cal::weekday(const QDateTime& instant) const {
    return Qt::DayOfWeek(dateOf(instant).dayOfWeek());
}

QDateTime Cal::startOfDay(const QDate& date) const {
    return atWallTime(date, QTime(0, 0));
}

QDateTime Cal::startOfDay(const QDateTime& instant) const {
    if (!instant.isValid())
        return {};
    return startOfDay(dateOf(instant));
}

// Qt 6.4 leaves the resolution of skipped and repeated wall times to the platform backend (and offers
// no way to choose), so the wall time is solved against the zone's offsets here: every offset in use
// around the date is tried, and the earliest instant whose own offset confirms it wins.
QDateTime Cal::atWallTime(const QDate& date, const QTime& time) const {
    if (!date.isValid() || !time.isValid())
        return {};
    const qint64 wall = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    const auto offsetAt = [this](qint64 utcMs) {
        return qint64(m_zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC))) * 1000;
    };

    std::array<qint64, 3> offsets = {offsetAt(wall - msPerDay), offsetAt(wall), offsetAt(wall + msPerDay)};
    std::optional<qint64> best;
    for (qint64 offset : offsets) {
        const qint64 utc = wall - offset;
        if (offsetAt(utc) == offset && (!best || utc < *best))
            best = utc;
    }
    if (!best) {
        // In a gap: the next existing time is the transition itself, the first instant whose wall
        // clock reads at or after the wanted time.
        qint64 lo = wall - *std::max_element(offsets.begin(), offsets.end());
        qint64 hi = wall - *std::min_element(offsets.begin(), offsets.end());
        while (lo < hi) {
            const qint64 mid = lo + (hi - lo) / 2;
            if (mid + offsetAt(mid) >= wall)
                hi = mid;
            else
                lo = mid + 1;
        }
        best = lo;
    }
    return QDateTime::fromMSecsSinceEpoch(*best, Qt::UTC);
}

QDateTime Cal::addDays(const QDateTime& instant, qint64 days) const {
    if (!instant.isValid())
        return {};
    if (days == 0)
        return instant.toUTC();
    const QDateTime local = inZone(instant);
    const QDate target = local.date().addDays(days);
    if (instant == startOfDay(local.date()))
        return startOfDay(target);
    return atWallTime(target, local.time());
}

QDateTime Cal::addWeeks(const QDateTime& instant, qint64 weeks) const {
    return addDays(instant, 7 * weeks);
}

QDate Cal::startOfWeek(const QDate& date) const {
    if (!date.isValid())
        return {};
    const int back = (date.dayOfWeek() - int(m_firstDayOfWeek) + 7) % 7;
    return date.addDays(-back);
}

QDateTime Cal::startOfWeek(const QDateTime& instant) const {
    if (!instant.isValid())
        return {};
    return startOfDay(startOfWeek(dateOf(instant)));
}

bool Cal::isWeekend(const QDate& date) const {
    return date.isValid() && (m_weekendMask & (1u << (date.dayOfWeek() - 1)));
}

bool Cal::isWeekend(const QDateTime& instant) const {
    return isWeekend(dateOf(instant));
}

bool Cal::isSameDay(const QDateTime& a, const QDateTime& b) const {
    return dateOf(a) == dateOf(b);
}

qint64 Cal::daysBetween(const QDateTime& a, const QDateTime& b) const {
    return dateOf(a).daysTo(dateOf(b));
}
