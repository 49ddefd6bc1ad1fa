#include "ui/notch/NotchPanel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

NotchPanel::NotchPanel(QWidget* content, const QRect& frame)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint)
    , m_content(content) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Tooltips (the help texts of the panel's buttons) show although the window is never active.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setWindowTitle(title());
    setAccessibleName(title());
    m_content->setParent(this);
    m_content->setGeometry(rect());
    setGeometry(frame);
    // The native window exists from here on, so its events can be watched before it is first shown.
    // Watching the window rather than a widget sees the pointer over every child, buttons and text
    // fields included.
    winId();
    windowHandle()->installEventFilter(this);
}

bool NotchPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != windowHandle())
        return false;
    switch (event->type()) {
    case QEvent::Enter:
        if (onHover)
            onHover(true);
        break;
    case QEvent::Leave:
        if (onHover)
            onHover(false);
        break;
    case QEvent::MouseMove:
        if (onMove)
            onMove(static_cast<QMouseEvent*>(event)->position());
        break;
    case QEvent::MouseButtonPress: {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (onTextInputPressed && isTextInput(childAt(at)))
            onTextInputPressed();
        break;
    }
    default:
        break;
    }
    return false;
}

// A widget that takes typed text (a line edit, a text edit through its viewport) and is open to it.
bool NotchPanel::isTextInput(QWidget* widget) const {
    for (; widget && widget != this; widget = widget->parentWidget()) {
        if (widget->testAttribute(Qt::WA_InputMethodEnabled) && widget->isEnabled() &&
            (widget->focusPolicy() & Qt::ClickFocus))
            return true;
    }
    return false;
}

void NotchPanel::keyPressEvent(QKeyEvent* event) {
    // Text fields leave Escape alone, so it climbs to here from them as well.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        if (onEscape)
            onEscape();
        return;
    }
    QWidget::keyPressEvent(event);
}

void NotchPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_content->setGeometry(rect());
}
