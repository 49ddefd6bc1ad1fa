#include "core/store/PeopleDirectory.h"
#include "support/TestEvents.h"

#include <QTest>

using namespace TestEvents;

using namespace Qt::StringLiterals;

namespace {

// "address" for a nameless person, else "address=name".
QStringList describe(const QList<Person>& people) {
    QStringList out;
    for (const Person& p : people)
        out << (p.name.isEmpty() ? p.email : p.email + QLatin1Char('=') + p.name);
    return out;
}

// One meeting a day from Monday 2 March, each with its guest list.
EventsByDay agenda(const QList<QList<Attendee>>& guestLists) {
    EventsByDay days;
    QDateTime day = at("2026-03-02 00:00");
    for (const QList<Attendee>& guests : guestLists) {
        CalEvent event =
            timed(QString::number(days.size()), "Meeting", day.addSecs(32400), day.addSecs(36000));
        event.attendees = guests;
        days[day].append(event);
        day = day.addDays(1);
    }
    return days;
}

const QList<Person> directory = {
    Person("ann.lee@corp.io", "Ann Lee"),   Person("bob@corp.io", "Bob Stone"),
    Person("bobby@other.org", "Bob Marsh"), Person("carla@corp.io", ""),
    Person("dan@corp.io", "Dan Brown"),     Person("dana.r@corp.io", "Ann"),
    Person("dsmith@corp.io", "Dan"),        Person("eve@corp.io", "Eve Adams"),
    Person("frank@corp.io", "Frank Bob"),
};

} // namespace

class TestPeople : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void directoryOrderAndNames() {
        const QStringList recent = {"Zed@corp.io", "ann.lee@corp.io"};
        const EventsByDay days = agenda({
            {guest("Ann Lee", "ANN.LEE@corp.io"), guest("zed@corp.io", "zed@corp.io")},
            {guest("Zed Z", "zed@CORP.io"), guest("Carl", "carl@corp.io")},
        });
        // Recent invitees first, in their order, written as first seen; a guest whose "name" is
        // their address gives no name, a later real name fills it in.
        QCOMPARE(describe(PeopleDirectory::build(recent, days, {})),
                 (QStringList{"Zed@corp.io=Zed Z", "ann.lee@corp.io=Ann Lee", "carl@corp.io=Carl"}));
    }

    void directoryExclusions_data() {
        QTest::addColumn<Attendee>("guest");
        QTest::newRow("my own entry") << guest("Me", "me@corp.io", Attendee::Status::accepted, true);
        QTest::newRow("a connected account's address") << guest("Me too", "Work@Corp.io");
        QTest::newRow("a room") << guest("Room 4", "c_123@resource.calendar.google.com");
        QTest::newRow("a group calendar") << guest("Team", "abc@group.calendar.google.com");
        QTest::newRow("no address") << guest("Walk-in", "");
        QTest::newRow("not an address") << guest("Someone", "someone at corp");
        QTest::newRow("address with a trailing line break") << guest("Nl", "nl@corp.io\n");
    }
    void directoryExclusions() {
        QFETCH(Attendee, guest);
        QCOMPARE(PeopleDirectory::build({}, agenda({{guest}}), {"work@corp.io"}), QList<Person>{});
    }

    void match_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found"); // as describe() writes it; empty: nobody
        const auto row = [](const char* name, QString typed, QString found) {
            QTest::newRow(name) << typed << found;
        };
        row("one character", "a", "");
        row("full name, any case", "ann lee", "ann.lee@corp.io=Ann Lee");
        row("blanks, tabs and no-break spaces trimmed", u" \tEve Adams\u00a0"_s, "eve@corp.io=Eve Adams");
        row("local part of one address", "carla", "carla@corp.io");
        row("first word of one name", "eve", "eve@corp.io=Eve Adams");
        row("first word shared by two", "bob", "bob@corp.io=Bob Stone");
        row("first name shared, no address match", "frank", "frank@corp.io=Frank Bob");
        row("one's name and another's local part, both first names", "dan", "");
        row("full name equal to another's first name", "ann", "dana.r@corp.io=Ann");
        row("nobody", "zelda", "");
        row("known address, other case", "BOB@corp.io", "bob@corp.io=Bob Stone");
        row("unknown address: new, nameless, as typed", "New@Corp.io", "New@Corp.io");
        row("unknown address: without the blanks around it", " new@corp.io\t", "new@corp.io");
    }
    void match() {
        QFETCH(QString, typed);
        QFETCH(QString, found);
        const std::optional<Person> person = PeopleDirectory::match(directory, typed);
        QCOMPARE(describe(person ? QList{*person} : QList<Person>{}).join(QString()), found);
    }

    void suggestions_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("suggested");
        QTest::newRow("empty text: the first five")
            << "" << QStringList{}
            << QStringList{"ann.lee@corp.io", "bob@corp.io", "bobby@other.org", "carla@corp.io",
                           "dan@corp.io"};
        QTest::newRow("chosen people are left out, whatever the case")
            << "" << QStringList{"BOB@corp.io"}
            << QStringList{"ann.lee@corp.io", "bobby@other.org", "carla@corp.io", "dan@corp.io",
                           "dana.r@corp.io"};
        QTest::newRow("name or address contains the text")
            << " BOB" << QStringList{} << QStringList{"bob@corp.io", "bobby@other.org", "frank@corp.io"};
        QTest::newRow("address part") << "other.org" << QStringList{} << QStringList{"bobby@other.org"};
    }
    void suggestions() {
        QFETCH(QString, typed);
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, suggested);
        QList<Person> excluding;
        for (const QString& address : chosen)
            excluding << Person(address, "");
        QStringList emails;
        for (const Person& p : PeopleDirectory::suggestions(directory, typed, excluding))
            emails << p.email;
        QCOMPARE(emails, suggested);
    }
};

QTEST_GUILESS_MAIN(TestPeople)
#include "tst_people.moc"
