#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <exception>
#include <optional>

// How the Google and Notion syncs take a failed call, and when a source tries again after a sync
// that failed somewhere.
namespace SyncRetry {

// The calendar or database is gone, or no longer shared with the user: 404, 410, or a 403 that is no
// rate or quota limit. Its events go. Every other failure (no reply, a time-out, a server error, a
// rate or quota limit, a refused token) says nothing about them: they stay as last read.
bool isGone(const std::exception& error);
// The server refused the access token (401).
bool isUnauthorized(const std::exception& error);

// The failures of one sync: the first one's message for the user, and the longest wait a server
// asked for.
struct Failures {
    std::optional<QString> first;
    std::optional<std::chrono::seconds> retryAfter;

    // Notes a failure; `message` is what the user reads of it.
    void add(const QString& message, const std::exception& error);
    bool any() const { return first.has_value(); }
};

} // namespace SyncRetry

// When a source syncs again after a sync that failed: 10 s later, then twice as long after each
// further failure up to `cap` (the source's usual interval, so failures never make it slower than
// that), and never before the time a server asked for (up to an hour). A sync without failures
// ends the back-off.
class RetrySchedule {
public:
    explicit RetrySchedule(std::chrono::seconds cap)
        : m_cap(cap) {}

    void failed(const QDateTime& now, std::optional<std::chrono::seconds> retryAfter);
    void succeeded() { m_failures = 0; }
    // After a sync with these failures (none: it succeeded).
    void after(const SyncRetry::Failures& failures, const QDateTime& now) {
        failures.any() ? failed(now, failures.retryAfter) : succeeded();
    }
    // The last sync failed: the next one waits for due().
    bool waiting() const { return m_failures > 0; }
    bool due(const QDateTime& now) const { return now >= m_retryAt; }

    static constexpr std::chrono::seconds first{10};
    static constexpr std::chrono::seconds longestRetryAfter{3600};

private:
    std::chrono::seconds m_cap;
    int m_failures = 0;
    QDateTime m_retryAt;
};
