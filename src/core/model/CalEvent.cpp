#include "core/model/CalEvent.h"

#include "core/model/Cal.h"
#include "core/model/MeetingLink.h"

#include <algorithm>

namespace {

// The longest run of days one event is spread over: enough for any real multi-day event, and a bound
// on the work that a runaway range from a broken source can cause.
constexpr int maxDays = 62;

} // namespace

QString CalEvent::localId(const QString& identifier, const QDateTime& occurrence) {
    // Integer division truncates toward zero, also before 1970.
    return identifier + QLatin1Char(':') + QString::number(occurrence.toMSecsSinceEpoch() / 1000);
}

QString CalEvent::googleId(const QString& accountEmail, const QString& calendarId, const QString& eventId) {
    return QStringLiteral("g:") + accountEmail + QLatin1Char(':') + calendarId + QLatin1Char(':') + eventId;
}

QString CalEvent::notionId(const QString& pageId) {
    return QStringLiteral("notion:") + pageId;
}

QString CalEvent::sampleId(const QString& title) {
    return QStringLiteral("sample:") + title;
}

QString CalEvent::previewAlertId() {
    return QStringLiteral("preview:alert");
}

std::optional<QUrl> CalEvent::meetingURL() const {
    std::optional<QString> urlText;
    if (url)
        urlText = url->toString(QUrl::FullyEncoded);
    return MeetingLink::detect({urlText, location, notes});
}

bool CalEvent::hasGoogleMeet() const {
    const auto link = meetingURL();
    return link && MeetingLink::serviceName(*link) == QLatin1String("Google Meet");
}

bool CalEvent::canDecline() const {
    if (source == EventSource::notion || !calendarEditable || organizerIsMe)
        return false;
    return std::any_of(attendees.begin(), attendees.end(), [](const Attendee& a) { return a.isMe; });
}

QList<QDateTime> CalEvent::days(const Cal& cal) const {
    QList<QDateTime> result;
    if (!start.isValid() || !end.isValid())
        return result;
    const QDateTime lastInstant = std::max(end.addSecs(-1), start);
    const QDate first = cal.dateOf(start);
    const QDate last = cal.dateOf(lastInstant);
    // Walked on dates, not by adding a day to the previous start: where a day starts at 01:00, the
    // following day still starts at midnight.
    for (QDate day = first; day <= last && result.size() < maxDays; day = day.addDays(1)) {
        const QDateTime dayStart = cal.startOfDay(day);
        if (cal.dateOf(dayStart) == day) // a day the zone skips entirely is touched by nothing
            result.append(dayStart);
    }
    return result;
}

bool operator==(const CalEvent& a, const CalEvent& b) {
    return a.id == b.id && a.start == b.start && a.end == b.end && a.title == b.title &&
           a.lastEdited == b.lastEdited && a.notionStatus == b.notionStatus;
}

bool identical(const CalEvent& a, const CalEvent& b) {
    return a == b && a.isAllDay == b.isAllDay && a.color == b.color && a.calendarName == b.calendarName &&
           a.location == b.location && a.notes == b.notes && a.url == b.url && a.attendees == b.attendees &&
           a.organizer == b.organizer && a.source == b.source && a.ekIdentifier == b.ekIdentifier &&
           a.notionURL == b.notionURL && a.notionIcon == b.notionIcon && a.webLink == b.webLink &&
           a.googleAccount == b.googleAccount && a.googleCalendarID == b.googleCalendarID &&
           a.googleEventID == b.googleEventID && a.organizerIsMe == b.organizerIsMe &&
           a.calendarEditable == b.calendarEditable && a.isRecurring == b.isRecurring &&
           a.unexpandedRule == b.unexpandedRule;
}

bool identical(const QList<CalEvent>& a, const QList<CalEvent>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const CalEvent& x, const CalEvent& y) { return identical(x, y); });
}

size_t qHash(const CalEvent& event, size_t seed) noexcept {
    return qHashMulti(seed, event.id, event.start.toMSecsSinceEpoch());
}
