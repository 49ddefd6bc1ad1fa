#pragma once

#include "core/store/AlertSound.h"

struct ca_context;

// The meeting alert's sound: the freedesktop event "message-new-instant" through libcanberra, so
// it follows the user's sound theme and the desktop's event-sound switch. Without a sound device,
// sound server or theme nothing plays and nothing is reported.
class CanberraAlertSound final : public AlertSound {
public:
    CanberraAlertSound();
    ~CanberraAlertSound() override;
    CanberraAlertSound(const CanberraAlertSound&) = delete;
    CanberraAlertSound& operator=(const CanberraAlertSound&) = delete;

    void play() override;

private:
    ca_context* m_context = nullptr;
};
