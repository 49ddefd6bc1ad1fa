#include "ui/quickadd/MaybeHScroll.h"

#include "core/model/ProcessArguments.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

namespace {

constexpr int fadeWidth = 18;

// Paints the fades over the scroller's edges; clicks go through to the row.
class EdgeFades final : public QWidget {
public:
    explicit EdgeFades(QWidget* parent)
        : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    bool left = false;
    bool right = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const auto fade = [&](int x0, int x1) {
            QLinearGradient gradient(x0, 0, x1, 0);
            gradient.setColorAt(0, QColor(0, 0, 0, 0));
            gradient.setColorAt(1, QColor(0, 0, 0, 255));
            p.fillRect(QRect(std::min(x0, x1), 0, fadeWidth, height()), gradient);
        };
        if (left)
            fade(fadeWidth, 0);
        if (right)
            fade(width() - fadeWidth, width());
    }
};

} // namespace

MaybeHScroll::MaybeHScroll(QWidget* content, QWidget* parent)
    : QWidget(parent)
    , m_content(content) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (ProcessArguments::isSnapshotMode()) {
        content->setParent(this);
        m_fades = new EdgeFades(this);
    } else {
        m_scroll = new QScrollArea(this);
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setWidgetResizable(true);
        m_scroll->setFocusPolicy(Qt::NoFocus);
        m_scroll->setAutoFillBackground(false);
        m_scroll->viewport()->setAutoFillBackground(false);
        m_scroll->setWidget(content);
        m_scroll->viewport()->installEventFilter(this);
        m_fades = new EdgeFades(this);
        connect(m_scroll->horizontalScrollBar(), &QScrollBar::valueChanged, this, &MaybeHScroll::updateFades);
        connect(m_scroll->horizontalScrollBar(), &QScrollBar::rangeChanged, this, &MaybeHScroll::updateFades);
    }
    content->setAutoFillBackground(false);
    content->installEventFilter(this);
}

void MaybeHScroll::ensureVisible(QWidget* child) {
    if (!m_scroll || !child)
        return;
    // The row has not taken its new width yet: its layout runs on the next turn of the event loop.
    QTimer::singleShot(0, this, [this, child = QPointer<QWidget>(child)] { scrollToShow(child); });
}

void MaybeHScroll::scrollToShow(QWidget* child) {
    if (m_scroll && child && child->isVisible())
        m_scroll->ensureWidgetVisible(child, fadeWidth, 0);
}

void MaybeHScroll::updateFades() {
    auto* fades = static_cast<EdgeFades*>(m_fades);
    const QScrollBar* bar = m_scroll->horizontalScrollBar();
    const bool left = bar->value() > bar->minimum();
    const bool right = bar->value() < bar->maximum();
    if (left == fades->left && right == fades->right)
        return;
    fades->left = left;
    fades->right = right;
    fades->update();
}

int MaybeHScroll::scrollPosition() const {
    return m_scroll ? m_scroll->horizontalScrollBar()->value() : 0;
}

QSize MaybeHScroll::sizeHint() const {
    return {m_content->sizeHint().width(), m_content->sizeHint().height()};
}

QSize MaybeHScroll::minimumSizeHint() const {
    return {0, m_content->sizeHint().height()};
}

void MaybeHScroll::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_scroll) {
        m_scroll->setGeometry(rect());
        m_fades->setGeometry(rect());
        m_fades->raise();
    } else {
        placeStaticRow();
    }
}

void MaybeHScroll::placeStaticRow() {
    // Laid out at its own width from the left, cut off on the right, where it fades out as the live
    // form does with more beyond: a chip cut in half would look like a fault.
    const int rowWidth = m_content->sizeHint().width();
    m_content->setGeometry(0, 0, std::max(width(), rowWidth), height());
    auto* fades = static_cast<EdgeFades*>(m_fades);
    fades->setGeometry(rect());
    fades->raise();
    fades->right = rowWidth > width();
    fades->update();
}

bool MaybeHScroll::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_content && event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        if (!m_scroll)
            placeStaticRow();
    }
    if (m_scroll && watched == m_scroll->viewport() && event->type() == QEvent::Wheel) {
        // An ordinary mouse wheel turns up and down; this row only goes sideways.
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint delta = wheel->pixelDelta().isNull() ? wheel->angleDelta() / 4 : wheel->pixelDelta();
        const int step = delta.x() != 0 ? delta.x() : delta.y();
        QScrollBar* bar = m_scroll->horizontalScrollBar();
        bar->setValue(bar->value() - step);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
