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

QString flags(const QuickAddDraft& d) {
    QString s;
    s += d.hasDate ? QStringLiteral("D") : QString();
    s += d.hasTime ? QStringLiteral("T") : QString();
    s += d.hasDay ? QStringLiteral("Y") : QString();
    s += d.explicitAllDay ? QStringLiteral("A") : QString();
    return s;
}

QStringList describe(const QList<Person>& people) {
    QStringList out;
    for (const Person& p : people)
        out.append(p.name.isEmpty() ? p.email : p.email + u'/' + p.name);
    return out;
}

} // namespace

class TestQuickAddParser : public QObject {
    Q_OBJECT

    const Cal m_cal = WallClock::cal();
    QDateTime at(const char* wall) const { return WallClock::at(m_cal, QString::fromLatin1(wall)); }
    QString show(const QDateTime& t) const { return WallClock::show(m_cal, t); }

private slots:
    void normalize_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("normalized");
        QTest::newRow("abbreviation with stop") << "Sync Tues. 3pm"
                                                << "Sync Tuesday 3pm";
        QTest::newRow("any case") << "TMRW or tmr"
                                  << "tomorrow or tomorrow";
        QTest::newRow("whole words only") << "month Monday mon"
                                          << "month Monday Monday";
        QTest::newRow("afternoon hour") << "meet at 5"
                                        << "meet at 5pm";
        QTest::newRow("morning hour") << "meet at 10"
                                      << "meet at 10am";
        QTest::newRow("noon") << "lunch at 12"
                              << "lunch at 12pm";
        QTest::newRow("leading zero") << "call at 07"
                                      << "call at 7pm";
        QTest::newRow("two hours, both spelled") << "at 9 and at 3"
                                                 << "at 9am and at 3pm";
        QTest::newRow("not an hour of the day") << "at 0 or at 13"
                                                << "at 0 or at 13";
        QTest::newRow("minutes follow") << "at 9:30 or at 9.30"
                                        << "at 9:30 or at 9.30";
        QTest::newRow("period follows") << "at 9pm or at 9 a.m."
                                        << "at 9pm or at 9 a.m.";
        QTest::newRow("range to a period") << "Dinner at 10-11pm, at 7 to 9 p.m."
                                           << "Dinner at 10-11pm, at 7 to 9 p.m.";
        QTest::newRow("range without a period") << "at 10-11"
                                                << "at 10am-11";
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
        QTest::newRow("D: comma decimal with for") << "D"
                                                   << "Call 3pm for 1,5 h"
                                                   << "for 1,5 h";
        QTest::newRow("D: first of two") << "D"
                                         << "Gym 1h 30m"
                                         << "1h";
        QTest::newRow("D: in N hours is a time") << "D"
                                                 << "in 2 hours"
                                                 << "";
        QTest::newRow("D: never inside a number") << "D"
                                                  << "Call in 2.5 hours"
                                                  << "";
        QTest::newRow("A: hyphen, any case") << "A"
                                             << "Offsite ALL-DAY"
                                             << "ALL-DAY";
        QTest::newRow("A: whole words") << "A"
                                        << "ball day"
                                        << "";
        QTest::newRow("C: in N hours") << "C"
                                       << "in 2 hours"
                                       << "in 2 hours";
        QTest::newRow("C: a day is no time") << "C"
                                             << "Dec 5"
                                             << "";
        QTest::newRow("W: hour range") << "W"
                                       << "3-4pm"
                                       << "";
        QTest::newRow("W: time range") << "W"
                                       << "10:30-11:30"
                                       << "";
        QTest::newRow("W: numeric date") << "W"
                                         << "on 12/5"
                                         << "12/5";
        QTest::newRow("W: in N days") << "W"
                                      << "in 3 days"
                                      << "in 3 days";
        QTest::newRow("M: capital after with") << "M"
                                               << "Coffee With Ondrea"
                                               << "With Ondrea";
        QTest::newRow("M: joined names") << "M"
                                         << "w/ Ondrea & Oskel, Bo"
                                         << "w/ Ondrea & Oskel, Bo";
        QTest::newRow("M: lower-case name") << "M"
                                            << "with ondrea"
                                            << "";
        QTest::newRow("E: inside text") << "E"
                                        << "mail Bob.Smith+x@corp.io now"
                                        << "Bob.Smith+x@corp.io";
        QTest::newRow("H: bare") << "H"
                                 << "at 10"
                                 << "at 10";
        QTest::newRow("H: range to a period") << "H"
                                              << "at 10 - 11pm"
                                              << "";
    }
    void patterns() {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(QString, match);
        const QHash<QString, const QRegularExpression*> byName{
            {"D", &QuickAddParser::duration()}, {"A", &QuickAddParser::allDay()},
            {"C", &QuickAddParser::clock()},    {"W", &QuickAddParser::dayWords()},
            {"M", &QuickAddParser::mentions()}, {"E", &QuickAddParser::email()},
            {"H", &QuickAddParser::bareHour()}};
        QCOMPARE(byName[pattern]->match(text).captured(0), match);
    }

    // Whole lines through the real detector; "now" is Saturday 5 December 2026 unless a row says.
    void parse_data() {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("flags");
        const auto row = [](const char* name, const char* now, const char* text, const char* title,
                            const char* start, const char* end, const char* flags) {
            QTest::newRow(name) << now << QString::fromUtf8(text) << title << start << end << flags;
        };
        const char* ten = "2026-12-05 10:00";
        row("empty line", ten, "", "New event", "2026-12-05 00:00", "2026-12-06 00:00", "");
        row("no date", ten, "Buy milk", "Buy milk", "2026-12-05 00:00", "2026-12-06 00:00", "");
        row("bare hour passed", ten, "standup at 9", "standup", "2026-12-06 09:00", "2026-12-06 10:00", "DT");
        row("passed 120 s ago", "2026-12-05 09:02", "standup at 9", "standup", "2026-12-05 09:00",
            "2026-12-05 10:00", "DT");
        row("passed 121 s ago", "2026-12-05 09:02:01", "standup at 9", "standup", "2026-12-06 09:00",
            "2026-12-06 10:00", "DT");
        row("day word keeps the past", ten, "standup today at 9", "standup", "2026-12-05 09:00",
            "2026-12-05 10:00", "DTY");
        row("just before midnight", "2026-12-05 23:59", "call at 11", "call", "2026-12-06 11:00",
            "2026-12-06 12:00", "DT");
        row("tonight at 9", "2026-12-05 22:00", "Dinner tonight at 9", "Dinner", "2026-12-05 21:00",
            "2026-12-05 22:00", "DTY");
        row("duration phrase", ten, "Call 3pm for 1,5 h", "Call", "2026-12-05 15:00", "2026-12-05 16:30",
            "DT");
        row("five-minute minimum", ten, "Call 3pm 2m", "Call", "2026-12-05 15:00", "2026-12-05 15:05", "DT");
        row("detected range wins", ten, "Workshop 3-4pm for 2 hours", "Workshop", "2026-12-05 15:00",
            "2026-12-05 16:00", "DT");
        row("past midnight", ten, "Party at 11pm for 5 hours", "Party", "2026-12-05 23:00",
            "2026-12-06 04:00", "DT");
        row("range with a period at its end", ten, "Dinner at 10-11pm", "Dinner", "2026-12-05 22:00",
            "2026-12-05 23:00", "DT");
        row("number with a decimal", ten, "Call in 2.5 hours", "Call in 2.5 hours", "2026-12-05 00:00",
            "2026-12-06 00:00", "");
        row("all day", ten, "Offsite all day friday", "Offsite", "2026-12-11 00:00", "2026-12-12 00:00",
            "DYA");
        row("all day beats a time", ten, "Offsite all day friday 3pm", "Offsite", "2026-12-11 00:00",
            "2026-12-12 00:00", "DYA");
        row("day range", ten, "Conference Dec 24 - 26", "Conference", "2026-12-24 00:00", "2026-12-27 00:00",
            "DY");
        row("abbreviated weekday", ten, "Sync Tues. 3pm", "Sync", "2026-12-08 15:00", "2026-12-08 16:00",
            "DTY");
        row("trailing invite", ten, "Planning invite", "Planning", "2026-12-05 00:00", "2026-12-06 00:00",
            "");
        row("trailing with", ten, "Dinner with", "Dinner", "2026-12-05 00:00", "2026-12-06 00:00", "");
        row("comma runs", ten, "Budget , , review", "Budget, review", "2026-12-05 00:00", "2026-12-06 00:00",
            "");
        row("connectors at the ends", ten, "@ review on -", "review", "2026-12-05 00:00", "2026-12-06 00:00",
            "");
    }
    void parse() {
        QFETCH(QString, now);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, flags);
        const QuickAddDraft d = QuickAddParser::parse(text, WallClock::at(m_cal, now), 60, m_cal);
        QCOMPARE(d.title, title);
        QCOMPARE(show(d.start), start);
        QCOMPARE(show(d.end), end);
        QCOMPARE(::flags(d), flags);
        QCOMPARE(d.isAllDay, !d.hasTime);
    }

    void defaultLength() {
        const QuickAddDraft d =
            QuickAddParser::parse(QStringLiteral("Call 3pm"), at("2026-12-05 10:00"), 30, m_cal);
        QCOMPARE(d.start.secsTo(d.end), 30 * 60);
    }

    // Which detected match is used, how much of it leaves the title, and how many days a span covers.
    void detectorMatches_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<DateMatch>>("script");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        const QDateTime fri = at("2026-12-11 12:00"), three = at("2026-12-05 15:00"),
                        mon = at("2026-12-07 12:00");
        QTest::newRow("first with a time")
            << "Meet friday 3pm monday"
            << QList<DateMatch>{{5, 6, fri, 0}, {12, 3, three, 0}, {16, 6, mon, 0}} << "Meet friday monday"
            << "2026-12-05 15:00"
            << "2026-12-05 16:00";
        QTest::newRow("else the last")
            << "Meet friday or monday" << QList<DateMatch>{{5, 6, fri, 0}, {15, 6, mon, 0}}
            << "Meet friday or"
            << "2026-12-07 00:00"
            << "2026-12-08 00:00";
        QTest::newRow("range outside the text")
            << "Meet monday" << QList<DateMatch>{{5, 6, mon, 0}, {9, 40, fri, 0}} << "Meet"
            << "2026-12-07 00:00"
            << "2026-12-08 00:00";
        QTest::newRow("no date") << "Meet monday" << QList<DateMatch>{{5, 6, std::nullopt, 0}}
                                 << "Meet monday"
                                 << "2026-12-05 00:00"
                                 << "2026-12-06 00:00";
        QTest::newRow("title words inside the span")
            << "Lunch tomorrow" << QList<DateMatch>{{0, 14, mon, 0}} << "Lunch"
            << "2026-12-07 00:00"
            << "2026-12-08 00:00";
        QTest::newRow("two days without a time: three days")
            << "Trip monday" << QList<DateMatch>{{5, 6, mon, 2 * 86400}} << "Trip"
            << "2026-12-07 00:00"
            << "2026-12-10 00:00";
        QTest::newRow("two days typed all day with a time: two days")
            << "Trip all day monday 9am" << QList<DateMatch>{{6, 10, mon, 2 * 86400}} << "Trip"
            << "2026-12-07 00:00"
            << "2026-12-09 00:00";
        QTest::newRow("a day and a half with a time: two days")
            << "Trip all day monday 9am" << QList<DateMatch>{{6, 10, mon, 1.5 * 86400}} << "Trip"
            << "2026-12-07 00:00"
            << "2026-12-09 00:00";
    }
    void detectorMatches() {
        QFETCH(QString, text);
        QFETCH(QList<DateMatch>, script);
        QFETCH(QString, title);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const ScriptedDetector detector(script);
        const QuickAddDraft d = QuickAddParser::parse(text, at("2026-12-05 10:00"), 60, m_cal, {}, &detector);
        QCOMPARE(d.title, title);
        QCOMPARE(show(d.start), start);
        QCOMPARE(show(d.end), end);
    }

    void withoutDetector() {
        const QuickAddDraft d = QuickAddParser::parse(QStringLiteral("Lunch tomorrow 3pm"),
                                                      at("2026-12-05 10:00"), 60, m_cal, {}, nullptr);
        QCOMPARE(d.title, QStringLiteral("Lunch tomorrow 3pm"));
        QVERIFY(!d.hasDate);
    }

    void guests_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("resolver");
        QTest::addColumn<QStringList>("invitees");
        QTest::addColumn<QString>("title");
        QTest::newRow("one of two resolves")
            << "Coffee with Ondrea and Oskel" << true << QStringList{"ondrea@corp.io/Ondrea Vask"}
            << "Coffee with Oskel";
        QTest::newRow("both resolve")
            << "Coffee with Ondrea & Bo" << true
            << QStringList{"ondrea@corp.io/Ondrea Vask", "bo@corp.io/Bo Berg"} << "Coffee";
        QTest::newRow("none resolves")
            << "Coffee with Oskel and Olaf" << true << QStringList{} << "Coffee with Oskel and Olaf";
        QTest::newRow("lower-case name")
            << "Coffee with ondrea" << true << QStringList{} << "Coffee with ondrea";
        QTest::newRow("addresses in typed order")
            << "Sync b@x.io then a@x.io" << true << QStringList{"b@x.io", "a@x.io"} << "Sync then";
        QTest::newRow("address and name of one person")
            << "Lunch with Ondrea ONDREA@corp.io" << true << QStringList{"ONDREA@corp.io/Ondrea Vask"}
            << "Lunch";
        QTest::newRow("name before address")
            << "Design sync with Ondrea and guest@elsewhere.org tomorrow" << true
            << QStringList{"ondrea@corp.io/Ondrea Vask", "guest@elsewhere.org"} << "Design sync";
        QTest::newRow("unnamed guest after address")
            << "Sync bob@x.io with Ann" << true << QStringList{"bob@x.io", "ann@corp.io"} << "Sync";
        QTest::newRow("weekday inside addresses")
            << "Call mon@x.org, bob@sun.com" << true << QStringList{"mon@x.org", "bob@sun.com"} << "Call";
        QTest::newRow("no resolver") << "Coffee with Ondrea a@x.io" << false << QStringList{"a@x.io"}
                                     << "Coffee with Ondrea";
    }
    void guests() {
        QFETCH(QString, text);
        QFETCH(bool, resolver);
        QFETCH(QStringList, invitees);
        QFETCH(QString, title);
        const QuickAddDraft d =
            QuickAddParser::parse(text, at("2026-12-05 10:00"), 60, m_cal,
                                  resolver ? QuickAddParser::Resolver(directory) : nullptr);
        QCOMPARE(describe(d.invitees), invitees);
        QCOMPARE(d.title, title);
    }

    // Calendar days, not 86,400 seconds; a timed length is absolute.
    void daylightSaving_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("hours");
        QTest::newRow("all day on the 25-hour day") << "Europe/Berlin"
                                                    << "2026-10-20 10:00"
                                                    << "Offsite oct 25"
                                                    << "2026-10-25 00:00"
                                                    << "2026-10-26 00:00" << 25;
        QTest::newRow("evening ending after the change") << "Europe/Berlin"
                                                         << "2026-10-20 10:00"
                                                         << "Party oct 24 11pm for 5 hours"
                                                         << "2026-10-24 23:00"
                                                         << "2026-10-25 03:00" << 5;
        QTest::newRow("three days over the change") << "Europe/Berlin"
                                                    << "2026-10-20 10:00"
                                                    << "Fair Oct 24 - 26"
                                                    << "2026-10-24 00:00"
                                                    << "2026-10-27 00:00" << 73;
        QTest::newRow("today without its midnight") << "America/Santiago"
                                                    << "2026-09-06 10:00"
                                                    << "Buy milk"
                                                    << "2026-09-06 01:00"
                                                    << "2026-09-07 00:00" << 23;
        QTest::newRow("all day without its midnight") << "America/Santiago"
                                                      << "2026-09-01 10:00"
                                                      << "Offsite sep 6"
                                                      << "2026-09-06 01:00"
                                                      << "2026-09-07 00:00" << 23;
    }
    void daylightSaving() {
        QFETCH(QString, zone);
        QFETCH(QString, now);
        QFETCH(QString, text);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(int, hours);
        const Cal cal = WallClock::cal(zone.toLatin1().constData());
        const QuickAddDraft d = QuickAddParser::parse(text, WallClock::at(cal, now), 60, cal);
        QCOMPARE(WallClock::show(cal, d.start), start);
        QCOMPARE(WallClock::show(cal, d.end), end);
        QCOMPARE(d.start.secsTo(d.end), hours * 3600);
    }

    void draftEquality() {
        const QuickAddDraft a{QStringLiteral("Sync"),
                              at("2026-12-05 10:00"),
                              at("2026-12-05 11:00"),
                              false,
                              true,
                              true,
                              false,
                              false,
                              {Person(QStringLiteral("bo@corp.io"), QStringLiteral("Bo"))}};
        QuickAddDraft sameInstants = a;
        sameInstants.start = a.start.toTimeZone(QTimeZone("Asia/Tokyo"));
        QCOMPARE(sameInstants, a);
        QuickAddDraft otherCase = a;
        otherCase.invitees = {Person(QStringLiteral("Bo@corp.io"), QStringLiteral("Bo"))};
        QVERIFY(!(otherCase == a));
    }

    // Every line gives a well-formed draft: random words and dates mixed with what a paste can bring
    // (control characters, right-to-left marks, lone surrogates, stray quotes, very long text).
    void neverFails() {
        const QStringList pieces{
            "Lunch",  "with",  "Ondrea",  "and",     "Bo",          "a@x.io", "tomorrow",
            "3pm",    "at",    "9",       "all day", "for",         "1,5 h",  "-",
            "–",      "to",    "Dec",     "31",      "2026",        "12/5",   "next",
            "week",   "the",   "3rd",     "tonight", "noon",        "in",     "2",
            "days",   "hours", "o'clock", "@",       ",",           "\"",     "“",
            "'",      "w/",    "&",       "11-1pm",  "99999999999", "\u202e", "\u05e9\u05dc\u05d5\u05dd",
            "\u0001", "\t",    "\n",      "\u0663",  "\U0001F600",  "Feb 30", "25:00",
            "mon."};
        const QuickAddParser::Resolver anyone = [](const QString& name) -> std::optional<Person> {
            if (name.isEmpty() || !name[0].isUpper())
                return std::nullopt;
            return Person(name.toLower() + QStringLiteral("@corp.io"), name);
        };
        QRandomGenerator random(20261205);
        const QDateTime now = at("2026-12-05 10:00");
        for (int i = 0; i < 3000; ++i) {
            QString line;
            const int words = int(random.bounded(i % 100 == 0 ? 2000 : 12));
            for (int w = 0; w < words; ++w) {
                line += random.bounded(8) == 0 ? QString(QChar(char16_t(random.bounded(0xD800, 0xE000))))
                                               : pieces[random.bounded(int(pieces.size()))];
                line += random.bounded(5) == 0 ? QString() : QStringLiteral(" ");
            }
            const QuickAddDraft d =
                QuickAddParser::parse(line, now, int(random.bounded(-10, 600)), m_cal, anyone);
            const auto where = qPrintable(QStringLiteral("line ") + QString::number(i));
            QVERIFY2(!d.title.isEmpty() && d.title == d.title.trimmed(), where);
            QVERIFY2(d.start.isValid() && d.end.isValid() && d.end > d.start, where);
            QVERIFY2(d.isAllDay == !d.hasTime && (d.hasDate || !(d.hasTime || d.hasDay)), where);
            QVERIFY2(!d.isAllDay || d.start == m_cal.startOfDay(d.start), where);
            for (const Person& p : d.invitees)
                QVERIFY2(p.email.contains(u'@'), where);
        }
    }
};

QTEST_GUILESS_MAIN(TestQuickAddParser)
#include "tst_quickaddparser.moc"
