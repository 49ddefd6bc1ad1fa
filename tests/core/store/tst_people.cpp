#include "core/store/PeopleDirectory.h"
#include "support/TestEvents.h"

#include <QTest>

using namespace TestEvents;

namespace {

QStringList describe(const QList<Person>& people) {
    QStringList out;
    for (const Person& p : people)
        out << (p.name.isEmpty() ? p.email : p.email + QLatin1Char('=') + p.name);
    return out;
}

EventsByDay agenda(const QList<QList<Attendee>>& guestLists) {
    EventsByDay days;
    QDateTime day = at("2026-03-02 00:00");
    int n = 0;
    for (const QList<Attendee>& guests : guestLists) {
        CalEvent event =
            timed(QString::number(++n), "Meeting", day.addSecs(3600 * 9), day.addSecs(3600 * 10));
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
        QTest::addColumn<QList<Attendee>>("guests");
        QTest::newRow("my own entry") << QList{guest("Me", "me@corp.io", Attendee::Status::accepted, true)};
        QTest::newRow("a connected account's address") << QList{guest("Me too", "Work@Corp.io")};
        QTest::newRow("a room") << QList{guest("Room 4", "c_123@resource.calendar.google.com")};
        QTest::newRow("a group calendar") << QList{guest("Team", "abc@group.calendar.google.com")};
        QTest::newRow("no address") << QList{guest("Walk-in", "")};
        QTest::newRow("not an address") << QList{guest("Someone", "someone at corp")};
        QTest::newRow("address with a trailing line break") << QList{guest("Nl", "nl@corp.io\n")};
    }
    void directoryExclusions() {
        QFETCH(QList<Attendee>, guests);
        QCOMPARE(PeopleDirectory::build({}, agenda({guests}), {"work@corp.io"}), QList<Person>{});
    }

    void match_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found");
        QTest::newRow("one character") << "a"
                                       << "";
        QTest::newRow("full name, any case") << "ann lee"
                                             << "ann.lee@corp.io";
        QTest::newRow("blanks and tabs trimmed") << " \tEve Adams  "
                                                 << "eve@corp.io";
        QTest::newRow("local part of one address") << "carla"
                                                   << "carla@corp.io";
        QTest::newRow("first word of one name") << "eve"
                                                << "eve@corp.io";
        QTest::newRow("first word shared by two") << "bob"
                                                  << "bob@corp.io";
        QTest::newRow("first name shared, no address match") << "frank"
                                                             << "frank@corp.io";
        QTest::newRow("one's name and another's local part, both first names") << "dan"
                                                                               << "";
        QTest::newRow("full name equal to another's first name") << "ann"
                                                                 << "dana.r@corp.io";
        QTest::newRow("nobody") << "zelda"
                                << "";
        QTest::newRow("known address, other case") << "BOB@corp.io"
                                                   << "bob@corp.io";
        QTest::newRow("unknown address") << "new@corp.io"
                                         << "new@corp.io";
    }
    void match() {
        QFETCH(QString, typed);
        QFETCH(QString, found);
        const std::optional<Person> person = PeopleDirectory::match(directory, typed);
        QCOMPARE(person ? person->email : QString(), found);
    }

    void unknownAddressIsANewNamelessPerson() {
        QCOMPARE(PeopleDirectory::match(directory, "New@Corp.io"), std::optional(Person("New@Corp.io", "")));
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
