#pragma once

#include <QObject>

// Whether a compositing manager runs: only then do a window's transparent pixels show what lies
// beneath; without one they show black. Compositors start and stop while the app runs (effects
// turned on or off, a compositor that crashed or was restarted), and changed() tells when.
class CompositorCheck : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool compositing() const = 0;

signals:
    // A compositing manager may have started or stopped: compositing() answers afresh. Also sent when
    // one merely takes over from another.
    void changed();
};
