#pragma once

#include "core/model/CalEvent.h"
#include "ui/controls/PillButton.h"

#include <functional>

class EventStore;

// The white "Join" pill that joins an event's video meeting: a camera symbol and "Join", normal or
// compact (the compact one sits in the peek and in event rows). Its tooltip names the service
// ("Join with Zoom"). Clicking it hands the event to the join action, which for the panel is
// EventStore::join (opens the link and takes that event's alert down). Callers show it only for
// events that have a meeting link.
class JoinButton : public PillButton {
    Q_OBJECT

public:
    using JoinAction = std::function<void(const CalEvent&)>;

    JoinButton(const CalEvent& event, bool compact, JoinAction join, QWidget* parent = nullptr);
    // Joins through the store; the store must outlive the button.
    JoinButton(const CalEvent& event, bool compact, EventStore& store, QWidget* parent = nullptr);

    const CalEvent& event() const { return m_event; }
    // Follows a newer copy of the event (a store publish) without rebuilding the button.
    void setEvent(const CalEvent& event);

    // "Join with " and the meeting service's name; "Join" for an event without a link.
    static QString helpText(const CalEvent& event);

protected:
    using PillButton::event;

private:
    CalEvent m_event;
    JoinAction m_join;
};
