#include "core/model/Fmt.h"

#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/model/UserCal.h"

#include <unicode/udat.h>
#include <unicode/udatpg.h>
#include <unicode/uloc.h>
#include <unicode/ureldatefmt.h>

#include <memory>

namespace Fmt {

namespace {

const QString dash = QStringLiteral(" \u2013 ");

bool isMorning(const QTime& t) {
    return t.hour() < 12;
}

QString period(const QTime& t) {
    return isMorning(t) ? QStringLiteral("am") : QStringLiteral("pm");
}

QString timeNoPeriod(const QTime& t, const Cal& cal, bool twelveHour) {
    if (!twelveHour)
        return cal.locale().toString(t, u"HH:mm");
    const int hour = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
    return cal.locale().toString(QTime(hour, t.minute()), u"h:mm");
}

QString timeOf(const QTime& t, const Cal& cal, bool twelveHour) {
    QString text = timeNoPeriod(t, cal, twelveHour);
    if (twelveHour)
        text += QLatin1Char(' ') + period(t);
    return text;
}

QString rangeOf(const QDateTime& start, const QDateTime& end, const Cal& cal, bool twelveHour) {
    const QTime a = cal.wallTimeOf(start);
    const QTime b = cal.wallTimeOf(end);
    if (twelveHour && isMorning(a) == isMorning(b))
        return timeNoPeriod(a, cal, true) + dash + timeOf(b, cal, true);
    return timeOf(a, cal, twelveHour) + dash + timeOf(b, cal, twelveHour);
}

// Under an hour "45 min"; from an hour on the hours and any rest, each with its unit.
QString duration(qint64 minutes, const QString& hourUnit, const QString& minuteUnit) {
    if (minutes < 60)
        return QString::number(std::max<qint64>(minutes, 0)) + QStringLiteral(" min");
    QString text = QString::number(minutes / 60) + hourUnit;
    if (minutes % 60 != 0)
        text += QLatin1Char(' ') + QString::number(minutes % 60) + minuteUnit;
    return text;
}

qint64 ceilMinutes(qint64 msecs) {
    return msecs > 0 ? (msecs + 59'999) / 60'000 : -(-msecs / 60'000);
}

// Day texts come from ICU's pattern generator, which picks the locale's own order and punctuation
// for "weekday, month, day" ("Tuesday, Mar 3", "Dienstag, 3. März"); QLocale has no such skeletons.
// Building a formatter is costly, so the last one per skeleton and thread is kept.
struct IcuFormatter {
    QString key;
    std::unique_ptr<UDateFormat, decltype(&udat_close)> format{nullptr, &udat_close};
};

QByteArray icuLocaleId(const QLocale& locale) {
    if (locale.language() == QLocale::C)
        return QByteArrayLiteral("en_US_POSIX");
    char id[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_forLanguageTag(locale.bcp47Name().toLatin1().constData(), id, sizeof id, nullptr, &status);
    return U_SUCCESS(status) ? QByteArray(id) : locale.name().toLatin1();
}

UDateFormat* makeFormatter(const char16_t* skeleton, const Cal& cal) {
    const QByteArray localeId = icuLocaleId(cal.locale());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UDateTimePatternGenerator, decltype(&udatpg_close)> generator(
        udatpg_open(localeId.constData(), &status), &udatpg_close);
    if (U_FAILURE(status))
        return nullptr;
    UChar pattern[128];
    const int32_t length = udatpg_getBestPattern(generator.get(), skeleton, -1, pattern, 128, &status);
    if (U_FAILURE(status))
        return nullptr;
    const QString zoneId = QString::fromLatin1(cal.zone().id());
    UDateFormat* format = udat_open(UDAT_PATTERN, UDAT_PATTERN, localeId.constData(),
                                    reinterpret_cast<const UChar*>(zoneId.utf16()), int32_t(zoneId.size()),
                                    pattern, length, &status);
    if (U_FAILURE(status)) {
        udat_close(format);
        return nullptr;
    }
    return format;
}

QString formatDay(const QDateTime& instant, const Cal& cal, const char16_t* skeleton, IcuFormatter& cache) {
    const QString key = QString::fromUtf16(skeleton) + QLatin1Char('|') + cal.locale().bcp47Name() +
                        QLatin1Char('|') + QString::fromLatin1(cal.zone().id());
    if (cache.key != key || !cache.format) {
        cache.format.reset(makeFormatter(skeleton, cal));
        cache.key = key;
    }
    if (cache.format) {
        UChar text[256];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            udat_format(cache.format.get(), UDate(instant.toMSecsSinceEpoch()), text, 256, nullptr, &status);
        if (U_SUCCESS(status))
            return QString::fromUtf16(text, length);
    }
    return cal.locale().toString(cal.dateOf(instant), QLocale::ShortFormat);
}

} // namespace

bool uses12h(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.isEmpty())
        return true;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && (c == u'a' || c == u'A'))
            return true;
    }
    return false;
}

bool uses12h() {
    return uses12h(UserCal::current().locale());
}

QString time(const QDateTime& instant) {
    return time(instant, UserCal::current());
}

QString time(const QDateTime& instant, const Cal& cal) {
    return timeOf(cal.wallTimeOf(instant), cal, uses12h(cal.locale()));
}

QString range(const QDateTime& start, const QDateTime& end) {
    return range(start, end, UserCal::current());
}

QString range(const QDateTime& start, const QDateTime& end, const Cal& cal) {
    return rangeOf(start, end, cal, uses12h(cal.locale()));
}

QString dayHeader(const QDateTime& instant) {
    return dayHeader(instant, UserCal::current());
}

QString dayHeader(const QDateTime& instant, const Cal& cal) {
    thread_local IcuFormatter cache;
    return formatDay(instant, cal, u"EEEEMMMd", cache);
}

QString dayShort(const QDateTime& instant) {
    return dayShort(instant, UserCal::current());
}

QString dayShort(const QDateTime& instant, const Cal& cal) {
    thread_local IcuFormatter cache;
    return formatDay(instant, cal, u"EEEMMMd", cache);
}

QString minutesShort(qint64 minutes) {
    return duration(minutes, QStringLiteral("h"), QStringLiteral("m"));
}

QString minutes(qint64 minutes) {
    return duration(minutes, QStringLiteral(" h"), QStringLiteral(" min"));
}

std::optional<QString> countdown(const CalEvent& event, const QDateTime& now) {
    if (event.isAllDay)
        return std::nullopt;
    if (event.end <= now)
        return QStringLiteral("ended");
    if (event.start <= now) {
        const qint64 left = ceilMinutes(now.msecsTo(event.end));
        if (left < 2)
            return QStringLiteral("ending now");
        return minutes(left) + QStringLiteral(" left");
    }
    const qint64 until = ceilMinutes(now.msecsTo(event.start));
    if (until < 2)
        return QStringLiteral("starting now");
    if (until > 23 * 60 + 59)
        return std::nullopt;
    return QStringLiteral("in ") + minutes(until);
}

QString relative(const QDateTime& instant, const QDateTime& now, const Cal& cal) {
    const bool past = instant < now;
    const QDateTime from = cal.inZone(past ? instant : now);
    const QDateTime to = cal.inZone(past ? now : instant);

    // Calendar units between the two wall clocks, so that a month is a month and a day across a
    // daylight-saving change is a day.
    qint64 months =
        (qint64(to.date().year()) - from.date().year()) * 12 + to.date().month() - from.date().month();
    if (months > 0 && from.addMonths(int(months)) > to)
        --months;
    qint64 days = from.date().daysTo(to.date());
    if (days > 0 && from.addDays(days) > to)
        --days;
    const qint64 seconds = from.secsTo(to);

    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
    qint64 count = seconds;
    if (months >= 12)
        unit = UDAT_REL_UNIT_YEAR, count = months / 12;
    else if (months >= 1)
        unit = UDAT_REL_UNIT_MONTH, count = months;
    else if (days >= 7)
        unit = UDAT_REL_UNIT_WEEK, count = days / 7;
    else if (days >= 1)
        unit = UDAT_REL_UNIT_DAY, count = days;
    else if (seconds >= 3600)
        unit = UDAT_REL_UNIT_HOUR, count = seconds / 3600;
    else if (seconds >= 60)
        unit = UDAT_REL_UNIT_MINUTE, count = seconds / 60;
    const double offset = past ? -double(count) : double(count);

    struct Formatter {
        QByteArray locale;
        std::unique_ptr<URelativeDateTimeFormatter, decltype(&ureldatefmt_close)> format{nullptr,
                                                                                         &ureldatefmt_close};
    };
    thread_local Formatter cache;
    const QByteArray localeId = icuLocaleId(cal.locale());
    if (cache.locale != localeId || !cache.format) {
        UErrorCode status = U_ZERO_ERROR;
        cache.format.reset(ureldatefmt_open(localeId.constData(), nullptr, UDAT_STYLE_SHORT,
                                            UDISPCTX_CAPITALIZATION_NONE, &status));
        if (U_FAILURE(status))
            cache.format.reset();
        cache.locale = localeId;
    }
    if (cache.format) {
        UChar text[128];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            ureldatefmt_formatNumeric(cache.format.get(), offset, unit, text, 128, &status);
        if (U_SUCCESS(status))
            return QString::fromUtf16(text, length);
    }
    static const char* const names[] = {"yr.", "qtr.", "mo.", "wk.", "day", "hr.", "min.", "sec."};
    const QString amount = QString::number(count) + QLatin1Char(' ') + QLatin1String(names[unit]);
    return past ? amount + QStringLiteral(" ago") : QStringLiteral("in ") + amount;
}

} // namespace Fmt
