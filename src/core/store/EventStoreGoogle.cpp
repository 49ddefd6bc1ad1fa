// Google accounts and their sync.
#include "core/store/EventStore.h"

#include "core/model/DebugLog.h"
#include "core/model/Tasks.h"
#include "core/settings/AppSettings.h"

#include <QTimer>

#include <algorithm>

namespace {

bool sameTokenFields(const GoogleAccount& a, const GoogleAccount& b) {
    return a.accessToken == b.accessToken && a.expiry == b.expiry && a.needsReauth == b.needsReauth;
}

// A token call's outcome, for a caller that goes on either way.
struct TokenOutcome {
    std::optional<GoogleAPI::ValidToken> valid;
    std::exception_ptr failure;
};

// The source is used only before the first suspension: the store may be gone when the call ends.
QCoro::Task<TokenOutcome> tokenOf(GoogleSource& google, GoogleAccount account, GoogleConfig config) {
    QCoro::Task<GoogleAPI::ValidToken> call = google.validToken(std::move(account), std::move(config));
    TokenOutcome outcome;
    try {
        GoogleAPI::ValidToken valid = co_await call;
        outcome.valid = std::move(valid);
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    co_return outcome;
}

bool refusedToken(const std::exception_ptr& failure) {
    if (!failure)
        return false;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return SyncRetry::isUnauthorized(error);
    } catch (...) {
        return false;
    }
}

// Google refused a token it had just given: only signing in again helps. The account is marked for
// reconnecting, which Settings offers, and the refused token goes, so that the next call renews it
// (a renewal Google accepts again clears the mark).
GoogleAccount expiredSignIn(GoogleAccount account) {
    account.needsReauth = true;
    account.accessToken.reset();
    account.expiry.reset();
    return account;
}

// What the user reads then: a write's text for a refused token, not Google's own.
GoogleError expiredSignInError() {
    return GoogleAPI::friendlyError(401, {});
}

} // namespace

int EventStore::accountIndex(const GoogleConfig& config, const QString& email) {
    for (int i = 0; i < config.accounts.size(); ++i) {
        if (config.accounts[i].email == email)
            return i;
    }
    return -1;
}

QString EventStore::errorMessage(const std::exception& error) {
    if (const auto* userFacing = dynamic_cast<const UserFacingError*>(&error))
        return userFacing->message();
    return QString::fromUtf8(error.what());
}

