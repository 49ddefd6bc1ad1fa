#include "ui/controls/MaybeScroll.h"

#include "core/model/ProcessArguments.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

MaybeScroll::MaybeScroll(QWidget* content, QWidget* parent)
    : QWidget(parent)
    , m_content(content) {
    if (ProcessArguments::isSnapshotMode()) {
        m_content->setParent(this);
        m_content->setAutoFillBackground(false);
        return;
    }
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(m_content);
    // The panel's black shows through; the scroll area would otherwise paint the window colour.
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_content->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    QScrollBar* bar = m_scroll->verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this] { applyPendingScroll(); });
    // Wheel, touchpad and keys all move the bar through an action; a waiting request then yields.
    connect(bar, &QScrollBar::actionTriggered, this, [this] { dropPendingScroll(); });
    connect(bar, &QScrollBar::valueChanged, this, &MaybeScroll::scrolled);
}

int MaybeScroll::scrollPosition() const {
    return m_scroll ? m_scroll->verticalScrollBar()->value() : 0;
}

void MaybeScroll::setScrollPosition(int position) {
    dropPendingScroll();
    if (m_scroll)
        m_scroll->verticalScrollBar()->setValue(position);
}

void MaybeScroll::scrollToChild(QWidget* child, int topMargin) {
    if (!m_scroll || !child || !m_content->isAncestorOf(child))
        return;
    dropPendingScroll();
    m_pendingChild = child;
    m_pendingMargin = topMargin;
    settlePendingScroll();
}

void MaybeScroll::scrollTo(int position) {
    if (!m_scroll)
        return;
    dropPendingScroll();
    m_pendingPosition = position;
    settlePendingScroll();
}

void MaybeScroll::settlePendingScroll() {
    applyPendingScroll();
    if (isVisible()) {
        // Layouts still queued may move the child; settle once they have run.
        QTimer::singleShot(0, this, [this] {
            applyPendingScroll();
            dropPendingScroll();
        });
    }
}

void MaybeScroll::applyPendingScroll() {
    if (!m_pendingChild && !m_pendingPosition)
        return;
    if (QLayout* layout = m_content->layout())
        layout->activate();
    const int top = m_pendingChild ? m_pendingChild->mapTo(m_content, QPoint(0, 0)).y() - m_pendingMargin
                                   : *m_pendingPosition;
    m_scroll->verticalScrollBar()->setValue(std::max(0, top));
}

void MaybeScroll::dropPendingScroll() {
    m_pendingChild = nullptr;
    m_pendingPosition.reset();
}

void MaybeScroll::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_pendingChild || m_pendingPosition) {
        QTimer::singleShot(0, this, [this] {
            applyPendingScroll();
            dropPendingScroll();
        });
    }
}

QSize MaybeScroll::sizeHint() const {
    return m_content->sizeHint();
}

QSize MaybeScroll::minimumSizeHint() const {
    return {0, 0};
}

bool MaybeScroll::event(QEvent* event) {
    // The content asks its parent for a new layout when it changes size; only the snapshot form is
    // that parent.
    if (event->type() == QEvent::LayoutRequest && isStatic())
        placeStaticContent();
    return QWidget::event(event);
}

void MaybeScroll::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isStatic())
        placeStaticContent();
}

void MaybeScroll::placeStaticContent() {
    const int w = std::min(width(), m_content->maximumWidth());
    const int h =
        m_content->hasHeightForWidth() ? m_content->heightForWidth(w) : m_content->sizeHint().height();
    m_content->setGeometry((width() - w) / 2, 0, w, std::max(h, m_content->minimumSizeHint().height()));
}
