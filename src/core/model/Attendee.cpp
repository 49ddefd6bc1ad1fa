#include "core/model/Attendee.h"

size_t qHash(const Attendee& attendee, size_t seed) noexcept {
    return qHashMulti(seed, attendee.name, attendee.status, attendee.isOrganizer, attendee.isMe,
                      attendee.email.has_value(), attendee.email.value_or(QString()));
}
