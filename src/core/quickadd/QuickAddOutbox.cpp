#include "core/quickadd/QuickAddOutbox.h"

#include "core/model/Tasks.h"
#include "core/model/UserFacingError.h"

#include <QPointer>

GoogleAPI::InsertIds QuickAddOutbox::idsFor(const Line& line) const {
    return m_held && m_held->line == line ? m_held->ids : GoogleAPI::InsertIds::fresh();
}

void QuickAddOutbox::send(const Line& line, const GoogleAPI::InsertIds& ids, QCoro::Task<CalEvent> call) {
    m_held = Held{line, ids, true, std::nullopt};
    Tasks::startDetached(follow(++m_sends, std::move(call)), QStringLiteral("Sending a meeting"));
}

void QuickAddOutbox::drop() {
    if (m_held && !m_held->sending)
        m_held.reset();
}

QCoro::Task<> QuickAddOutbox::follow(quint64 send, QCoro::Task<CalEvent> call) {
    QPointer self(this);
    std::optional<QString> failure;
    bool succeeded = false;
    try {
        co_await call;
        succeeded = true;
    } catch (const CancelledError&) {
    } catch (const UserFacingError& error) {
        failure = error.message();
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!self || send != m_sends || !m_held)
        co_return;
    if (succeeded) {
        m_held.reset();
    } else {
        m_held->sending = false;
        m_held->failure = failure;
    }
    emit answered();
}
