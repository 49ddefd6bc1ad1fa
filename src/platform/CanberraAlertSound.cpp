#include "platform/CanberraAlertSound.h"

#include "core/model/DebugLog.h"

#include <canberra.h>

CanberraAlertSound::CanberraAlertSound() {
    if (ca_context_create(&m_context) != CA_SUCCESS) {
        m_context = nullptr;
        return;
    }
    ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Vorrindel", CA_PROP_APPLICATION_ID,
                            "vorrindel", nullptr);
}

CanberraAlertSound::~CanberraAlertSound() {
    if (m_context)
        ca_context_destroy(m_context);
}

void CanberraAlertSound::play() {
    if (!m_context)
        return;
    const int result = ca_context_play(m_context, 0, CA_PROP_EVENT_ID, "message-new-instant",
                                       CA_PROP_EVENT_DESCRIPTION, "Meeting alert", nullptr);
    if (result != CA_SUCCESS)
        DebugLog::log(
            [&] { return QStringLiteral("alert sound: ") + QString::fromUtf8(ca_strerror(result)); });
}
