#include "platform/HotKey.h"

#include "core/model/DebugLog.h"

#include <QCoreApplication>
#include <QMetaObject>

bool KeyRepeatFilter::press(quint32 time) {
    const bool repeat = m_down || (m_released && time == m_releaseTime);
    m_down = true;
    return !repeat;
}

void KeyRepeatFilter::release(quint32 time) {
    m_down = false;
    m_released = true;
    m_releaseTime = time;
}

namespace {

struct Registration {
    std::unique_ptr<KeyGrab> backend;
    std::function<void()> onPress;
    bool handlerInstalled = false;
    bool registered = false;
};

Registration& registration() {
    static Registration r;
    return r;
}

void pressed() {
    // After the press has been handled, as a press is not ours to act on inside the event filter.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (const std::function<void()> callback = registration().onPress)
                callback();
        },
        Qt::QueuedConnection);
}

} // namespace

namespace HotKey {

void setOnPress(std::function<void()> callback) {
    registration().onPress = std::move(callback);
}

void set(bool enabled) {
    Registration& r = registration();
    if (!enabled) {
        if (r.registered && r.backend)
            r.backend->ungrab();
        r.registered = false;
        return;
    }
    if (r.registered)
        return;
    int status = -1;
    if (r.backend) {
        if (!r.handlerInstalled) {
            r.backend->installHandler(pressed);
            r.handlerInstalled = true;
        }
        status = r.backend->grab();
    }
    if (status != 0) {
        DebugLog::log([status] { return QStringLiteral("hotkey register failed: %1").arg(status); });
        return;
    }
    r.registered = true;
}

bool isRegistered() {
    return registration().registered;
}

void setBackend(std::unique_ptr<KeyGrab> backend) {
    Registration& r = registration();
    if (r.registered && r.backend)
        r.backend->ungrab();
    r.registered = false;
    r.handlerInstalled = false;
    r.backend = std::move(backend);
}

} // namespace HotKey
