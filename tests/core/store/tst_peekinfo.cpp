#include "core/store/PeekInfo.h"
#include "support/TestEvents.h"

#include <QTest>

using namespace TestEvents;

Q_DECLARE_METATYPE(CalEvent)

namespace {

const QDateTime now = at("2026-03-04 10:00");

CalEvent inSeconds(const QString& id, qint64 startSeconds, qint64 lengthSeconds) {
    return timed(id, id, now.addSecs(startSeconds), now.addSecs(startSeconds + lengthSeconds));
}

} // namespace

class TestPeekInfo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void countdownText_data() {
        QTest::addColumn<qint64>("startIn");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("minutesUntilStart");
        QTest::addColumn<QString>("text");
        QTest::newRow("61 s away counts two minutes") << 61LL << 600LL << 2 << "in 2 min";
        QTest::newRow("60 s away") << 60LL << 600LL << 1 << "in 1 min";
        QTest::newRow("30 s away") << 30LL << 600LL << 1 << "in 1 min";
        QTest::newRow("an hour and five away") << 3900LL << 600LL << 65 << "in 1h 5m";
        QTest::newRow("started 30 s ago, 10 min left") << -30LL << 630LL << 0 << "10 min left";
        QTest::newRow("started, 60 s left") << -600LL << 660LL << -10 << "ending";
        QTest::newRow("started, 61 s left counts two minutes") << -600LL << 661LL << -10 << "2 min left";
        QTest::newRow("starts this instant") << 0LL << 3600LL << 0 << "1h left";
    }
    void countdownText() {
        QFETCH(qint64, startIn);
        QFETCH(qint64, length);
        QFETCH(int, minutesUntilStart);
        QFETCH(QString, text);
        const PeekInfo peek(inSeconds("e", startIn, length), now);
        QCOMPARE(peek.minutesUntilStart, minutesUntilStart);
        QCOMPARE(peek.trailingText(), text);
    }

    void choice_data() {
        QTest::addColumn<QList<CalEvent>>("today");
        QTest::addColumn<int>("peekMinutes");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("nothing today") << QList<CalEvent>{} << 15 << "";
        QTest::newRow("just inside the window") << QList{inSeconds("a", 900, 600)} << 15 << "a";
        QTest::newRow("a second beyond the window") << QList{inSeconds("a", 901, 600)} << 15 << "";
        QTest::newRow("ended is never the peek") << QList{inSeconds("ended", -600, 600)} << 15 << "";
        QTest::newRow("all-day is never the peek")
            << QList{allDay("day", "Day", at("2026-03-04 00:00"), at("2026-03-05 00:00"))} << 15 << "";
        QTest::newRow("a running event beats a later one")
            << QList{inSeconds("running", -300, 1800), inSeconds("next", 300, 600)} << 15 << "running";
        QTest::newRow("same start: the first in the list")
            << QList{inSeconds("first", 300, 1800), inSeconds("second", 300, 600)} << 15 << "first";
        QTest::newRow("a strictly earlier start replaces")
            << QList{inSeconds("later", 300, 600), inSeconds("earlier", 299, 600)} << 15 << "earlier";
        QTest::newRow("window 0: only running events")
            << QList{inSeconds("soon", 1, 600), inSeconds("now", 0, 600)} << 0 << "now";
    }
    void choice() {
        QFETCH(QList<CalEvent>, today);
        QFETCH(int, peekMinutes);
        QFETCH(QString, chosen);
        const std::optional<PeekInfo> peek = PeekInfo::choose(today, now, peekMinutes);
        QCOMPARE(peek ? peek->event.id : QString(), chosen);
    }

    void equalityIgnoresTheEventsOtherFields() {
        CalEvent event = inSeconds("e", 300, 600);
        const PeekInfo before(event, now);
        event.title = QStringLiteral("Renamed");
        QVERIFY(PeekInfo(event, now) == before);
        QVERIFY(!(PeekInfo(event, now.addSecs(60)) == before));
    }
};

QTEST_GUILESS_MAIN(TestPeekInfo)
#include "tst_peekinfo.moc"
