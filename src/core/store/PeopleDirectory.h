#pragma once

#include "core/model/Person.h"
#include "core/store/DayMap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The people quick add can invite: e-mail contacts gathered from the recent invitees and from the
// guests of the loaded events, and the lookups that turn typed text into one of them.
namespace PeopleDirectory {

// Recent invitees first (in their order, without names), then the guests of every day's events in
// day order. One person per address whatever its letter case, written as first seen; a later entry
// only fills in a missing name. Left out: the user's own entries and addresses (`ownAddresses`),
// guests without an address, texts that are not addresses, and resource and group calendars.
QList<Person> build(const QStringList& recentInvitees, const EventsByDay& days,
                    const QStringList& ownAddresses);

// The one person the typed text means, or nothing when it is too short, matches nobody or is
// ambiguous. A complete address always gives a person (a new one, nameless, as typed without the
// blanks around it, when unknown). Otherwise the text is a full name or an address's local part,
// else a first name.
std::optional<Person> match(const QList<Person>& people, const QString& text);

// Up to five people, in directory order, whose name or address contains the text (the first five
// for empty text), without those already chosen.
QList<Person> suggestions(const QList<Person>& people, const QString& text, const QList<Person>& excluding);

} // namespace PeopleDirectory
