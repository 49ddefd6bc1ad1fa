#include "ui/panel/PeekView.h"

#include "core/store/EventStore.h"
#include "ui/controls/JoinButton.h"
#include "ui/controls/Theme.h"
#include "ui/notch/NotchState.h"

#include <QPainter>

namespace {

constexpr qreal dotSide = 7;
constexpr qreal titleGap = 7;
constexpr qreal runningDotSide = 6;
constexpr qreal runningDotGap = 5;
constexpr qreal joinGap = 8;

} // namespace

PeekView::PeekView(EventStore& store, NotchState& state, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_state(state)
    , m_title(Theme::uiFont(12, QFont::DemiBold))
    , m_trailing(Theme::uiFont(12, QFont::Medium))
    , m_join(new JoinButton(CalEvent(), true, store, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_join->hide();
    connect(&m_store, &EventStore::peekChanged, this, &PeekView::refresh);
    connect(&m_state, &NotchState::geometryChanged, this, &PeekView::place);
    refresh();
}

QSize PeekView::sizeHint() const {
    const QSizeF notch = m_state.geometry().notchSize;
    return QSizeF(notch.width() + 2 * wingWidth, notch.height()).toSize();
}

void PeekView::refresh() {
    // A peek that went keeps its last look while it fades out.
    if (!m_store.peek())
        return;
    m_peek = m_store.peek();
    const CalEvent& event = m_peek->event;
    m_join->setEvent(event);
    m_join->setVisible(event.meetingURL().has_value());
    place();
    // The title as the line holds it: as much as a screen shows, however long the event's is.
    setAccessibleName(m_title.text() + QStringLiteral(", ") + m_peek->trailingText());
    update();
}

void PeekView::place() {
    if (!m_peek)
        return;
    const qreal notchWidth = m_state.geometry().notchSize.width();
    const qreal right = 2 * wingWidth + notchWidth - wingPadding;
    m_trailingRight = right;
    if (!m_join->isHidden()) {
        const QSize size = m_join->sizeHint();
        m_join->setGeometry(int(right) - size.width(), (height() - size.height()) / 2, size.width(),
                            size.height());
        m_trailingRight = m_join->x() - joinGap;
    }
    const qreal titleLeft = wingPadding + dotSide + titleGap;
    m_title.set(m_peek->event.title, wingWidth - titleLeft);
    const qreal trailingLeft = wingWidth + notchWidth;
    const qreal dot = isRunning(*m_peek) ? runningDotSide + runningDotGap : 0;
    m_trailing.set(m_peek->trailingText(), std::max<qreal>(0, m_trailingRight - trailingLeft - dot));
}

void PeekView::resizeEvent(QResizeEvent*) {
    place();
}

void PeekView::paintEvent(QPaintEvent*) {
    if (!m_peek)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = height();
    const qreal midY = h / 2;

    p.setPen(Qt::NoPen);
    p.setBrush(m_peek->event.color);
    p.drawEllipse(QRectF(wingPadding, midY - dotSide / 2, dotSide, dotSide));
    m_title.draw(p, wingPadding + dotSide + titleGap, m_title.baselineIn(0, h), Theme::white());

    const bool running = isRunning(*m_peek);
    const qreal textLeft = m_trailingRight - m_trailing.width();
    if (running) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::green());
        p.drawEllipse(QRectF(textLeft - runningDotGap - runningDotSide, midY - runningDotSide / 2,
                             runningDotSide, runningDotSide));
    }
    m_trailing.draw(p, textLeft, m_trailing.baselineIn(0, h), running ? Theme::green() : Theme::white(0.75));
}