QCoro::Task<> EventStore::refreshGoogle() {
    if (m_sampleMode)
        co_return;
    if (!m_settings.hasGoogle()) {
        if (!m_googleEvents.isEmpty()) {
            setGoogleEvents({});
            rebuild();
        }
        co_return;
    }
    QPointer self(this);
    if (m_isSyncingGoogle) {
        m_googleRefreshPending = true;
        // The running refresh launches its further run as the next one; whoever asked waits for it,
        // so that a write's result is in the agenda when the write returns.
        const quint64 rerun = m_googleRerunsStarted + 1;
        while (m_googleRerunsFinished < rerun) {
            QCoro::Task<bool> finished = Tasks::signalOrGone(this, &EventStore::googleRerunFinished);
            co_await finished;
            if (!self)
                co_return;
        }
        co_return;
    }

    setSyncingGoogle(true);
    const quint64 run = ++m_googleRuns;
    const QList<std::pair<QDateTime, QDateTime>> ranges = loadedRanges();
    const Cal cal = m_cal; // the whole run reads its dates in one zone
    const GoogleConfig config = m_settings.google();
    QList<std::pair<GoogleAccount, GoogleAccount>> renewed;
    QList<CalEvent> collected;
    QList<std::pair<QString, QString>> kept; // (account, calendar) whose events stay as they were
    SyncRetry::Failures failures;
    bool someRead = false;

    for (const GoogleAccount& original : config.accounts) {
        // The renewed copy; the settings may have changed by the time it comes.
        GoogleAccount account = original;
        std::optional<QString> token;
        bool fresh = false; // the token in hand is one this run renewed
        // A failed renewal leaves the account without a token and, when Google refused the refresh
        // token, marks it for reconnecting; nothing of its events goes.
        const auto take = [&](TokenOutcome outcome) {
            if (outcome.valid) {
                fresh = outcome.valid->token != account.accessToken;
                token = std::move(outcome.valid->token);
                account = std::move(outcome.valid->account);
                return;
            }
            token.reset();
            try {
                std::rethrow_exception(outcome.failure);
            } catch (const GoogleAPI::ReconnectNeeded& error) {
                account.needsReauth = true;
                failures.add(error.message(), error);
            } catch (const std::exception& error) {
                failures.add(errorMessage(error), error);
            }
        };
        QCoro::Task<TokenOutcome> first = tokenOf(*m_google, account, config);
        TokenOutcome outcome = co_await first;
        if (!self)
            co_return;
        take(std::move(outcome));

        for (const GoogleCalendarInfo& calendar : account.visibleCalendars()) {
            std::optional<QList<CalEvent>> events;
            std::exception_ptr failure;
            for (int attempt = 0; token && !events && attempt < 2; ++attempt) {
                failure = nullptr;
                try {
                    QCoro::Task<QList<CalEvent>> call =
                        readRanges(ranges, [this, calendar, email = account.email, token = *token,
                                            cal](QDateTime from, QDateTime to) {
                            return m_google->events(calendar, email, std::move(from), std::move(to), token,
                                                    cal);
                        });
                    events = co_await call;
                } catch (...) {
                    failure = std::current_exception();
                }
                if (!self)
                    co_return;
                if (events || !refusedToken(failure))
                    break;
                if (fresh) {
                    // Refused right after its renewal: the account's other calendars wait for the
                    // user to reconnect it.
                    account = expiredSignIn(account);
                    token.reset();
                    failure = nullptr;
                    const GoogleError expired = expiredSignInError();
                    failures.add(expired.message(), expired);
                    break;
                }
                // A token refused before its time (revoked, or the clock off): one renewal, then
                // this calendar again.
                account.accessToken.reset();
                account.expiry.reset();
                QCoro::Task<TokenOutcome> again = tokenOf(*m_google, account, config);
                TokenOutcome renewal = co_await again;
                if (!self)
                    co_return;
                take(std::move(renewal));
            }
            if (events) {
                if (!account.canWrite()) {
                    for (CalEvent& event : *events)
                        event.calendarEditable = false;
                }
                collected += *events;
                someRead = true;
                continue;
            }
            // An account without a token leaves its calendars' events as they were.
            if (!failure || keptAfter(failures, calendar.summary, failure))
                kept.append({account.email, calendar.id});
        }
        renewed.append({original, account});
    }

    storeRenewedTokens(renewed);
    // A new zone while the run was under way: its all-day events move to the new zone's days.
    collected = DayMap::rezone(std::move(collected), cal, m_cal);
    for (const auto& [account, calendar] : kept)
        collected += googleEventsOf(account, calendar);
    // Accounts removed and calendars hidden while the run was under way stay out of the agenda.
    const GoogleConfig now = m_settings.google();
    collected.removeIf([&now](const CalEvent& event) {
        const int index = accountIndex(now, event.googleAccount.value_or(QString()));
        return index < 0 ||
               now.accounts[index].hiddenCalendarIDs.contains(event.googleCalendarID.value_or(QString()));
    });
    // Writes made while it ran stay as written; the next run reads them back.
    m_googleWrites.removeIf([run](const GoogleWrite& write) { return write.run < run; });
    for (const GoogleWrite& write : std::as_const(m_googleWrites))
        apply(collected, write);

    // Every pass leaves its line, also one that ends with no account left.
    DebugLog::log([&] {
        return QStringLiteral("google: accounts=%1 events=%2 error=%3")
            .arg(now.accounts.size())
            .arg(collected.size())
            .arg(failures.first.value_or(QStringLiteral("none")));
    });
    // When the last account went while the run was under way, removing it cleared everything already;
    // sample data installed meanwhile stays in place of what the run read.
    if (!now.accounts.isEmpty() && !m_sampleMode) {
        setGoogleError(failures.first);
        setGoogleEvents(std::move(collected));
        if (!failures.any() || someRead)
            setGoogleLastSync(m_clock());
        rebuild();
        m_googleRetry.after(failures, m_clock());
    }
    setSyncingGoogle(false);

    if (m_googleRefreshPending) {
        m_googleRefreshPending = false;
        const quint64 rerun = ++m_googleRerunsStarted;
        QTimer::singleShot(0, this, [this, rerun] {
            Tasks::startDetached(rerunGoogle(rerun), QStringLiteral("Google refresh"));
        });
    }
}

