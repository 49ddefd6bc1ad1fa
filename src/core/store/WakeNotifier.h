#pragma once

#include <QObject>

// Tells the store that the computer woke from sleep. The app binds the login manager's sleep
// signal to it; without one, the store's tick still notices the clock jump a sleep leaves behind.
class WakeNotifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void woke();
};
