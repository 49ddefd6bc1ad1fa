#include "StoreHarness.h"

#include "core/model/Fmt.h"
#include "core/model/UserCal.h"
#include "support/FakeGoogle.h"
#include "support/FakeNotion.h"
#include "support/TaskResult.h"
#include "support/TestFiles.h"
#include "support/WallClock.h"

#include <QTest>

namespace {

// Sets the system's zone (TZ) for the life of the object and has the app take it; the old one after.
class SystemZone {
public:
    explicit SystemZone(const QByteArray& zone)
        : m_saved(qgetenv("TZ")) {
        set(zone);
    }
    ~SystemZone() { set(m_saved); }
    static void set(const QByteArray& zone) {
        qputenv("TZ", zone);
        UserCal::followSystem();
    }

private:
    QByteArray m_saved;
};

} // namespace

struct Move {
    QByteArray from, to;
    QString now;       // the wall time in `from` when the zone changes
    QString today;     // the day selected afterwards, in `to`
    QString timed;     // a meeting's start on the wall clock of `from`
    QString timedDay;  // its day in `to`
    QString timedText; // its time as shown in `to`
};
Q_DECLARE_METATYPE(Move)

// The system's zone changes while the app runs: within one tick the agenda, the texts and the
// all-day dates of every source move to the new zone together.
class TestStoreZone : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everythingMovesToTheNewZone_data() {
        QTest::addColumn<Move>("c");
        QTest::newRow("Berlin to New York") << Move{"Europe/Berlin", "America/New_York", "2026-03-04 10:00",
                                                    "2026-03-04",    "2026-03-05 02:00", "2026-03-04",
                                                    "20:00"};
        // Today is the 5th in Auckland and still the 4th in Honolulu.
        QTest::newRow("back across the date line") << Move{"Pacific/Auckland",
                                                           "Pacific/Honolulu",
                                                           "2026-03-05 09:00",
                                                           "2026-03-04",
                                                           "2026-03-05 12:00",
                                                           "2026-03-04",
                                                           "13:00"};
    }
    void everythingMovesToTheNewZone() {
        QFETCH(Move, c);
        const SystemZone zone(c.from);
        StoreHarness h(c.now, WallClock::cal(c.from.constData(), "de_DE"));
        const QString allDay = QStringLiteral("2026-03-06");
        h.connect(QStringLiteral("ada@corp.io"));
        h.google->add("ada@corp.io",
                      FakeGoogle::allDayEvent("offsite", "Offsite", QDate(2026, 3, 6), QDate(2026, 3, 7)));
        h.addGoogle("ada@corp.io", "Call", c.timed);
        h.settings->setNotionToken(h.notion->token);
        h.settings->setNotionDatabases({{"db", "Roadmap", std::nullopt, "Due"}});
        h.notion->pages["db"] << FakeNotion::page("launch", "Launch", "Due", allDay);
        QVERIFY(TestFiles::write(
            h.collection + "/holiday.ics",
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:test\r\nBEGIN:VEVENT\r\nUID:holiday\r\n"
            "DTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:20260306\r\n"
            "DTEND;VALUE=DATE:20260307\r\nSUMMARY:Holiday\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
        TestableStore& store = h.start(true);
        QCOMPARE(h.titlesOn(allDay), (QStringList{"Holiday", "Launch", "Offsite"}));

        // Syncs under way when the zone changes read their dates in the old one.
        h.google->holds.hold("events ada@corp.io");
        h.notion->holds.hold("pages db");
        const auto google = startTask(store.refreshGoogle());
        const auto notion = startTask(store.refreshNotion());
        QVERIFY(h.google->holds.waitFor("events ada@corp.io") && h.notion->holds.waitFor("pages db"));

        qputenv("TZ", c.to);
        QCOMPARE(store.cal().zone().id(), c.from);
        h.advance(10);
        const auto inNewZone = [&] {
            QCOMPARE(store.cal().zone().id(), c.to);
            QCOMPARE(store.selectedDate(), h.at(c.today + " 00:00"));
            QCOMPARE(store.weekStart(), h.at("2026-03-02 00:00"));
            QCOMPARE(h.titlesOn(allDay), (QStringList{"Holiday", "Launch", "Offsite"}));
            for (const char* title : {"Holiday", "Launch", "Offsite"})
                QVERIFY(!h.titlesOn("2026-03-05").contains(title));
            QVERIFY(h.titlesOn(c.timedDay).contains("Call"));
            QCOMPARE(Fmt::time(h.googleEvent("Call").start), c.timedText);
            QCOMPARE(Fmt::dayShort(h.googleEvent("Offsite").start), Fmt::dayShort(h.at(allDay + " 12:00")));
        };
        inNewZone();
        if (QTest::currentTestFailed())
            return;

        h.google->holds.release("events ada@corp.io");
        h.notion->holds.release("pages db");
        QVERIFY(finish(*google) && finish(*notion));
        h.settle();
        inNewZone();
    }

    // A store made while the calendar is in use by hand keeps it until the system itself changes.
    void followsOnlyChangesOfTheSystem() {
        const Cal london = WallClock::cal("Europe/London", "en_GB");
        UserCal::use(london);
        QVERIFY(!UserCal::followSystem());
        QCOMPARE(UserCal::current(), london);
        const SystemZone zone("Asia/Tokyo");
        QCOMPARE(UserCal::current().zone().id(), QByteArray("Asia/Tokyo"));
        QCOMPARE(UserCal::current().locale(), london.locale());
    }
};

QTEST_GUILESS_MAIN(TestStoreZone)
#include "tst_storezone.moc"
