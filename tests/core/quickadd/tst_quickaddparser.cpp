#include "core/model/TextRules.h"
#include "core/quickadd/DateDetector.h"
#include "core/quickadd/QuickAddParser.h"
#include "support/WallClock.h"

#include <QRandomGenerator>
#include <QTest>

Q_DECLARE_METATYPE(DateMatch)

namespace {

// A detector that answers what it was told, to test the parser's own choices apart from detection.
class ScriptedDetector : public DateDetector {
public:
    explicit ScriptedDetector(QList<DateMatch> script)
        : m_script(std::move(script)) {}
    QList<DateMatch> matches(QStringView, const QDateTime&, const Cal&) const override { return m_script; }

private:
    QList<DateMatch> m_script;
};

// The people directory as the event store answers it: a known first name, a full address, and a
// recent invitee whose name is not known.
std::optional<Person> directory(const QString& typed) {
    const QString key = typed.toLower();
    if (key == u"ondrea" || key == u"ondrea@corp.io")
        return Person(QStringLiteral("ondrea@corp.io"), QStringLiteral("Ondrea Vask"));
    if (key == u"bo")
        return Person(QStringLiteral("bo@corp.io"), QStringLiteral("Bo Berg"));
    if (key == u"ann")
        return Person(QStringLiteral("ann@corp.io"), QString());
    return std::nullopt;
}

// "title | start → end | flags", flags being D(ate), T(ime), Y (day named) and A(ll day typed), then
// the length typed, if any, in seconds.
QString summary(const QuickAddDraft& d, const Cal& cal) {
    const QString flags = QString(d.hasDate ? "D" : "") + (d.hasTime ? "T" : "") + (d.hasDay ? "Y" : "") +
                          (d.explicitAllDay ? "A" : "") +
                          (d.typedLengthSec ? " " + QString::number(*d.typedLengthSec) + "s" : "");
    return d.title + QStringLiteral(" | ") + WallClock::span(cal, d.start, d.end) + QStringLiteral(" | ") +
           flags;
}

} // namespace

class TestQuickAddParser : public QObject {
    Q_OBJECT

