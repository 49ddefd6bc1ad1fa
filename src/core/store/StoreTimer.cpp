#include "core/store/StoreTimer.h"

#include <QTimer>

namespace {

class QtStoreTimer final : public StoreTimer {
public:
    QtStoreTimer(bool repeating, std::function<void()> timeout) {
        m_timer.setSingleShot(!repeating);
        m_timer.setTimerType(Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(timeout));
    }
    void start(std::chrono::milliseconds interval) override { m_timer.start(interval); }
    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace

TimerFactory qtTimerFactory() {
    return [](bool repeating, std::function<void()> timeout) -> std::unique_ptr<StoreTimer> {
        return std::make_unique<QtStoreTimer>(repeating, std::move(timeout));
    };
}
