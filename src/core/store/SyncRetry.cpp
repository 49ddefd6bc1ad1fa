#include "core/store/SyncRetry.h"

#include "core/model/UserFacingError.h"
#include "core/remote/RemoteError.h"

#include <algorithm>

namespace SyncRetry {

bool isGone(const std::exception& error) {
    const auto* remote = dynamic_cast<const RemoteError*>(&error);
    if (!remote)
        return false;
    const int status = remote->status();
    return status == 404 || status == 410 || (status == 403 && !remote->rateLimited());
}

bool isUnauthorized(const std::exception& error) {
    const auto* remote = dynamic_cast<const RemoteError*>(&error);
    return remote && remote->status() == 401;
}

void Failures::add(const QString& message, const std::exception& error) {
    if (!first)
        first = message;
    const auto* remote = dynamic_cast<const RemoteError*>(&error);
    if (remote && remote->retryAfter())
        retryAfter = std::max(retryAfter.value_or(std::chrono::seconds(0)), *remote->retryAfter());
}

} // namespace SyncRetry

void RetrySchedule::failed(const QDateTime& now, std::optional<std::chrono::seconds> retryAfter) {
    ++m_failures;
    // Doubling from `first`, the shift kept small enough that it cannot overflow.
    const std::chrono::seconds doubled(first.count() << std::min(m_failures - 1, 20));
    const std::chrono::seconds backoff = std::min(m_cap, doubled);
    const std::chrono::seconds asked =
        std::min(retryAfter.value_or(std::chrono::seconds(0)), longestRetryAfter);
    m_retryAt = now.addSecs(std::max(backoff, asked).count());
}
