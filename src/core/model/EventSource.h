#pragma once

#include <QHashFunctions>

// Where an event comes from: the local calendars (vdir folders), a Google account or a Notion database.
enum class EventSource { calendar, google, notion };

inline size_t qHash(EventSource source, size_t seed = 0) noexcept {
    return ::qHash(int(source), seed);
}
