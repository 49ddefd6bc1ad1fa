#include "core/remote/Rfc3339.h"
#include "core/model/TextRules.h"

#include <QRegularExpression>

namespace {

QString offsetText(int seconds) {
    if (seconds == 0)
        return QStringLiteral("Z");
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(QChar(seconds < 0 ? u'-' : u'+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

namespace Rfc3339 {

std::optional<QDateTime> parse(QStringView text) {
    static const QRegularExpression pattern = TextRules::compiled(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,9}))?(?:(Z)|([+-])(\d{2}):(\d{2}))$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto number = [&](int group) { return match.capturedView(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    int millis = 0;
    if (match.hasCaptured(7))
        millis = match.captured(7).leftJustified(3, u'0').left(3).toInt();
    const QTime time(number(4), number(5), number(6), millis);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    int offset = 0;
    if (!match.hasCaptured(8)) {
        if (number(10) > 23 || number(11) > 59)
            return std::nullopt;
        offset = (number(10) * 60 + number(11)) * 60 * (match.capturedView(9) == u"-" ? -1 : 1);
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset).toUTC();
}

QString formatUtc(const QDateTime& instant) {
    return instant.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

QString formatLocal(const QDateTime& instant, const Cal& cal) {
    const QDateTime local = cal.inZone(instant);
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + offsetText(local.offsetFromUtc());
}

QString formatDay(const QDateTime& instant, const Cal& cal) {
    return cal.dateOf(instant).toString(QStringLiteral("yyyy-MM-dd"));
}

std::optional<QDateTime> parseDay(QStringView text, const Cal& cal) {
    static const QRegularExpression pattern =
        TextRules::compiled(QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate day(match.capturedView(1).toInt(), match.capturedView(2).toInt(),
                    match.capturedView(3).toInt());
    if (!day.isValid())
        return std::nullopt;
    return cal.startOfDay(day);
}

} // namespace Rfc3339