QList<CalEvent> EventStore::googleEventsOf(const QString& account, const QString& calendarID) const {
    QList<CalEvent> events;
    for (const CalEvent& event : m_googleEvents) {
        if (event.googleAccount == account && event.googleCalendarID == calendarID)
            events.append(event);
    }
    return events;
}

QCoro::Task<> EventStore::rerunGoogle(quint64 rerun) {
    QPointer self(this);
    QCoro::Task<> refresh = refreshGoogle();
    co_await refresh;
    if (!self)
        co_return;
    m_googleRerunsFinished = std::max(m_googleRerunsFinished, rerun);
    emit googleRerunFinished();
}

void EventStore::storeRenewedTokens(const QList<std::pair<GoogleAccount, GoogleAccount>>& renewed) {
    GoogleConfig config = m_settings.google();
    bool changed = false;
    for (const auto& [before, after] : renewed) {
        if (sameTokenFields(before, after))
            continue;
        for (GoogleAccount& account : config.accounts) {
            // An account signed in anew meanwhile carries newer tokens than these.
            if (account.email != after.email || account.refreshToken != after.refreshToken ||
                sameTokenFields(account, after))
                continue;
            account.accessToken = after.accessToken;
            account.expiry = after.expiry;
            account.needsReauth = after.needsReauth;
            changed = true;
        }
    }
    if (changed)
        m_settings.setGoogle(config);
}

QCoro::Task<QString> EventStore::googleToken(QString email, bool renew) {
    const GoogleConfig config = m_settings.google();
    const int index = accountIndex(config, email);
    if (index < 0)
        throw GoogleError(QStringLiteral("That Google account is no longer connected"));
    const GoogleAccount before = config.accounts.at(index);
    GoogleAccount asked = before;
    if (renew) {
        asked.accessToken.reset();
        asked.expiry.reset();
    }
    QPointer self(this);
    QCoro::Task<TokenOutcome> call = tokenOf(*m_google, std::move(asked), config);
    TokenOutcome outcome = co_await call;
    if (!self)
        throw CancelledError();
    if (outcome.valid) {
        storeRenewedTokens({{before, outcome.valid->account}});
        co_return outcome.valid->token;
    }
    // Google refused the refresh token: the account needs reconnecting, which Settings offers.
    try {
        std::rethrow_exception(outcome.failure);
    } catch (const GoogleAPI::ReconnectNeeded&) {
        GoogleAccount marked = before;
        marked.needsReauth = true;
        storeRenewedTokens({{before, marked}});
        throw;
    }
}

GoogleError EventStore::signInExpired(const QString& email, const QString& refused) {
    GoogleConfig config = m_settings.google();
    const int index = accountIndex(config, email);
    // An account signed in anew or renewed meanwhile holds another token.
    if (index >= 0 && config.accounts[index].accessToken == refused) {
        config.accounts[index] = expiredSignIn(config.accounts[index]);
        m_settings.setGoogle(config);
    }
    return expiredSignInError();
}

