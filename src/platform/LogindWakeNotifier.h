#pragma once

#include "core/store/WakeNotifier.h"

#include <QDBusConnection>

// Reports a wake from sleep when systemd-logind announces PrepareForSleep(false) on the system bus.
// Only the bus name's owner (logind itself) is listened to.
class LogindWakeNotifier final : public WakeNotifier {
    Q_OBJECT
public:
    explicit LogindWakeNotifier(QObject* parent = nullptr);
    // Listens on the given bus instead of the system bus.
    LogindWakeNotifier(QDBusConnection bus, QObject* parent);

    // False when there is no bus to listen on (containers, CI); the store's clock-jump check then
    // stands in for it.
    bool isListening() const { return m_listening; }

private slots:
    void prepareForSleep(bool goingToSleep);

private:
    bool m_listening = false;
};
