#include "devtools/SampleData.h"

#include <QColor>
#include <QUrl>

namespace SampleData {

namespace {

const QColor work = QColor::fromRgbF(0.33f, 0.55f, 0.98f);
const QColor personal = QColor::fromRgbF(0.35f, 0.78f, 0.5f);
const QColor notion = QColor::fromRgbF(0.98f, 0.62f, 0.29f);

const QString userFirstName = QStringLiteral("Maren");
const QString project = QStringLiteral("Aurora");
const QUrl notionPage(QStringLiteral("notion://www.notion.so/sample"));

CalEvent event(const QString& title, const QDateTime& start, const QDateTime& end, const QColor& color,
               const QString& calendarName, EventSource source) {
    CalEvent e;
    e.id = CalEvent::sampleId(title);
    e.title = title;
    e.start = start;
    e.end = end;
    e.color = color;
    e.calendarName = calendarName;
    e.source = source;
    if (source == EventSource::calendar)
        e.ekIdentifier = QStringLiteral("sample");
    e.organizerIsMe = true;
    e.calendarEditable = true;
    return e;
}

Attendee attendee(const QString& name, Attendee::Status status, std::optional<QString> email) {
    Attendee a;
    a.name = name;
    a.status = status;
    a.email = std::move(email);
    return a;
}

} // namespace

QList<CalEvent> events(const QDateTime& now, const Cal& cal) {
    const auto minutes = [&](qint64 m) { return now.addSecs(m * 60); };
    QList<CalEvent> out;

    // A calendar day, not 24 hours: the day of a daylight-saving change is 23 or 25 hours long.
    const QDateTime dayStart = cal.startOfDay(now);
    CalEvent launch = event(QStringLiteral("Launch week"), dayStart, cal.addDays(dayStart, 1), notion,
                            QStringLiteral("Roadmap"), EventSource::notion);
    launch.id = QStringLiteral("sample:launch");
    launch.isAllDay = true;
    launch.notionURL = notionPage;
    launch.notionStatus = QStringLiteral("In progress");
    launch.notionIcon = QStringLiteral("\U0001F680");
    launch.lastEdited = minutes(-120);
    out << launch;

    out << event(QStringLiteral("Morning focus block"), minutes(-90), minutes(-30), personal,
                 QStringLiteral("Personal"), EventSource::calendar);

    CalEvent standup = event(QStringLiteral("Standup"), minutes(8), minutes(38), work, QStringLiteral("Work"),
                             EventSource::calendar);
    standup.notes = QStringLiteral("Daily sync.\n\nJoin: https://meet.google.com/qvd-rmxa-tpk");
    out << standup;

    CalEvent review = event(QStringLiteral("Design review · ") + project + QStringLiteral(" site"),
                            minutes(120), minutes(180), work, QStringLiteral("Work"), EventSource::google);
    review.location = QStringLiteral("https://us06web.zoom.us/j/84127730561?pwd=aUr0raDes1gnRev");
    review.notes = QStringLiteral("Agenda\n"
                                  "1. Hero section variants\n"
                                  "2. Waitlist API copy\n"
                                  "3. Fonts and brand tokens\n"
                                  "\n"
                                  "Bring the Figma file.");
    Attendee me = attendee(userFirstName, Attendee::Status::accepted, std::nullopt);
    me.isOrganizer = true;
    me.isMe = true;
    const QString pending = QStringLiteral("pia.lund@example.org");
    review.attendees = {
        me,
        attendee(QStringLiteral("Ondrea Vask"), Attendee::Status::accepted,
                 QStringLiteral("ondrea.vask@example.com")),
        attendee(QStringLiteral("Oskel Marrin"), Attendee::Status::tentative,
                 QStringLiteral("oskel.marrin@example.com")),
        attendee(pending, Attendee::Status::pending, pending),
    };
    review.organizer = userFirstName;
    out << review;

    CalEvent outreach =
        event(QStringLiteral("Write ") + project + QStringLiteral(" outreach sequence"), minutes(210),
              minutes(300), notion, QStringLiteral("Tasks"), EventSource::notion);
    outreach.notionURL = notionPage;
    outreach.notionStatus = QStringLiteral("Not started");
    outreach.notionIcon = QStringLiteral("\u270D\uFE0F");
    outreach.lastEdited = minutes(-90);
    out << outreach;

    CalEvent investors = event(QStringLiteral("Investor call"), minutes(300), minutes(345), work,
                               QStringLiteral("Work"), EventSource::calendar);
    investors.location = QStringLiteral("https://teams.microsoft.com/l/meetup-join/19%3ameeting_"
                                        "NzU1ZjQ0YTctMmE0Yy00@thread.v2/0");
    out << investors;

    CalEvent gym = event(QStringLiteral("Gym"), minutes(480), minutes(540), personal,
                         QStringLiteral("Personal"), EventSource::calendar);
    gym.location = QStringLiteral("Forge Athletics, Kreuzberg");
    out << gym;

    return out;
}

} // namespace SampleData
