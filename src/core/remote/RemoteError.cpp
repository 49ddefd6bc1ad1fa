#include "core/remote/RemoteError.h"

#include <QLocale>
#include <QTimeZone>

RemoteError::RemoteError(QString message, int status, std::optional<std::chrono::seconds> retryAfter,
                         bool rateLimited)
    : UserFacingError(std::move(message))
    , m_status(status)
    , m_retryAfter(retryAfter)
    , m_rateLimited(rateLimited) {}

std::optional<std::chrono::seconds> RemoteError::retryDelay(const QByteArray& header, const QDateTime& now) {
    const QByteArray text = header.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool isNumber = false;
    const qlonglong seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return seconds < 0 ? std::nullopt : std::optional(std::chrono::seconds(seconds));

    // HTTP dates are always in GMT; the preferred form first, then the older ones RFC 9110 still asks
    // recipients to read. The weekday adds nothing, and Qt would check it against a date whose
    // two-digit year it has not yet placed in the right century.
    const QString date = QString::fromLatin1(text).simplified().section(QLatin1Char(' '), 1);
    QDateTime when;
    for (const char* format :
         {"dd MMM yyyy HH:mm:ss 'GMT'", "dd-MMM-yy HH:mm:ss 'GMT'", "MMM d HH:mm:ss yyyy"}) {
        when = QLocale::c().toDateTime(date, QLatin1String(format));
        if (when.isValid())
            break;
    }
    if (!when.isValid())
        return std::nullopt;
    when.setTimeZone(QTimeZone::utc());
    // Two-digit years of the old form name the last century for values Qt places before 1950.
    if (when.date().year() < 1950)
        when = when.addYears(100);
    return std::chrono::seconds(std::max<qint64>(0, now.secsTo(when)));
}
