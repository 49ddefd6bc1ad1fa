#include "platform/FocusBroker.h"

#include <QGuiApplication>
#include <QPointer>
#include <QWindow>

namespace {

class QtFocusBroker final : public FocusBroker {
public:
    void take(QWindow* window) override {
        if (QWindow* focused = QGuiApplication::focusWindow(); focused != window)
            m_previous = focused;
        window->requestActivate();
    }

    void giveBack(QWindow* window) override {
        if (!hasFocus(window))
            return;
        if (m_previous && m_previous->isVisible())
            m_previous->requestActivate();
        m_previous.clear();
    }

    bool hasFocus(QWindow* window) const override { return window && window->isActive(); }

private:
    QPointer<QWindow> m_previous;
};

} // namespace

std::unique_ptr<FocusBroker> qtFocusBroker() {
    return std::make_unique<QtFocusBroker>();
}
