#pragma once

#include <QList>
#include <QObject>
#include <QRectF>

#include <functional>

class QScreen;

// One screen: its frame in Qt's global coordinates and the part of it that the desktop's panels and
// bars leave free.
struct ScreenInfo {
    QRectF frame;
    QRectF available;
};

// The screens and the main one among them, with a signal whenever any of that changes (a screen
// connected or disconnected, resized, moved, or its panels changed).
class ScreenSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // In the platform's order.
    virtual QList<ScreenInfo> screens() const = 0;
    // The index of the main screen in screens(), -1 when there is none.
    virtual int primaryIndex() const = 0;

signals:
    void changed();
};

// The screens of the Qt platform the app runs on.
class QtScreenSource : public ScreenSource {
    Q_OBJECT
public:
    explicit QtScreenSource(QObject* parent = nullptr);

    QList<ScreenInfo> screens() const override;
    int primaryIndex() const override;

protected:
    // Qt's screens with the frames `frameOf` gives them; the part the desktop leaves free moves along.
    QList<ScreenInfo> screensWith(const std::function<QRectF(const QScreen&)>& frameOf) const;

private:
    void watch(QScreen* screen);
};
