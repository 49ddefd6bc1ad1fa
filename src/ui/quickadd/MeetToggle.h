#pragma once

#include "ui/quickadd/QuickAddParts.h"

// The Google Meet capsule beside the guests: green with a checkmark while the event gets a Meet
// link, plain white otherwise. Clicking it runs the toggle (the view asks the model to flip Meet).
class MeetToggle : public CapsuleButton {
    Q_OBJECT

public:
    explicit MeetToggle(QWidget* parent = nullptr);

    bool isOn() const { return m_on; }
    void setOn(bool on);

private:
    bool m_on = false;
};
