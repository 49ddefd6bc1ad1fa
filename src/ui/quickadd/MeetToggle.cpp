#include "ui/quickadd/MeetToggle.h"

#include "core/quickadd/QuickAddDerived.h"
#include "ui/controls/Theme.h"

namespace {

const QString onHelp = QStringLiteral("A Google Meet link will be added — click to leave it out");
const QString offHelp = QStringLiteral("Add a Google Meet link");

QColor green(qreal opacity) {
    QColor c = Theme::green();
    c.setAlphaF(float(opacity));
    return c;
}

} // namespace

MeetToggle::MeetToggle(QWidget* parent)
    : CapsuleButton(parent) {
    setLabel(QuickAdd::Text::googleMeet);
    m_on = true; // so that setOn(false) applies the look
    setOn(false);
}

void MeetToggle::setOn(bool on) {
    if (on == m_on)
        return;
    m_on = on;
    Look look;
    look.fill = on ? green(0.2) : Theme::white(0.1);
    look.stroke = on ? green(0.45) : Theme::white(0.12);
    look.text = on ? Theme::paleGreen() : Theme::white(0.75);
    look.spacing = 5;
    setLook(look);
    setLeading({CapsuleButton::Leading::Kind::symbol,
                on ? QuickAdd::Symbol::meetOn : QuickAdd::Symbol::meetOff,
                10,
                QFont::DemiBold,
                {}});
    setTrailing({on ? QuickAdd::Symbol::checkmark : QString(), 8, QFont::Bold, {}, false});
    setHelp(on ? onHelp : offHelp);
    setCheckable(true);
    setChecked(on);
}
