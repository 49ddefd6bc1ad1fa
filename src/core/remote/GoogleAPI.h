#pragma once

#include "core/model/Cal.h"
#include "core/model/CalEvent.h"
#include "core/remote/GoogleRecords.h"
#include "core/remote/RemoteHttp.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <QCoroTask>

#include <optional>
#include <utility>

// The Google Calendar API v3 and OAuth token client. It holds no state: every call takes the access
// token (or the form) it needs, sends its request through the RemoteSession, and returns decoded JSON
// or mapped events.
//
// Errors: an HTTP status of 300 or more throws GoogleError (texts below); a request that gets no HTTP
// reply at all throws TransportError unchanged. Messages can quote text from Google's servers: show
// them as plain text (Qt::PlainText), never as rich text.
//
// Coroutines take their arguments by value, so the caller's objects may change or go away while a
// call is under way. Dates are read and written in the calendar the caller passes (the user's).
namespace GoogleAPI {

using Query = RemoteHttp::Query;
// Form fields for the token endpoint.
using Form = QMap<QString, QString>;

// ---- Paths (relative to the Calendar API base)

// A calendar or event id for a URL path: Unicode letters, marks and digits and "-._~@" stay, every
// other character is percent-encoded ("#" → %23, "/" → %2F, " " → %20).
QString encodePathId(const QString& id);
// "calendars/<calendar>/events", where new events are inserted and events are listed.
QString eventsPath(const QString& calendarID);
// "calendars/<calendar>/events/<event>".
QString eventPath(const QString& calendarID, const QString& eventID);

// ---- Transport

// GET with a 20 s time-out. Status ≥ 300: GoogleError with Google's "error"."message", else "HTTP <n>";
// a rate or quota limit (429, or 403 for the reasons rateLimitExceeded, userRateLimitExceeded,
// dailyLimitExceeded and quotaExceeded) reads "Google is rate-limiting — try again in a moment", as for
// a write, and is marked rate-limited. Every GoogleError of a reply carries its status and Retry-After.
QCoro::Task<QJsonObject> get(QString path, Query query, QString token);
// Follows "nextPageToken" and collects every page's "items"; stops at the first page boundary at or
// beyond 2,500 items. Of each page it keeps at most the query's "maxResults" items (250 when it names
// none). An error on any page fails the whole listing, as do a page that is not a listing ("Google's
// reply could not be read") and a token that comes round again or pages past 5,000
// (Pager::EndlessListing); short and empty pages are read on.
QCoro::Task<QList<QJsonObject>> paginate(QString path, Query query, QString token);
// Sends `body` as compact JSON (a JSON null is written as null) with the given method ("POST",
// "PATCH"); 25 s time-out. Status ≥ 300 throws friendlyError. Returns the reply's JSON object, empty
// when the reply is empty or not an object.
QCoro::Task<QJsonObject> send(QString method, QString path, Query query, QJsonObject body, QString token);
// The error of a failed write: its message decided by the status and Google's first error reason, with
// the status and the wait the reply asked for.
GoogleError friendlyError(int status, const QJsonObject& json,
                          std::optional<std::chrono::seconds> retryAfter = std::nullopt);

// ---- Tokens

// POSTs the form to the token endpoint (20 s). Status ≥ 300 throws GoogleError with the reply's
// "error" (else "HTTP <n>"), then ": " and "error_description" when there is one.
QCoro::Task<QJsonObject> token(Form form);
// When the access token of a token reply expires: "expires_in" seconds after `now`, or an hour when
// the reply gives no lifetime between 0 and a day (a larger one would put the expiry where the stored
// account can no longer be read back).
QDateTime tokenExpiry(const QJsonObject& reply, const QDateTime& now);

// Google refused the account's refresh token ("invalid_grant"): the user must connect it again.
// The message reads "<email> needs to be reconnected (token expired or revoked)".
class ReconnectNeeded : public GoogleError {
public:
    explicit ReconnectNeeded(const QString& email);
};

struct ValidToken {
    QString token;
    // The account as it was passed in, with the renewed token and expiry and needsReauth cleared when
    // the token was renewed; the caller saves it.
    GoogleAccount account;
};

// The account's access token, renewed with its refresh token when it is missing or expires within
// 90 s. Throws ReconnectNeeded when Google refuses the refresh token (the caller marks the account),
// "No access token in refresh response" for a reply without one, and the token endpoint's errors.
QCoro::Task<ValidToken> validToken(GoogleAccount account, GoogleConfig config);

// ---- Reading

struct CalendarList {
    QList<GoogleCalendarInfo> list; // primary first, then by summary ignoring case
    QSet<QString> unselected;       // ids of calendars not selected in the user's Google calendar list
};

// The account's calendars (at least reader access, hidden ones left out).
QCoro::Task<CalendarList> calendarList(QString token);
// One calendar's events that overlap [from, to], recurring events expanded, in Google's order (by
// start). Cancelled events, events the user declined and unreadable objects are left out.
QCoro::Task<QList<CalEvent>> events(GoogleCalendarInfo calendar, QString account, QDateTime from,
                                    QDateTime to, QString token, Cal cal);
// One Google event object as a CalEvent; none when it has no id or no usable start and end, is
// cancelled, or the user declined it.
std::optional<CalEvent> event(const QJsonObject& json, const GoogleCalendarInfo& calendar,
                              const QString& account, const Cal& cal);
// A "start" or "end" object: its instant and whether it is all-day ("date" read as the day's start in
// the calendar's zone). None when neither form reads.
std::optional<std::pair<QDateTime, bool>> date(const QJsonObject& json, const Cal& cal);
// An event description as plain text: line breaks for <br>, </p>, </div> and </li>, other tags
// removed, the common entities decoded, trimmed.
QString stripHTML(const QString& html);

// ---- Writes

struct Slot {
    QDateTime start;
    QDateTime end;
    bool allDay = false;
};

// The IANA name of the zone when it is one Google accepts ("Area/City" or "UTC"); none for a zone
// known only by a POSIX rule or not at all. Without it a write names no zone and the offset in
// "dateTime" fixes the instant.
std::optional<QString> timeZoneId(const QTimeZone& zone);
// A "start" or "end" object for a write, always with all three keys: {"date", "dateTime": null,
// "timeZone": null} for an all-day slot, {"dateTime" with the calendar's offset, "timeZone",
// "date": null} otherwise.
QJsonObject slotTime(const QDateTime& instant, bool allDay, const Cal& cal);
// The "conferenceData" that asks Google for a new Google Meet link, under a fresh request id or the
// given one.
QJsonObject newMeetConference();
QJsonObject newMeetConference(const QString& requestId);

// The ids a client gives a new event, so that sending the same insert again cannot store it twice: the
// event's own id (26 characters of Google's base32hex alphabet, a-v and 0-9, from a random UUID) and
// the request id of its Meet conference. The caller keeps them for as long as it may try again.
struct InsertIds {
    QString eventId;
    QString conferenceRequestId;

