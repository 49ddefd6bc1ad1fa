#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QTime>
#include <QTimeZone>

// The user's calendar: a time zone, a locale, the first day of the week and the weekend days. All day
// arithmetic of the app goes through it, so that days are calendar days (23 or 25 hours long across a
// daylight-saving change, and starting at 01:00 where midnight is skipped), never 86,400 seconds.
//
// Instants go in and come out as QDateTime in UTC; dates and wall times are those of the zone.
// A value is cheap to copy and safe to keep: it never follows later changes of the system settings.
// The app's own calendar, which does follow them, comes from UserCal.
class Cal {
public:
    // First weekday and weekend come from the locale: the weekend is every day that the locale does
    // not list among its working days.
    Cal(const QTimeZone& zone, const QLocale& locale);
    // Explicit week shape, for tests and for locales whose data Qt lacks.
    Cal(const QTimeZone& zone, const QLocale& locale, Qt::DayOfWeek firstDayOfWeek,
        const QList<Qt::DayOfWeek>& weekendDays);

    // The system zone and locale as they are now (UTC when the system zone cannot be read). Only
    // UserCal reads the system; everything else takes its calendar from there.
    static Cal system();

    // The same locale and week shape in another zone.
    Cal withZone(const QTimeZone& zone) const;

    const QTimeZone& zone() const { return m_zone; }
    const QLocale& locale() const { return m_locale; }
    Qt::DayOfWeek firstDayOfWeek() const { return m_firstDayOfWeek; }
    // In week order, starting from the first day of the week.
    QList<Qt::DayOfWeek> weekendDays() const;

    // The instant as a date-time in the zone, for reading its wall clock.
    QDateTime inZone(const QDateTime& instant) const;
    QDate dateOf(const QDateTime& instant) const;
    QTime wallTimeOf(const QDateTime& instant) const;
    Qt::DayOfWeek weekday(const QDateTime& instant) const;

    // The first instant of the day: midnight, or the end of a gap where the clock skips midnight. For a
    // date that the zone skips entirely (a move across the date line) the start of the next day.
    QDateTime startOfDay(const QDate& date) const;
    QDateTime startOfDay(const QDateTime& instant) const;

    // The instant at which the wall clock of the zone shows `time` on `date`. A time that the clock
    // skips (spring forward) moves to the next existing time, the end of the gap; a time the clock
    // shows twice (fall back) takes the first of the two instants.
    QDateTime atWallTime(const QDate& date, const QTime& time) const;

    // Calendar-day arithmetic: the same wall time `days` calendar days later, resolved as atWallTime
    // does. An instant that is the start of its day gives the start of the target day, so day keys stay
    // day keys even where a day starts at 01:00.
    QDateTime addDays(const QDateTime& instant, qint64 days) const;
    QDateTime addWeeks(const QDateTime& instant, qint64 weeks) const;

    // The first day of the week (by firstDayOfWeek) that contains the date or instant.
    QDate startOfWeek(const QDate& date) const;
    QDateTime startOfWeek(const QDateTime& instant) const;

    bool isWeekend(const QDate& date) const;
    bool isWeekend(const QDateTime& instant) const;
    bool isSameDay(const QDateTime& a, const QDateTime& b) const;
    // Calendar days from a's day to b's day (negative when b's day comes first).
    qint64 daysBetween(const QDateTime& a, const QDateTime& b) const;

    friend bool operator==(const Cal& a, const Cal& b) {
        return a.m_zone == b.m_zone && a.m_locale == b.m_locale && a.m_firstDayOfWeek == b.m_firstDayOfWeek &&
               a.m_weekendMask == b.m_weekendMask;
    }

private:
    QTimeZone m_zone;
    QLocale m_locale;
    Qt::DayOfWeek m_firstDayOfWeek;
    quint8 m_weekendMask = 0; // bit (day - 1) set for each weekend day
};
