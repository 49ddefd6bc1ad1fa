#pragma once

#include <QPointF>
#include <QRect>
#include <QWidget>

#include <functional>

// The panel's window: frameless, translucent, above everything on every workspace, kept out of the
// task list and window switching (an override-redirect window on X11), and shown without taking the
// keyboard. It hosts one content widget that fills it, reports the pointer entering, leaving and
// moving over the window (over any of its children), and routes Escape to the controller.
//
// It takes the keyboard only when told to (FocusBroker), and reports a click into one of its text
// fields so that the controller can hand it the keyboard then: nothing gives an override-redirect
// window the keyboard by itself.
class NotchPanel : public QWidget {
    Q_OBJECT
public:
    // The window title, which also names it to accessibility tools and test scripts.
    static QString title() { return QStringLiteral("Vorrindel panel"); }

    NotchPanel(QWidget* content, const QRect& frame);

    QWidget* content() const { return m_content; }

    // The pointer entered (true) or left (false) the window.
    std::function<void(bool inside)> onHover;
    // The pointer moved over the window, in window coordinates.
    std::function<void(QPointF point)> onMove;
    // Escape reached the panel, from a text field of the panel too. It goes no further either way.
    std::function<void()> onEscape;
    // A press of a mouse button on a text field of the panel.
    std::function<void()> onTextInputPressed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool isTextInput(QWidget* widget) const;

    QWidget* m_content;
};
