#include "platform/LogindWakeNotifier.h"

#include "core/model/DebugLog.h"

LogindWakeNotifier::LogindWakeNotifier(QObject* parent)
    : LogindWakeNotifier(QDBusConnection::systemBus(), parent) {}

LogindWakeNotifier::LogindWakeNotifier(QDBusConnection bus, QObject* parent)
    : WakeNotifier(parent) {
    m_listening =
        bus.isConnected() &&
        bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                    SLOT(prepareForSleep(bool)));
    if (!m_listening)
        DebugLog::log([] { return QStringLiteral("wake: no login manager on the system bus"); });
}

void LogindWakeNotifier::prepareForSleep(bool goingToSleep) {
    if (!goingToSleep)
        emit woke();
}
