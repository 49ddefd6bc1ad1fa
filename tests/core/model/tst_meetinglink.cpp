#include "core/model/MeetingLink.h"

#include <QTest>

class TestMeetingLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Three texts in priority order (URL field, location, notes; null = absent), the link found and
    // its service name. Where nothing is found, the service column names the notes' first web link.
    void detect_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("service");
        const QString none;
        const auto row = [&](const char* name, const QString& url, const QString& location,
                             const QString& notes, const QString& link, const QString& service) {
            QTest::newRow(name) << url << location << notes << link << service;
        };
        row("full stop", none, none, "Join https://zoom.us/j/55.", "https://zoom.us/j/55", "Zoom");
        row("unrelated URL field", "https://wiki.example.com/Plan", none, "https://teams.live.com/meet/93",
            "https://teams.live.com/meet/93", "Teams");
        row("location beats notes", none, "https://meet.jit.si/Weekly", "https://zoom.us/j/1",
            "https://meet.jit.si/Weekly", "Jitsi");
        row("URL field beats both", "https://acme.webex.com/meet/ana", "https://meet.jit.si/W",
            "https://zoom.us/j/1", "https://acme.webex.com/meet/ana", "Webex");
        row("unknown link skipped", none, none, "https://example.com/doc https://us02web.zoom.us/my/ana",
            "https://us02web.zoom.us/my/ana", "Zoom");
        row("Teams work link", none, "<https://teams.microsoft.com/l/meetup-join/19%3ameeting_x/0>", none,
            "https://teams.microsoft.com/l/meetup-join/19%3Ameeting_x/0", "Teams");
        row("Slack huddle", none, none, "https://app.slack.com/huddle/T01/C02",
            "https://app.slack.com/huddle/T01/C02", "Slack Huddle");
        row("Slack page, no huddle", none, none, "https://app.slack.com/client/T01", none, "Video call");
        row("meeting host inside a path", none, none, "https://example.com/help/meet.google.com/zoom.us",
            none, "Video call");
        row("scheme in capitals", none, none, "HTTPS://zoom.us/j/1", none, none);
        row("no links", "", "zoom.us/j/1", "Room 4", none, none);
    }
    void detect() {
        QFETCH(QString, url);
        QFETCH(QString, location);
        QFETCH(QString, notes);
        QFETCH(QString, link);
        QFETCH(QString, service);
        const auto text = [](const QString& s) {
            return s.isNull() ? std::nullopt : std::optional<QString>(s);
        };

        const std::optional<QUrl> found = MeetingLink::detect({text(url), text(location), text(notes)});
        QCOMPARE(found ? found->toString(QUrl::FullyEncoded) : QString(), link);
        if (!service.isNull()) {
            const QUrl named = found ? *found : QUrl(MeetingLink::regex().match(notes).captured());
            QCOMPARE(MeetingLink::serviceName(named), service);
        }
    }
};

QTEST_GUILESS_MAIN(TestMeetingLink)
#include "tst_meetinglink.moc"
