#pragma once

#include <QObject>

// Reports mouse-button presses anywhere on the display, in other applications too, so that the
// expanded panel can close when the user clicks elsewhere. Presses on the app's own windows are
// reported as well: telling them apart is the listener's business.
class GlobalClickMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // False where the display cannot report other applications' presses (no XInput 2, Wayland
    // windows): nothing is ever reported then.
    virtual bool available() const = 0;
    // Presses are reported only while listening; a monitor that does not listen costs nothing.
    virtual void setListening(bool on) = 0;

signals:
    // X button numbers: 1 left, 2 middle, 3 right, 4 to 7 the wheel.
    void pressed(int button);
};