    static InsertIds fresh();
    friend bool operator==(const InsertIds&, const InsertIds&) = default;
};
// Google holds an event under the id an insert named that is not the one being inserted: deleted
// since (Google keeps the ids of deleted events), or another event. Nothing was written; the insert
// has to go out again under new ids.
class IdInUse : public GoogleError {
public:
    IdInUse();
};

// POSTs a new event into the calendar; `body` carries the event's own "id", and the insert adds a
// private extended property holding that id. When Google answers 409 (that id exists), the stored
// event is read: when it is live and carries the property, an earlier try was stored although its
// answer was lost, and the stored event, as the user may have renamed or moved it since, is this
// insert's result. Otherwise throws IdInUse. Write errors as for send; the read's as for get.
QCoro::Task<QJsonObject> insertEvent(QString calendarID, Query query, QJsonObject body, QString token);

// Changes an event: a new title, a new time, the guest list, adding or removing a Google Meet link.
// Always reads the event first. `invitees` is the complete list of guests wanted besides the user and
// the organizer: guests not in it are removed, so pass every guest that should stay. With notify,
// Google e-mails the guests. Returns the updated event; a reply that does not map throws "Google
// updated the event but returned something unexpected". Read errors as for get, write errors as for
// send.
QCoro::Task<CalEvent> updateEvent(GoogleCalendarInfo calendar, QString account, QString eventID,
                                  std::optional<QString> title, std::optional<Slot> slot,
                                  QStringList invitees, bool meet, bool hadMeet, bool notify, QString token,
                                  Cal cal);
// Declines an invitation for the user (Google tells the organizer). Throws "You are not on this
// event's guest list" when the user is no attendee. Returns the event as Google now has it, normally
// none since declined events are not shown.
QCoro::Task<std::optional<CalEvent>> declineEvent(GoogleCalendarInfo calendar, QString account,
                                                  QString eventID, QString token, Cal cal);
// Deletes an event; with notify Google e-mails the guests. An event already gone (404, 410) counts as
// deleted. Errors as for get (a rate or quota limit included).
QCoro::Task<> deleteEvent(QString calendarID, QString eventID, bool notify, QString token);

} // namespace GoogleAPI
