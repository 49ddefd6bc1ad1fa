#include "core/store/PeekInfo.h"
#include "support/TestEvents.h"

#include <QTest>

using namespace TestEvents;

namespace {

const QDateTime now = at("2026-03-04 10:00");

CalEvent inSeconds(const QString& id, qint64 startSeconds, qint64 lengthSeconds) {
    return timed(id, id, now.addSecs(startSeconds), now.addSecs(startSeconds + lengthSeconds));
}

} // namespace

struct Countdown {
    qint64 startIn, length;
    int minutesUntilStart;
    QString text;
};
struct Choice {
    QList<CalEvent> today;
    int peekMinutes;
    QString chosen; // empty: none
};
Q_DECLARE_METATYPE(Countdown)
Q_DECLARE_METATYPE(Choice)

class TestPeekInfo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void countdownText_data() {
        QTest::addColumn<Countdown>("c");
        QTest::newRow("61 s away counts two minutes") << Countdown{61, 600, 2, "in 2 min"};
        QTest::newRow("60 s away") << Countdown{60, 600, 1, "in 1 min"};
        QTest::newRow("an hour and five away") << Countdown{3900, 600, 65, "in 1h 5m"};
        QTest::newRow("started 30 s ago, 10 min left") << Countdown{-30, 630, 0, "10 min left"};
        QTest::newRow("started, 60 s left") << Countdown{-600, 660, -10, "ending"};
        QTest::newRow("started, 61 s left counts two minutes") << Countdown{-600, 661, -10, "2 min left"};
        QTest::newRow("starts this instant") << Countdown{0, 3600, 0, "1h left"};
    }
    void countdownText() {
        QFETCH(Countdown, c);
        const PeekInfo peek(inSeconds("e", c.startIn, c.length), now);
        QCOMPARE(peek.minutesUntilStart, c.minutesUntilStart);
        QCOMPARE(peek.trailingText(), c.text);
    }

    void choice_data() {
        QTest::addColumn<Choice>("c");
        QTest::newRow("just inside the window") << Choice{{inSeconds("a", 900, 600)}, 15, "a"};
        QTest::newRow("a second beyond the window") << Choice{{inSeconds("a", 901, 600)}, 15, ""};
        QTest::newRow("ended is never the peek") << Choice{{inSeconds("ended", -600, 600)}, 15, ""};
        QTest::newRow("all-day is never the peek")
            << Choice{{allDay("day", "Day", now.addSecs(-36000), now.addSecs(50400))}, 15, ""};
        QTest::newRow("a running event beats a later one")
            << Choice{{inSeconds("running", -300, 1800), inSeconds("next", 300, 600)}, 15, "running"};
        QTest::newRow("same start: the first in the list")
            << Choice{{inSeconds("first", 300, 1800), inSeconds("second", 300, 600)}, 15, "first"};
        QTest::newRow("a strictly earlier start replaces")
            << Choice{{inSeconds("later", 300, 600), inSeconds("earlier", 299, 600)}, 15, "earlier"};
        QTest::newRow("window 0: only running events")
            << Choice{{inSeconds("soon", 1, 600), inSeconds("now", 0, 600)}, 0, "now"};
    }
    void choice() {
        QFETCH(Choice, c);
        const std::optional<PeekInfo> peek = PeekInfo::choose(c.today, now, c.peekMinutes);
        QCOMPARE(peek ? peek->event.id : QString(), c.chosen);
    }
};

QTEST_GUILESS_MAIN(TestPeekInfo)
#include "tst_peekinfo.moc"
