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
        const auto row = [](const char* name, qint64 startIn, qint64 length, int minutes, QString text) {
            QTest::newRow(name) << startIn << length << minutes << text;
        };
        row("61 s away counts two minutes", 61, 600, 2, "in 2 min");
        row("60 s away", 60, 600, 1, "in 1 min");
        row("30 s away", 30, 600, 1, "in 1 min");
        row("an hour and five away", 3900, 600, 65, "in 1h 5m");
        row("started 30 s ago, 10 min left", -30, 630, 0, "10 min left");
        row("started, 60 s left", -600, 660, -10, "ending");
        row("started, 61 s left counts two minutes", -600, 661, -10, "2 min left");
        row("starts this instant", 0, 3600, 0, "1h left");
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
        const auto row = [](const char* name, QList<CalEvent> today, int minutes, QString chosen) {
            QTest::newRow(name) << today << minutes << chosen;
        };
        row("nothing today", {}, 15, "");
        row("just inside the window", {inSeconds("a", 900, 600)}, 15, "a");
        row("a second beyond the window", {inSeconds("a", 901, 600)}, 15, "");
        row("ended is never the peek", {inSeconds("ended", -600, 600)}, 15, "");
        row("all-day is never the peek", {allDay("day", "Day", now.addSecs(-36000), now.addSecs(50400))}, 15,
            "");
        row("a running event beats a later one",
            {inSeconds("running", -300, 1800), inSeconds("next", 300, 600)}, 15, "running");
        row("same start: the first in the list",
            {inSeconds("first", 300, 1800), inSeconds("second", 300, 600)}, 15, "first");
        row("a strictly earlier start replaces",
            {inSeconds("later", 300, 600), inSeconds("earlier", 299, 600)}, 15, "earlier");
        row("window 0: only running events", {inSeconds("soon", 1, 600), inSeconds("now", 0, 600)}, 0, "now");
    }
    void choice() {
        QFETCH(QList<CalEvent>, today);
        QFETCH(int, peekMinutes);
        QFETCH(QString, chosen);
        const std::optional<PeekInfo> peek = PeekInfo::choose(today, now, peekMinutes);
        QCOMPARE(peek ? peek->event.id : QString(), chosen);
    }
};

QTEST_GUILESS_MAIN(TestPeekInfo)
#include "tst_peekinfo.moc"
