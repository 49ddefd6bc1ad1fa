#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

// One guest of an event, in the order the source lists them.
class Attendee {
public:
    enum class Status { accepted, declined, tentative, pending, unknown };

    QString name;
    Status status = Status::unknown;
    bool isOrganizer = false;
    bool isMe = false;
    // The one field a source may fill in after building the value.
    std::optional<QString> email;

    friend bool operator==(const Attendee&, const Attendee&) = default;
};

inline size_t qHash(Attendee::Status status, size_t seed = 0) noexcept {
    return ::qHash(int(status), seed);
}

size_t qHash(const Attendee& attendee, size_t seed = 0) noexcept;
