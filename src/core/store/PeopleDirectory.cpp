#include "core/store/PeopleDirectory.h"

#include "core/model/TextRules.h"

#include <QHash>
#include <QSet>

namespace {

// Google gives resource (room) and group calendars addresses under this domain; they are no one to invite.
const QString calendarResourceDomain = QStringLiteral("calendar.google.com");

constexpr qsizetype maxSuggestions = 5;

QString firstWord(const QString& name) {
    const QStringList words = TextRules::splitAtBlanks(name);
    return words.isEmpty() ? QString() : words.first();
}

// The only person satisfying the test, or nothing when none or several do.
template <typename Test> std::optional<Person> onlyOne(const QList<Person>& people, Test test) {
    std::optional<Person> found;
    for (const Person& person : people) {
        if (!test(person))
            continue;
        if (found)
            return std::nullopt;
        found = person;
    }
    return found;
}

} // namespace

namespace PeopleDirectory {

QList<Person> build(const QStringList& recentInvitees, const EventsByDay& days,
                    const QStringList& ownAddresses) {
    QSet<QString> own;
    for (const QString& address : ownAddresses)
        own.insert(address.toLower());

    QList<Person> people;
    QHash<QString, qsizetype> position; // lower-cased address -> index in people
    // Addresses as written -> index in people, or -1 when left out. Most guests recur on many events
    // in the same spelling, so this spares lower-casing and matching them again.
    QHash<QString, qsizetype> written;
    const auto find = [&](const QString& address) -> qsizetype {
        const auto seen = written.constFind(address);
        if (seen != written.cend())
            return *seen;
        const QString key = address.toLower();
        qsizetype index = position.value(key, -1);
        if (index < 0 && TextRules::isEmailAddress(key) && !key.contains(calendarResourceDomain) &&
            !own.contains(key)) {
            index = people.size();
            position.insert(key, index);
            people.append(Person(address, QString()));
        }
        written.insert(address, index);
        return index;
    };
    const auto add = [&](const QString& address, const QString& name) {
        const qsizetype index = find(address);
        if (index < 0)
            return;
        // Sources put the address where a guest has no display name: that is no name.
        Person& person = people[index];
        if (person.name.isEmpty() && name != address)
            person.name = name;
    };

    for (const QString& address : recentInvitees)
        add(address, QString());
    for (const QList<CalEvent>& list : days) {
        for (const CalEvent& event : list) {
            for (const Attendee& attendee : event.attendees) {
                if (!attendee.isMe && attendee.email)
                    add(*attendee.email, attendee.name);
            }
        }
    }
    return people;
}

std::optional<Person> match(const QList<Person>& people, const QString& text) {
    const QString typed = TextRules::trimBlanks(text);
    const QString q = typed.toLower();
    if (q.size() < 2)
        return std::nullopt;
    if (TextRules::isEmailAddress(q)) {
        for (const Person& person : people) {
            if (person.email.toLower() == q)
                return person;
        }
        // Without the blanks around it: invitations go to this address as it stands.
        return Person(typed, QString());
    }
    const QString localPart = q + QLatin1Char('@');
    if (auto person = onlyOne(people, [&](const Person& p) {
            return p.name.toLower() == q || p.email.toLower().startsWith(localPart);
        }))
        return person;
    return onlyOne(people, [&](const Person& p) { return firstWord(p.name.toLower()) == q; });
}

QList<Person> suggestions(const QList<Person>& people, const QString& text, const QList<Person>& excluding) {
    const QString q = TextRules::trimBlanks(text).toLower();
    QSet<QString> chosen;
    for (const Person& person : excluding)
        chosen.insert(person.email.toLower());
    QList<Person> result;
    for (const Person& person : people) {
        if (result.size() == maxSuggestions)
            break;
        const QString address = person.email.toLower();
        if (chosen.contains(address))
            continue;
        if (q.isEmpty() || person.name.toLower().contains(q) || address.contains(q))
            result.append(person);
    }
    return result;
}

} // namespace PeopleDirectory
