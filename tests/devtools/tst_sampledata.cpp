#include "core/model/MeetingLink.h"
#include "devtools/SampleData.h"
#include "support/WallClock.h"

#include <QSet>
#include <QTest>

// Runs in Berlin, where 29 March 2026 has 23 hours.
class TestSampleData : public QObject {
    Q_OBJECT

    const Cal m_cal = WallClock::cal("Europe/Berlin", "en_US");

private slots:
    void eventsAreTimedFromTheMoment_data() {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QStringList>("spans");
        QTest::newRow("at 20:00: the task runs past midnight, the last two are tomorrow")
            << "2026-03-04 20:00" << QStringList{"2026-03-04 00:00 → 03-05 00:00", "2026-03-04 18:30 → 19:30",
                                                 "2026-03-04 20:08 → 20:38",       "2026-03-04 22:00 → 23:00",
                                                 "2026-03-04 23:30 → 03-05 01:00", "2026-03-05 01:00 → 01:45",
                                                 "2026-03-05 04:00 → 05:00"};
        // The all-day item is a calendar day of 23 hours; offsets are elapsed time.
        QTest::newRow("on the day the clocks go forward")
            << "2026-03-29 01:00"
            << QStringList{"2026-03-29 00:00 → 03-30 00:00", "2026-03-28 23:30 → 03-29 00:30",
                           "2026-03-29 01:08 → 01:38",       "2026-03-29 04:00 → 05:00",
                           "2026-03-29 05:30 → 07:00",       "2026-03-29 07:00 → 07:45",
                           "2026-03-29 10:00 → 11:00"};
    }
    void eventsAreTimedFromTheMoment() {
        QFETCH(QString, now);
        QFETCH(QStringList, spans);
        QStringList got;
        // The user's own calendar, as the snapshots use it: the test runs in Berlin.
        for (const CalEvent& event : SampleData::events(WallClock::at(m_cal, now)))
            got << WallClock::span(m_cal, event.start, event.end);
        QCOMPARE(got, spans);
    }

    // The panel offers Join, and names the service, only for a link the app recognises.
    void meetingLinksAreRecognised() {
        QStringList services;
        for (const CalEvent& event : SampleData::events(WallClock::at(m_cal, "2026-03-04 10:00"), m_cal)) {
            const std::optional<QUrl> link = event.meetingURL();
            services << (link ? MeetingLink::serviceName(*link) : QStringLiteral("-"));
        }
        QCOMPARE(services, (QStringList{"-", "-", "Google Meet", "Zoom", "-", "Teams", "-"}));
    }
};

QTEST_GUILESS_MAIN(TestSampleData)
#include "tst_sampledata.moc"
