#include "QuickAddFakes.h"

#include "core/quickadd/EditPhrase.h"
#include "core/quickadd/QuickAddDerived.h"
#include "core/quickadd/QuickAddTransition.h"

#include <QTest>

// What quick add shows for a state, on Wednesday 4 March 2026 at 10:00 in Berlin (FakeEnv's agenda).
using namespace QuickAdd;

namespace {

const QString tryHelp = QStringLiteral("Try “Standup tomorrow 9:30am”, “Design sync with Ondrea fri 3pm” or "
                                       "“Gym 6pm for 45 min”. Type an email to invite someone.");
const QString autoHelp =
    QStringLiteral("Picked the next free slot in your calendar — type a time to change it.");
const QString localRoute = QStringLiteral("→ Google → Notion Calendar");

State line(const QString& text, std::optional<bool> meet = std::nullopt, const QString& pick = QString()) {
    State s;
    s.text = text;
    s.meetChoice = meet;
    if (!pick.isEmpty())
        s.destinationID = pick;
    return s;
}

Attendee guest(const QString& email, const QString& name, bool me = false, bool organizer = false) {
    Attendee a;
    a.email = email;
    a.name = name;
    a.isMe = me;
    a.isOrganizer = organizer;
    return a;
}

// Ada's "Design review" on Thursday 14:00 to 15:00 with Ondrea and Bob.
CalEvent googleReview() {
    CalEvent e = FakeEnv::event("g:ada@corp.io:ada@corp.io:e1", "Design review", "2026-03-05 14:00",
                                "2026-03-05 15:00");
    e.source = EventSource::google;
    e.googleAccount = "ada@corp.io";
    e.googleCalendarID = "ada@corp.io";
    e.attendees = {guest("ada@corp.io", "Ada", true, true), guest("ondrea@corp.io", "Ondrea Lindqvist"),
                   guest("bob@corp.io", "bob@corp.io")};
    return e;
}

// A local all-day "Offsite" on Thursday.
CalEvent localOffsite() {
    CalEvent e =
        FakeEnv::event("offsite:1772665200", "Offsite", "2026-03-05 00:00", "2026-03-06 00:00", true);
    e.source = EventSource::calendar;
    return e;
}

State editing(const CalEvent& event, const FakeEnv& env) {
    State s;
    s.editing = event;
    s.text = event.title;
    s.whenText = EditPhrase::canonical(event, env.now(), env.cal());
    for (const Attendee& a : event.attendees) {
        if (!a.isMe && a.email)
            s.manualInvitees << Person(*a.email, a.name == *a.email ? QString() : a.name);
    }
    s.meetChoice = event.hasGoogleMeet();
    if (event.source == EventSource::calendar)
        s.editingCalendar = env.calendars.first();
    return s;
}

} // namespace

struct Routing {
    State state;
    bool targets, calendars, needsWriteAccess;
    QString destination; // the footer's title
    bool canAdd;
    QString notice, button; // empty: no notice, no button
};
struct Slot {
    State state;
    bool thursdayFull;
    QStringList searches; // the days looked up, each once: the slot search's, then the same-day list's
    QString start;        // empty: no automatic slot
    int minutes = 60;     // its length
};
struct Edit {
    CalEvent event;
    QString title, when;               // typed over what was loaded; empty: left as loaded
    std::optional<QStringList> guests; // the invitees afterwards, by address
    bool meet;                         // Meet asked for
    QString shown;                     // see edit()
};
Q_DECLARE_METATYPE(QuickAdd::State)
Q_DECLARE_METATYPE(Routing)
Q_DECLARE_METATYPE(Slot)
Q_DECLARE_METATYPE(Edit)

