#pragma once

#include <QColor>
#include <QHashFunctions>
#include <QString>

// A known e-mail address with a display name: an entry of the people directory and an invitee chip.
// Lists keyed by `id()` treat addresses that differ only in letter case as one person; `==` does not.
class Person {
public:
    Person() = default;
    explicit Person(QString email)
        : email(std::move(email)) {}
    Person(QString email, QString name)
        : email(std::move(email))
        , name(std::move(name)) {}

    QString email; // fixed once built
    QString name;  // empty when unknown

    // The address lower-cased.
    QString id() const;
    // Up to two upper-case initials from the name, or from the address's local part when the name is
    // empty; "?" when there is nothing to take them from.
    QString initials() const;
    // The avatar colour. Depends only on the lower-cased address, so a person keeps it across launches.
    QColor color() const;

    friend bool operator==(const Person&, const Person&) = default;
};

size_t qHash(const Person& person, size_t seed = 0) noexcept;
