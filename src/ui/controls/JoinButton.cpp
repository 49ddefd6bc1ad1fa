#include "ui/controls/JoinButton.h"

#include "core/model/MeetingLink.h"
#include "core/store/EventStore.h"

JoinButton::JoinButton(const CalEvent& event, bool compact, JoinAction join, QWidget* parent)
    : PillButton(tr("Join"), NotchPillStyle{.prominent = true, .compact = compact}, parent)
    , m_join(std::move(join)) {
    setSymbol(QStringLiteral("video.fill"), compact ? 9 : 10.5);
    setEvent(event);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_join)
            m_join(m_event);
    });
}

JoinButton::JoinButton(const CalEvent& event, bool compact, EventStore& store, QWidget* parent)
    : JoinButton(
          event, compact, [&store](const CalEvent& e) { store.join(e); }, parent) {}

void JoinButton::setEvent(const CalEvent& event) {
    m_event = event;
    setToolTip(helpText(event));
}

QString JoinButton::helpText(const CalEvent& event) {
    const std::optional<QUrl> link = event.meetingURL();
    if (!link)
        return tr("Join");
    return tr("Join with ") + MeetingLink::serviceName(*link);
}
