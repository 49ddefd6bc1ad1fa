#pragma once

#include "core/model/UserFacingError.h"

#include <QByteArray>
#include <QDateTime>

#include <chrono>
#include <optional>

// A request that a server answered with an error. Besides its sentence for the user it keeps what a
// caller needs to decide whether and when to try again: the HTTP status (0 for errors a client
// raises on its own, with no status behind them), how long the server asked to wait (Retry-After),
// and whether the server said it is rate-limiting.
class RemoteError : public UserFacingError {
public:
    explicit RemoteError(QString message, int status = 0,
                         std::optional<std::chrono::seconds> retryAfter = std::nullopt,
                         bool rateLimited = false);

    int status() const noexcept { return m_status; }
    std::optional<std::chrono::seconds> retryAfter() const noexcept { return m_retryAfter; }
    bool rateLimited() const noexcept { return m_rateLimited; }

    // A Retry-After header as a wait from `now`: delay-seconds ("120") or an HTTP date ("Wed, 21 Oct
    // 2015 07:28:00 GMT"); a date already past is no wait. None for an absent or unreadable header.
    static std::optional<std::chrono::seconds> retryDelay(const QByteArray& header, const QDateTime& now);

private:
    int m_status;
    std::optional<std::chrono::seconds> m_retryAfter;
    bool m_rateLimited;
};
