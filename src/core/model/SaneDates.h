#pragma once

#include <QDateTime>

// How far from now the app reads typed dates and writes events: a century either way. Further lies a
// typing accident ("in 999999999 days"), and soon years that calendar files and the programs reading
// them cannot hold.
namespace SaneDates {

inline constexpr qint64 reachSec = 100LL * 366 * 86400;

// Valid and at most a century before or after now.
inline bool contains(const QDateTime& instant, const QDateTime& now) {
    if (!instant.isValid() || !now.isValid())
        return false;
    const qint64 seconds = now.secsTo(instant);
    return seconds >= -reachSec && seconds <= reachSec;
}

} // namespace SaneDates