    const Cal m_cal = WallClock::cal();
    const QDateTime m_now = WallClock::at(m_cal, "2026-12-05 10:00"); // a Saturday

private slots:
    void normalize_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("normalized");
        const auto row = [](const char* name, const char* text, const char* normalized) {
            QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(normalized);
        };
        row("abbreviation with stop", "Sync Tues. 3pm", "Sync Tuesday 3pm");
        row("whole words only", "month Monday mon", "month Monday Monday");
        row("afternoon hour", "meet at 5", "meet at 5pm");
        row("leading zero", "call at 07", "call at 7pm");
        row("not an hour of the day", "at 0 or at 13", "at 0 or at 13");
        row("range to a period", "Dinner at 10-11pm, at 7 to 9 p.m.", "Dinner at 10-11pm, at 7 to 9 p.m.");
        row("range without a period", "at 10-11", "at 10am-11");
    }
    void normalize() {
        QFETCH(QString, text);
        QFETCH(QString, normalized);
        QCOMPARE(QuickAddParser::normalize(text), normalized);
    }

    void patterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("match");
        const auto row = [](const char* name, const char* pattern, const char* text, const char* match) {
            QTest::newRow(name) << pattern << text << match;
        };
        row("D: first of two", "D", "Gym 1h 30m", "1h");
        row("A: hyphen, any case", "A", "Offsite ALL-DAY", "ALL-DAY");
        row("A: whole words", "A", "ball day", "");
        row("W: time range", "W", "10:30-11:30", "");
        row("M: joined names", "M", "Coffee W/ Ondrea & Oskel, Bo", "W/ Ondrea & Oskel, Bo");
        row("E: inside text", "E", "mail Bob.Smith+x@corp.io now", "Bob.Smith+x@corp.io");
    }
    void patterns() {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(QString, match);
        const QHash<QString, const QRegularExpression*> byName{{"D", &QuickAddParser::duration()},
                                                               {"A", &QuickAddParser::allDay()},
                                                               {"W", &QuickAddParser::dayWords()},
                                                               {"M", &QuickAddParser::mentions()},
                                                               {"E", &TextRules::emailPattern()}};
        QCOMPARE(byName[pattern]->match(text).captured(0), match);
    }

    // Whole lines through the real detector, with a default length of 30 minutes.
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("draft");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("zone");
        const auto row = [](const char* name, const char* text, const char* draft,
                            const char* now = "2026-12-05 10:00", const char* zone = "Europe/Berlin") {
            QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(draft) << now << zone;
        };
        row("empty line", "", "New event | 2026-12-05 00:00 → 12-06 00:00 | ");
        row("passed 120 s ago", "standup at 9", "standup | 2026-12-05 09:00 → 09:30 | DT",
            "2026-12-05 09:02");
        row("passed 121 s ago", "standup at 9", "standup | 2026-12-06 09:00 → 09:30 | DT",
            "2026-12-05 09:02:01");
        row("day word keeps the past", "standup today at 9", "standup | 2026-12-05 09:00 → 09:30 | DTY");
        row("duration phrase", "Call 3pm for 1,5 h", "Call | 2026-12-05 15:00 → 16:30 | DT 5400s");
        row("five-minute minimum", "Call 3pm 2m", "Call | 2026-12-05 15:00 → 15:05 | DT 300s");
        row("detected range wins", "Workshop 3-4pm for 2 hours",
            "Workshop | 2026-12-05 15:00 → 16:00 | DT 7200s");
        row("past midnight", "Party at 11pm for 5 hours",
            "Party | 2026-12-05 23:00 → 12-06 04:00 | DT 18000s");
        row("number with a decimal", "Call in 2.5 hours",
            "Call in 2.5 hours | 2026-12-05 00:00 → 12-06 00:00 | ");
        // A date more than a century away is a typing accident, read as no date; a nearer one still counts.
        row("far-off date", "Review in 999999999 days",
            "Review in 999999999 days | 2026-12-05 00:00 → 12-06 00:00 | ");
        row("far-off date beside a near one", "Review friday in 99999 weeks",
            "Review in 99999 weeks | 2026-12-11 00:00 → 12-12 00:00 | DY");
        // A length without a time is kept for the free slot a meeting gets.
        row("length on a day", "meet with x@y.zz on Dec 14 for 30 min",
            "meet | 2026-12-14 00:00 → 12-15 00:00 | DY 1800s");
        row("length alone", "Review for 1 hour", "Review | 2026-12-05 00:00 → 12-06 00:00 |  3600s");
        row("all day", "Offsite all day friday", "Offsite | 2026-12-11 00:00 → 12-12 00:00 | DYA");
        row("day range", "Conference Dec 24 - 26", "Conference | 2026-12-24 00:00 → 12-27 00:00 | DY");
        row("trailing connectors", "Planning with invite", "Planning | 2026-12-05 00:00 → 12-06 00:00 | ");
        // Calendar days, not 86,400 seconds; a timed length is absolute.
        const char *autumn = "2026-10-20 10:00", *santiago = "America/Santiago";
        row("all day on the 25-hour day", "Offsite oct 25", "Offsite | 2026-10-25 00:00 → 10-26 00:00 | DY",
            autumn);
        row("today without its midnight", "Buy milk", "Buy milk | 2026-09-06 01:00 → 09-07 00:00 | ",
            "2026-09-06 10:00", santiago);
        row("all day without its midnight", "Offsite sep 6", "Offsite | 2026-09-06 01:00 → 09-07 00:00 | DY",
            "2026-09-01 10:00", santiago);
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(QString, draft);
        QFETCH(QString, now);
        QFETCH(QString, zone);
        const Cal cal = WallClock::cal(qPrintable(zone));
        const QuickAddDraft d = QuickAddParser::parse(text, WallClock::at(cal, now), 30, cal);
        QCOMPARE(summary(d, cal), draft);
        QCOMPARE(d.isAllDay, !d.hasTime);
    }

    // Which detected match is used, how much of it leaves the title, and how many days a span covers.
    void detectorMatches_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<DateMatch>>("script");
        QTest::addColumn<QString>("draft");
        const QDateTime fri = WallClock::at(m_cal, "2026-12-11 12:00"),
                        mon = WallClock::at(m_cal, "2026-12-07 12:00");
        const QDateTime three = WallClock::at(m_cal, "2026-12-05 15:00");
        const auto row = [](const char* name, const char* text, QList<DateMatch> script, const char* draft) {
            QTest::newRow(name) << text << script << draft;
        };
        row("first with a time", "Meet friday 3pm monday",
            {{5, 6, fri, 0}, {12, 3, three, 0}, {16, 6, mon, 0}},
            "Meet friday monday | 2026-12-05 15:00 → 16:00 | DT");
        row("else the last", "Meet friday or monday", {{5, 6, fri, 0}, {15, 6, mon, 0}},
            "Meet friday or | 2026-12-07 00:00 → 12-08 00:00 | DY");
        row("no date", "Meet monday", {{5, 6, std::nullopt, 0}},
            "Meet monday | 2026-12-05 00:00 → 12-06 00:00 | ");
        row("title words inside the span", "Lunch tomorrow", {{0, 14, mon, 0}},
            "Lunch | 2026-12-07 00:00 → 12-08 00:00 | DY");
        row("two days without a time: three", "Trip monday", {{5, 6, mon, 2 * 86400}},
            "Trip | 2026-12-07 00:00 → 12-10 00:00 | DY");
        row("two days, all day and a time: two", "Trip all day monday 9am", {{6, 10, mon, 2 * 86400}},
            "Trip | 2026-12-07 00:00 → 12-09 00:00 | DYA");
    }
    void detectorMatches() {
        QFETCH(QString, text);
        QFETCH(QList<DateMatch>, script);
        QFETCH(QString, draft);
        const ScriptedDetector detector(script);
        QCOMPARE(summary(QuickAddParser::parse(text, m_now, 60, m_cal, {}, &detector), m_cal), draft);
    }

    void guests_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("resolver");
        QTest::addColumn<QString>("result"); // invitees (e-mail/name), then " | " and the title
        const auto row = [](const char* name, const char* text, const char* result, bool resolver = true) {
            QTest::newRow(name) << text << resolver << result;
        };
        row("one of two resolves", "Coffee with Ondrea and Oskel",
            "ondrea@corp.io/Ondrea Vask | Coffee with Oskel");
        row("none resolves", "Coffee with Oskel and Olaf", " | Coffee with Oskel and Olaf");
        row("addresses in typed order", "Sync b@x.io then a@x.io", "b@x.io/, a@x.io/ | Sync then");
        row("address and name of one person", "Lunch with Ondrea ONDREA@corp.io",
            "ONDREA@corp.io/Ondrea Vask | Lunch");
        row("name before address", "Design sync with Ondrea and guest@elsewhere.org tomorrow",
            "ondrea@corp.io/Ondrea Vask, guest@elsewhere.org/ | Design sync");
        row("unnamed guest after address", "Sync bob@x.io with Ann", "bob@x.io/, ann@corp.io/ | Sync");
        row("weekdays inside addresses", "Call mon@x.org, bob@sun.com", "mon@x.org/, bob@sun.com/ | Call");
    }
    void guests() {
        QFETCH(QString, text);
        QFETCH(bool, resolver);
        QFETCH(QString, result);
        const QuickAddDraft d = QuickAddParser::parse(
            text, m_now, 60, m_cal, resolver ? QuickAddParser::Resolver(directory) : nullptr);
        QStringList people;
        for (const Person& p : d.invitees)
            people.append(p.email + u'/' + p.name);
        QCOMPARE(people.join(QStringLiteral(", ")) + QStringLiteral(" | ") + d.title, result);
    }

    // Every line gives a well-formed draft: random words and dates mixed with what a paste can bring
    // (control characters, right-to-left text, lone surrogates, stray quotes, very long text).
    void neverFails() {
        const QStringList pieces =
            QString::fromUtf8(
                "Lunch|with|Ondrea|and|Bo|a@x.io|tomorrow|3pm|at|9|all day|for|1,5 h|-|–|to|Dec|31|"
                "2026|12/5|next|week|the|3rd|tonight|noon|in|2|days|hours|o'clock|@|,|\"|“|'|w/|&|"
                "11-1pm|99999999999|999999999|weeks|9999|\u202e|\u05e9\u05dc\u05d5\u05dd|\u0001|\t|"
                "\n|\u0663|\U0001F600|Feb 30|25:00|mon.")
                .split(u'|');
        const QuickAddParser::Resolver anyone = [](const QString& name) -> std::optional<Person> {
            if (name.isEmpty() || !name[0].isUpper())
                return std::nullopt;
            return Person(name.toLower() + QStringLiteral("@corp.io"), name);
        };
        QRandomGenerator random(20261205);
        for (int i = 0; i < 3000; ++i) {
            QString line;
            const int words = int(random.bounded(i % 100 == 0 ? 2000 : 12));
            for (int w = 0; w < words; ++w) {
                line += random.bounded(8) == 0 ? QString(QChar(char16_t(random.bounded(0xD800, 0xE000))))
                                               : pieces[random.bounded(int(pieces.size()))];
                line += random.bounded(5) == 0 ? QString() : QStringLiteral(" ");
            }
            const QuickAddDraft d =
                QuickAddParser::parse(line, m_now, int(random.bounded(-10, 600)), m_cal, anyone);
            const QByteArray where = "line " + QByteArray::number(i);
            QVERIFY2(!d.title.isEmpty() && d.title == d.title.trimmed(), where.constData());
            QVERIFY2(d.start.isValid() && d.end.isValid() && d.end > d.start, where.constData());
            QVERIFY2(d.isAllDay == !d.hasTime && (d.hasDate || !(d.hasTime || d.hasDay)), where.constData());
            QVERIFY2(!d.isAllDay || d.start == m_cal.startOfDay(d.start), where.constData());
            for (const Person& p : d.invitees)
                QVERIFY2(p.email.contains(u'@'), where.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestQuickAddParser)
#include "tst_quickaddparser.moc"