EventStore::GoogleContext EventStore::googleContext(const CalEvent& event) const {
    const QString gone = QStringLiteral("That Google account is no longer connected");
    if (!event.googleAccount || !event.googleCalendarID || !event.googleEventID)
        throw GoogleError(gone);
    const GoogleConfig config = m_settings.google();
    const int index = accountIndex(config, *event.googleAccount);
    if (index < 0)
        throw GoogleError(gone);
    const GoogleAccount& account = config.accounts[index];
    if (!account.canWrite())
        throw GoogleError(
            QStringLiteral("Google was connected read-only — reconnect in Settings → Google to edit events"));

    GoogleContext context{
        account.email,
        {*event.googleCalendarID, *event.googleCalendarID, std::nullopt, false, std::nullopt},
        *event.googleEventID};
    const auto known =
        std::find_if(account.calendars.cbegin(), account.calendars.cend(),
                     [&](const GoogleCalendarInfo& c) { return c.id == *event.googleCalendarID; });
    if (known != account.calendars.cend())
        context.calendar = *known;
    return context;
}

CalEvent EventStore::current(const CalEvent& event) const {
    for (const QDateTime& day : event.days(m_cal)) {
        for (const CalEvent& candidate : m_eventsByDay.value(day)) {
            if (candidate.id == event.id)
                return candidate;
        }
    }
    return event;
}

QCoro::Task<bool> EventStore::connectGoogle() {
    if (!m_settings.google().hasClient() || m_isConnectingGoogle)
        co_return false;
    setConnectingGoogle(true);
    m_googleFlow = m_google->newSignIn();
    QPointer self(this);

    std::optional<GoogleAccount> signedIn;
    std::optional<QString> failure;
    try {
        const GoogleConfig config = m_settings.google();
        QCoro::Task<GoogleAccount> run = m_googleFlow->run(config);
        signedIn = co_await run;
    } catch (const CancelledError&) {
        // The user changed their mind: an error shown before stays as it was.
    } catch (const std::exception& error) {
        failure = errorMessage(error);
    }
    if (!self)
        co_return false;

    if (signedIn) {
        // Merged into the configuration as it is now: accounts may have changed during the sign-in.
        GoogleConfig config = m_settings.google();
        const int index = accountIndex(config, signedIn->email);
        if (index >= 0) {
            signedIn->hiddenCalendarIDs = config.accounts[index].hiddenCalendarIDs;
            config.accounts[index] = *signedIn;
        } else {
            config.accounts.append(*signedIn);
        }
        m_settings.setGoogle(config);
        setGoogleError(std::nullopt);
        setGoogleLastSync(std::nullopt);
        QCoro::Task<> refresh = refreshGoogle();
        co_await refresh;
        if (!self)
            co_return true;
    } else if (failure) {
        setGoogleError(failure);
    }
    setConnectingGoogle(false);
    m_googleFlow.reset();
    co_return signedIn.has_value();
}

void EventStore::removeGoogleAccount(const QString& email) {
    GoogleConfig config = m_settings.google();
    config.accounts.removeIf([&](const GoogleAccount& account) { return account.email == email; });
    m_settings.setGoogle(config);

    const QString prefix = QStringLiteral("g:") + email + QLatin1Char(':');
    QList<CalEvent> events = m_googleEvents;
    events.removeIf([&](const CalEvent& event) { return event.id.startsWith(prefix); });
    setGoogleEvents(std::move(events));
    if (config.accounts.isEmpty()) {
        setGoogleError(std::nullopt);
        setGoogleLastSync(std::nullopt);
        m_googleRetry.succeeded();
    }
    rebuild();
}

void EventStore::setGoogleCalendar(const QString& calendarID, const QString& email, bool visible) {
    GoogleConfig config = m_settings.google();
    const int index = accountIndex(config, email);
    if (index < 0)
        return;
    if (visible)
        config.accounts[index].hiddenCalendarIDs.remove(calendarID);
    else
        config.accounts[index].hiddenCalendarIDs.insert(calendarID);
    m_settings.setGoogle(config);
    setGoogleLastSync(std::nullopt);
    launch(&EventStore::refreshGoogle, QStringLiteral("Google refresh"));
}