class TestQuickAddDerive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Header, preview, help line, footer and primary button of a new line, in en_US and a 24-hour locale.
    void newLine_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<State>("state");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, const char* locale, const State& state, const QString& shown) {
            QTest::newRow(name) << QByteArray(locale) << state << shown;
        };
        const QString local = " / try / Work / " + localRoute + " / Add event";
        const QString invites = " / ada@corp.io / Google sends the invites / Send invites";
        row("empty", "en_US", line(""),
            "New event / [clock] Type what, when and who" + local + " (disabled)");
        row("plain and timed", "en_US", line("Dentist tomorrow 2pm"),
            "New event / [clock] Dentist · Tomorrow · 2:00 – 3:00 pm · 1 h" + local);
        row("a guest by name makes a meeting", "en_US", line("Design sync with Ondrea fri 3-4pm"),
            "New meeting / [clock] Design sync · Fri, Mar 6 · 3:00 – 4:00 pm · 1 h · 1 invitee · Meet / try" +
                invites);
        row("guests without a time get a free slot", "en_US", line("Coffee with Oskel bob@corp.io"),
            "New meeting / [sparkles] Coffee · Auto · Today · 10:00 – 11:00 am · 1 h · 2 invitees · Meet / "
            "auto" +
                invites);
        row("Meet without guests", "en_US", line("Standup tomorrow 9:30am", true),
            "New meeting / [clock] Standup · Tomorrow · 9:30 – 10:30 am · 1 h · Meet / try / ada@corp.io / "
            "Google adds the Meet link / Add with Meet");
        row("guests without Meet", "en_US", line("Sync with Ondrea tomorrow 4pm", false),
            "New meeting / [clock] Sync · Tomorrow · 4:00 – 5:00 pm · 1 h · 1 invitee / try" + invites);
        row("a plain event in a Google calendar", "en_US",
            line("Lunch tomorrow 1pm", std::nullopt, "g|ada@corp.io|team@group.corp.io"),
            "New event / [clock] Lunch · Tomorrow · 1:00 – 2:00 pm · 1 h / try / Team / → Notion Calendar / "
            "Add event");
        row("no date: all day today", "en_US", line("Read the report"),
            "New event / [calendar] Read the report · Today · all day · add a time, e.g. “tomorrow 3pm”" +
                local);
        row("24-hour: a guest by name", "de_DE", line("Design sync with Ondrea fri 3-4pm"),
            "New meeting / [clock] Design sync · Fr., 6. März · 15:00 – 16:00 · 1 h · 1 invitee · Meet / "
            "try" +
                invites);
    }
    void newLine() {
        QFETCH(QByteArray, locale);
        QFETCH(State, state);
        QFETCH(QString, shown);
        const FakeEnv env(locale.constData());
        const Derived v = derive(state, env);
        const QString help = v.helpText == tryHelp ? "try" : v.helpText == autoHelp ? "auto" : v.helpText;
        QCOMPARE(QStringList({v.headerTitle, "[" + v.previewSymbol + "] " + v.previewText, help,
                              v.destinationTitle, v.routeHint.value_or("-"),
                              v.primaryTitle + (v.primaryEnabled ? "" : " (disabled)")})
                     .join(" / "),
                 shown);
    }

    void routing_data() {
        QTest::addColumn<Routing>("c");
        const State meeting = line("Sync with Ondrea tomorrow 3pm");
        const State plain = line("Lunch tomorrow 1pm");
        QTest::newRow("a meeting without a Google calendar") << Routing{
            meeting, false, true, false, "No Google calendar", false, "Connect Google Calendar", "Connect"};
        QTest::newRow("read-only Google accounts") << Routing{
            meeting, false, true, true, "No Google calendar", false, "Allow Vorrindel to create events",
            "Allow"};
        QTest::newRow("a plain line without local calendars goes to Google")
            << Routing{plain, true, false, false, "ada@corp.io", true, "", ""};
        QTest::newRow("nowhere for a plain line")
            << Routing{plain, false, false, false, "No calendar", false, "", ""};
        State picked = meeting;
        picked.destinationID = "mac|fastmail/home";
        QTest::newRow("a meeting sets a picked local calendar aside")
            << Routing{picked, true, true, false, "ada@corp.io", true, "", ""};
        picked.text = plain.text;
        QTest::newRow("the pick comes back for a plain line")
            << Routing{picked, true, true, false, "Home", true, "", ""};
    }
    void routing() {
        QFETCH(Routing, c);
        FakeEnv env;
        if (!c.targets)
            env.targets.clear();
        if (!c.calendars)
            env.calendars.clear();
        env.needsWriteAccess = c.needsWriteAccess;
        Derived v = derive(c.state, env);
        QCOMPARE(v.destinationTitle, c.destination);
        QCOMPARE(v.canAdd, c.canAdd);
        QCOMPARE(v.showGoogleNotice, !c.notice.isEmpty());
        QCOMPARE(v.googleNoticeTitle, c.notice);
        QCOMPARE(v.googleNoticeButton.value_or(QString()), c.button);
        QCOMPARE(v.routeHint.has_value(), v.destination.has_value());

        // While signing in a spinner stands in for the button; without a client there is nothing to press.
        env.connecting = true;
        QVERIFY(!derive(c.state, env).googleNoticeButton);
        env.connecting = false;
        env.hasClient = false;
        QVERIFY(!derive(c.state, env).googleNoticeButton);
    }

    void automaticSlot_data() {
        QTest::addColumn<Slot>("c");
        QTest::newRow("a guest, no date: from today")
            << Slot{line("Coffee with bob@corp.io"), false, {"2026-03-04"}, "2026-03-04 10:00"};
        QTest::newRow("a typed day") << Slot{
            line("Coffee with bob@corp.io fri"), false, {"2026-03-06"}, "2026-03-06 09:00"};
        QTest::newRow("a full day: the next working day") << Slot{
            line("Sync with Ondrea tomorrow"), true, {"2026-03-05", "2026-03-06"}, "2026-03-06 09:00"};
        // A typed length, not the Default length, sizes the slot; 90 minutes from now clash with Planning.
        QTest::newRow("a typed length") << Slot{line("meet with bob@corp.io on March 6 for 30 min"),
                                                false,
                                                {"2026-03-06"},
                                                "2026-03-06 09:00",
                                                30};
        QTest::newRow("a typed length that needs a later slot")
            << Slot{line("Coffee with bob@corp.io for 1.5 h"), false, {"2026-03-04"}, "2026-03-04 12:00", 90};
        QTest::newRow("a typed time stays")
            << Slot{line("Sync with Ondrea tomorrow 9:30am"), false, {"2026-03-05"}, ""};
        State blank = line(" \t");
        blank.manualInvitees << Person("bob@corp.io");
        QTest::newRow("a blank line with a guest") << Slot{blank, false, {}, ""};
    }
    void automaticSlot() {
        QFETCH(Slot, c);
        FakeEnv env;
        if (c.thursdayFull)
            env.agenda << FakeEnv::event("full", "Workshop", "2026-03-05 09:00", "2026-03-05 18:00");
        const Derived v = derive(c.state, env);
        QCOMPARE(env.lookups, c.searches);
        QCOMPARE(v.autoSlot, !c.start.isEmpty());
        if (v.autoSlot) {
            QCOMPARE(v.scheduled.start, FakeEnv::berlin(c.start));
            QCOMPARE(v.scheduled.start.secsTo(v.scheduled.end), c.minutes * 60);
            QVERIFY(v.scheduled.hasTime && !v.scheduled.isAllDay);
        } else {
            QCOMPARE(v.scheduled, v.draft);
        }
    }

    void sameDay_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QStringList>("rows"); // "*" marks an overlap
        QTest::newRow("a plain line shows five, the edges do not overlap")
            << "Focus mon 11am"
            << "ALSO THAT DAY"
            << QStringList{"8:00 – 9:00 am Early", "10:00 – 11:00 am Prep", "11:30 am – 12:00 pm Clash*",
                           "12:00 – 1:00 pm Lunch", "3:00 – 3:30 pm Call"};
        QTest::newRow("a meeting shows three")
            << "Focus with Ondrea mon 11am"
            << "ALSO THAT DAY"
            << QStringList{"8:00 – 9:00 am Early", "10:00 – 11:00 am Prep", "11:30 am – 12:00 pm Clash*"};
        QTest::newRow("only all-day events") << "Focus sat 11am"
                                             << "NOTHING ELSE THAT DAY" << QStringList{};
    }
    void sameDay() {
        QFETCH(QString, text);
        QFETCH(QString, heading);
        QFETCH(QStringList, rows);
        FakeEnv env;
        env.agenda = {FakeEnv::event("a", "Early", "2026-03-09 08:00", "2026-03-09 09:00"),
                      FakeEnv::event("b", "Prep", "2026-03-09 10:00", "2026-03-09 11:00"),
                      FakeEnv::event("c", "Clash", "2026-03-09 11:30", "2026-03-09 12:00"),
                      FakeEnv::event("d", "Lunch", "2026-03-09 12:00", "2026-03-09 13:00"),
                      FakeEnv::event("e", "Call", "2026-03-09 15:00", "2026-03-09 15:30"),
                      FakeEnv::event("f", "Wrap", "2026-03-09 17:00", "2026-03-09 17:30"),
                      FakeEnv::event("g", "Offsite", "2026-03-09 00:00", "2026-03-10 00:00", true),
                      FakeEnv::event("h", "Retreat", "2026-03-07 00:00", "2026-03-08 00:00", true)};
        State s = line(text);
        Derived v = derive(s, env);
        QVERIFY(v.showSameDay);
        QCOMPARE(v.sameDayHeading, heading);
        QStringList shown;
        for (const DayRow& row : v.sameDayRows)
            shown << row.time + u' ' + row.title + (row.overlaps ? "*" : "");
        QCOMPARE(shown, rows);

        s.showPeople = true;
        QVERIFY(!derive(s, env).showSameDay);
    }

    // What an edit shows: "dirty/clean, enabled/disabled | help line | when hint | primary button".
    void edit_data() {
        QTest::addColumn<Edit>("c");
        const CalEvent review = googleReview();
        const CalEvent offsite = localOffsite();
        const QString noChange =
            "clean, disabled | No changes yet — edit the title, the when-line or the guests.";
        const QString notify = "Google will email 2 people";
        const auto row = [](const char* name, const Edit& edit) { QTest::newRow(name) << edit; };
        row("untouched", {review, "", "", {}, false, noChange + " |  | Save & notify"});
        row("one guest out, two in",
            {review, "", "", QStringList{"ondrea@corp.io", "oskel@corp.io", "PIM@corp.io"}, false,
             "dirty, enabled | +2 invited · −1 removed · Google will email 4 people |  | Save & notify"});
        row("the same guest in capitals", {review, "", "", QStringList{"ondrea@corp.io", "BOB@Corp.IO"},
                                           false, noChange + " |  | Save & notify"});
        row("Meet added", {review,
                           "",
                           "",
                           {},
                           true,
                           "dirty, enabled | Meet link added · " + notify + " |  | Save & notify"});
        row("a new time on the same day", {review,
                                           "",
                                           "4pm",
                                           {},
                                           false,
                                           "dirty, enabled | was Thu, Mar 5 · 2:00 – 3:00 pm · " + notify +
                                               " | same day, new time | Save & notify"});
        row("the title of a local event",
            {offsite, "Offsite 2026", "", {}, false, "dirty, enabled | Title change only. |  | Save"});
        row("an unreadable when-line", {offsite,
                                        "Offsite 2026",
                                        "whenever",
                                        {},
                                        false,
                                        "dirty, disabled | Title change only. | Couldn’t read that — try "
                                        "“fri 3pm” or “tomorrow all day” "
                                        "(warns) | Save"});
        CalEvent weekly = review;
        weekly.isRecurring = true;
        row("one occurrence of a series", {weekly,
                                           "",
                                           "fri 2pm",
                                           {},
                                           false,
                                           "dirty, enabled | was Thu, Mar 5 · 2:00 – 3:00 pm · " + notify +
                                               " | this occurrence only | Save & notify"});
        CalEvent late = review;
        late.start = late.start.addSecs(-59);
        row("moved by 59 seconds",
            {late, "", "2pm", {}, false, noChange + " | same day, new time | Save & notify"});
        late.start = late.start.addSecs(-1);
        row("moved by a minute", {late,
                                  "",
                                  "2pm",
                                  {},
                                  false,
                                  "dirty, enabled | was Thu, Mar 5 · 1:59 – 3:00 pm · " + notify +
                                      " | same day, new time | Save & notify"});
    }
    void edit() {
        QFETCH(Edit, c);
        const FakeEnv env;
        State s = editing(c.event, env);
        s.text = c.title.isEmpty() ? s.text : c.title;
        s.whenText = c.when.isEmpty() ? s.whenText : c.when;
        if (c.guests) {
            s.manualInvitees.clear();
            for (const QString& address : *c.guests)
                s.manualInvitees << Person(address);
        }
        if (c.meet)
            s.meetChoice = true;
        const Derived v = derive(s, env);
        QCOMPARE(QStringLiteral("%1, %2 | %3 | %4%5 | %6")
                     .arg(v.isDirty ? "dirty" : "clean", v.canAdd ? "enabled" : "disabled", v.helpText,
                          v.whenHint, v.whenHintWarns ? " (warns)" : "", v.primaryTitle),
                 c.shown);
        QCOMPARE(v.routeHint, std::optional(QString()));
        QVERIFY(!v.showChevron);
    }

    // An edit keeps its own calendar, and goes nowhere once that calendar cannot take it.
    void editDestinations() {
        FakeEnv env;
        CalEvent review = googleReview();
        State s = editing(review, env);
        s.text = "Design review v2";
        QCOMPARE(derive(s, env).destinationTitle, QStringLiteral("ada@corp.io"));
        QCOMPARE(derive(s, env).destinations.size(), 1);

        review.googleCalendarID = "team@group.corp.io";
        review.googleAccount = "someone@else.io";
        s.editing = review;
        QVERIFY(!derive(s, env).destination);
        QVERIFY(!derive(s, env).canAdd);

        s = editing(localOffsite(), env);
        s.text = "Offsite 2026";
        s.editingCalendar.reset(); // the item is gone from its folder
        QVERIFY(derive(s, env).destinations.isEmpty());
        QVERIFY(!derive(s, env).canAdd);
        QVERIFY(!derive(s, env).showInviteButton && !derive(s, env).showMeetToggle);
    }

    // What moves between two views: the guests with the spring, the people field and the meeting
    // switch with the ease; the title fades only within such a change.
    void transitions_data() {
        QTest::addColumn<State>("before");
        QTest::addColumn<State>("after");
        QTest::addColumn<QString>("moves");
        State open = line("Lunch with Ondrea");
        open.showPeople = true;
        State edit = editing(localOffsite(), FakeEnv());
        QTest::newRow("typing that keeps the guests") << line("Lunch") << line("Lunch fri") << "none";
        QTest::newRow("the first guest")
            << line("Lunch") << line("Lunch with zed@corp.io") << "spring, title";
        QTest::newRow("one more guest")
            << line("Lunch with Ondrea") << line("Lunch with Ondrea and Oskel") << "spring";
        QTest::newRow("a guest in other letters")
            << line("Lunch with bob@corp.io") << line("Lunch with BOB@corp.io") << "none";
        QTest::newRow("Meet chosen") << line("Lunch") << line("Lunch", true) << "ease, title";
        QTest::newRow("the people field opens") << line("Lunch with Ondrea") << open << "ease";
        edit.showPeople = true;
        QTest::newRow("no people field for fixed guests")
            << editing(localOffsite(), FakeEnv()) << edit << "none";
    }
    void transitions() {
        QFETCH(State, before);
        QFETCH(State, after);
        QFETCH(QString, moves);
        const FakeEnv env;
        const Transition t = transitionBetween(derive(before, env), derive(after, env));
        const QString curve = t.curve == Transition::Curve::spring ? "spring"
                              : t.curve == Transition::Curve::ease ? "ease"
                                                                   : "none";
        QCOMPARE(curve + (t.titleFades ? ", title" : ""), moves);
    }
};

QTEST_GUILESS_MAIN(TestQuickAddDerive)
#include "tst_quickaddderive.moc"
